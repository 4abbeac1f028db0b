// The listening socket under connections that never present the secret: they are closed after
// a while, and however many there are, the real module still gets through.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <fcntl.h>
#include <glib/gstdio.h>
#include <sys/stat.h>

#include <cstring>
#include <ctime>
#include <filesystem>
#include <vector>

#include "BridgeTestSupport.h"
#include "channel/ChannelServer.h"
#include "channel/ModuleChannel.h"

using namespace bridgetest;
using namespace channel;

namespace {

// A connection that says nothing; closed with the object.
class SilentPeer {
public:
    explicit SilentPeer(const std::string& address) {
        m_fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un where{};
        where.sun_family = AF_UNIX;
        std::memcpy(where.sun_path, address.c_str(), address.size() + 1);
        if (connect(m_fd, reinterpret_cast<sockaddr*>(&where), sizeof where) != 0) {
            close(m_fd);
            m_fd = -1;
        }
    }
    ~SilentPeer() {
        if (m_fd >= 0) close(m_fd);
    }
    SilentPeer(const SilentPeer&) = delete;
    SilentPeer& operator=(const SilentPeer&) = delete;
    bool connected() const { return m_fd >= 0; }
    // True once the server closed its end (a blocking read sees the end of the stream).
    bool SeesEnd() const {
        char byte;
        return m_fd >= 0 && read(m_fd, &byte, 1) == 0;
    }

private:
    int m_fd = -1;
};

class ChannelFloodTest : public ::testing::Test {
protected:
    void SetUp() override {
        server = loop.Run([this] { return new ChannelServer(loop.context()); });
        ASSERT_TRUE(loop.Run([this] { return server->Listen(); }));
        loop.Run([this] {
            server->onServiceCall = [this](ChannelServer::ConnectionId c, const ServiceCall& call) {
                server->Send(c, ServiceAnswer{call.callId, true, call.method});
            };
        });
    }
    void TearDown() override {
        loop.Run([this] { delete server; });
    }
    std::size_t Count() {
        return loop.Run([this] { return server->ConnectionCount(); });
    }
    bool CallWorks(ModuleChannel& module) {
        ServiceAnswer answer;
        return module.Call(ServiceCall{0, 7, "com.kestovan.trawlet", "stop", "null\n"}, answer) &&
               answer.result == "stop";
    }

    LoopThread loop;
    ChannelServer* server = nullptr;
};

TEST_F(ChannelFloodTest, SilentConnectionIsClosedAfterTheTimeoutAndTheModuleIsNot) {
    loop.Run([this] { server->SetHelloTimeout(50); });
    auto module = ModuleChannel::Connect(server->address(), server->secret());
    ASSERT_NE(module, nullptr);
    ASSERT_TRUE(CallWorks(*module));
    // The silent peer came later than the module, so by the time its timeout closed it the
    // module's would have run out too, had it not presented the secret.
    SilentPeer silent(server->address());
    ASSERT_TRUE(silent.connected());
    EXPECT_TRUE(silent.SeesEnd());
    EXPECT_TRUE(loop.WaitFor([this] { return server->ConnectionCount() == 1; }));
    EXPECT_TRUE(CallWorks(*module));
}

// Keeps this process to `extra` descriptors above those open now, for the life of the object.
class DescriptorLimit {
public:
    explicit DescriptorLimit(rlim_t extra) {
        getrlimit(RLIMIT_NOFILE, &m_saved);
        rlim_t open = 0;
        for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
            (void)entry;
            ++open;
        }
        rlimit lowered = m_saved;
        lowered.rlim_cur = open + extra;
        setrlimit(RLIMIT_NOFILE, &lowered);
    }
    ~DescriptorLimit() { setrlimit(RLIMIT_NOFILE, &m_saved); }

private:
    rlimit m_saved{};
};

TEST_F(ChannelFloodTest, FloodOfSilentConnectionsDoesNotKeepTheModuleOut) {
    // Client and server ends live in this one process. Had the server kept every silent
    // connection, the flood would use up the descriptors and the module could not connect.
    DescriptorLimit limit(300);
    std::vector<std::unique_ptr<SilentPeer>> flood;
    for (int i = 0; i < 200; ++i) {
        flood.push_back(std::make_unique<SilentPeer>(server->address()));
        ASSERT_TRUE(flood.back()->connected()) << i;
    }
    auto module = ModuleChannel::Connect(server->address(), server->secret());
    ASSERT_NE(module, nullptr);
    EXPECT_TRUE(CallWorks(*module));
    // Only a bounded number wait for their secret at any time; the oldest were pushed out.
    EXPECT_LE(Count(), ChannelServer::kMaxPendingConnections + 1);
    EXPECT_TRUE(flood.front()->SeesEnd());
    // More silent connections after the module was let in do not push it out.
    for (int i = 0; i < 50; ++i) flood.push_back(std::make_unique<SilentPeer>(server->address()));
    EXPECT_TRUE(CallWorks(*module));
}

}  // namespace

namespace {

// Folders that a killed program may have left in the runtime folder, and folders that must
// stay: the next program to listen removes the first kind only.
TEST(StaleFolderTest, ListeningRemovesOnlyTheFoldersOfDeadPrograms) {
    gchar* made = g_dir_make_tmp("trawlet-runtime-XXXXXX", nullptr);
    ASSERT_NE(made, nullptr);
    const std::string runtime = made;
    g_free(made);
    const char* saved = g_getenv("XDG_RUNTIME_DIR");
    const std::string savedValue = saved ? saved : "";
    g_setenv("XDG_RUNTIME_DIR", runtime.c_str(), TRUE);

    // Makes runtime/name/channel as a socket; `listening` keeps a listener on it, `ageSeconds`
    // dates it back.
    std::vector<int> listeners;
    auto makeFolder = [&](const std::string& name, bool listening, int ageSeconds, bool extraFile) {
        const std::string folder = runtime + "/" + name;
        g_mkdir(folder.c_str(), 0700);
        const std::string path = folder + "/channel";
        int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un where{};
        where.sun_family = AF_UNIX;
        std::memcpy(where.sun_path, path.c_str(), path.size() + 1);
        EXPECT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&where), sizeof where), 0) << path;
        if (listening) {
            listen(fd, 1);
            listeners.push_back(fd);
        } else {
            close(fd);
        }
        const timespec when[2] = {{time(nullptr) - ageSeconds, 0}, {time(nullptr) - ageSeconds, 0}};
        utimensat(AT_FDCWD, path.c_str(), when, AT_SYMLINK_NOFOLLOW);
        if (extraFile) g_file_set_contents((folder + "/notes").c_str(), "x", 1, nullptr);
        return folder;
    };
    struct Case {
        const char* name;
        bool listening;
        int ageSeconds;
        bool extraFile;
        bool removed;
    };
    const Case cases[] = {
        {"trawlet-dead01", false, 3600, false, true},
        {"trawlet-live01", true, 3600, false, false},
        {"trawlet-young1", false, 0, false, false},
        {"trawlet-notes1", false, 3600, true, false},
        {"trawlet-other-name", false, 3600, false, false},
    };
    std::vector<std::string> folders;
    for (const Case& c : cases)
        folders.push_back(makeFolder(c.name, c.listening, c.ageSeconds, c.extraFile));

    {
        LoopThread loop;
        ChannelServer* server = loop.Run([&] { return new ChannelServer(loop.context()); });
        EXPECT_TRUE(loop.Run([&] { return server->Listen(); }));
        loop.Run([&] { delete server; });
    }
    for (std::size_t i = 0; i < folders.size(); ++i) {
        EXPECT_EQ(!g_file_test(folders[i].c_str(), G_FILE_TEST_EXISTS), cases[i].removed)
            << cases[i].name;
    }

    for (int fd : listeners) close(fd);
    if (saved) {
        g_setenv("XDG_RUNTIME_DIR", savedValue.c_str(), TRUE);
    } else {
        g_unsetenv("XDG_RUNTIME_DIR");
    }
    std::error_code ignored;
    std::filesystem::remove_all(runtime, ignored);
}

}  // namespace
