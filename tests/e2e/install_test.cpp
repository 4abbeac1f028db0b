// The installed program end to end: bin/trawlet of an installation below the prefix in
// $TRAWLET_INSTALL_PREFIX (set by the test run's install and package steps; without it the
// test is skipped), started where it is, with private XDG folders. Nothing of the
// installation is changed, so the page it shows is the installed one: the test drives it as a
// person does (click into the address field, type, Enter), which only works when the program
// found its page and its bridge module beside its own file.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>

#include "e2e/Fixture.h"

namespace fs = std::filesystem;

namespace e2e {
namespace {

class InstalledTest : public AppTest {
protected:
    void SetUp() override {
        const char* prefix = std::getenv("TRAWLET_INSTALL_PREFIX");
        if (!prefix || !*prefix)
            GTEST_SKIP()
                << "no TRAWLET_INSTALL_PREFIX: the install steps of scripts/test.sh set it";
        this->prefix = prefix;
        AppTest::SetUp();
    }

    // The value of `key` in the installed desktop entry, empty when it has none.
    std::string DesktopEntryValue(const std::string& key) const {
        std::istringstream lines(
            ReadFile(prefix + "/share/applications/" TRAWLET_APP_ID ".desktop"));
        for (std::string line; std::getline(lines, line);) {
            if (line.rfind(key + "=", 0) == 0) return line.substr(key.size() + 1);
        }
        return {};
    }

    // Whether a process of the run has mapped the bridge module from `module`.
    static bool ModuleLoadedFrom(const std::string& module) {
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator("/proc", ec)) {
            if (ReadFile(entry.path().string() + "/maps").find(module) != std::string::npos)
                return true;
        }
        return false;
    }

    std::string prefix;
};

TEST_F(InstalledTest, BinTrawletShowsItsOwnPageThatStartsAScanAndClosesWithZero) {
    const std::string program = prefix + "/bin/trawlet";
    ASSERT_TRUE(fs::is_symlink(program)) << program << " is not a link";
    EXPECT_TRUE(fs::read_symlink(program).is_relative()) << fs::read_symlink(program);
    const std::string module =
        fs::canonical(prefix + "/lib/trawlet/bridge/libtrawletbridge.so").string();

    const std::string target = site->Url("/installed/page.html");
    site->Route("/installed/page.html",
                Response::Html(Page("<p>scanned</p>", "report('scanned');")));

    AppOptions options;
    options.executable = program;
    options.inPlace = true;
    AppRun& run = NewApp(options);
    auto window = StartAndWaitForMainWindow(run);
    ASSERT_TRUE(window);

    // The desktop groups the windows under the entry whose StartupWMClass is their class.
    auto wmClass = x->WmClass(window->id);
    ASSERT_TRUE(wmClass);
    EXPECT_EQ(wmClass->first, TRAWLET_APP_ID);
    EXPECT_EQ(wmClass->second, DesktopEntryValue("StartupWMClass"));
    EXPECT_FALSE(wmClass->second.empty());

    // The main page's web process loads the installed module, not one of the build folder.
    EXPECT_TRUE(WaitUntil([&] { return ModuleLoadedFrom(module); }, kStartTimeout, Millis(50)))
        << "no process maps " << module;

    // The address field is the first thing on the page's top line, right of its label. Until
    // the page has loaded the keys go nowhere, so the whole entry is repeated until the scan
    // window asks for the address; the field's text is replaced each time.
    const bool scanned = WaitUntil(
        [&] {
            const std::string id = std::to_string(window->id);
            RunCommand({"xdotool", "mousemove", "--window", id, "300", "21", "click", "1"});
            x->Key(window->id, "ctrl+a");
            RunCommand({"xdotool", "windowfocus", "--sync", id, "type", "--clearmodifiers",
                        "--delay", "8", "--", target},
                       Millis(30000));
            x->Key(window->id, "Return");
            return site->WaitForReport("scanned", Millis(3000));
        },
        kStartTimeout, Millis(0));
    EXPECT_TRUE(scanned) << "no scan of " << target
                         << "; reports: " << ::testing::PrintToString(site->Reports());
    EXPECT_TRUE(x->WaitForWindow([&](const WindowInfo& w) {
        return w.pid == run.Pid() && w.viewable && w.id != window->id;
    })) << "no scan window";

    ASSERT_TRUE(x->CloseWindow(window->id));
    EXPECT_EQ(run.WaitForExit(), std::optional<int>(0)) << run.Stderr();
}

}  // namespace
}  // namespace e2e
