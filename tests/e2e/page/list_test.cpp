// The list the page fills from a scan: one row per address with its kind, fragments and
// stream segments folded, column sorts by bytes and hits, and the view filter and type chips
// that narrow what is shown without changing what is captured.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "page/PageTest.h"

namespace e2e {
namespace {

using ::testing::HasSubstr;
using ::testing::UnorderedElementsAreArray;

struct StartCase {
    const char* name;
    bool withReturn;  // Return in the address field, or a click on Start
};

void PrintTo(const StartCase& c, std::ostream* os) {
    *os << c.name;
}

class ScanStartTest : public PageTest, public ::testing::WithParamInterface<StartCase> {};

TEST_P(ScanStartTest, TypedAddressScansTheSiteIntoTheList) {
    AppRun& run = NewPageApp();
    ASSERT_TRUE(Launch(run));
    ASSERT_NO_FATAL_FAILURE(ScanTheSite(GetParam().withReturn));
    const PageState s = last;

    // One row per address (fragments folded), the segments under one row.
    struct Expected {
        std::string path, kind, badge, hits;
    };
    const std::vector<Expected> expected = {
        {"/site/index.html", "document", "", "1"},
        {"/site/css/look.css", "style", "", "1"},
        {"/site/js/app.js", "script", "", "1"},
        {"/site/img/tiny.gif", "image", "", "1"},
        {"/site/img/small.png", "image", "", "1"},
        {"/site/img/photo.jpg", "image", "", "1"},
        {"/site/img/big.gif", "image", "", "1"},
        {std::string(kHostilePath) + kHostileQuery, "image", "", "1"},
        {"/site/img/dup.gif#", "image", "", "3"},
        {"/site/media/tone.wav", "audio", "", ""},
        {"/site/hls/stream.m3u8", "playlist", "HLS", "1"},
        {"/site/hls/", "video", "segments", "4"},
    };
    std::set<std::string> matched;
    for (const auto& e : expected) {
        SCOPED_TRACE(e.path);
        const std::string wanted = site->Url(e.path);
        auto row = std::find_if(s.rows.begin(), s.rows.end(), [&](const Row& r) {
            return r.url == wanted || (wanted.back() == '#' && r.url.rfind(wanted, 0) == 0);
        });
        ASSERT_NE(row, s.rows.end()) << s;
        matched.insert(row->url);
        EXPECT_EQ(row->kind, e.kind);
        EXPECT_EQ(row->badge, e.badge);
        if (!e.hits.empty()) {
            EXPECT_EQ(row->hits, e.hits);
        }
        EXPECT_EQ(row->group, e.badge == "segments" ? "segments" : "");
    }
    EXPECT_EQ(matched.size(), s.rows.size()) << s;
    auto group = std::find_if(s.rows.begin(), s.rows.end(),
                              [](const Row& r) { return r.group == "segments"; });
    ASSERT_NE(group, s.rows.end());
    EXPECT_EQ(group->url, site->Url("/site/hls/"));
    EXPECT_EQ(group->name, "4 segments");
    // 4 x 1,880 bytes, summed from the records' size texts ("1.84KB" each), so near enough.
    EXPECT_NEAR(SizeBytes(group->size), 4 * 1880, 4 * 1880 * 0.01) << group->size;

    // The counts under the list say what is folded.
    EXPECT_EQ(s.N("total"), static_cast<int>(s.Results().size()));
    EXPECT_EQ(s.N("unique"), s.N("total") - s.N("duplicates"));
    EXPECT_GE(s.N("duplicates"), 2);
    EXPECT_THAT(s.S("countText"), HasSubstr("12 rows shown of "));
    EXPECT_THAT(s.S("countText"), HasSubstr("4 segments folded"));
    EXPECT_EQ(s.S("message"), "");
    EXPECT_EQ(s.S("state"), "running");
}

INSTANTIATE_TEST_SUITE_P(Starts, ScanStartTest,
                         ::testing::Values(StartCase{"ReturnInTheAddressField", true},
                                           StartCase{"StartButton", false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(PageTest, ColumnClicksSortBySizeInBytesAndByHits) {
    AppRun& run = NewPageApp();
    ASSERT_TRUE(Launch(run));
    ASSERT_NO_FATAL_FAILURE(ScanTheSite());

    struct SortCase {
        const char* button;
        const char* column;
        std::function<double(const Row&)> key;
    };
    const std::vector<SortCase> cases = {
        {"#sort-size", "size", [](const Row& r) { return SizeBytes(r.size); }},
        {"#sort-hits", "hits", [](const Row& r) { return std::stod(r.hits); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.button);
        for (const char* order : {"ascending", "descending"}) {
            SCOPED_TRACE(order);
            ASSERT_NO_FATAL_FAILURE(Click(c.button));
            ASSERT_TRUE(WaitForState([&](const PageState& s) {
                return s.Header(c.column) == order;
            })) << last;
            ASSERT_EQ(last.rows.size(), static_cast<size_t>(kScanSiteRows)) << last;
            std::vector<double> keys;
            for (const auto& r : last.rows) keys.push_back(c.key(r));
            for (double k : keys) EXPECT_GE(k, 0) << last;
            if (std::string(order) == "ascending")
                EXPECT_TRUE(std::is_sorted(keys.begin(), keys.end())) << last;
            else
                EXPECT_TRUE(std::is_sorted(keys.rbegin(), keys.rend())) << last;
        }
        // A third click goes back to arrival order.
        ASSERT_NO_FATAL_FAILURE(Click(c.button));
        ASSERT_TRUE(WaitForState([&](const PageState& s) { return s.Header(c.column) == "none"; }))
            << last;
    }
    // By bytes, not by text: text order would put 1.24MB before 19.53KB and 43B after 2.93KB.
    ASSERT_NO_FATAL_FAILURE(Click("#sort-size"));
    ASSERT_TRUE(WaitForState([&](const PageState& s) { return s.Header("size") == "ascending"; }));
    ASSERT_FALSE(last.rows.empty());
    EXPECT_EQ(last.rows.front().size, "43B") << last;
    EXPECT_EQ(last.rows.back().size, "1.24MB") << last;
}

TEST_F(PageTest, ViewFilterAndTypeChipsNarrowTheRows) {
    AppRun& run = NewPageApp();
    ASSERT_TRUE(Launch(run));
    ASSERT_NO_FATAL_FAILURE(ScanTheSite());
    const std::vector<Row> all = last.rows;

    // `/` in the list moves the focus to the view filter.
    ASSERT_NO_FATAL_FAILURE(ClickRow(all[0]));
    ASSERT_TRUE(WaitForState([](const PageState& s) { return s.S("focus") == "grid"; })) << last;
    ASSERT_NO_FATAL_FAILURE(Key("slash"));
    ASSERT_TRUE(WaitForState([](const PageState& s) { return s.S("focus") == "view-text"; }))
        << last;
    // So does Ctrl+F, from anywhere.
    ASSERT_NO_FATAL_FAILURE(Click("#url"));
    ASSERT_TRUE(WaitForState([](const PageState& s) { return s.S("focus") == "url"; })) << last;
    ASSERT_NO_FATAL_FAILURE(Key("ctrl+f"));
    ASSERT_TRUE(WaitForState([](const PageState& s) { return s.S("focus") == "view-text"; }))
        << last;

    auto urlsWhere = [&](const std::function<bool(const Row&)>& pred) {
        std::vector<std::string> urls;
        for (const auto& r : all) {
            if (pred(r)) urls.push_back(r.url);
        }
        return urls;
    };
    auto hasPart = [](const Row& r, const std::string& part) {
        return r.url.find(part) != std::string::npos;
    };
    struct FilterCase {
        const char* name;
        std::function<void()> act;  // from a cleared view filter
        std::vector<std::string> rows;
    };
    const std::vector<FilterCase> cases = {
        {"Word", [&] { Type("hls"); }, urlsWhere([&](auto& r) { return hasPart(r, "/hls/"); })},
        {"ExcludedWord", [&] { Type("-img"); },
         urlsWhere([&](auto& r) { return !hasPart(r, "/img/"); })},
        {"RegularExpression",
         [&] {
             Click("#view-regex");
             Click("#view-text");
             Type("\\.(css|js)$");
         },
         urlsWhere([&](auto& r) { return r.kind == "style" || r.kind == "script"; })},
        {"NegatedWord",
         [&] {
             Click("#view-not");
             Click("#view-text");
             Type("site/img");
         },
         urlsWhere([&](auto& r) { return !hasPart(r, "/img/"); })},
        {"ImageChip", [&] { Click("#chip-image"); },
         urlsWhere([](auto& r) { return r.kind == "image"; })},
        {"ImageAndAudioChips",
         [&] {
             Click("#chip-image");
             Click("#chip-audio");
         },
         urlsWhere([](auto& r) { return r.kind == "image" || r.kind == "audio"; })},
        {"PlaylistChip", [&] { Click("#chip-playlist"); },
         urlsWhere([](auto& r) { return r.badge == "HLS"; })},
        {"MinimumSize", [&] { TypeInto("#view-min", "1MB"); },
         urlsWhere([&](auto& r) { return hasPart(r, "big.gif"); })},
        {"MaximumSizeAndChip",
         [&] {
             TypeInto("#view-max", "100B");
             Click("#chip-image");
         },
         urlsWhere([&](auto& r) { return r.kind == "image" && SizeBytes(r.size) <= 100; })},
    };
    bool first = true;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (!first) {
            ASSERT_NO_FATAL_FAILURE(Click("#clear-view"));
            ASSERT_TRUE(WaitForState([&](const PageState& s) {
                return s.N("count") == kScanSiteRows && s.S("viewText").empty();
            })) << last;
            ASSERT_NO_FATAL_FAILURE(Click("#view-text"));
        }
        first = false;
        ASSERT_FALSE(c.rows.empty());
        c.act();
        ASSERT_FALSE(HasFatalFailure());
        EXPECT_TRUE(WaitForState([&](const PageState& s) {
            return s.N("count") == static_cast<int>(c.rows.size()) &&
                   s.rows.size() == c.rows.size();
        })) << last;
        EXPECT_THAT(last.Urls(), UnorderedElementsAreArray(c.rows)) << last;
        EXPECT_EQ(last.S("viewError"), "");
        EXPECT_EQ(last.N("total"), static_cast<int>(last.Results().size()))
            << "the view filter changed what is captured";
    }
    // Nothing matches: the list says so and offers to show every row.
    ASSERT_NO_FATAL_FAILURE(Click("#clear-view"));
    ASSERT_NO_FATAL_FAILURE(Click("#view-text"));
    ASSERT_NO_FATAL_FAILURE(Type("no-such-row"));
    ASSERT_TRUE(WaitForState([](const PageState& s) { return s.N("count") == 0; })) << last;
    EXPECT_THAT(last.S("empty"), HasSubstr("No row matches the view filter.")) << last;
    ASSERT_NO_FATAL_FAILURE(Click("#empty-clear-view"));
    EXPECT_TRUE(WaitForState([](const PageState& s) { return s.N("count") == kScanSiteRows; }))
        << last;
}

}  // namespace
}  // namespace e2e
