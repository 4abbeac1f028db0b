// Inputs of ten megabytes must be handled in time linear in their size. No time is asserted:
// a quadratic implementation simply does not finish within the test's time-out.
#include <gtest/gtest.h>

#include <string>

#include "finder/ResourceFilter.h"
#include "finder/ScanHost.h"
#include "finder/TextUtil.h"
#include "finder/UrlUtil.h"

namespace {

constexpr std::size_t kTenMegabytes = 10 * 1024 * 1024;

std::string Repeat(const std::string& piece, std::size_t total) {
    std::string result;
    result.reserve(total + piece.size());
    while (result.size() < total) result += piece;
    return result;
}

std::u16string RepeatWide(const std::u16string& piece, std::size_t total) {
    std::u16string result;
    result.reserve(total + piece.size());
    while (result.size() < total) result += piece;
    return result;
}

TEST(LargeInputTest, FileNamesFromHugeAddresses) {
    struct Case {
        std::string address;
        bool result;
        std::size_t nameLength;
    };
    const Case cases[] = {
        {"http://host/" + Repeat("a", kTenMegabytes), true, kTenMegabytes},
        {Repeat("/", kTenMegabytes), true, 0},
        {Repeat("://", kTenMegabytes), false, 0},
        {Repeat("a:/", kTenMegabytes), true, 0},
        {"http://host/" + Repeat(":", kTenMegabytes), true, 0},
        {"http://host/a" + Repeat("?", kTenMegabytes), true, 1},
        {Repeat("\xE2\x82\xAC", kTenMegabytes), false, 0},
        {Repeat("\xFF", kTenMegabytes), false, 0},
    };
    for (const Case& c : cases) {
        std::string name;
        EXPECT_EQ(c.result, GetFileNameFromUrlUtf8(c.address, name));
        EXPECT_EQ(c.nameLength, name.size());
    }
}

TEST(LargeInputTest, CompletionOfHugeAddresses) {
    const std::string bare = Repeat("ab:/", kTenMegabytes);
    EXPECT_EQ("http://" + bare, NormalizeUrlUtf8(bare.c_str()));
    const std::string full = Repeat(":/", kTenMegabytes) + "://";
    EXPECT_EQ(full, NormalizeUrlUtf8(full.c_str()));
}

TEST(LargeInputTest, ConversionsOfHugeTexts) {
    const std::string text = Repeat("a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\xFF", kTenMegabytes);
    std::u16string wide;
    ASSERT_TRUE(Utf8ToUtf16(text, wide));
    std::string back;
    ASSERT_TRUE(Utf16ToUtf8(wide, back));
    EXPECT_EQ(wide.size() / 6 * 13, back.size()) << "each \\xFF became three bytes of U+FFFD";
}

TEST(LargeInputTest, HugeExtensionLists) {
    struct Case {
        std::string list;
        std::size_t elements;
    };
    const Case cases[] = {
        {Repeat(";", kTenMegabytes), 1},
        {Repeat(" *;,", kTenMegabytes), 1},
        {"." + Repeat("x", kTenMegabytes), 1},
        {Repeat(".mp4;.flv,", kTenMegabytes), 3},
    };
    for (const Case& c : cases) {
        ExtensionFilter filter;
        ASSERT_TRUE(filter.SetFromUtf8(c.list.c_str()));
        EXPECT_EQ(c.elements, filter.Extensions().size());
    }
    // Many distinct items: each is looked up once in the growing set.
    std::string distinct;
    for (int i = 0; distinct.size() < kTenMegabytes / 10; ++i)
        distinct += "." + std::to_string(i) + ";";
    ExtensionFilter filter;
    ASSERT_TRUE(filter.SetFromUtf8(distinct.c_str()));
    EXPECT_TRUE(filter.MatchesPath(u"a.12345"));
    EXPECT_TRUE(filter.MatchesPath(u"unknown"));

    // A huge name against the filter.
    std::u16string name = RepeatWide(u"a.b", kTenMegabytes) + u".mp4";
    ScanState state;
    state.m_useFileExtFilter = TRUE;
    ASSERT_TRUE(state.m_fileExtFilter.SetFromUtf8(".mp4"));
    std::string utf8Name(name.begin(), name.end());
    EXPECT_TRUE(AcceptResource(state, u"", utf8Name));
}

TEST(LargeInputTest, HugeMimeFilterAndTypes) {
    ScanState state;
    const std::u16string huge = RepeatWide(u"a", kTenMegabytes);
    struct Case {
        std::u16string filter;
        std::u16string type;
        bool accepted;
    };
    const Case cases[] = {
        {huge, u"video/mp4", false},
        {u"video", huge + u"video", true},
        {u"aab", huge, false},
        {huge + u"b", huge + u"a" + u"b", true},
        {huge.substr(0, kTenMegabytes / 2) + u"b", huge, false},
        {RepeatWide(u"ab", 1000) + u"c", RepeatWide(u"ab", kTenMegabytes), false},
    };
    for (const Case& c : cases) {
        state.m_mimeFilter = c.filter;
        EXPECT_EQ(c.accepted, AcceptResource(state, c.type, "x"));
    }
}

}  // namespace
