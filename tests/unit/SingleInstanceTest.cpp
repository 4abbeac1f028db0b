// One program per storage folder: the lock, the hand-over to the holder, and folders that
// never meet.
#include <gtest/gtest.h>

#include <glib.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <future>
#include <string>

#include "app/SingleInstance.h"

namespace {

namespace fs = std::filesystem;

using Outcome = CSingleInstance::Outcome;

class SingleInstanceTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "trawlet-instance-XXXXXX").string();
        ASSERT_NE(nullptr, mkdtemp(pattern.data()));
        root = pattern;
        fs::create_directories(root + "/a");
        fs::create_directories(root + "/b");
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(root, ec);
    }

    // Runs `claim` on a thread of its own while this thread serves the main loop, as the
    // holder's message loop would, until the claim has its answer.
    Outcome ClaimWhileServing(CSingleInstance& other, const std::string& folder) {
        auto answer = std::async(std::launch::async, [&] { return other.Claim(folder, 5000); });
        while (answer.wait_for(std::chrono::seconds(0)) != std::future_status::ready)
            g_main_context_iteration(nullptr, FALSE);
        return answer.get();
    }

    std::string root;
};

TEST_F(SingleInstanceTest, ASecondProgramOnTheFolderHandsOverToTheFirst) {
    CSingleInstance first;
    ASSERT_EQ(Outcome::First, first.Claim(root + "/a"));
    int shown = 0;
    first.ServeShowRequests([&] { ++shown; });

    for (int i = 1; i <= 2; ++i) {
        CSingleInstance second;
        EXPECT_EQ(Outcome::HandedOver, ClaimWhileServing(second, root + "/a"));
        EXPECT_EQ(i, shown);
    }
    // Another folder is another program's business.
    CSingleInstance beside;
    EXPECT_EQ(Outcome::First, beside.Claim(root + "/b"));
}

TEST_F(SingleInstanceTest, AHolderThatDoesNotAnswerIsNotRunBeside) {
    CSingleInstance first;
    ASSERT_EQ(Outcome::First, first.Claim(root + "/a"));
    // No main loop serves the first one's socket.
    CSingleInstance second;
    EXPECT_EQ(Outcome::NoAnswer, second.Claim(root + "/a", 300));
}

TEST_F(SingleInstanceTest, TheFolderIsFreeOnceItsHolderIsGone) {
    {
        CSingleInstance first;
        ASSERT_EQ(Outcome::First, first.Claim(root + "/a"));
    }
    EXPECT_FALSE(fs::exists(CSingleInstance::SocketPath(root + "/a")));
    // What a killed holder leaves at the socket's name does not keep the next one unheard.
    std::ofstream(CSingleInstance::SocketPath(root + "/a")) << "left over";
    CSingleInstance next;
    ASSERT_EQ(Outcome::First, next.Claim(root + "/a"));
    next.ServeShowRequests([] {});
    CSingleInstance after;
    EXPECT_EQ(Outcome::HandedOver, ClaimWhileServing(after, root + "/a"));
}

TEST_F(SingleInstanceTest, AFolderThatCannotBeWrittenHasNoLock) {
    CSingleInstance alone;
    EXPECT_EQ(Outcome::Alone, alone.Claim(root + "/missing"));
}

}  // namespace
