// A scanned page that starts more loads than the engine can keep up with does not outlive its
// scan: the program's own page answers while it floods, and after Stop a new Start lists the
// new page's resources, and never one of the old page's.

#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <string>
#include <vector>

#include "scan/ScanTest.h"

namespace e2e {
namespace {

struct FloodCase {
    const char* name;
    const char* script;  // runs once the page's first image is in
};

void PrintTo(const FloodCase& c, std::ostream* os) {
    *os << c.name;
}

class FloodTest : public ScanTest, public ::testing::WithParamInterface<FloodCase> {};

TEST_P(FloodTest, NewStartAfterStopListsTheNewPageAndNothingOfTheOld) {
    const FloodCase& c = GetParam();
    // The flooding page has a site of its own, so that the driver page's own requests never
    // queue behind its loads at the site.
    TestSite floodSite;
    floodSite.Route("/flood/load", Response::Of("text/plain", "x"));
    floodSite.Route("/flood/started.gif", Response::Of("image/gif", Gif()));
    // The script starts once the first image is in, so that its record says it began.
    floodSite.Route("/flood/index.html",
                    Response::Html(std::string("<!DOCTYPE html><img id=\"first\" "
                                               "src=\"/flood/started.gif\"><script>"
                                               "document.getElementById('first').onload = "
                                               "function () {") +
                                   c.script + "};</script>"));
    site->Route("/next/index.html", Response::Html("<!DOCTYPE html><img src=\"/next/image.gif\">"));
    site->Route("/next/image.gif", Response::Of("image/gif", Gif()));
    ASSERT_TRUE(StartDriver());

    ASSERT_EQ(Start(Unfiltered(floodSite.Url("/flood/index.html"))), kAnswer1);
    ASSERT_TRUE(WaitForRecordOf(floodSite.Url("/flood/started.gif"), kStartTimeout));
    // The program's own page is served by a network process of its own.
    EXPECT_EQ(Call("state", "{}"), "{\"paused\":false,\"returnValue\":1,\"running\":true}\n");
    ASSERT_EQ(Call("stop", "{}"), kAnswer1);

    const size_t before = Records().size();
    ASSERT_EQ(Start(Unfiltered(site->Url("/next/index.html"))), kAnswer1);
    EXPECT_TRUE(WaitForRecordOf(site->Url("/next/image.gif"), kStartTimeout)) << Dump(Records());
    auto oldRecords = [&] {
        std::vector<Record> old;
        const auto& records = Records();
        std::copy_if(records.begin() + static_cast<std::ptrdiff_t>(before), records.end(),
                     std::back_inserter(old), [&](const Record& r) {
                         return r.url.rfind(floodSite.Url("/flood/"), 0) == 0;
                     });
        return old;
    };
    // Responses reach the page in the order they arrive, so a late one of the old page would
    // come soon after the new page's.
    EXPECT_TRUE(StaysFalse([&] { return !oldRecords().empty(); }, Millis(1000)))
        << Dump(oldRecords());
    EXPECT_EQ(Call("state", "{}"), "{\"paused\":false,\"returnValue\":1,\"running\":true}\n");
}

INSTANTIATE_TEST_SUITE_P(
    Floods, FloodTest,
    ::testing::Values(
        // Hundreds of thousands of fetches keep a network process busy for minutes.
        FloodCase{"HundredsOfThousandsOfFetches",
                  "for (var i = 0; i < 200000; i++)"
                  "  fetch('/flood/load?i=' + i).catch(function () {});"},
        // A script that never returns holds its web process, and every navigation of its view.
        FloodCase{"ScriptThatNeverReturns",
                  "fetch('/flood/load?i=0').catch(function () {}); for (;;) {}"},
        // A page that looks done when it is stopped (no load under way) and then never
        // answers again.
        FloodCase{"ScriptThatLoopsOnceItsLoadsEnded",
                  "window.onload = function () {"
                  "  setTimeout(function () { for (;;) {} }, 0);"
                  "};"}),
    [](const ::testing::TestParamInfo<FloodCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace e2e
