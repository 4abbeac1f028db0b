// Starting, pausing and stopping scans from the page: buttons and keys, input the page refuses
// before it asks the program, and a stop while records keep streaming in.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "page/PageTest.h"

namespace e2e {
namespace {

TEST_F(PageTest, PauseAndStopByButtonsAndKeysDropResponses) {
    // The scanned page loads one more image when the test asks it to.
    site->Route("/p/index.html",
                Response::Html(Page("<p>driven</p>", control->LoaderScript("scan"))));
    for (const char* name : {"first", "paused", "resumed", "stopped", "idle", "again", "after"})
        site->Route(std::string("/p/") + name + ".gif", Response::Of("image/gif", Gif()));

    AppRun& run = NewPageApp();
    ASSERT_TRUE(Launch(run));
    // Only images are captured, so the scanned page's own polling never is.
    ASSERT_NO_FATAL_FAILURE(Click("#filter-mime"));
    ASSERT_NO_FATAL_FAILURE(TypeInto("#mime-text", "image"));
    ASSERT_NO_FATAL_FAILURE(TypeInto("#url", site->Url("/p/index.html")));
    ASSERT_NO_FATAL_FAILURE(Key("Return"));
    ASSERT_TRUE(WaitForState([](const PageState& s) { return s.S("state") == "running"; })) << last;
    ASSERT_TRUE(WaitForScanWindow());
    KeepScanWindowsAside();

    auto load = [&](const std::string& path) {
        ASSERT_EQ(control->Eval("scan", "load('" + path + "')", kStartTimeout), "loading");
        ASSERT_TRUE(site->WaitForReport("loaded:" + path)) << path;
    };
    auto listed = [&](const PageState& s, const std::string& path) {
        const auto results = s.Results();
        return std::count(results.begin(), results.end(), site->Url(path)) > 0 &&
               s.Find(path) != nullptr;
    };
    auto waitListed = [&](const std::string& path) {
        return WaitForState([&](const PageState& s) { return listed(s, path); });
    };
    // A dropped response is watched for a while: the program learns of a response a little
    // after the page that loaded it.
    auto staysOut = [&](const std::string& path) {
        return StaysFalse(
            [&] {
                auto s = State();
                return s && (s->Find(path) != nullptr || [&] {
                           const auto r = s->Results();
                           return std::count(r.begin(), r.end(), site->Url(path)) > 0;
                       }());
            },
            Millis(1200), Millis(100));
    };
    auto waitState = [&](const std::string& state) {
        return WaitForState([&](const PageState& s) { return s.S("state") == state; });
    };

    ASSERT_NO_FATAL_FAILURE(load("/p/first.gif"));
    ASSERT_TRUE(waitListed("/p/first.gif")) << last;

    // The Pause button: paused, and the next response is not listed.
    ASSERT_NO_FATAL_FAILURE(Click("#pause"));
    ASSERT_TRUE(waitState("paused")) << last;
    EXPECT_EQ(last.S("pauseText"), "Resume");
    ASSERT_NO_FATAL_FAILURE(load("/p/paused.gif"));
    EXPECT_TRUE(staysOut("/p/paused.gif"));

    // Alt+P resumes.
    ASSERT_NO_FATAL_FAILURE(Key("alt+p"));
    ASSERT_TRUE(waitState("running")) << last;
    EXPECT_EQ(last.S("pauseText"), "Pause");
    ASSERT_NO_FATAL_FAILURE(load("/p/resumed.gif"));
    EXPECT_TRUE(waitListed("/p/resumed.gif")) << last;

    // Alt+S stops; Alt+P then changes nothing.
    ASSERT_NO_FATAL_FAILURE(Key("alt+s"));
    ASSERT_TRUE(waitState("idle")) << last;
    ASSERT_NO_FATAL_FAILURE(load("/p/stopped.gif"));
    EXPECT_TRUE(staysOut("/p/stopped.gif"));
    ASSERT_NO_FATAL_FAILURE(Key("alt+p"));
    ASSERT_NO_FATAL_FAILURE(load("/p/idle.gif"));
    EXPECT_TRUE(staysOut("/p/idle.gif"));
    EXPECT_EQ(State()->S("state"), "idle");

    // Return in the address field starts again with an empty list; the Stop button stops.
    ASSERT_NO_FATAL_FAILURE(Click("#url"));
    ASSERT_NO_FATAL_FAILURE(Key("Return"));
    ASSERT_TRUE(WaitForState([](const PageState& s) {
        return s.S("state") == "running" && s.N("total") == 0;
    })) << last;
    ASSERT_TRUE(WaitForScanWindow());
    ASSERT_NO_FATAL_FAILURE(load("/p/again.gif"));
    EXPECT_TRUE(waitListed("/p/again.gif")) << last;
    ASSERT_NO_FATAL_FAILURE(Click("#stop"));
    ASSERT_TRUE(waitState("idle")) << last;
    ASSERT_NO_FATAL_FAILURE(load("/p/after.gif"));
    EXPECT_TRUE(staysOut("/p/after.gif"));
    EXPECT_EQ(State()->S("message"), "");
}

// Input the page refuses before it asks the program: it says what is wrong, puts the cursor
// where the fix goes, and nothing is loaded.
struct WrongInputCase {
    const char* name;
    const char* filter;   // the radio button to click: "#filter-off", "#filter-mime", ...
    const char* field;    // the filter text field to fill, or "" for none
    const char* text;     // typed into it ("" leaves it empty)
    const char* address;  // typed into the address field; "site" for the site's address
    const char* message;  // how the message starts
    const char* focus;    // the field that has the focus afterwards
};

TEST_F(PageTest, WrongInputSaysWhatIsWrongAndStartsNothing) {
    AppRun& run = NewPageApp();
    ASSERT_TRUE(Launch(run));
    AddScanSite(*site);
    const std::vector<WrongInputCase> cases = {
        {"NoAddress", "#filter-off", "", "", "", "Type the address of the page to scan", "url"},
        {"BlankAddress", "#filter-off", "", "", "   ", "Type the address of the page to scan",
         "url"},
        {"EmptyMimeText", "#filter-mime", "#mime-text", "", "site",
         "Type a piece of MIME type to keep", "mime-text"},
        {"SeveralMimeTypes", "#filter-mime", "#mime-text", "video, audio", "site",
         "The MIME filter takes one piece of text", "mime-text"},
        {"EmptyExtensionList", "#filter-ext", "#ext-text", " ; ", "site",
         "Type at least one file extension", "ext-text"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_NO_FATAL_FAILURE(Click(c.filter));
        if (*c.field) {
            ASSERT_NO_FATAL_FAILURE(TypeInto(c.field, c.text));
        }
        const std::string address =
            std::string(c.address) == "site" ? site->Url("/site/index.html") : c.address;
        ASSERT_NO_FATAL_FAILURE(TypeInto("#url", address));
        ASSERT_NO_FATAL_FAILURE(Key("Return"));
        EXPECT_TRUE(WaitForState([&](const PageState& s) {
            return s.S("message").rfind(c.message, 0) == 0 && s.S("focus") == c.focus;
        })) << last;
        EXPECT_EQ(last.S("state"), "idle");
    }
    EXPECT_EQ(CountSiteRequests(), 0u) << "the page asked for a scan";
    EXPECT_TRUE(x->Windows([&](const WindowInfo& w) { return IsScanWindow(w); }).empty());

    // Corrected input starts, and the message goes away.
    ASSERT_NO_FATAL_FAILURE(TypeInto("#ext-text", "gif"));
    ASSERT_NO_FATAL_FAILURE(Click("#url"));
    ASSERT_NO_FATAL_FAILURE(Key("Return"));
    EXPECT_TRUE(WaitForState(
        [](const PageState& s) {
            return s.S("state") == "running" && s.S("message").empty() && s.N("count") > 0;
        },
        kStartTimeout))
        << last;
}

// Records keep coming while "stop" runs (the program hands over what it queued before its
// answer): the page must still say the scan stopped, every time.
TEST_F(PageTest, StopUnderAFastStreamOfRecordsSaysStopped) {
    AddStreamSite(*site, 500);
    AppRun& run = NewPageApp();
    ASSERT_TRUE(Launch(run));
    ASSERT_NO_FATAL_FAILURE(TypeInto("#url", site->Url("/stream/index.html")));
    auto streaming = [](const PageState& s) {
        return s.S("state") == "running" && s.N("total") >= 200;
    };
    for (int round = 0; round < 4; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        // On a loaded machine a key can arrive while the page is still busy with the previous
        // round's records; a start that did not take is pressed once more.
        bool started = false;
        for (int attempt = 0; attempt < 2 && !started; ++attempt) {
            ASSERT_NO_FATAL_FAILURE(Click("#url"));
            ASSERT_NO_FATAL_FAILURE(Key("Return"));
            started = WaitForState(streaming, kStartTimeout);
        }
        ASSERT_TRUE(started) << last;
        ASSERT_NO_FATAL_FAILURE(Click("#stop"));
        ASSERT_TRUE(WaitForState([](const PageState& s) { return s.S("state") == "idle"; }))
            << last;
        EXPECT_TRUE(StaysFalse(
            [&] {
                auto s = State();
                return s && s->S("state") != "idle";
            },
            Millis(1500), Millis(50)))
            << "the page went back to \"" << State()->S("statusText") << "\"";
    }
}

}  // namespace
}  // namespace e2e
