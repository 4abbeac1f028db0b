// The application shell end to end: the real program under X, with a test page in place of
// its own, its main window, the page's dialogs, links that want a new window, closing, the
// local storage folder and start-up without a display.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "e2e/Fixture.h"

namespace e2e {
namespace {

using ::testing::Contains;
using ::testing::Pair;

class ShellTest : public AppTest {};

// The page reports its own address once it has loaded.
constexpr const char* kReportLoad =
    "window.addEventListener('load', function () { report('loaded:' + location.href); });";

TEST_F(ShellTest, MainWindowShowsThePageBesideTheProgramWithItsIcons) {
    AppRun& run = NewApp();
    run.WritePage("index.html", Page("<h1>shell</h1>", kReportLoad));

    auto window = StartAndWaitForMainWindow(run);
    ASSERT_TRUE(window);
    EXPECT_TRUE(
        site->WaitForReport("loaded:file://" + run.HtmlDir() + "/index.html", kStartTimeout))
        << "reports so far: " << ::testing::PrintToString(site->Reports());

    // The main page opens no other window of its own.
    auto others = x->Windows([&](const WindowInfo& w) {
        return w.pid == run.Pid() && w.viewable && w.id != window->id;
    });
    EXPECT_TRUE(others.empty()) << "first other window: " << others.front().title;

    // Icon 101 at the two sizes a window shows.
    const auto icons = x->IconSizes(window->id);
    EXPECT_THAT(icons, Contains(Pair(32, 32)));
    EXPECT_THAT(icons, Contains(Pair(16, 16)));
}

TEST_F(ShellTest, MissingPageStillShowsTheWindowAndClosesCleanly) {
    AppRun& run = NewApp();  // no Html/index.html at all

    auto window = StartAndWaitForMainWindow(run);
    ASSERT_TRUE(window);
    EXPECT_TRUE(run.Running());
    ASSERT_TRUE(x->CloseWindow(window->id));
    EXPECT_EQ(run.WaitForExit(), std::optional<int>(0)) << run.Stderr();
}

// ---------------------------------------------------------------------------------------
// Alerts and confirms

struct DialogCase {
    const char* name;
    const char* script;    // run by the page once it has loaded
    const char* keys;      // typed into the message box
    const char* expected;  // what the page reports after the box closed
};

// Test names and failure messages show the case's name.
void PrintTo(const DialogCase& c, std::ostream* os) {
    *os << c.name;
}

class DialogTest : public ShellTest, public ::testing::WithParamInterface<DialogCase> {};

TEST_P(DialogTest, PageDialogIsAMessageBoxTitledLikeTheWindowAndAnswersThePage) {
    const DialogCase& c = GetParam();
    AppRun& run = NewApp();
    run.WritePage("index.html", Page("<p>dialogs</p>",
                                     std::string("window.addEventListener('load', function () {\n"
                                                 "  report('ready');\n"
                                                 "  setTimeout(function () {\n") +
                                         c.script +
                                         "\n  }, 0);\n"
                                         "});"));

    auto window = StartAndWaitForMainWindow(run);
    ASSERT_TRUE(window);
    ASSERT_TRUE(site->WaitForReport("ready", kStartTimeout));

    auto dialog = x->WaitForDialog(run.Pid(), kMainTitle);
    ASSERT_TRUE(dialog) << "no message box titled \"" << kMainTitle << "\"";
    EXPECT_EQ(dialog->transientFor, window->id) << "the box is not owned by the main window";

    ASSERT_TRUE(x->Key(dialog->id, c.keys));
    EXPECT_TRUE(site->WaitForReport(c.expected))
        << "reports so far: " << ::testing::PrintToString(site->Reports());
    EXPECT_TRUE(WaitUntil([&] { return !x->IsShown(dialog->id); }, kActionTimeout));
    EXPECT_TRUE(run.Running());
}

constexpr const char* kAlert = "alert('Hello from the page'); report('alert-returned');";
constexpr const char* kConfirm = "report('confirm:' + confirm('Keep going?'));";

INSTANTIATE_TEST_SUITE_P(
    Dialogs, DialogTest,
    ::testing::Values(DialogCase{"AlertClosedWithReturn", kAlert, "Return", "alert-returned"},
                      DialogCase{"AlertClosedWithEscape", kAlert, "Escape", "alert-returned"},
                      // Return takes the default button, which is Yes as in a yes/no box.
                      DialogCase{"ConfirmReturnIsYes", kConfirm, "Return", "confirm:true"},
                      DialogCase{"ConfirmYesButton", kConfirm, "alt+y", "confirm:true"},
                      DialogCase{"ConfirmNoButton", kConfirm, "alt+n", "confirm:false"},
                      DialogCase{"ConfirmEscapeIsNo", kConfirm, "Escape", "confirm:false"}),
    [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------------------
// Links that ask for a new window

struct NewWindowCase {
    const char* name;
    bool mouse;  // clicked by the user (xdotool) rather than by script
};

// Test names and failure messages show the case's name.
void PrintTo(const NewWindowCase& c, std::ostream* os) {
    *os << c.name;
}

class NewWindowLinkTest : public ShellTest, public ::testing::WithParamInterface<NewWindowCase> {};

TEST_P(NewWindowLinkTest, BlankTargetGoesToTheDefaultHandlerAndOpensNoWindow) {
    const bool mouse = GetParam().mouse;
    AppRun& run = NewApp();
    run.RegisterDefaultHandler();
    const std::string target = site->Url("/elsewhere/page.html?from=main");
    run.WritePage(
        "index.html",
        Page("<a id=\"out\" href=\"" + target +
                 "\" target=\"_blank\" style=\"position:absolute; left:40px; top:40px; "
                 "font-size:48px; padding:10px\">elsewhere</a>",
             std::string("window.addEventListener('load', function () {\n"
                         "  var r = document.getElementById('out').getBoundingClientRect();\n"
                         "  report('at:' + Math.round(r.left + r.width / 2) + ',' +\n"
                         "         Math.round(r.top + r.height / 2));\n") +
                 (mouse ? "" : "  document.getElementById('out').click();\n") + "});"));

    auto window = StartAndWaitForMainWindow(run);
    ASSERT_TRUE(window);
    auto at = site->WaitForReportPrefix("at:", kStartTimeout);
    ASSERT_TRUE(at);
    if (mouse) {
        int cx = 0, cy = 0;
        ASSERT_EQ(std::sscanf(at->c_str(), "%d,%d", &cx, &cy), 2) << *at;
        ASSERT_TRUE(x->Click(window->id, cx, cy));
    }

    auto call = run.WaitForHandlerCall();
    ASSERT_TRUE(call) << "the default handler was not called";
    EXPECT_EQ(*call, target);

    // Neither a window of the program nor a load of the address by the program.
    EXPECT_TRUE(StaysFalse(
        [&] {
            return !x->Windows([&](const WindowInfo& w) {
                         return w.pid == run.Pid() && w.viewable && w.id != window->id;
                     }).empty();
        },
        Millis(1500)));
    EXPECT_EQ(site->CountPath("/elsewhere/page.html?from=main"), 0u);
    EXPECT_EQ(run.HandlerCalls().size(), 1u);
    EXPECT_TRUE(run.Running());
}

INSTANTIATE_TEST_SUITE_P(Links, NewWindowLinkTest,
                         ::testing::Values(NewWindowCase{"ScriptClick", false},
                                           NewWindowCase{"MouseClick", true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ShellTest, WindowOpenInTheMainPageGetsNoWindow) {
    AppRun& run = NewApp();
    run.RegisterDefaultHandler();
    const std::string target = site->Url("/opened.html");
    run.WritePage("index.html", Page("<p>open</p>",
                                     "window.addEventListener('load', function () {\n"
                                     "  var w = window.open('" +
                                         target +
                                         "');\n"
                                         "  report('opened:' + (w === null));\n"
                                         "});"));

    auto window = StartAndWaitForMainWindow(run);
    ASSERT_TRUE(window);
    EXPECT_TRUE(site->WaitForReport("opened:true", kStartTimeout))
        << "reports so far: " << ::testing::PrintToString(site->Reports());
    EXPECT_TRUE(StaysFalse(
        [&] {
            return !x->Windows([&](const WindowInfo& w) {
                         return w.pid == run.Pid() && w.viewable && w.id != window->id;
                     }).empty();
        },
        Millis(1500)));
    EXPECT_EQ(site->CountPath("/opened.html"), 0u);
}

// ---------------------------------------------------------------------------------------
// Closing

TEST_F(ShellTest, CloseButtonEndsTheProgramWithStatusZero) {
    AppRun& run = NewApp();
    run.WritePage("index.html", Page("<p>close me</p>", kReportLoad));

    auto window = StartAndWaitForMainWindow(run);
    ASSERT_TRUE(window);
    ASSERT_TRUE(site->WaitForReportPrefix("loaded:", kStartTimeout));
    ASSERT_TRUE(x->CloseWindow(window->id));
    EXPECT_EQ(run.WaitForExit(), std::optional<int>(0)) << run.Stderr();
    EXPECT_FALSE(x->IsShown(window->id));
}

// ---------------------------------------------------------------------------------------
// Local storage

// Runs the program on the page until it reports `expected`, then closes it; the run must end
// with status 0.
void RunOnce(AppRun& run, XSession& x, const TestSite& site, const std::string& expected) {
    ASSERT_TRUE(run.Start());
    auto window = x.WaitForMainWindow(run.Pid(), kMainTitle);
    ASSERT_TRUE(window) << run.Stderr();
    ASSERT_TRUE(site.WaitForReport(expected, kStartTimeout))
        << "reports so far: " << ::testing::PrintToString(site.Reports());
    ASSERT_TRUE(x.CloseWindow(window->id));
    ASSERT_EQ(run.WaitForExit(), std::optional<int>(0)) << run.Stderr();
}

TEST_F(ShellTest, FirstStartCreatesTheStorageFolderAndALaterOneKeepsItWhileItWorks) {
    AppRun& run = NewApp();
    run.WritePage("index.html", Page("<p>storage</p>", "report('run');"));

    ASSERT_NO_FATAL_FAILURE(RunOnce(run, *x, *site, "run"));
    EXPECT_TRUE(PathExists(run.LocalStorageDir()));
    EXPECT_TRUE(PathExists(run.ConfigHome() + "/trawlet")) << "no preference file was written";

    // The stored folder is used while it works, wherever the data folder is now.
    const std::string elsewhere = run.Root() + "/elsewhere";
    run.SetEnv("XDG_DATA_HOME=" + elsewhere);
    site->ClearRecords();
    ASSERT_NO_FATAL_FAILURE(RunOnce(run, *x, *site, "run"));
    EXPECT_FALSE(PathExists(elsewhere + "/WebKitUtil"));

    // Once it is gone, it is made anew below the data folder of the day.
    ASSERT_TRUE(RemoveTree(run.DataHome() + "/WebKitUtil"));
    site->ClearRecords();
    ASSERT_NO_FATAL_FAILURE(RunOnce(run, *x, *site, "run"));
    EXPECT_TRUE(PathExists(elsewhere + "/WebKitUtil/LocalStorage"));
    EXPECT_FALSE(PathExists(run.DataHome() + "/WebKitUtil"));
}

TEST_F(ShellTest, LocalStorageIsKeptAcrossRuns) {
    AppRun& run = NewApp();
    run.WritePage("index.html", Page("<p>storage</p>",
                                     "window.addEventListener('load', function () {\n"
                                     "  var before = localStorage.getItem('trawlet-test');\n"
                                     "  localStorage.setItem('trawlet-test', 'kept');\n"
                                     "  report('before:' + before);\n"
                                     "});"));

    ASSERT_NO_FATAL_FAILURE(RunOnce(run, *x, *site, "before:null"));
    site->ClearRecords();
    ASSERT_NO_FATAL_FAILURE(RunOnce(run, *x, *site, "before:kept"));
}

// ---------------------------------------------------------------------------------------
// No display

struct NoDisplayCase {
    const char* name;
    const char* display;  // nullptr: DISPLAY unset
};

// Test names and failure messages show the case's name.
void PrintTo(const NoDisplayCase& c, std::ostream* os) {
    *os << c.name;
}

class NoDisplayTest : public ShellTest, public ::testing::WithParamInterface<NoDisplayCase> {};

TEST_P(NoDisplayTest, EndsWithAnErrorInsteadOfWaitingForever) {
    AppRun& run = NewApp();
    run.WritePage("index.html", Page("<p>nowhere</p>", kReportLoad));
    run.SetEnv("WAYLAND_DISPLAY");
    run.SetEnv(GetParam().display ? std::string("DISPLAY=") + GetParam().display : "DISPLAY");

    ASSERT_TRUE(run.Start());
    auto status = run.WaitForExit(kStartTimeout);
    ASSERT_TRUE(status) << "the program still runs without a display";
    EXPECT_NE(*status, 0);
    EXPECT_FALSE(run.Stderr().empty()) << "no message on standard error";
    EXPECT_TRUE(site->Reports().empty());
}

INSTANTIATE_TEST_SUITE_P(Displays, NoDisplayTest,
                         ::testing::Values(NoDisplayCase{"Unset", nullptr},
                                           NoDisplayCase{"NoServerThere", ":7391"}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace e2e
