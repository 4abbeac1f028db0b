// The program's own folder, the page beside it, and the user's data folder.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <glib.h>
#include <optional>
#include <string>

#include "TestText.h"
#include "app/LocalPaths.h"
#include "app/StorageFolder.h"

namespace {

namespace fs = std::filesystem;

std::string Executable() {
    return fs::read_symlink("/proc/self/exe").string();
}

// Sets an environment variable for one scope and puts the old value back.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : m_name(name) {
        if (const char* old = std::getenv(name)) m_old = old;
        if (value != nullptr) {
            setenv(name, value, 1);
        } else {
            unsetenv(name);
        }
    }
    ~ScopedEnv() {
        if (m_old) {
            setenv(m_name, m_old->c_str(), 1);
        } else {
            unsetenv(m_name);
        }
    }

private:
    const char* m_name;
    std::optional<std::string> m_old;
};

TEST(LocalPathsTest, PageBesideTheExecutable) {
    std::string folder = fs::path(Executable()).parent_path().string();
    std::u16string out = u"previous";
    ASSERT_TRUE(GetModuleFolder(out));
    EXPECT_EQ(folder, Narrow(out));

    ASSERT_TRUE(GetIndexPagePath(out));
    EXPECT_EQ(folder + "/Html/index.html", Narrow(out));

    ASSERT_TRUE(GetIndexPageUrl(out));
    // The build folder's name is not known here: the address must lead back to the path.
    gchar* back = g_filename_from_uri(Narrow(out).c_str(), nullptr, nullptr);
    ASSERT_NE(nullptr, back) << Narrow(out);
    EXPECT_EQ(folder + "/Html/index.html", std::string(back));
    g_free(back);
    EXPECT_EQ(0u, Narrow(out).rfind("file:///", 0)) << Narrow(out);
}

// When started by the test below as a copy in a folder whose name needs escaping, the program
// prints its folder and page address and ends before any test runs.
const bool kPrintedForParent = [] {
    if (std::getenv("TRAWLET_UNIT_PRINT_PAGE_URL") == nullptr) return false;
    std::u16string folder, url;
    GetModuleFolder(folder);
    GetIndexPageUrl(url);
    std::printf("folder=%s\nurl=%s\n", Narrow(folder).c_str(), Narrow(url).c_str());
    std::fflush(stdout);
    std::_Exit(0);
}();

TEST(LocalPathsTest, PageAddressEscapesBlanksAndNonAscii) {
    fs::path executable = Executable();
    // Below the build folder, so that a hard link is possible and nothing leaks into /tmp.
    fs::path folder = executable.parent_path() / "paths test \xC3\xBC#%";
    std::error_code ignored;
    fs::remove_all(folder, ignored);
    fs::create_directories(folder);
    fs::path copy = folder / "unit_tests";
    std::error_code linkError;
    fs::create_hard_link(executable, copy, linkError);
    if (linkError) fs::copy_file(executable, copy);

    gchar* argv[] = {const_cast<gchar*>(copy.c_str()), nullptr};
    gchar* childOut = nullptr;
    gint status = -1;
    ScopedEnv helper("TRAWLET_UNIT_PRINT_PAGE_URL", "1");
    GError* error = nullptr;
    bool ran = g_spawn_sync(nullptr, argv, nullptr, G_SPAWN_DEFAULT, nullptr, nullptr, &childOut,
                            nullptr, &status, &error);
    std::string output = childOut != nullptr ? childOut : "";
    g_free(childOut);
    if (error != nullptr) g_error_free(error);
    fs::remove_all(folder, ignored);
    ASSERT_TRUE(ran);
    EXPECT_NE(std::string::npos, output.find("folder=" + folder.string() + "\n")) << output;
    const std::string urlLine = output.substr(std::min(output.find("url="), output.size()));
    EXPECT_EQ(0u, urlLine.rfind("url=file:///", 0)) << output;
    EXPECT_NE(std::string::npos, urlLine.find("/paths%20test%20%C3%BC%23%25/Html/index.html\n"))
        << output;
}

TEST(LocalPathsTest, AppDataFolderFollowsXdgDataHome) {
    struct Case {
        const char* dataHome;  // null: unset
        const char* home;
        std::string expected;
    };
    const Case cases[] = {
        {"/srv/data \xC3\xBC", "/home/someone", "/srv/data \xC3\xBC"},
        {nullptr, "/home/someone", "/home/someone/.local/share"},
        {"", "/home/someone", "/home/someone/.local/share"},
    };
    for (const Case& c : cases) {
        ScopedEnv dataHome("XDG_DATA_HOME", c.dataHome);
        ScopedEnv home("HOME", c.home);
        std::u16string out = u"previous";
        ASSERT_TRUE(GetAppDataFolder(out));
        EXPECT_EQ(c.expected, Narrow(out));
    }
}

// A fresh folder below the system's temporary folder, removed with everything in it.
class TempFolder {
public:
    TempFolder() {
        std::string pattern = (fs::temp_directory_path() / "trawlet-unit-XXXXXX").string();
        if (mkdtemp(pattern.data()) != nullptr) m_path = pattern;
    }
    ~TempFolder() {
        std::error_code ec;
        if (!m_path.empty()) fs::remove_all(m_path, ec);
    }
    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
};

TEST(LocalPathsTest, StoredStorageFolderIsKeptOnlyWhileItWorks) {
    TempFolder temp;
    ASSERT_FALSE(temp.Path().empty());
    const std::string data = temp.Path() + "/data";
    const std::string fresh = data + "/WebKitUtil/LocalStorage";
    const std::string kept = temp.Path() + "/kept";
    const std::string file = temp.Path() + "/file";
    fs::create_directories(kept);
    std::FILE* f = std::fopen(file.c_str(), "w");
    ASSERT_NE(nullptr, f);
    std::fclose(f);

    struct Case {
        const char* what;
        std::string dataHome, stored, path;
        bool store;
        std::string noticeHas;  // empty: no notice at all
    } cases[] = {
        {"nothing stored", data, "", fresh, true, ""},
        {"a working folder", data, kept, kept, false, ""},
        {"the fresh folder itself", data, fresh, fresh, false, ""},
        {"a file", data, file, fresh, true, file + " is not a folder"},
        {"below a file", data, file + "/LocalStorage", fresh, true, "cannot be used"},
        {"gone", data, temp.Path() + "/gone", fresh, true, "No such file"},
        // The data folder was emptied: its own storage folder is made again, and since it is
        // where the settings would be anyway, there is nothing to tell.
        {"the fresh folder, gone", temp.Path() + "/data2",
         temp.Path() + "/data2/WebKitUtil/LocalStorage",
         temp.Path() + "/data2/WebKitUtil/LocalStorage", false, ""},
        {"data folder is a file", file, "", "", false, "Settings and history will not be kept"},
        {"both broken", file, file + "/x", "", false, "Settings and history will not be kept"},
    };
    for (const auto& c : cases) {
        ScopedEnv env("XDG_DATA_HOME", c.dataHome.c_str());
        const LocalStorageFolder got = ChooseLocalStorageFolder(win32::ToUtf16(c.stored));
        EXPECT_EQ(c.path, Narrow(got.path)) << c.what;
        EXPECT_EQ(c.store, got.store) << c.what;
        if (c.noticeHas.empty()) {
            EXPECT_EQ("", got.notice) << c.what;
        } else {
            EXPECT_NE(std::string::npos, got.notice.find(c.noticeHas))
                << c.what << ": " << got.notice;
        }
        if (!c.path.empty()) {
            std::string reason;
            EXPECT_TRUE(IsUsableStorageFolder(got.path, reason)) << c.what << ": " << reason;
            // The test file made to check the folder is gone again.
            EXPECT_TRUE(fs::is_empty(c.path)) << c.what;
        }
    }
}

}  // namespace
