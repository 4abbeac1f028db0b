// Script dialogs of scanned pages: a page that alerts in a loop holds only its own window, the
// main window stays usable, closing either window ends the dialogs, a huge message shows cut,
// and after a few dialogs in quick succession the user can stop the page's dialogs.

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>

#include "page/PageTest.h"

namespace e2e {
namespace {

class ScanDialogTest : public PageTest {
protected:
    // Serves `script` as /d/page.html behind the closed gate, starts the program and a scan of
    // that page as a person does, puts the scan window beside the main window and opens the
    // gate.
    void ScanPage(const std::string& script) {
        site->Route("/d/go", Response::Of("text/plain", "wait"));
        site->Route("/d/page.html",
                    Response::Html(Page("<p>dialogs</p>",
                                        "function whenGo(run) {\n"
                                        "  fetch('/d/go', {cache: 'no-store'})\n"
                                        "    .then(function (r) { return r.text(); })\n"
                                        "    .then(function (t) {\n"
                                        "      if (t === 'go') run(); else setTimeout(function () "
                                        "{ whenGo(run); }, 100);\n"
                                        "    }, function () { setTimeout(function () { "
                                        "whenGo(run); }, 100); });\n"
                                        "}\n"
                                        "whenGo(function () {\n" +
                                            script + "\n});\n")));
        AppRun& run = NewPageApp();
        ASSERT_TRUE(Launch(run));
        ASSERT_NO_FATAL_FAILURE(TypeInto("#url", site->Url("/d/page.html")));
        ASSERT_NO_FATAL_FAILURE(Key("Return"));
        ASSERT_TRUE(WaitForState([](const PageState& s) { return s.S("state") == "running"; }))
            << last;
        ASSERT_TRUE(WaitForScanWindow());
        KeepScanWindowsAside();
        auto windows = x->Windows([&](const WindowInfo& w) { return IsScanWindow(w); });
        ASSERT_EQ(windows.size(), 1u);
        scanWindow = windows.front();
        ASSERT_TRUE(WaitUntil(
            [&] {
                auto now = x->Windows([&](const WindowInfo& w) { return w.id == scanWindow->id; });
                return !now.empty() && now.front().x >= mainWindow->x + mainWindow->width;
            },
            kActionTimeout));
        site->Route("/d/go", Response::Of("text/plain", "go"));
    }

    // The next message box of the scan window other than `previous`.
    std::optional<WindowInfo> WaitForScanDialog(XWindowId previous = 0,
                                                Millis timeout = kActionTimeout) {
        return x->WaitForWindow(
            [&](const WindowInfo& w) {
                return w.pid == app->Pid() && w.viewable && w.IsDialog() &&
                       w.transientFor == scanWindow->id && w.id != previous;
            },
            timeout);
    }

    // Every viewable dialog of the program.
    std::vector<WindowInfo> Dialogs() {
        return x->Windows(
            [&](const WindowInfo& w) { return w.pid == app->Pid() && w.viewable && w.IsDialog(); });
    }

    // The text the box shows, as its label copies it to the clipboard.
    std::optional<std::string> DialogText(const WindowInfo& dialog) {
        const auto before = x->ClipboardText();
        // The label comes before the buttons in the focus chain; the keyboard gets there, as
        // a click would leave the pointer where the next windows appear.
        if (!x->Key(dialog.id, "shift+Tab")) return std::nullopt;
        if (!x->Key(dialog.id, "ctrl+a") || !x->Key(dialog.id, "ctrl+c")) return std::nullopt;
        std::optional<std::string> text;
        WaitUntil(
            [&] {
                text = x->ClipboardText();
                return text && text != before;
            },
            kActionTimeout, Millis(50));
        // Without the zero-width spaces the box puts into long runs so that they wrap.
        for (size_t at; text && (at = text->find("\u200B")) != std::string::npos;)
            text->erase(at, 3);
        return text;
    }

    // Answers a box with `keys` and waits until it has gone.
    ::testing::AssertionResult Answer(const WindowInfo& dialog, const std::string& keys) {
        if (!x->Key(dialog.id, keys)) return ::testing::AssertionFailure() << "xdotool " << keys;
        if (!WaitUntil([&] { return !x->IsShown(dialog.id); }, kActionTimeout))
            return ::testing::AssertionFailure() << "the box stayed after " << keys;
        return ::testing::AssertionSuccess();
    }

    std::optional<WindowInfo> scanWindow;
};

constexpr const char* kAlertLoop = "var n = 0; for (;;) alert('Alert number ' + (++n));";

// ---------------------------------------------------------------------------------------

TEST_F(ScanDialogTest, MainWindowStopsAndTakesTypingWhileTheScannedPageAlertsInALoop) {
    ASSERT_NO_FATAL_FAILURE(ScanPage(kAlertLoop));
    auto first = WaitForScanDialog();
    ASSERT_TRUE(first) << "no message box of the scan window";
    EXPECT_EQ(first->title, kMainTitle);

    // The Stop button and the address field of the main window work as ever.
    ASSERT_NO_FATAL_FAILURE(Click("#stop"));
    EXPECT_TRUE(WaitForState([](const PageState& s) { return s.S("state") == "idle"; })) << last;
    ASSERT_NO_FATAL_FAILURE(TypeInto("#url", "typed while a page shows a dialog"));
    EXPECT_TRUE(x->IsShown(first->id)) << "the scanned page's box went with the stop";

    // The page gets its answer and opens the next box.
    ASSERT_TRUE(Answer(*first, "Return"));
    auto second = WaitForScanDialog(first->id);
    EXPECT_TRUE(second) << "the page was not answered";
    EXPECT_TRUE(app->Running());
}

// ---------------------------------------------------------------------------------------
// Closing a window while its page, or a page it scans, shows a dialog

struct CloseCase {
    const char* name;
    bool mainWindow;  // close the main window (else the scan window)
};

void PrintTo(const CloseCase& c, std::ostream* os) {
    *os << c.name;
}

class CloseDuringDialogTest : public ScanDialogTest,
                              public ::testing::WithParamInterface<CloseCase> {};

TEST_P(CloseDuringDialogTest, ClosingTheWindowEndsTheDialogs) {
    ASSERT_NO_FATAL_FAILURE(ScanPage(kAlertLoop));
    auto dialog = WaitForScanDialog();
    ASSERT_TRUE(dialog) << "no message box of the scan window";

    if (GetParam().mainWindow) {
        ASSERT_TRUE(x->CloseWindow(mainWindow->id));
        EXPECT_EQ(app->WaitForExit(kStartTimeout), std::optional<int>(0)) << app->Stderr();
        return;
    }
    ASSERT_TRUE(x->CloseWindow(scanWindow->id));
    EXPECT_TRUE(WaitUntil([&] { return !x->IsShown(scanWindow->id); }, kActionTimeout))
        << "the scan window stayed";
    // No box of the page comes back: its view is gone with its window.
    EXPECT_TRUE(WaitUntil([&] { return Dialogs().empty(); }, kActionTimeout))
        << Dialogs().size() << " boxes stayed";
    EXPECT_TRUE(StaysFalse([&] { return !Dialogs().empty(); }, Millis(1500)));
    EXPECT_TRUE(app->Running());
    EXPECT_EQ(Eval("'main page answers'"), "main page answers");
}

INSTANTIATE_TEST_SUITE_P(Windows, CloseDuringDialogTest,
                         ::testing::Values(CloseCase{"ScanWindow", false},
                                           CloseCase{"MainWindow", true}),
                         [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------------------
// Messages of megabytes

struct LongTextCase {
    const char* name;
    const char* text;    // a script expression: the message
    const char* prefix;  // how the message starts
};

void PrintTo(const LongTextCase& c, std::ostream* os) {
    *os << c.name;
}

class LongTextTest : public ScanDialogTest, public ::testing::WithParamInterface<LongTextCase> {};

// Code points of UTF-8 text.
size_t CodePoints(const std::string& text) {
    return std::count_if(text.begin(), text.end(),
                         [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; });
}

TEST_P(LongTextTest, BoxShowsTheStartOfTheMessageCut) {
    const LongTextCase& c = GetParam();
    ASSERT_NO_FATAL_FAILURE(ScanPage(std::string("var text = ") + c.text +
                                     ";\n"
                                     "report('length:' + text.length);\n"
                                     "alert(text);\n"
                                     "report('alert-returned');"));
    auto dialog = WaitForScanDialog();
    ASSERT_TRUE(dialog) << "no message box of the scan window";
    EXPECT_LE(dialog->height, 1000);

    auto text = DialogText(*dialog);
    ASSERT_TRUE(text) << "the box's text could not be copied";
    EXPECT_EQ(text->rfind(c.prefix, 0), 0u) << text->substr(0, 200);
    EXPECT_LE(CodePoints(*text), 3002u);
    EXPECT_LE(std::count(text->begin(), text->end(), '\n'), 40);
    EXPECT_EQ(text->substr(text->size() - 3), "\u2026") << "no mark that the text was cut";

    ASSERT_TRUE(Answer(*dialog, "Return"));
    EXPECT_TRUE(site->WaitForReport("alert-returned")) << ::testing::PrintToString(site->Reports());
}

INSTANTIATE_TEST_SUITE_P(
    Messages, LongTextTest,
    ::testing::Values(LongTextCase{"TenMegabytesOnOneLine",
                                   "'Start of one long line. ' + 'x'.repeat(10 * 1024 * 1024)",
                                   "Start of one long line. xxx"},
                      LongTextCase{"AHundredThousandLines",
                                   "'Start of many lines.\\n' + 'line\\n'.repeat(100000)",
                                   "Start of many lines.\nline\nline\n"}),
    [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------------------
// Stopping a page's dialogs

struct AfterStopCase {
    const char* name;
    const char* script;    // what the page does once its dialogs were stopped
    const char* expected;  // what it reports, without a box being shown
};

void PrintTo(const AfterStopCase& c, std::ostream* os) {
    *os << c.name;
}

class StopDialogsTest : public ScanDialogTest,
                        public ::testing::WithParamInterface<AfterStopCase> {};

TEST_P(StopDialogsTest, ThirdBoxInQuickSuccessionOffersToStopThePagesDialogs) {
    const AfterStopCase& c = GetParam();
    ASSERT_NO_FATAL_FAILURE(
        ScanPage(std::string("alert('First'); alert('Second'); alert('Third');\n") + c.script));

    // The first two boxes have no such choice: its access key does nothing there.
    XWindowId previous = 0;
    for (int i = 0; i < 2; ++i) {
        auto dialog = WaitForScanDialog(previous);
        ASSERT_TRUE(dialog) << "no box " << i + 1;
        ASSERT_TRUE(x->Key(dialog->id, "alt+s"));
        ASSERT_TRUE(Answer(*dialog, "Return"));
        previous = dialog->id;
    }
    auto third = WaitForScanDialog(previous);
    ASSERT_TRUE(third) << "no third box";
    ASSERT_TRUE(x->Key(third->id, "alt+s"));
    ASSERT_TRUE(Answer(*third, "Return"));

    EXPECT_TRUE(site->WaitForReport(c.expected)) << ::testing::PrintToString(site->Reports());
    EXPECT_TRUE(Dialogs().empty());

    // A new scan of the page shows its dialogs again.
    ASSERT_NO_FATAL_FAILURE(Click("#url"));
    ASSERT_NO_FATAL_FAILURE(Key("Return"));
    auto again = WaitForScanDialog(third->id);
    EXPECT_TRUE(again) << "no box after a new scan";
}

INSTANTIATE_TEST_SUITE_P(
    Dialogs, StopDialogsTest,
    ::testing::Values(
        AfterStopCase{"ConfirmIsFalse", "report('confirm:' + confirm('Fourth'));", "confirm:false"},
        AfterStopCase{"AlertReturns", "alert('Fourth'); report('alert-returned');",
                      "alert-returned"},
        AfterStopCase{"PromptIsNull", "report('prompt:' + prompt('Fourth', 'default'));",
                      "prompt:null"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace e2e
