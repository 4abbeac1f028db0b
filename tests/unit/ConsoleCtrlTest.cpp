// The end signals reach the console control handlers from the main loop.
#include <gtest/gtest.h>

#include <glib.h>

#include <csignal>
#include <vector>

#include "win32/windows.h"

namespace {

std::vector<DWORD> g_seen;
std::vector<int> g_order;

BOOL Refuse(DWORD event) {
    g_order.push_back(1);
    g_seen.push_back(event);
    return FALSE;
}

BOOL Take(DWORD event) {
    g_order.push_back(2);
    g_seen.push_back(event);
    return TRUE;
}

// Runs the main loop until a handler saw something, for at most five seconds.
bool RunUntilSeen() {
    bool timedOut = false;
    const guint timer = g_timeout_add_seconds(
        5,
        [](gpointer flag) -> gboolean {
            *static_cast<bool*>(flag) = true;
            return G_SOURCE_REMOVE;
        },
        &timedOut);
    while (g_seen.empty() && !timedOut) g_main_context_iteration(nullptr, TRUE);
    if (!timedOut) g_source_remove(timer);
    return !g_seen.empty();
}

struct SignalCase {
    int signal;
    DWORD event;
};

class ConsoleCtrlTest : public testing::TestWithParam<SignalCase> {};

TEST_P(ConsoleCtrlTest, SignalArrivesAsItsEventNewestHandlerFirst) {
    g_seen.clear();
    g_order.clear();
    ASSERT_TRUE(SetConsoleCtrlHandler(Refuse, TRUE));
    ASSERT_TRUE(SetConsoleCtrlHandler(Take, TRUE));
    std::raise(GetParam().signal);
    EXPECT_TRUE(RunUntilSeen());
    // The newest handler took the event, so the older one never saw it.
    EXPECT_EQ(g_seen, std::vector<DWORD>{GetParam().event});
    EXPECT_EQ(g_order, std::vector<int>{2});
    EXPECT_TRUE(SetConsoleCtrlHandler(Take, FALSE));
    EXPECT_TRUE(SetConsoleCtrlHandler(Refuse, FALSE));
    EXPECT_FALSE(SetConsoleCtrlHandler(Refuse, FALSE));
}

INSTANTIATE_TEST_SUITE_P(EndSignals, ConsoleCtrlTest,
                         testing::Values(SignalCase{SIGINT, CTRL_C_EVENT},
                                         SignalCase{SIGHUP, CTRL_CLOSE_EVENT},
                                         SignalCase{SIGTERM, CTRL_SHUTDOWN_EVENT}));

TEST(ConsoleCtrlDeathTest, SignalNobodyTakesEndsTheProcessByThatSignal) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            SetConsoleCtrlHandler(Refuse, TRUE);
            std::raise(SIGTERM);
            RunUntilSeen();
            std::exit(0);
        },
        testing::KilledBySignal(SIGTERM), "");
}

}  // namespace
