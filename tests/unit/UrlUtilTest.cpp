// Address completion and file names from addresses.
#include <gtest/gtest.h>

#include <boost/algorithm/string/classification.hpp>
#include <boost/algorithm/string/replace.hpp>
#include <boost/algorithm/string/split.hpp>
#include <random>
#include <string>
#include <vector>

#include "TestText.h"
#include "finder/TextUtil.h"
#include "finder/UrlUtil.h"

namespace {

struct NormalizeCase {
    std::u16string input;
    std::u16string expected;
};

const NormalizeCase kNormalizeCases[] = {
    {u"www.host/page", u"http://www.host/page"},
    {u"host", u"http://host"},
    {u"host:8080/page", u"http://host:8080/page"},
    {u"host:8080", u"http://host:8080"},
    {u"https://host/a", u"https://host/a"},
    {u"ftp://host/x", u"ftp://host/x"},
    {u"HTTP://HOST", u"HTTP://HOST"},
    {u"WWW.host", u"http://WWW.host"},
    {u"www.host/?u=http://other", u"http://www.host/?u=http://other"},
    {u"WWW.host/?a=b://c", u"WWW.host/?a=b://c"},
    {u"www.host/?a=b://c", u"http://www.host/?a=b://c"},
    {u"about:blank", u"http://about:blank"},
    {u"", u"http://"},
    {u" host ", u"http:// host "},
    {u"://", u"://"},
    {u"www.", u"http://www."},
    {u"\u00FCber.host", u"http://\u00FCber.host"},
};

TEST(NormalizeUrlTest, MatchesTable) {
    for (const NormalizeCase& c : kNormalizeCases) {
        EXPECT_EQ(c.expected, NormalizeUrl(c.input.c_str())) << Narrow(c.input);
    }
}

TEST(NormalizeUrlTest, Utf8FormGivesTheSameCompletion) {
    for (const NormalizeCase& c : kNormalizeCases) {
        if (c.input.empty()) continue;
        EXPECT_EQ(Narrow(c.expected), NormalizeUrlUtf8(Narrow(c.input).c_str())) << Narrow(c.input);
    }
}

TEST(NormalizeUrlTest, EmptyAndNullInputs) {
    EXPECT_EQ("", NormalizeUrlUtf8(""));
    EXPECT_EQ("", NormalizeUrlUtf8(nullptr));
    EXPECT_EQ(u"http://", NormalizeUrl(nullptr));
    // Text after an embedded NUL is not part of the address.
    const char16_t withNul[] = u"host\0://x";
    EXPECT_EQ(u"http://host", NormalizeUrl(withNul));
}

TEST(NormalizeUrlTest, MalformedUtf8IsCompletedWithReplacementCharacters) {
    EXPECT_EQ("http://h\xEF\xBF\xBDst", NormalizeUrlUtf8("h\xFFst"));
}

struct FileNameCase {
    std::u16string url;
    bool result;
    std::u16string name;
};

const FileNameCase kFileNameCases[] = {
    {u"http://host/files/video.flv", true, u"video.flv"},
    {u"http://host/get.php?id=5", true, u"get.php"},
    {u"http://host/a/b/c.mp3#t=10", true, u"c.mp3"},
    {u"http://host:8080/x.mp3", true, u"x.mp3"},
    {u"http://host/x.swf;v=2", true, u"x.swf"},
    {u"http://host/img/logo@2x.png", true, u"logo"},
    {u"http://host/download.php&f=x.zip", true, u"download.php&f"},
    {u"http://host/q?x=a/b.mp3", true, u"b.mp3"},
    {u"http://host/dir/", true, u""},
    {u"http://host/a/#frag", true, u""},
    {u"http://host//", true, u""},
    {u"a/b", true, u"b"},
    {u"http://host/", false, u""},
    {u"http://host", false, u""},
    {u"file.txt", false, u""},
    {u"://", false, u""},
    {u"", false, u""},
    // More of the same kind.
    {u"http://host/=x", true, u""},
    {u"http://host/a/:b", true, u""},
    {u"http://host/a/!$'()%20.txt", true, u"!$'()%20.txt"},
    {u"http://host/a/x+y.mp4", true, u"x"},
    {u"http://host/a/[1].mp4", true, u""},
    {u"http://host/a/b*c", true, u"b"},
    {u"http://host/a/b,c", true, u"b"},
    {u"/", false, u""},
    {u"//", true, u""},
    {u"/x", true, u"x"},
    {u"http://host/a\tb.mp3", true, u"a\tb.mp3"},
    {u"http://host/\u30D5\u30A1\u30A4\u30EB.mp3", true, u"\u30D5\u30A1\u30A4\u30EB.mp3"},
    {u"http://host/a.mp3?u=http://other/b.mp4", true, u"b.mp4"},
    {u"http:/host/a.mp3", true, u"a.mp3"},
    {u"http:///", false, u""},  // "http/" once "://" is gone
    {u":////", true, u""},
    {u"a:/b://c", true, u"bc"},  // "://" goes first, leaving "a:/bc"
};

TEST(GetFileNameFromUrlTest, MatchesTable) {
    for (const FileNameCase& c : kFileNameCases) {
        std::u16string name = u"previous";
        EXPECT_EQ(c.result, GetFileNameFromUrl(c.url, name)) << Narrow(c.url);
        EXPECT_EQ(c.name, name) << Narrow(c.url);
    }
}

TEST(GetFileNameFromUrlTest, Utf8FormMatchesTable) {
    for (const FileNameCase& c : kFileNameCases) {
        std::string name = "previous";
        EXPECT_EQ(c.result, GetFileNameFromUrlUtf8(Narrow(c.url), name)) << Narrow(c.url);
        EXPECT_EQ(Narrow(c.name), name) << Narrow(c.url);
    }
}

TEST(GetFileNameFromUrlTest, Utf8FormOnOddInput) {
    std::string name = "previous";
    // Malformed bytes are still a name, as replacement characters.
    EXPECT_TRUE(GetFileNameFromUrlUtf8("http://h/\xFF.mp3", name));
    EXPECT_EQ("\xEF\xBF\xBD.mp3", name);
    // The address ends at an embedded NUL.
    name = "previous";
    EXPECT_FALSE(GetFileNameFromUrlUtf8(std::string("http://h\0/x.mp3", 15), name));
    EXPECT_EQ("", name);
    // An address that starts with NUL converts to nothing and yields no name.
    name = "previous";
    EXPECT_FALSE(GetFileNameFromUrlUtf8(std::string("\0/x", 3), name));
    EXPECT_EQ("", name);
}

// The derivation written out with boost::algorithm::split into vectors, the obvious form of the
// rule. The finder walks the pieces without storing them; both must agree on every input.
bool ReferenceFileName(const std::u16string& url, std::u16string& name) {
    name.clear();
    if (url.empty()) return false;
    std::u16string work = boost::algorithm::replace_all_copy(url, u"://", u"");
    std::vector<std::u16string> pieces;
    boost::algorithm::split(pieces, work, boost::algorithm::is_any_of(u"/"),
                            boost::algorithm::token_compress_off);
    if (pieces.size() < 2) return false;
    if (pieces.size() == 2 && pieces[1].empty()) return false;
    std::vector<std::u16string> parts;
    boost::algorithm::split(parts, pieces.back(), boost::algorithm::is_any_of(u":?#[]@*+,;="),
                            boost::algorithm::token_compress_off);
    name = parts.front();
    return true;
}

TEST(GetFileNameFromUrlTest, AgreesWithSplitIntoVectorsOnRandomInput) {
    const std::u16string alphabet = u"ab.:/?#@=;&";
    std::mt19937 random(20240611);
    for (int round = 0; round < 20000; ++round) {
        std::u16string url;
        std::size_t length = random() % 12;
        for (std::size_t i = 0; i < length; ++i) url += alphabet[random() % alphabet.size()];
        std::u16string expected, actual;
        bool expectedResult = ReferenceFileName(url, expected);
        EXPECT_EQ(expectedResult, GetFileNameFromUrl(url, actual)) << Narrow(url);
        EXPECT_EQ(expected, actual) << Narrow(url);
    }
}

}  // namespace
