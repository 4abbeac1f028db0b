// The scan's filters: a MIME type piece or a list of file extensions decides which responses
// are reported, and each "start" changes only the filter it selects.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "scan/ScanTest.h"

namespace e2e {
namespace {

using ::testing::IsEmpty;

// The filter site: one page at the site's root (its file name is "unknown") with resources of
// chosen types and names. It fetches a marker when it has loaded.
struct FilterResource {
    const char* path;
    const char* type;
};
constexpr FilterResource kFilterResources[] = {
    {"/f/clip.mp4", "video/mp4"}, {"/f/movie.flv", "video/x-flv"}, {"/f/sound.m4a", "audio/mp4"},
    {"/f/CLIP.MP4", "Video/MP4"}, {"/f/noext", "image/gif"},       {"/f/pic.gif", "image/gif"},
    {"/f/get.php", "text/plain"},  // requested with ?file=a/b.mp4, so named b.mp4
};
constexpr const char* kFilterMarker = "/f/done.marker";

void AddFilterSite(TestSite& site) {
    std::string page = "<!DOCTYPE html><html><body>\n";
    for (const auto& resource : kFilterResources) {
        const std::string path =
            std::string(resource.path) +
            (std::string(resource.path) == "/f/get.php" ? "?file=a/b.mp4" : "");
        page += "<img src=\"" + path + "\">\n";
        site.Route(resource.path, Response::Of(resource.type, Gif()));
    }
    page += "<script>window.addEventListener('load', function () { fetch('" +
            std::string(kFilterMarker) + "'); });</script>\n</body></html>\n";
    site.Route("/", Response::Html(page));
    site.Route(kFilterMarker, Response::Of("text/x-marker", "done"));
}

struct FilterStep {
    bool useFileExtFilter;
    const char* text;
};

struct FilterCase {
    const char* name;
    std::vector<FilterStep> steps;   // each a "start" of the same page; the last one counts
    std::set<std::string> expected;  // paths reported after the last start ("/" is the page)
};

void PrintTo(const FilterCase& c, std::ostream* os) {
    *os << c.name;
}

class FilterTest : public ScanTest, public ::testing::WithParamInterface<FilterCase> {};

TEST_P(FilterTest, OnlyMatchingResponsesAreReported) {
    const FilterCase& c = GetParam();
    AddFilterSite(*site);
    ASSERT_TRUE(StartDriver());

    size_t from = 0;
    for (size_t i = 0; i < c.steps.size(); ++i) {
        from = Records().size();
        const auto before = site->CountPath(kFilterMarker);
        ASSERT_EQ(Start({site->Url("/"), true, c.steps[i].useFileExtFilter, c.steps[i].text}),
                  kAnswer1);
        ASSERT_TRUE(
            WaitUntil([&] { return site->CountPath(kFilterMarker) > before; }, kStartTimeout))
            << "the page did not finish loading";
    }

    auto paths = [&](const std::vector<Record>& records) {
        std::set<std::string> seen;
        for (size_t i = from; i < records.size(); ++i) {
            std::string path = records[i].url.substr(site->Origin().size());
            seen.insert(path.substr(0, path.find('?')));
        }
        return seen;
    };
    EXPECT_TRUE(WaitForRecords([&](const auto& records) { return paths(records) == c.expected; }))
        << "reported:\n"
        << Dump(Records());
    // Nothing else comes later.
    EXPECT_TRUE(StaysFalse([&] { return paths(Records()) != c.expected; }, Millis(1000)))
        << Dump(Records());
    EXPECT_THAT(InvalidRecords(), IsEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Filters, FilterTest,
    ::testing::Values(
        FilterCase{"MimeVideo", {{false, "video"}}, {"/f/clip.mp4", "/f/movie.flv"}},
        FilterCase{"MimeMp4", {{false, "mp4"}}, {"/f/clip.mp4", "/f/sound.m4a"}},
        // The text is not a list: no type contains all of it.
        FilterCase{"MimeTwoTypesIsOneText", {{false, "video/mp4;video/x-flv"}}, {}},
        FilterCase{"ExtensionsWithWildcards",
                   {{true, "*.mp4;*.flv"}},
                   {"/f/clip.mp4", "/f/movie.flv", "/f/get.php"}},
        // The trailing separator admits names without an extension, "unknown" among them.
        FilterCase{"ExtensionsTrailingSeparator",
                   {{true, ".mp4;"}},
                   {"/", "/f/clip.mp4", "/f/noext", "/f/get.php"}},
        FilterCase{"ExtensionsCaseSensitive", {{true, ".MP4"}}, {"/f/CLIP.MP4"}},
        FilterCase{"EmptyMimeTextKeepsThePrevious",
                   {{false, "video"}, {false, ""}},
                   {"/f/clip.mp4", "/f/movie.flv"}},
        FilterCase{
            "EmptyExtensionTextKeepsThePrevious", {{true, ".MP4"}, {true, ""}}, {"/f/CLIP.MP4"}},
        // Each start changes only the filter it selects.
        FilterCase{"MimeStartLeavesTheExtensionsAlone",
                   {{true, ".flv"}, {false, "audio"}, {true, ""}},
                   {"/f/movie.flv"}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace e2e
