// The life of the program's windows during scans: a closed scan window is made again, and
// closing the main window ends the program with every window it opened, however many.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>

#include "scan/ScanTest.h"

namespace e2e {
namespace {

using ::testing::IsEmpty;

TEST_F(ScanTest, ClosedScanWindowIsMadeAgainByTheNextStart) {
    site->Route("/c/one.html", Response::Html("<!DOCTYPE html><img src=\"/c/one.gif\">"));
    site->Route("/c/two.html", Response::Html("<!DOCTYPE html><img src=\"/c/two.gif\">"));
    site->Route("/c/one.gif", Response::Of("image/gif", Gif()));
    site->Route("/c/two.gif", Response::Of("image/gif", Gif()));
    ASSERT_TRUE(StartDriver());

    ASSERT_EQ(Start(Unfiltered(site->Url("/c/one.html"))), kAnswer1);
    ASSERT_TRUE(WaitForOtherWindows(1));
    const WindowInfo first = OtherWindows().front();
    EXPECT_TRUE(WaitForRecordOf(site->Url("/c/one.gif")));

    ASSERT_TRUE(x->CloseWindow(first.id));
    ASSERT_TRUE(WaitUntil([&] { return !x->IsShown(first.id); }, kActionTimeout));
    EXPECT_TRUE(app->Running());

    ASSERT_EQ(Start(Unfiltered(site->Url("/c/two.html"))), kAnswer1);
    ASSERT_TRUE(WaitForOtherWindows(1)) << "no new scan window";
    const WindowInfo second = OtherWindows().front();
    EXPECT_NE(second.id, first.id);
    EXPECT_EQ(second.title, kMainTitle);
    EXPECT_TRUE(WaitForRecordOf(site->Url("/c/two.gif"))) << Dump(Records());
    EXPECT_EQ(CountRecordsOf(site->Url("/c/one.gif")), 1u);
}

TEST_F(ScanTest, ClosingTheMainWindowTearsDownEveryWindowAndEndsWithZero) {
    site->Route("/t/index.html",
                Response::Html("<!DOCTYPE html><p>opener</p><script>"
                               "window.open('/t/a.html'); window.open('/t/b.html');</script>"));
    site->Route("/t/a.html", Response::Html("<!DOCTYPE html><p>a</p>"));
    site->Route("/t/b.html", Response::Html("<!DOCTYPE html><p>b</p>"));
    ASSERT_TRUE(StartDriver());

    ASSERT_EQ(Start(Unfiltered(site->Url("/t/index.html"))), kAnswer1);
    ASSERT_TRUE(WaitForOtherWindows(3)) << OtherWindows().size() << " other windows";
    EXPECT_TRUE(WaitForRecordOf(site->Url("/t/a.html")));
    EXPECT_TRUE(WaitForRecordOf(site->Url("/t/b.html")));

    ASSERT_TRUE(x->CloseWindow(mainWindow->id));
    EXPECT_EQ(app->WaitForExit(kStartTimeout), std::optional<int>(0)) << app->Stderr();
    EXPECT_TRUE(WaitUntil(
        [&] {
            return x
                ->Windows([&](const WindowInfo& w) { return w.pid == app->Pid() && w.viewable; })
                .empty();
        },
        kActionTimeout));
}

TEST_F(ScanTest, PopupsInALoopAreAllWatchedAndTheProgramStaysResponsive) {
    constexpr int kPopups = 30;
    site->Route(
        "/l/index.html",
        Response::Html("<!DOCTYPE html><script>for (var i = 0; i < " + std::to_string(kPopups) +
                       "; i++) window.open('/l/popup.html?' + i);</script>"));
    site->Route("/l/popup.html", Response::Html("<!DOCTYPE html><img src=\"/l/img.gif\">"));
    site->Route("/l/img.gif", Response::Of("image/gif", Gif()));
    ASSERT_TRUE(StartDriver());
    ASSERT_EQ(Start(Unfiltered(site->Url("/l/index.html"))), kAnswer1);

    EXPECT_TRUE(WaitForRecords(
        [&](const auto& records) {
            return std::count_if(records.begin(), records.end(), [&](const Record& r) {
                       return r.url.find("/l/popup.html?") != std::string::npos;
                   }) == kPopups;
        },
        Millis(90000)))
        << Dump(Records());
    EXPECT_TRUE(WaitForOtherWindows(kPopups + 1, kStartTimeout)) << OtherWindows().size();
    EXPECT_THAT(InvalidRecords(), IsEmpty());
    EXPECT_EQ(Call("nothing", "{}"), kAnswer0);

    // Closing the main window still ends everything cleanly.
    ASSERT_TRUE(x->CloseWindow(mainWindow->id));
    EXPECT_EQ(app->WaitForExit(kStartTimeout), std::optional<int>(0)) << app->Stderr();
}

}  // namespace
}  // namespace e2e
