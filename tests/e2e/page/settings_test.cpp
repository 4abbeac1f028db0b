// What the page keeps over a restart (settings, history, the last scan's rows, also when the
// window is closed right after a change or during a scan) and how it looks in light and dark
// themes; how the program ends on a signal, and that a flood of connections to its socket
// does not stop it.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <glib.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "page/PageTest.h"

namespace e2e {
namespace {

using ::testing::HasSubstr;
using ::testing::UnorderedElementsAreArray;

TEST_F(PageTest, SettingsAndHistoryComeBackAfterARestart) {
    AppRun& run = NewPageApp();
    ASSERT_TRUE(Launch(run));
    AddScanSite(*site);
    const std::string address = site->Url("/site/index.html");
    ASSERT_NO_FATAL_FAILURE(Click("#filter-ext"));
    ASSERT_NO_FATAL_FAILURE(TypeInto("#ext-text", "*.gif; *.wav"));
    ASSERT_NO_FATAL_FAILURE(TypeInto("#url", address));
    ASSERT_NO_FATAL_FAILURE(Key("Return"));
    ASSERT_TRUE(WaitForState([](const PageState& s) { return s.S("state") == "running"; })) << last;
    // Names ending in .gif or .wav only ("it's&$x" has no extension: its name stops at the
    // comma).
    const std::vector<std::string> kept = {"tiny.gif", "big.gif", "dup.gif", "tone.wav"};
    ASSERT_TRUE(WaitForState(
        [&](const PageState& s) {
            return s.rows.size() == kept.size() &&
                   std::all_of(kept.begin(), kept.end(),
                               [&](const std::string& n) { return s.Find(n) != nullptr; }) &&
                   s.Find("dup.gif")->hits == "3";
        },
        kStartTimeout))
        << last;
    const std::vector<std::string> rowsBefore = last.Urls();
    // Largest first, an order that arrival never gives.
    ASSERT_NO_FATAL_FAILURE(Click("#sort-size"));
    ASSERT_NO_FATAL_FAILURE(Click("#sort-size"));
    ASSERT_NO_FATAL_FAILURE(Click("#stop"));
    ASSERT_TRUE(WaitForState([](const PageState& s) {
        return s.S("state") == "idle" && s.Strings("history").size() == 1 &&
               s.Header("size") == "descending";
    })) << last;
    ASSERT_TRUE(x->CloseWindow(mainWindow->id));
    ASSERT_EQ(run.WaitForExit(), std::optional<int>(0)) << run.Stderr();

    ASSERT_TRUE(Launch(run));
    ASSERT_TRUE(WaitForState([](const PageState& s) { return s.rows.size() == 4; })) << last;
    const PageState s = last;
    EXPECT_EQ(s.S("url"), address);
    EXPECT_EQ(s.S("filterKind"), "ext");
    EXPECT_EQ(s.S("ext"), "*.gif; *.wav");
    EXPECT_EQ(s.S("state"), "idle");
    EXPECT_EQ(s.Header("size"), "descending");
    const auto history = s.Strings("history");
    ASSERT_EQ(history.size(), 1u) << s;
    EXPECT_THAT(history[0], HasSubstr(address));
    EXPECT_THAT(history[0], HasSubstr("4 addresses"));
    // The last scan is shown again, sorted as it was.
    EXPECT_THAT(s.Urls(), UnorderedElementsAreArray(rowsBefore));
    ASSERT_EQ(s.rows.size(), 4u);
    EXPECT_EQ(s.rows.front().size, "1.24MB") << s;
    EXPECT_EQ(s.rows.back().size, "43B") << s;
    EXPECT_EQ(s.Find("dup.gif")->hits, "3");
    const auto keys = s.Strings("storage");
    EXPECT_THAT(keys, ::testing::Contains("trawlet.settings.v1"));
    EXPECT_THAT(keys, ::testing::Contains("trawlet.history.v1"));
    EXPECT_THAT(keys, ::testing::Contains(::testing::StartsWith("trawlet.scan.v1.")));
}

// Closing the main window tears its page down without "pagehide" (nor "beforeunload" or
// "visibilitychange"), so the page writes what it keeps as it changes: a setting changed just
// before closing, and the rows of a running scan, must both be there after a restart.
TEST_F(PageTest, CloseRightAfterAChangeKeepsIt) {
    AppRun& run = NewPageApp();
    ASSERT_TRUE(Launch(run));
    AddScanSite(*site);
    const std::string address = site->Url("/site/index.html");
    ASSERT_NO_FATAL_FAILURE(TypeInto("#url", address));
    ASSERT_NO_FATAL_FAILURE(Key("Return"));
    ASSERT_TRUE(WaitForState([](const PageState& s) { return s.N("count") >= 3; })) << last;
    ASSERT_NO_FATAL_FAILURE(Click("#sort-hits"));
    // Closed as soon as the page shows the new order.
    ASSERT_TRUE(WaitForState([](const PageState& s) { return s.Header("hits") == "ascending"; }))
        << last;
    ASSERT_TRUE(x->CloseWindow(mainWindow->id));
    ASSERT_EQ(run.WaitForExit(), std::optional<int>(0)) << run.Stderr();

    ASSERT_TRUE(Launch(run));
    EXPECT_TRUE(WaitForState([](const PageState& s) {
        return s.Header("hits") == "ascending" && s.Strings("history").size() == 1 &&
               s.N("count") >= 3;
    })) << last;
}

TEST_F(PageTest, ClosingDuringAScanKeepsTheRowsReceivedUpToThen) {
    AddStreamSite(*site, 50);
    AppRun& run = NewPageApp();
    ASSERT_TRUE(Launch(run));
    ASSERT_NO_FATAL_FAILURE(TypeInto("#url", site->Url("/stream/index.html")));
    ASSERT_NO_FATAL_FAILURE(Key("Return"));
    ASSERT_TRUE(WaitForState([](const PageState& s) { return s.N("count") >= 60; }, kStartTimeout))
        << last;
    // The rows on screen at this moment, closed at once.
    const int shown = last.N("count");
    ASSERT_TRUE(x->CloseWindow(mainWindow->id));
    ASSERT_EQ(run.WaitForExit(), std::optional<int>(0)) << run.Stderr();

    ASSERT_TRUE(Launch(run));
    ASSERT_TRUE(WaitForState([](const PageState& s) { return s.Strings("history").size() == 1; }))
        << last;
    EXPECT_GE(last.N("count"), shown) << last.Strings("history")[0];
    EXPECT_EQ(last.S("state"), "idle");
}

// The processes whose parent is `pid` that have not ended (a zombie has ended).
std::vector<pid_t> LiveChildren(pid_t pid) {
    std::vector<pid_t> children;
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos) continue;
        std::ifstream stat(entry.path() / "stat");
        std::string line;
        if (!std::getline(stat, line)) continue;
        // "pid (name) state ppid ...": the name may hold spaces and parentheses.
        const auto close = line.rfind(')');
        if (close == std::string::npos) continue;
        std::istringstream rest(line.substr(close + 2));
        char state = 0;
        pid_t parent = 0;
        rest >> state >> parent;
        if (parent == pid && state != 'Z') children.push_back(std::stoi(name));
    }
    return children;
}

bool Gone(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line)) return true;
    const auto close = line.rfind(')');
    return close != std::string::npos && close + 2 < line.size() && line[close + 2] == 'Z';
}

// A runtime folder of the run's own, so that what the program leaves there can be seen.
std::string PrivateRuntime(AppRun& run) {
    const std::string runtime = run.Root() + "/runtime";
    g_mkdir_with_parents(runtime.c_str(), 0700);
    run.SetEnv("XDG_RUNTIME_DIR=" + runtime);
    return runtime;
}

class EndSignalTest : public PageTest, public ::testing::WithParamInterface<int> {};

// An end signal during a scan ends the program as closing its main window does: status 0, the
// rows received up to then in the history, no engine process left and no socket folder left.
TEST_P(EndSignalTest, EndsAsClosingDoesAndKeepsTheScan) {
    AddStreamSite(*site, 50);
    AppRun& run = NewPageApp();
    const std::string runtime = PrivateRuntime(run);
    ASSERT_TRUE(Launch(run));
    ASSERT_NO_FATAL_FAILURE(TypeInto("#url", site->Url("/stream/index.html")));
    ASSERT_NO_FATAL_FAILURE(Key("Return"));
    ASSERT_TRUE(WaitForState([](const PageState& s) { return s.N("count") >= 60; }, kStartTimeout))
        << last;
    const int shown = last.N("count");
    const std::vector<pid_t> helpers = LiveChildren(run.Pid());
    EXPECT_FALSE(helpers.empty());
    ASSERT_EQ(kill(run.Pid(), GetParam()), 0);
    ASSERT_EQ(run.WaitForExit(), std::optional<int>(0)) << run.Stderr();
    for (pid_t helper : helpers) {
        EXPECT_TRUE(WaitUntil([&] { return Gone(helper); }, kActionTimeout)) << helper;
    }
    std::vector<std::string> left;
    for (const auto& entry : std::filesystem::directory_iterator(runtime)) {
        // GTK keeps its settings cache here too; only the program's socket folder counts.
        const std::string name = entry.path().filename().string();
        if (name.rfind("trawlet-", 0) == 0) left.push_back(name);
    }
    EXPECT_THAT(left, ::testing::IsEmpty());

    ASSERT_TRUE(Launch(run));
    ASSERT_TRUE(WaitForState([](const PageState& s) { return s.Strings("history").size() == 1; }))
        << last;
    EXPECT_GE(last.N("count"), shown) << last.Strings("history")[0];
    EXPECT_EQ(last.S("state"), "idle");
}

INSTANTIATE_TEST_SUITE_P(Signals, EndSignalTest, ::testing::Values(SIGTERM, SIGINT, SIGHUP),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return std::string(sigabbrev_np(info.param));
                         });

// Connections to the program's socket that never present its secret (another program of the
// user's, gone wrong) must not use up the program's descriptors: the next scan, which needs a
// new engine process and its sockets, still works, and so does the page.
TEST_F(PageTest, FloodOfSilentConnectionsLeavesTheProgramWorking) {
    AppRun& run = NewPageApp();
    const std::string runtime = PrivateRuntime(run);
    // The program starts with a usual descriptor limit, which the flood below exceeds.
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &saved), 0);
    rlimit usual = saved;
    usual.rlim_cur = std::min<rlim_t>(1024, saved.rlim_cur);
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &usual), 0);
    const bool launched = Launch(run);
    setrlimit(RLIMIT_NOFILE, &saved);
    ASSERT_TRUE(launched);
    std::string address;
    for (const auto& entry : std::filesystem::directory_iterator(runtime)) {
        if (entry.path().filename().string().rfind("trawlet-", 0) == 0)
            address = (entry.path() / "channel").string();
    }
    ASSERT_FALSE(address.empty());
    const int floodSize = saved.rlim_cur > 1400 ? 1200 : static_cast<int>(saved.rlim_cur) - 200;
    std::vector<int> flood;
    for (int i = 0; i < floodSize; ++i) {
        int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        ASSERT_GE(fd, 0);
        // A full backlog makes connect wait for the program to accept, for at most this long.
        const timeval wait{2, 0};
        setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &wait, sizeof wait);
        sockaddr_un where{};
        where.sun_family = AF_UNIX;
        std::memcpy(where.sun_path, address.c_str(), address.size() + 1);
        if (connect(fd, reinterpret_cast<sockaddr*>(&where), sizeof where) != 0) {
            close(fd);
            continue;
        }
        flood.push_back(fd);
    }
    EXPECT_GT(flood.size(), 900u);
    ASSERT_NO_FATAL_FAILURE(ScanTheSite());
    for (int fd : flood) close(fd);
    EXPECT_TRUE(run.Running());
}

TEST_F(PageTest, ScreenshotsOfTheEmptyPageAndAFullListInLightAndDarkTheme) {
    AppRun& run = NewPageApp();
    ASSERT_TRUE(Launch(run));
    auto s = State();
    ASSERT_TRUE(s);
    EXPECT_FALSE(s->B("systemDark"));
    EXPECT_EQ(s->S("background"), "rgb(255, 255, 255)");
    ShotOfMainWindow("page-empty.png");

    ASSERT_NO_FATAL_FAILURE(ScanTheSite());
    const std::vector<Row> rows = last.rows;
    // Two rows selected, so that the selection's colours are seen too.
    ASSERT_NO_FATAL_FAILURE(ClickRow(rows[2]));
    ASSERT_NO_FATAL_FAILURE(ClickRow(rows[4], "ctrl"));
    ASSERT_TRUE(WaitForState([](const PageState& s) { return s.N("selected") == 2; })) << last;
    ShotOfMainWindow("page-full-light.png");

    ASSERT_NO_FATAL_FAILURE(Click("#theme"));
    ASSERT_NO_FATAL_FAILURE(Key("Down"));
    ASSERT_NO_FATAL_FAILURE(Key("Down"));
    ASSERT_NO_FATAL_FAILURE(Key("Return"));
    ASSERT_TRUE(WaitForState([](const PageState& s) {
        return s.S("theme") == "dark" && s.S("dataTheme") == "dark";
    })) << last;
    EXPECT_EQ(last.S("background"), "rgb(27, 28, 31)");
    const std::string dark = ShotOfMainWindow("page-full-dark.png");
    // Unchecked boxes and radio buttons are dark too, not the engine's light ones.
    for (const char* control : {"#view-regex", "#view-not", "#filter-mime"}) {
        auto box = Rect(control);
        ASSERT_TRUE(box && box->width > 0) << control;
        auto rgb = PixelAt(dark, box->CenterX(), box->CenterY());
        ASSERT_TRUE(rgb) << control;
        EXPECT_LT(*std::max_element(rgb->begin(), rgb->end()), 100)
            << control << " is drawn light: " << (*rgb)[0] << "," << (*rgb)[1] << "," << (*rgb)[2];
    }

    // "Capture" stands beside its first choice.
    auto label = Rect("#capture-label");
    auto first = Rect("#filter-off");
    ASSERT_TRUE(label && first);
    EXPECT_LE(std::abs(label->CenterY() - first->CenterY()), 4)
        << "Capture at y " << label->y << ", its first choice at y " << first->y;
    EXPECT_LT(label->x, first->x);
}

TEST_F(PageTest, DarkSystemThemeGivesTheDarkPage) {
    AppRun& run = NewPageApp();
    run.SetEnv("GTK_THEME=Adwaita:dark");
    ASSERT_TRUE(Launch(run));
    auto s = State();
    ASSERT_TRUE(s);
    EXPECT_EQ(s->S("theme"), "system");
    EXPECT_TRUE(s->B("systemDark")) << "the page does not see a dark preference";
    EXPECT_EQ(s->S("background"), "rgb(27, 28, 31)");
    ShotOfMainWindow("page-empty-system-dark.png");
}

}  // namespace
}  // namespace e2e
