// UTF-8 / UTF-16 conversion: the code-page functions of the platform layer and the finder's
// Utf8ToUtf16 / Utf16ToUtf8 built on them.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <thread>

#include "TestText.h"
#include "finder/TextUtil.h"
#include "win32/windows.h"

namespace {

std::u16string Decode(const std::string& bytes, DWORD flags = 0) {
    int needed = MultiByteToWideChar(CP_UTF8, flags, bytes.data(), static_cast<int>(bytes.size()),
                                     nullptr, 0);
    std::u16string result(static_cast<std::size_t>(needed), u'\0');
    if (needed > 0) {
        EXPECT_EQ(needed,
                  MultiByteToWideChar(CP_UTF8, flags, bytes.data(), static_cast<int>(bytes.size()),
                                      result.data(), needed));
    }
    return result;
}

std::string Encode(const std::u16string& units) {
    int needed = WideCharToMultiByte(CP_UTF8, 0, units.data(), static_cast<int>(units.size()),
                                     nullptr, 0, nullptr, nullptr);
    std::string result(static_cast<std::size_t>(needed), '\0');
    if (needed > 0) {
        EXPECT_EQ(needed,
                  WideCharToMultiByte(CP_UTF8, 0, units.data(), static_cast<int>(units.size()),
                                      result.data(), needed, nullptr, nullptr));
    }
    return result;
}

struct DecodeCase {
    const char* name;
    std::string bytes;
    std::u16string expected;
};

// Each maximal subpart of an ill-formed sequence becomes exactly one U+FFFD, and the byte that
// ended it is read again as the start of what follows.
const DecodeCase kDecodeCases[] = {
    {"ascii", "abc", u"abc"},
    {"two byte", "\xC3\xA9", u"\u00E9"},
    {"three byte", "\xE2\x82\xAC", u"\u20AC"},
    {"four byte", "\xF0\x9F\x98\x80", u"\U0001F600"},
    {"highest code point", "\xF4\x8F\xBF\xBF", u"\U0010FFFF"},
    {"noncharacter passes", "\xEF\xBF\xBE", u"\uFFFE"},
    {"lone trail byte", "a\x80z", u"a\uFFFDz"},
    {"two trail bytes", "\x80\xBF", u"\uFFFD\uFFFD"},
    {"overlong lead C0", "\xC0\xAF", u"\uFFFD\uFFFD"},
    {"overlong three byte", "\xE0\x80\xAF", u"\uFFFD\uFFFD\uFFFD"},
    {"overlong four byte", "\xF0\x8F\xBF\xBF", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
    {"encoded surrogate", "\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},
    {"above U+10FFFF", "\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
    {"lead F5", "\xF5\x80", u"\uFFFD\uFFFD"},
    {"bytes FE FF", "\xFE\xFF", u"\uFFFD\uFFFD"},
    {"truncated at end", "ab\xE2\x82", u"ab\uFFFD"},
    {"truncated four byte", "\xF0\x9F\x98", u"\uFFFD"},
    {"truncated then ascii", "\xE2\x82z", u"\uFFFDz"},
    {"truncated then valid", "\xE1\x80\xE1\x80\x80", u"\uFFFD\u1000"},
    {"lone lead at end", "x\xC2", u"x\uFFFD"},
    {"mixed sample", "\x61\xF1\x80\x80\xE1\x80\xC2\x62\x80\x63\x80\xBF\x64",
     u"a\uFFFD\uFFFD\uFFFDb\uFFFDc\uFFFD\uFFFDd"},
    {"embedded NUL kept", std::string("a\0b", 3), std::u16string(u"a\0b", 3)},
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const DecodeCase& c, std::ostream* os) {
    *os << c.name;
}

class DecodeTest : public testing::TestWithParam<DecodeCase> {};

TEST_P(DecodeTest, ReplacesMaximalSubparts) {
    EXPECT_EQ(GetParam().expected, Decode(GetParam().bytes));
}

INSTANTIATE_TEST_SUITE_P(Utf8, DecodeTest, testing::ValuesIn(kDecodeCases),
                         [](const testing::TestParamInfo<DecodeCase>& info) {
                             std::string name;
                             for (char c : std::string(info.param.name)) {
                                 name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                             }
                             return name;
                         });

struct EncodeCase {
    std::u16string units;
    std::string expected;
};

const EncodeCase kEncodeCases[] = {
    {u"abc", "abc"},
    {u"\u00E9\u20AC", "\xC3\xA9\xE2\x82\xAC"},
    {u"\U0001F600", "\xF0\x9F\x98\x80"},
    {u"\xD800", "\xEF\xBF\xBD"},
    {u"\xDC00\xD800", "\xEF\xBF\xBD\xEF\xBF\xBD"},
    {u"\xD83Dz", "\xEF\xBF\xBDz"},
    {u"z\xDE00", "z\xEF\xBF\xBD"},
    {u"\xD83D\xD83D\xDE00", "\xEF\xBF\xBD\xF0\x9F\x98\x80"},
    {std::u16string(u"a\0b", 3), std::string("a\0b", 3)},
};

TEST(EncodeTest, ReplacesUnpairedSurrogates) {
    for (const EncodeCase& c : kEncodeCases) {
        EXPECT_EQ(c.expected, Encode(c.units)) << Narrow(c.units);
    }
}

TEST(CodePageTest, LengthMinusOneCountsTheTerminator) {
    EXPECT_EQ(4, MultiByteToWideChar(CP_UTF8, 0, "abc", -1, nullptr, 0));
    char16_t wide[4] = {u'x', u'x', u'x', u'x'};
    EXPECT_EQ(4, MultiByteToWideChar(CP_UTF8, 0, "abc", -1, wide, 4));
    EXPECT_EQ(std::u16string(u"abc"), std::u16string(wide));

    EXPECT_EQ(4, WideCharToMultiByte(CP_UTF8, 0, u"abc", -1, nullptr, 0, nullptr, nullptr));
    char narrow[4] = {'x', 'x', 'x', 'x'};
    EXPECT_EQ(4, WideCharToMultiByte(CP_UTF8, 0, u"abc", -1, narrow, 4, nullptr, nullptr));
    EXPECT_STREQ("abc", narrow);
}

TEST(CodePageTest, RefusesBadArguments) {
    static char16_t wide[8];
    static char narrow[8];
    static BOOL used = FALSE;
    struct BadCall {
        const char* what;
        int (*call)();
        DWORD error;
    };
    const BadCall calls[] = {
        {"empty source", [] { return MultiByteToWideChar(CP_UTF8, 0, "a", 0, wide, 8); },
         ERROR_INVALID_PARAMETER},
        {"null source", [] { return MultiByteToWideChar(CP_UTF8, 0, nullptr, 3, wide, 8); },
         ERROR_INVALID_PARAMETER},
        {"length below -1", [] { return MultiByteToWideChar(CP_UTF8, 0, "a", -2, wide, 8); },
         ERROR_INVALID_PARAMETER},
        {"other code page", [] { return MultiByteToWideChar(1252, 0, "a", 1, wide, 8); },
         ERROR_INVALID_PARAMETER},
        {"null target", [] { return MultiByteToWideChar(CP_UTF8, 0, "a", 1, nullptr, 8); },
         ERROR_INVALID_PARAMETER},
        {"negative capacity", [] { return MultiByteToWideChar(CP_UTF8, 0, "a", 1, wide, -1); },
         ERROR_INVALID_PARAMETER},
        {"unknown flag", [] { return MultiByteToWideChar(CP_UTF8, 0x1, "a", 1, wide, 8); },
         ERROR_INVALID_FLAGS},
        {"wide empty source",
         [] { return WideCharToMultiByte(CP_UTF8, 0, u"a", 0, narrow, 8, nullptr, nullptr); },
         ERROR_INVALID_PARAMETER},
        {"default char given",
         [] { return WideCharToMultiByte(CP_UTF8, 0, u"a", 1, narrow, 8, "?", nullptr); },
         ERROR_INVALID_PARAMETER},
        {"used flag given",
         [] { return WideCharToMultiByte(CP_UTF8, 0, u"a", 1, narrow, 8, nullptr, &used); },
         ERROR_INVALID_PARAMETER},
        {"wide unknown flag",
         [] { return WideCharToMultiByte(CP_UTF8, 0x400, u"a", 1, narrow, 8, nullptr, nullptr); },
         ERROR_INVALID_FLAGS},
    };
    for (const BadCall& c : calls) {
        SetLastError(0);
        EXPECT_EQ(0, c.call()) << c.what;
        EXPECT_EQ(c.error, GetLastError()) << c.what;
    }
}

TEST(CodePageTest, SmallBufferFailsWithInsufficientBuffer) {
    char16_t wide[2];
    SetLastError(0);
    EXPECT_EQ(0, MultiByteToWideChar(CP_UTF8, 0, "abc", 3, wide, 2));
    EXPECT_EQ(ERROR_INSUFFICIENT_BUFFER, GetLastError());
    // A surrogate pair needs both units.
    SetLastError(0);
    EXPECT_EQ(0, MultiByteToWideChar(CP_UTF8, 0, "\xF0\x9F\x98\x80", 4, wide, 1));
    EXPECT_EQ(ERROR_INSUFFICIENT_BUFFER, GetLastError());

    char narrow[2];
    SetLastError(0);
    EXPECT_EQ(0, WideCharToMultiByte(CP_UTF8, 0, u"\u20AC", 1, narrow, 2, nullptr, nullptr));
    EXPECT_EQ(ERROR_INSUFFICIENT_BUFFER, GetLastError());
}

TEST(CodePageTest, StrictFlagsRejectMalformedInput) {
    char16_t wide[8];
    SetLastError(0);
    EXPECT_EQ(0, MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, "a\x80", 2, wide, 8));
    EXPECT_EQ(ERROR_NO_UNICODE_TRANSLATION, GetLastError());
    EXPECT_EQ(2, MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, "a\xC3\xA9", 3, wide, 8));

    char narrow[8];
    SetLastError(0);
    EXPECT_EQ(0, WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, u"a\xD800", 2, narrow, 8,
                                     nullptr, nullptr));
    EXPECT_EQ(ERROR_NO_UNICODE_TRANSLATION, GetLastError());
}

TEST(LastErrorTest, IsPerThread) {
    SetLastError(ERROR_ACCESS_DENIED);
    DWORD seenByOtherThread = 12345;
    std::thread other([&] {
        seenByOtherThread = GetLastError();
        SetLastError(ERROR_INVALID_PARAMETER);
    });
    other.join();
    EXPECT_EQ(ERROR_SUCCESS, seenByOtherThread);
    EXPECT_EQ(ERROR_ACCESS_DENIED, GetLastError());
}

// ---- Utf8ToUtf16 / Utf16ToUtf8 ----

struct RoundTripCase {
    std::string utf8;
    std::u16string utf16;
};

const RoundTripCase kRoundTrips[] = {
    {"http://host/a", u"http://host/a"},
    {"Gr\xC3\xBC\xC3\x9F"
     "e \xE2\x82\xAC",
     u"Gr\u00FC\u00DFe \u20AC"},
    {"\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E", u"\u65E5\u672C\u8A9E"},
    {"\xF0\x9D\x84\x9E \xF0\x9F\x98\x80", u"\U0001D11E \U0001F600"},
    {"\xD0\x9C\xD0\xBE\xD1\x81\xD0\xBA\xD0\xB2\xD0\xB0", u"\u041C\u043E\u0441\u043A\u0432\u0430"},
};

TEST(Utf8ToUtf16Test, ConvertsBothWaysAndRoundTrips) {
    for (const RoundTripCase& c : kRoundTrips) {
        std::u16string wide = u"previous";
        ASSERT_TRUE(Utf8ToUtf16(c.utf8, wide)) << c.utf8;
        EXPECT_EQ(c.utf16, wide) << c.utf8;
        std::string narrow = "previous";
        ASSERT_TRUE(Utf16ToUtf8(c.utf16, narrow)) << c.utf8;
        EXPECT_EQ(c.utf8, narrow);
        std::u16string back;
        ASSERT_TRUE(Utf8ToUtf16(narrow, back));
        EXPECT_EQ(c.utf16, back);
    }
}

TEST(Utf8ToUtf16Test, EmptySourceLeavesTargetUntouched) {
    std::u16string wide = u"keep";
    EXPECT_FALSE(Utf8ToUtf16(std::string(), wide));
    EXPECT_EQ(u"keep", wide);
    std::string narrow = "keep";
    EXPECT_FALSE(Utf16ToUtf8(std::u16string(), narrow));
    EXPECT_EQ("keep", narrow);
}

struct StopCase {
    std::string utf8;
    std::u16string utf16;
};

TEST(Utf8ToUtf16Test, StopsAtEmbeddedNul) {
    const StopCase cases[] = {
        {std::string("ab\0cd", 5), u"ab"},
        {std::string("\0abc", 4), u""},
        {std::string("x\0", 2), u"x"},
    };
    for (const StopCase& c : cases) {
        std::u16string wide = u"previous";
        EXPECT_TRUE(Utf8ToUtf16(c.utf8, wide));
        EXPECT_EQ(c.utf16, wide);
        std::string narrow = "previous";
        EXPECT_TRUE(Utf16ToUtf8(std::u16string(c.utf8.begin(), c.utf8.end()), narrow));
        EXPECT_EQ(std::string(c.utf16.begin(), c.utf16.end()), narrow);
    }
}

TEST(Utf8ToUtf16Test, MalformedInputBecomesReplacementCharacters) {
    std::u16string wide;
    ASSERT_TRUE(Utf8ToUtf16("ok\xFF\xC3", wide));
    EXPECT_EQ(u"ok\uFFFD\uFFFD", wide);

    std::string narrow;
    ASSERT_TRUE(Utf16ToUtf8(u"\xDFFFok\xD800", narrow));
    EXPECT_EQ("\xEF\xBF\xBDok\xEF\xBF\xBD", narrow);
}

}  // namespace
