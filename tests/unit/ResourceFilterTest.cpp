// Extension lists, the extension of a name, and the filter test of a response.
#include <gtest/gtest.h>

#include <boost/algorithm/string/classification.hpp>
#include <boost/algorithm/string/erase.hpp>
#include <boost/algorithm/string/split.hpp>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "TestText.h"
#include "finder/ResourceFilter.h"
#include "finder/ScanHost.h"
#include "win32/windows.h"

namespace {

using Set = std::set<std::u16string>;

Set Elements(const ExtensionFilter& filter) {
    return Set(filter.Extensions().begin(), filter.Extensions().end());
}

struct ListCase {
    const char* list;
    Set expected;
};

const ListCase kLists[] = {
    {"*.mp4;*.flv", {u".flv", u".mp4"}},
    {".mp4,.flv", {u".flv", u".mp4"}},
    {" .mp4 ; .flv ", {u".flv", u".mp4"}},
    {" .mp4 , .flv ", {u".flv", u".mp4"}},
    {"*.mp4; *.flv", {u".flv", u".mp4"}},
    {"mp4", {u"mp4"}},
    {".mp4;", {u"", u".mp4"}},
    {".mp4;;.flv", {u"", u".flv", u".mp4"}},
    {";.mp4", {u"", u".mp4"}},
    {";", {u""}},
    {",;", {u""}},
    {"*", {u""}},
    {" ", {u""}},
    {".MP4", {u".MP4"}},
    {".mp4;.MP4;.mp4", {u".MP4", u".mp4"}},
    {".m*p 4", {u".mp4"}},
    {".mp4\t;.flv", {u".flv", u".mp4\t"}},
    {".a.b;..;.", {u".", u"..", u".a.b"}},
    {".\xC3\xBC;.x", {u".\u00FC", u".x"}},
};

TEST(ExtensionFilterTest, ListsGiveSets) {
    for (const ListCase& c : kLists) {
        ExtensionFilter filter;
        ASSERT_TRUE(filter.SetFromUtf8(c.list)) << c.list;
        EXPECT_EQ(c.expected, Elements(filter)) << c.list;
    }
}

TEST(ExtensionFilterTest, OtherSeparatorsInWideForm) {
    ExtensionFilter filter;
    ASSERT_TRUE(filter.SetFromText(u".a|.b;.c", u"|"));
    EXPECT_EQ(Set({u".a", u".b;.c"}), Elements(filter));
    // No separators: the whole text is one item.
    ASSERT_TRUE(filter.SetFromText(u".a;.b", u""));
    EXPECT_EQ(Set({u".a;.b"}), Elements(filter));
}

// The list cut with boost::algorithm::split into a vector, the obvious form of the rule; the
// filter cuts without storing the pieces and must agree on every input.
Set ReferenceSet(std::u16string list, const std::u16string& separators) {
    boost::algorithm::erase_all(list, u"*");
    boost::algorithm::erase_all(list, u" ");
    std::vector<std::u16string> items;
    boost::algorithm::split(items, list, boost::algorithm::is_any_of(separators),
                            boost::algorithm::token_compress_off);
    return Set(items.begin(), items.end());
}

TEST(ExtensionFilterTest, AgreesWithSplitIntoVectorsOnRandomInput) {
    const std::u16string alphabet = u"ab.;, *\t";
    std::mt19937 random(7);
    for (int round = 0; round < 20000; ++round) {
        std::u16string list;
        std::size_t length = random() % 14;
        for (std::size_t i = 0; i < length; ++i) list += alphabet[random() % alphabet.size()];
        ExtensionFilter filter;
        ASSERT_TRUE(filter.SetFromText(list.c_str(), u";,"));
        EXPECT_EQ(ReferenceSet(list, u";,"), Elements(filter)) << Narrow(list);
    }
}

TEST(ExtensionFilterTest, FailuresKeepThePreviousSet) {
    ExtensionFilter filter;
    ASSERT_TRUE(filter.SetFromUtf8(".mp4"));
    EXPECT_FALSE(filter.SetFromUtf8(""));
    EXPECT_FALSE(filter.SetFromUtf8(nullptr));
    EXPECT_FALSE(filter.SetFromText(nullptr, u";"));
    EXPECT_FALSE(filter.SetFromText(u".flv", nullptr));
    EXPECT_EQ(Set({u".mp4"}), Elements(filter));
    // An empty wide text is an empty item, not a failure.
    EXPECT_TRUE(filter.SetFromText(u"", u";,"));
    EXPECT_EQ(Set({u""}), Elements(filter));
}

TEST(ExtensionFilterTest, NewListReplacesTheOldOne) {
    ExtensionFilter filter;
    ASSERT_TRUE(filter.SetFromUtf8(".mp4;.flv"));
    ASSERT_TRUE(filter.SetFromUtf8(".ogg"));
    EXPECT_EQ(Set({u".ogg"}), Elements(filter));
}

struct ExtensionCase {
    std::u16string name;
    std::u16string extension;
};

const ExtensionCase kExtensions[] = {
    {u"video.flv", u".flv"},
    {u"a.tar.gz", u".gz"},
    {u"name.", u"."},
    {u".htaccess", u".htaccess"},
    {u"a.b c", u""},
    {u"unknown", u""},
    {u"", u""},
    {u"dir.x\\file", u""},
    {u"dir.x\\file.y", u".y"},
    {u"dir.x/file", u".x/file"},  // only a backslash ends a folder name
    {u"a. b.c", u".c"},
    {u"a.mp4\t", u".mp4\t"},
    {u"a.\u00FC", u".\u00FC"},
};

TEST(PathFindExtensionTest, MatchesTable) {
    for (const ExtensionCase& c : kExtensions) {
        const char16_t* found = PathFindExtensionW(c.name.c_str());
        ASSERT_NE(nullptr, found);
        EXPECT_EQ(c.extension, std::u16string(found)) << Narrow(c.name);
        // An empty extension is the terminating NUL of the same text.
        if (c.extension.empty()) {
            EXPECT_EQ(c.name.c_str() + c.name.size(), found);
        }
    }
    EXPECT_EQ(nullptr, PathFindExtensionW(nullptr));
}

struct MatchCase {
    const char* list;
    std::u16string name;
    bool matches;
};

const MatchCase kMatches[] = {
    {"*.mp4;*.flv", u"video.flv", true},
    {"*.mp4;*.flv", u"clip.mp4", true},
    {"*.mp4;*.flv", u"clip.mp3", false},
    {"*.mp4;*.flv", u"unknown", false},
    {"*.mp4;*.flv", u"", false},
    {"mp4", u"clip.mp4", false},
    {"mp4", u"mp4", false},
    {".mp4;", u"clip.mp4", true},
    {".mp4;", u"unknown", true},
    {".mp4;", u"", true},
    {".mp4;", u"a.b c", true},
    {".MP4", u"clip.mp4", false},
    {".MP4", u"CLIP.MP4", true},
    {".mp4", u"CLIP.MP4", false},
    {".mp4\t", u"clip.mp4", false},
    {".gz", u"a.tar.gz", true},
    {".tar.gz", u"a.tar.gz", false},
    {"*", u"unknown", true},
    {"*", u"a.b", false},
};

TEST(ExtensionFilterTest, MatchesPath) {
    for (const MatchCase& c : kMatches) {
        ExtensionFilter filter;
        ASSERT_TRUE(filter.SetFromUtf8(c.list));
        EXPECT_EQ(c.matches, filter.MatchesPath(c.name.c_str()))
            << c.list << " / " << Narrow(c.name);
    }
    ExtensionFilter filter;
    EXPECT_FALSE(filter.MatchesPath(u"")) << "the empty set accepts nothing";
    EXPECT_FALSE(filter.MatchesPath(nullptr));
}

// ---- AcceptResource ----

struct AcceptCase {
    const char* what;
    BOOL filterEnabled;
    BOOL useFileExtFilter;
    std::u16string mimeFilter;
    const char* extensionList;  // null: the filter's set stays empty
    std::u16string mimeType;
    std::string fileName;
    bool accepted;
};

const AcceptCase kAcceptCases[] = {
    {"filter off", FALSE, FALSE, u"video", nullptr, u"text/html", "index.html", true},
    {"filter off, extension mode", FALSE, TRUE, u"", nullptr, u"", "", true},
    {"mime piece", TRUE, FALSE, u"video", nullptr, u"video/mp4", "x", true},
    {"mime piece 2", TRUE, FALSE, u"video", nullptr, u"video/x-flv", "x", true},
    {"mime case", TRUE, FALSE, u"video", nullptr, u"Video/MP4", "x", false},
    {"mime mp4 video", TRUE, FALSE, u"mp4", nullptr, u"video/mp4", "x", true},
    {"mime mp4 audio", TRUE, FALSE, u"mp4", nullptr, u"audio/mp4", "x", true},
    {"mime list a", TRUE, FALSE, u"video/mp4;video/x-flv", nullptr, u"video/mp4", "x", false},
    {"mime list b", TRUE, FALSE, u"video/mp4;video/x-flv", nullptr, u"video/x-flv", "x", false},
    {"mime list whole", TRUE, FALSE, u"video/mp4;video/x-flv", nullptr,
     u"video/mp4;video/x-flv; codecs=1", "x", true},
    {"empty mime filter", TRUE, FALSE, u"", nullptr, u"image/png", "x", true},
    {"empty filter, empty type", TRUE, FALSE, u"", nullptr, u"", "x", true},
    {"filter longer than type", TRUE, FALSE, u"video/mp4", nullptr, u"video", "x", false},
    {"mime ignores extension", TRUE, FALSE, u"image", ".mp4", u"image/png", "a.png", true},
    {"extension", TRUE, TRUE, u"image", "*.mp4;*.flv", u"image/png", "a.flv", true},
    {"extension refuses", TRUE, TRUE, u"", "*.mp4;*.flv", u"video/mp4", "a.png", false},
    {"unknown without empty element", TRUE, TRUE, u"", ".mp4", u"", "unknown", false},
    {"unknown with empty element", TRUE, TRUE, u"", ".mp4;", u"", "unknown", true},
    {"empty name with empty element", TRUE, TRUE, u"", ".mp4;", u"", "", true},
    {"empty set", TRUE, TRUE, u"", nullptr, u"video/mp4", "a.mp4", false},
    {"utf8 name", TRUE, TRUE, u"", ".\xC3\xBC", u"", "a.\xC3\xBC", true},
};

TEST(AcceptResourceTest, MatchesTable) {
    for (const AcceptCase& c : kAcceptCases) {
        ScanState state;
        state.m_filterEnabled = c.filterEnabled;
        state.m_useFileExtFilter = c.useFileExtFilter;
        state.m_mimeFilter = c.mimeFilter;
        if (c.extensionList != nullptr) {
            ASSERT_TRUE(state.m_fileExtFilter.SetFromUtf8(c.extensionList));
        }
        EXPECT_EQ(c.accepted, AcceptResource(state, c.mimeType, c.fileName)) << c.what;
    }
}

TEST(AcceptResourceTest, LongFilterNeedleFindsOverlappingMatches) {
    // Needles longer than the short-search limit go through the linear search; check it on
    // texts where a naive restart would miss the match.
    std::u16string needle(100, u'a');
    needle += u'b';
    ScanState state;
    state.m_mimeFilter = needle;
    std::u16string type(150, u'a');
    EXPECT_FALSE(AcceptResource(state, type, "x"));
    type += u'b';
    EXPECT_TRUE(AcceptResource(state, type, "x"));
    EXPECT_TRUE(AcceptResource(state, u"x" + type + u"y", "x"));
    std::u16string almost = std::u16string(99, u'a') + u"b" + std::u16string(100, u'a') + u"c";
    EXPECT_FALSE(AcceptResource(state, almost, "x"));
    std::u16string periodic;
    for (int i = 0; i < 60; ++i) periodic += u"ab";
    state.m_mimeFilter = periodic + u"c";
    EXPECT_TRUE(AcceptResource(state, u"abab" + periodic + u"c", "x"));
    EXPECT_FALSE(AcceptResource(state, u"abab" + periodic + u"ac", "x"));
}

}  // namespace
