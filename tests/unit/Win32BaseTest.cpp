// The non-window part of the platform layer: BSTRs, paths, directories, debugger output, the
// text a message box shows.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <glib.h>
#include <glib/gstdio.h>
#include <string>
#include <unistd.h>

#include "TestText.h"
#include "win32/dialogs.h"
#include "win32/text.h"
#include "win32/windows.h"

namespace {

std::u16string Wide(const std::string& utf8) {
    return win32::ToUtf16(utf8);
}

// A fresh folder below the system's temporary folder, removed with everything in it.
class TempFolder {
public:
    TempFolder() {
        gchar* made = g_dir_make_tmp("trawlet-unit-XXXXXX", nullptr);
        if (made != nullptr) {
            m_path = made;
            g_free(made);
        }
    }
    ~TempFolder() {
        std::error_code ignored;
        if (!m_path.empty()) std::filesystem::remove_all(m_path, ignored);
    }
    const std::string& path() const { return m_path; }

private:
    std::string m_path;
};

// The string conversions every layer uses: null and empty give empty text, pointers stop at
// their first NUL, counted text converts in full, and the caller's last error survives.
TEST(StringConversionTest, OneRuleForNullEmptyAndLength) {
    struct Case {
        const char* what;
        std::string utf8;
        std::u16string utf16;
    };
    const Case counted[] = {
        {"empty", "", u""},
        {"non-ascii", "h\xC3\xB6st \xF0\x9F\x98\x80", u"h\u00F6st \U0001F600"},
        {"embedded NUL kept", std::string("a\0b", 3), std::u16string(u"a\0b", 3)},
    };
    for (const Case& c : counted) {
        SetLastError(ERROR_ACCESS_DENIED);
        EXPECT_EQ(c.utf16, win32::ToUtf16(c.utf8)) << c.what;
        EXPECT_EQ(c.utf8, win32::ToUtf8(c.utf16)) << c.what;
        EXPECT_EQ(ERROR_ACCESS_DENIED, GetLastError()) << c.what;
    }
    EXPECT_EQ(u"", win32::ToUtf16(static_cast<const char*>(nullptr)));
    EXPECT_EQ("", win32::ToUtf8(static_cast<const char16_t*>(nullptr)));
    EXPECT_EQ(u"a", win32::ToUtf16(std::string("a\0b", 3).c_str()));
    EXPECT_EQ("a", win32::ToUtf8(std::u16string(u"a\0b", 3).c_str()));
    EXPECT_EQ("\xEF\xBF\xBDz", win32::ToUtf8(u"\xD800z")) << "an unpaired surrogate";
    EXPECT_EQ(u"\uFFFDz", win32::ToUtf16("\xC3z")) << "a truncated sequence";
}

TEST(BstrTest, LayoutAndLengths) {
    BSTR text = SysAllocString(u"abc");
    ASSERT_NE(nullptr, text);
    EXPECT_EQ(3u, SysStringLen(text));
    EXPECT_EQ(u'\0', text[3]);
    std::uint32_t prefix;
    std::memcpy(&prefix, reinterpret_cast<unsigned char*>(text) - 4, 4);
    EXPECT_EQ(6u, prefix) << "the prefix holds the byte length";
    SysFreeString(text);

    BSTR withNul = SysAllocStringLen(u"a\0b", 3);
    ASSERT_NE(nullptr, withNul);
    EXPECT_EQ(3u, SysStringLen(withNul));
    EXPECT_EQ(std::u16string(u"a\0b", 3), std::u16string(withNul, 3));
    SysFreeString(withNul);

    BSTR blank = SysAllocStringLen(nullptr, 4);
    ASSERT_NE(nullptr, blank);
    EXPECT_EQ(4u, SysStringLen(blank));
    EXPECT_EQ(std::u16string(5, u'\0'), std::u16string(blank, 5));
    SysFreeString(blank);

    BSTR empty = SysAllocString(u"");
    ASSERT_NE(nullptr, empty);
    EXPECT_EQ(0u, SysStringLen(empty));
    SysFreeString(empty);

    EXPECT_EQ(nullptr, SysAllocString(nullptr));
    EXPECT_EQ(0u, SysStringLen(nullptr));
    SysFreeString(nullptr);
    EXPECT_EQ(nullptr, SysAllocStringLen(u"", 0xFFFFFFFFu)) << "too long for the prefix";
}

TEST(OleTest, StartAndEndAnswerSuccess) {
    EXPECT_EQ(S_OK, OleInitialize(nullptr));
    OleUninitialize();
}

TEST(PathIsUncTest, TwoBackslashesMakeAUncPath) {
    struct Case {
        const char16_t* path;
        BOOL unc;
    };
    const Case cases[] = {
        {u"\\\\server\\share", TRUE}, {u"\\\\", TRUE}, {u"\\server", FALSE}, {u"/tmp", FALSE},
        {u"//host", FALSE},           {u"", FALSE},    {nullptr, FALSE},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.unc, PathIsUNCW(c.path)) << (c.path ? Narrow(c.path) : "null");
    }
}

TEST(PathFileExistsTest, FilesAndFolders) {
    TempFolder temp;
    ASSERT_FALSE(temp.path().empty());
    std::string file = temp.path() + "/\xC3\xBC b.txt";
    ASSERT_TRUE(g_file_set_contents(file.c_str(), "x", 1, nullptr));
    struct Case {
        std::u16string path;
        BOOL exists;
    };
    const Case cases[] = {
        {Wide(temp.path()), TRUE},
        {Wide(file), TRUE},
        {Wide(temp.path() + "/missing"), FALSE},
        {u"", FALSE},
        {u"http://host/a", FALSE},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.exists, PathFileExistsW(c.path.c_str())) << Narrow(c.path);
    EXPECT_FALSE(PathFileExistsW(nullptr));
}

TEST(CreateDirectoryTest, ReportsWindowsErrors) {
    TempFolder temp;
    ASSERT_FALSE(temp.path().empty());
    std::u16string folder = Wide(temp.path() + "/WebKitUtil");
    EXPECT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    EXPECT_TRUE(g_file_test((temp.path() + "/WebKitUtil").c_str(), G_FILE_TEST_IS_DIR));

    struct Case {
        std::u16string path;
        DWORD error;
    };
    const Case cases[] = {
        {folder, ERROR_ALREADY_EXISTS},
        {Wide(temp.path() + "/missing/LocalStorage"), ERROR_PATH_NOT_FOUND},
        {u"", ERROR_PATH_NOT_FOUND},
    };
    for (const Case& c : cases) {
        SetLastError(0);
        EXPECT_FALSE(CreateDirectoryW(c.path.c_str(), nullptr)) << Narrow(c.path);
        EXPECT_EQ(c.error, GetLastError()) << Narrow(c.path);
    }
}

std::string ExecutablePath() {
    gchar* target = g_file_read_link("/proc/self/exe", nullptr);
    std::string result = target != nullptr ? target : "";
    g_free(target);
    return result;
}

TEST(GetModuleFileNameTest, NamesTheRunningExecutable) {
    char16_t buffer[4096] = {};
    DWORD length = GetModuleFileNameW(nullptr, buffer, 4096);
    std::u16string expected = Wide(ExecutablePath());
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(expected.size(), length);
    EXPECT_EQ(expected, std::u16string(buffer));
}

TEST(GetModuleFileNameTest, SmallBufferIsCutAndTerminated) {
    char16_t buffer[5] = {u'x', u'x', u'x', u'x', u'x'};
    SetLastError(0);
    EXPECT_EQ(5u, GetModuleFileNameW(nullptr, buffer, 5));
    EXPECT_EQ(ERROR_INSUFFICIENT_BUFFER, GetLastError());
    EXPECT_EQ(Wide(ExecutablePath()).substr(0, 4), std::u16string(buffer));

    SetLastError(0);
    EXPECT_EQ(0u, GetModuleFileNameW(nullptr, buffer, 0));
    EXPECT_EQ(ERROR_INSUFFICIENT_BUFFER, GetLastError());
}

TEST(OutputDebugStringTest, WritesUtf8UnchangedWithoutLineFeed) {
    struct Case {
        const char16_t* text;
        std::string written;
    };
    const Case cases[] = {
        {u"RemoveMenu() failed, i = 3, err = 0\n", "RemoveMenu() failed, i = 3, err = 0\n"},
        {u"no line feed", "no line feed"},
        {u"\u00FC\U0001F600", "\xC3\xBC\xF0\x9F\x98\x80"},
        {u"bad \xD800", "bad \xEF\xBF\xBD"},
        {u"", ""},
        {nullptr, ""},
    };
    for (const Case& c : cases) {
        SetLastError(ERROR_ACCESS_DENIED);
        testing::internal::CaptureStderr();
        OutputDebugStringW(c.text);
        EXPECT_EQ(c.written, testing::internal::GetCapturedStderr());
        EXPECT_EQ(ERROR_ACCESS_DENIED, GetLastError()) << "the last error is kept";
    }
}

TEST(MessageBoxTextTest, LongTextIsCutAtTheFirstLimitWithAMark) {
    // Small limits: at most 5 units and 3 lines.
    struct Case {
        const char16_t* name;
        std::u16string text;
        std::u16string shown;
    };
    const Case cases[] = {
        {u"within both limits", u"ab\ncd", u"ab\ncd"},
        {u"exactly the units", u"abcde", u"abcde"},
        {u"one unit too many", u"abcdef", u"abcde\u2026"},
        {u"exactly the lines", u"a\nb\nc", u"a\nb\nc"},
        {u"a line too many", u"a\nb\nc\nd", u"a\nb\nc\n\u2026"},
        {u"no CR before the mark", u"a\r\nb\r\nc", u"a\r\nb\u2026"},
        {u"empty lines count", u"\n\n\n\n", u"\n\n\n\u2026"},
        {u"pair kept whole", u"abc\U0001F600", u"abc\U0001F600"},
        {u"pair not split", u"abcd\U0001F600x", u"abcd\u2026"},
        {u"ends at the NUL", std::u16string(u"ab\0cdefgh", 9), u"ab"},
        {u"empty", u"", u""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Narrow(c.shown), Narrow(win32::MessageBoxText(c.text, 5, 3))) << Narrow(c.name);
    }
}

TEST(MessageBoxTextTest, MegabytesShowAsTheDefaultLimits) {
    const std::u16string line(10 * 1024 * 1024, u'x');
    const std::u16string shown = win32::MessageBoxText(line);
    EXPECT_EQ(win32::kMessageBoxMaxUnits + 1, shown.size());
    EXPECT_EQ(u'\u2026', shown.back());

    std::u16string lines;
    for (int i = 0; i < 100000; ++i) lines += u"line\n";
    const std::u16string cut = win32::MessageBoxText(lines);
    EXPECT_EQ(static_cast<std::ptrdiff_t>(win32::kMessageBoxMaxLines),
              std::count(cut.begin(), cut.end(), u'\n'));
}

}  // namespace
