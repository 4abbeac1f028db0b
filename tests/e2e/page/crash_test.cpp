// The web processes of the program's windows end (killed here with SIGKILL, as the system's
// out-of-memory killer or a crash would end them): the main window loads its page again and
// gives it the scan back, the scan window says its page stopped, and a page that keeps ending
// gives way to a message.

#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "e2e/Command.h"
#include "e2e/Processes.h"
#include "page/PageTest.h"

namespace e2e {
namespace {

namespace fs = std::filesystem;

class CrashTest : public PageTest {
protected:
    // Starts a scan of a page that streams records in, and waits until some are listed.
    void StartStreaming() {
        ASSERT_NO_FATAL_FAILURE(TypeInto("#url", site->Url("/stream/index.html")));
        ASSERT_NO_FATAL_FAILURE(Key("Return"));
        ASSERT_TRUE(WaitForState(
            [](const PageState& s) { return s.S("state") == "running" && s.N("total") >= 40; },
            kStartTimeout))
            << last;
        ASSERT_TRUE(WaitForScanWindow());
        KeepScanWindowsAside();
    }
};

TEST_F(CrashTest, MainPageComesBackWithTheWholeScan) {
    AddStreamSite(*site, 100);
    AppRun& run = NewPageApp();
    ASSERT_TRUE(Launch(run));
    ASSERT_NO_FATAL_FAILURE(StartStreaming());
    const auto page = WaitForPageProcess(run.Pid());
    ASSERT_TRUE(page);
    auto before = State();
    ASSERT_TRUE(before);
    const size_t had = before->Results().size();
    ASSERT_EQ(before->Strings("history").size(), 1u) << *before;

    ASSERT_EQ(kill(*page, SIGKILL), 0);
    ASSERT_TRUE(WaitForPageProcess(run.Pid(), {*page})) << "the page was not loaded again";
    // The page loaded again shows the scan running, with every record of it and more arriving.
    ASSERT_TRUE(WaitForState(
        [&](const PageState& s) {
            return s.S("state") == "running" && s.Results().size() > had &&
                   s.N("total") == static_cast<int>(s.Results().size());
        },
        kStartTimeout))
        << last;
    const auto results = last.Results();
    const auto earlier = before->Results();
    // The records come back in the order they first arrived, ahead of the new ones.
    EXPECT_TRUE(std::equal(earlier.begin(), earlier.end(), results.begin()));
    // The history goes on with the same scan instead of saving the records a second time.
    EXPECT_EQ(last.Strings("history").size(), 1u) << last;
    ShotOfMainWindow("crash-main-page-back.png");

    ASSERT_NO_FATAL_FAILURE(Click("#stop"));
    ASSERT_TRUE(WaitForState([](const PageState& s) { return s.S("state") == "idle"; })) << last;
    ASSERT_TRUE(x->CloseWindow(mainWindow->id));
    EXPECT_EQ(run.WaitForExit(), std::optional<int>(0)) << run.Stderr();
}

TEST_F(CrashTest, ScanWindowProcessEndsAndTheNextStartLoadsItAgain) {
    AddStreamSite(*site, 100);
    AppRun& run = NewPageApp();
    ASSERT_TRUE(Launch(run));
    ASSERT_NO_FATAL_FAILURE(StartStreaming());
    std::vector<pid_t> scanned;
    ASSERT_TRUE(WaitUntil(
        [&] {
            scanned = WebProcesses(run.Pid(), false);
            return !scanned.empty();
        },
        kActionTimeout));
    for (pid_t pid : scanned) ASSERT_EQ(kill(pid, SIGKILL), 0);

    // The records stop, the page still answers and the scan state is as it was.
    size_t total = 0;
    ASSERT_TRUE(WaitUntil(
        [&] {
            auto s = State();
            if (!s) return false;
            const bool settled = s->N("total") == static_cast<int>(total);
            total = static_cast<size_t>(s->N("total"));
            return settled;
        },
        kActionTimeout, Millis(500)));
    ASSERT_TRUE(WaitForState([](const PageState& s) { return s.S("state") == "running"; })) << last;
    ShotOfMainWindow("crash-scan-window.png");

    // A new start loads the scanned page again, in a new process.
    ASSERT_NO_FATAL_FAILURE(Click("#stop"));
    ASSERT_TRUE(WaitForState([](const PageState& s) { return s.S("state") == "idle"; })) << last;
    ASSERT_NO_FATAL_FAILURE(Click("#url"));
    ASSERT_NO_FATAL_FAILURE(Key("Return"));
    ASSERT_TRUE(WaitForState(
        [](const PageState& s) { return s.S("state") == "running" && s.N("total") >= 20; },
        kStartTimeout))
        << last;
    const auto now = WebProcesses(run.Pid(), false);
    EXPECT_TRUE(std::none_of(now.begin(), now.end(), [&](pid_t pid) {
        return std::count(scanned.begin(), scanned.end(), pid) > 0;
    }));
    ASSERT_TRUE(x->CloseWindow(mainWindow->id));
    EXPECT_EQ(run.WaitForExit(), std::optional<int>(0)) << run.Stderr();
}

TEST_F(CrashTest, TwoEndsInARowShowAMessage) {
    AppRun& run = NewPageApp();
    ASSERT_TRUE(Launch(run));
    const auto first = WaitForPageProcess(run.Pid());
    ASSERT_TRUE(first);
    ASSERT_EQ(kill(*first, SIGKILL), 0);
    const auto second = WaitForPageProcess(run.Pid(), {*first});
    ASSERT_TRUE(second) << "the page was not loaded again";
    ASSERT_EQ(kill(*second, SIGKILL), 0);

    // The message's own pale background fills the window, where the page would be. The
    // message has no probe, so the picture is taken without asking the page.
    fs::create_directories(ArtifactsDir());
    const std::string shot = ArtifactsDir() + "/crash-twice.png";
    std::optional<std::array<int, 3>> pixel;
    EXPECT_TRUE(WaitUntil(
        [&] {
            if (!RunCommand({"import", "-window", std::to_string(mainWindow->id), shot}).Ok())
                return false;
            pixel = PixelAt(shot, 20, 20);
            return pixel == std::array<int, 3>{255, 248, 225};
        },
        kActionTimeout, Millis(250)))
        << (pixel ? std::to_string((*pixel)[0]) + "," + std::to_string((*pixel)[1]) + "," +
                        std::to_string((*pixel)[2])
                  : std::string("no picture"));
    ASSERT_TRUE(x->CloseWindow(mainWindow->id));
    EXPECT_EQ(run.WaitForExit(), std::optional<int>(0)) << run.Stderr();
}

}  // namespace
}  // namespace e2e
