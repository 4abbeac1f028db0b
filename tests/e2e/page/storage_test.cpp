// Where the page's settings and history are kept, when that place does not work: a stored
// folder that stopped working is replaced, a data folder that cannot be used or a full disk
// is said in the page while everything else works, a write the storage refuses is said, and a
// second program on the same folders hands over to the first instead of overwriting what it
// keeps.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/mount.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>

#include "page/PageTest.h"

namespace fs = std::filesystem;

namespace e2e {
namespace {

using ::testing::HasSubstr;

constexpr const char* kNotKept = "Settings and history will not be kept: ";

std::string PreferencesFile(const AppRun& run) {
    return run.ConfigHome() + "/trawlet/webkit-preferences.ini";
}

// The preferences as a program of an earlier run left them, with `storageFolder` as the
// folder of the page's local storage.
void WritePreferences(const AppRun& run, const std::string& storageFolder) {
    fs::create_directories(run.ConfigHome() + "/trawlet");
    WriteFile(PreferencesFile(run),
              "[WebKit]\nWebSecurityEnabled=false\nLocalStorageEnabled=true\n"
              "LocalStorageDatabasePath=" +
                  storageFolder + "\n");
}

// A small file system of its own, removed (lazily, so that a program still holding a file in
// it does not keep it) when the test ends.
class SmallDisk {
public:
    SmallDisk(std::string folder, bool readOnly) : m_folder(std::move(folder)) {
        fs::create_directories(m_folder);
        if (mount("tmpfs", m_folder.c_str(), "tmpfs", readOnly ? MS_RDONLY : 0, "size=256k") == 0) {
            m_mounted = true;
        } else {
            m_error = std::strerror(errno);
        }
    }
    ~SmallDisk() {
        if (m_mounted) umount2(m_folder.c_str(), MNT_DETACH);
    }
    bool Mounted() const { return m_mounted; }
    const std::string& Error() const { return m_error; }
    // Writes a file until the disk takes no more.
    void Fill() const {
        std::FILE* f = std::fopen((m_folder + "/filler").c_str(), "w");
        if (f == nullptr) return;
        const std::string block(4096, 'x');
        while (std::fwrite(block.data(), 1, block.size(), f) == block.size() &&
               std::fflush(f) == 0) {
        }
        std::fclose(f);
    }

private:
    std::string m_folder;
    bool m_mounted = false;
    std::string m_error;
};

TEST_F(PageTest, AStoredFolderThatStoppedWorkingIsReplacedAndKeepsSettingsAgain) {
    AppRun& run = NewPageApp();
    // An earlier run had its data folder where there is a file now.
    const std::string file = run.Root() + "/was-a-folder";
    WriteFile(file, "x");
    WritePreferences(run, file + "/WebKitUtil/LocalStorage");
    ASSERT_TRUE(Launch(run));
    ASSERT_TRUE(WaitForState([&](const PageState& s) {
        return s.S("message").find(run.LocalStorageDir()) != std::string::npos;
    })) << last;
    EXPECT_THAT(last.S("message"), HasSubstr(file));
    const std::string address = site->Url("/kept/again.html");
    ASSERT_NO_FATAL_FAILURE(TypeInto("#url", address));
    ASSERT_NO_FATAL_FAILURE(Click("#sort-size"));
    ASSERT_TRUE(WaitForState([](const PageState& s) { return s.Header("size") == "ascending"; }))
        << last;
    ASSERT_TRUE(x->CloseWindow(mainWindow->id));
    ASSERT_EQ(run.WaitForExit(), std::optional<int>(0)) << run.Stderr();
    EXPECT_THAT(ReadFile(PreferencesFile(run)),
                HasSubstr("LocalStorageDatabasePath=" + run.LocalStorageDir() + "\n"));

    ASSERT_TRUE(Launch(run));
    ASSERT_TRUE(WaitForState([&](const PageState& s) {
        return s.S("url") == address && s.Header("size") == "ascending";
    })) << last;
    // The folder works now: there is nothing to say.
    EXPECT_EQ(last.S("message"), "");
}

// Whatever keeps the settings from being stored, the program starts, says so, and scans,
// lists and copies as always.
TEST_F(PageTest, ADataFolderThatCannotBeUsedIsSaidAndTheRestWorks) {
    AppRun& run = NewPageApp();
    const std::string file = run.Root() + "/a-file";
    WriteFile(file, "x");
    run.SetEnv("XDG_DATA_HOME=" + file);
    ASSERT_TRUE(Launch(run));
    ASSERT_TRUE(WaitForState([&](const PageState& s) {
        return s.S("message").rfind(kNotKept, 0) == 0 &&
               s.S("message").find(file) != std::string::npos;
    })) << last;
    const std::string said = last.S("message");

    ASSERT_NO_FATAL_FAILURE(ScanTheSite());
    const std::optional<std::string> before = x->ClipboardText();
    const Row* image = last.Find("tiny.gif");
    ASSERT_NE(image, nullptr) << last;
    const Row row = *image;
    ASSERT_NO_FATAL_FAILURE(ClickRow(row));
    ASSERT_TRUE(WaitForState([](const PageState& s) { return s.N("selected") == 1; })) << last;
    ASSERT_NO_FATAL_FAILURE(Key("ctrl+c"));
    EXPECT_EQ(ClipboardChangedFrom(before), row.url);
    // Starting the scan cleared the message line; what holds for the whole run is back on it.
    EXPECT_EQ(last.S("message"), said);
    ASSERT_NO_FATAL_FAILURE(Click("#stop"));
    ASSERT_TRUE(WaitForState([](const PageState& s) { return s.S("state") == "idle"; })) << last;
    ASSERT_TRUE(x->CloseWindow(mainWindow->id));
    EXPECT_EQ(run.WaitForExit(), std::optional<int>(0)) << run.Stderr();
}

TEST_F(PageTest, AFullOrReadOnlyDiskIsSaidAtStart) {
    const struct {
        bool readOnly;
        int error;
    } cases[] = {{false, ENOSPC}, {true, EROFS}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.readOnly ? "read-only" : "full");
        AppRun& run = NewPageApp();
        const std::string folder = run.Root() + "/small-disk";
        SmallDisk disk(folder, c.readOnly);
        if (!disk.Mounted()) GTEST_SKIP() << "no small file system of our own: " << disk.Error();
        if (!c.readOnly) {
            fs::create_directories(folder + "/WebKitUtil/LocalStorage");
            disk.Fill();
        }
        run.SetEnv("XDG_DATA_HOME=" + folder);
        ASSERT_TRUE(Launch(run));
        EXPECT_TRUE(WaitForState([&](const PageState& s) {
            return s.S("message").rfind(kNotKept, 0) == 0 &&
                   s.S("message").find(std::strerror(c.error)) != std::string::npos;
        })) << last;
        ASSERT_TRUE(x->CloseWindow(mainWindow->id));
        EXPECT_EQ(run.WaitForExit(), std::optional<int>(0)) << run.Stderr();
    }
}

// Storage that fills up while the program runs refuses the page's writes; the page says so
// once instead of losing the settings silently.
TEST_F(PageTest, AWriteTheStorageRefusesIsSaid) {
    AppRun& run = NewPageApp();
    ASSERT_TRUE(Launch(run));
    ASSERT_EQ(Eval("Storage.prototype.setItem = function () {"
                   "  var e = new Error('The quota has been exceeded.');"
                   "  e.name = 'QuotaExceededError'; throw e; }; 'full'"),
              std::optional<std::string>("full"));
    ASSERT_NO_FATAL_FAILURE(TypeInto("#url", site->Url("/never/kept.html")));
    EXPECT_TRUE(WaitForState([](const PageState& s) {
        return s.S("message") == std::string(kNotKept) + "the page\u2019s storage is full.";
    })) << last;
}

// Two programs started at once on the same folders: one shows its window, the other asks it
// to and ends with status 0; what the first kept is all there afterwards.
TEST_F(PageTest, ASecondProgramOnTheSameFoldersHandsOverAndLosesNothing) {
    AppRun& run = NewPageApp();
    ASSERT_TRUE(Launch(run));
    ASSERT_NO_FATAL_FAILURE(ScanTheSite());
    ASSERT_NO_FATAL_FAILURE(Click("#sort-size"));
    ASSERT_NO_FATAL_FAILURE(Click("#stop"));
    ASSERT_TRUE(WaitForState([](const PageState& s) {
        return s.S("state") == "idle" && s.Strings("history").size() == 1 &&
               s.Header("size") == "ascending";
    })) << last;
    const std::string address = last.S("url");
    ASSERT_TRUE(x->CloseWindow(mainWindow->id));
    ASSERT_EQ(run.WaitForExit(), std::optional<int>(0)) << run.Stderr();

    AppOptions beside;
    beside.sameFoldersAs = &run;
    AppRun second(beside);
    WriteProbe(run);
    ASSERT_TRUE(run.Start());
    ASSERT_TRUE(second.Start());
    ASSERT_TRUE(WaitUntil([&] { return !run.Running() || !second.Running(); }, kStartTimeout))
        << "both programs run";
    AppRun& ended = run.Running() ? second : run;
    AppRun& holder = run.Running() ? run : second;
    EXPECT_EQ(ended.WaitForExit(), std::optional<int>(0)) << ended.Stderr();
    ASSERT_TRUE(Attach(holder));
    ASSERT_TRUE(WaitForState([&](const PageState& s) {
        return s.S("url") == address && s.Strings("history").size() == 1 &&
               s.N("count") == kScanSiteRows;
    })) << last;

    // One more while it runs; the holder goes on answering.
    AppRun third(beside);
    ASSERT_TRUE(third.Start());
    EXPECT_EQ(third.WaitForExit(kStartTimeout), std::optional<int>(0)) << third.Stderr();
    EXPECT_TRUE(holder.Running());
    ASSERT_NO_FATAL_FAILURE(Click("#sort-hits"));
    ASSERT_TRUE(WaitForState([](const PageState& s) { return s.Header("hits") == "ascending"; }))
        << last;
    ASSERT_TRUE(x->CloseWindow(mainWindow->id));
    ASSERT_EQ(holder.WaitForExit(), std::optional<int>(0)) << holder.Stderr();

    ASSERT_TRUE(Launch(run));
    ASSERT_TRUE(WaitForState([&](const PageState& s) {
        return s.Header("hits") == "ascending" && s.Strings("history").size() == 1 &&
               s.N("count") == kScanSiteRows;
    })) << last;
    EXPECT_EQ(last.S("url"), address);
    EXPECT_EQ(last.S("message"), "");
}

TEST_F(PageTest, ProgramsOnDifferentFoldersRunSideBySide) {
    AppRun& run = NewPageApp();
    ASSERT_TRUE(Launch(run));
    AppRun other;
    other.WritePage("index.html", Page("<p>another program</p>"));
    ASSERT_TRUE(StartAndWaitForMainWindow(other));
    EXPECT_TRUE(run.Running());
    EXPECT_TRUE(other.Running());
    // The first one still answers.
    EXPECT_TRUE(WaitForState([](const PageState& s) { return s.S("state") == "idle"; })) << last;
}

}  // namespace
}  // namespace e2e
