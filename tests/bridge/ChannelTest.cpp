// The channel between the UI process and the module: framing, and both ends over socket pairs
// in one process, the UI end on a main loop of its own thread.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "BridgeTestSupport.h"
#include "channel/ChannelServer.h"
#include "channel/Messages.h"
#include "channel/ModuleChannel.h"
#include "channel/ModuleInit.h"

using namespace bridgetest;
using namespace channel;

namespace {

std::string Frame(const Message& message) {
    std::string out;
    EXPECT_TRUE(EncodeFrame(message, out));
    return out;
}

std::string RawFrame(const std::string& body) {
    const auto n = static_cast<std::uint32_t>(body.size());
    std::string out{static_cast<char>(n >> 24), static_cast<char>(n >> 16),
                    static_cast<char>(n >> 8), static_cast<char>(n)};
    return out + body;
}

// ---- Framing ------------------------------------------------------------------------------

TEST(FramingTest, EveryMessageSurvivesTheRoundTrip) {
    static const char kOdd[] = "nul\0and \xC3\xA9 \"quoted\" \\ \n";
    const std::string odd(kOdd, sizeof kOdd - 1);
    const std::vector<Message> messages = {
        Hello{"s3cr3t"},
        WindowObjectCleared{~std::uint64_t{0}, true},
        ServiceCall{1, 2, odd, "m", "{\"a\":[1,2]}\n"},
        ServiceAnswer{3, true, "{\"returnValue\":1}\n"},
        ServiceAnswer{4, false, ""},
        PageCall{5, "addResult", odd},
        CallComplete{6, -2},
    };
    std::string stream;
    for (const Message& m : messages) stream += Frame(m);
    // Fed one byte at a time, the reader still cuts the same frames.
    FrameReader reader;
    std::vector<Message> got;
    for (char byte : stream) {
        reader.Append(&byte, 1);
        Message m;
        while (reader.Next(m) == FrameReader::Result::Frame) got.push_back(m);
    }
    ASSERT_EQ(got.size(), messages.size());
    for (std::size_t i = 0; i < got.size(); ++i) {
        EXPECT_EQ(Frame(got[i]), Frame(messages[i])) << MessageName(messages[i]);
    }
    EXPECT_EQ(std::get<PageCall>(got[5]).argument, odd);
    EXPECT_TRUE(reader.Empty());
}

TEST(FramingTest, GarbageIsAnError) {
    const char* bodies[] = {
        "",
        "not json",
        "[1,2]",
        "\"Hello\"",
        "{}",
        "{\"type\":\"Goodbye\"}",
        "{\"type\":\"Hello\"}",
        "{\"type\":\"Hello\",\"secret\":5}",
        "{\"type\":\"Hello\",\"secret\":\"a\"} trailing",
        "{\"type\":\"Hello\",\"secret\":\"a\",\"secret\":\"b\"}",
        "{\"type\":\"ServiceCall\",\"callId\":-1,\"pageId\":1,\"uri\":\"\",\"method\":\"\","
        "\"params\":\"\"}",
        "{\"type\":\"ServiceCall\",\"callId\":1,\"pageId\":\"1\",\"uri\":\"\",\"method\":\"\","
        "\"params\":\"\"}",
        "{\"type\":\"ServiceAnswer\",\"callId\":1,\"handled\":1,\"result\":\"\"}",
        "{\"type\":\"CallComplete\",\"pageId\":1,\"outcome\":1.5}",
        "{\"type\":\"PageCall\",\"pageId\":1,\"function\":\"f\",\"argument\":[]}",
        "{\"type\":\"Hello\",\"secret\":\"a\",\"x\":[[[[[[[[[[[[[[[[[[[[[[]]]]]]]]]]]]]]]]]]]]]]}",
    };
    for (const char* body : bodies) {
        FrameReader reader;
        std::string frame = RawFrame(body);
        reader.Append(frame.data(), frame.size());
        Message m;
        EXPECT_EQ(reader.Next(m), FrameReader::Result::Error) << body;
    }
}

TEST(FramingTest, LengthAboveTheLimitIsAnErrorBeforeTheBodyArrives) {
    FrameReader reader(100);
    std::string header = RawFrame(std::string(101, ' ')).substr(0, 4);
    reader.Append(header.data(), header.size());
    EXPECT_TRUE(reader.HasFrame());
    Message m;
    EXPECT_EQ(reader.Next(m), FrameReader::Result::Error);

    FrameReader big;
    const char huge[] = {'\x7f', '\xff', '\xff', '\xff'};
    big.Append(huge, 4);
    EXPECT_EQ(big.Next(m), FrameReader::Result::Error);
    // Partial frames only ask for more.
    FrameReader partial;
    std::string frame = Frame(Hello{"x"});
    partial.Append(frame.data(), frame.size() - 1);
    EXPECT_FALSE(partial.HasFrame());
    EXPECT_EQ(partial.Next(m), FrameReader::Result::NeedMore);
}

TEST(ModuleInitTest, CarriesAddressSecretAndPageFolder) {
    GVariant* data =
        g_variant_ref_sink(MakeModuleInitData("/run/user/1/t/channel", "abc", "/opt/t/Html"));
    std::string address, secret, folder;
    ASSERT_TRUE(ParseModuleInitData(data, address, secret, folder));
    EXPECT_EQ(address, "/run/user/1/t/channel");
    EXPECT_EQ(secret, "abc");
    EXPECT_EQ(folder, "/opt/t/Html");
    g_variant_unref(data);

    GVariant* wrong = g_variant_ref_sink(g_variant_new("(ss)", "a", "b"));
    address = "kept";
    EXPECT_FALSE(ParseModuleInitData(wrong, address, secret, folder));
    EXPECT_FALSE(ParseModuleInitData(nullptr, address, secret, folder));
    EXPECT_EQ(address, "kept");
    g_variant_unref(wrong);
}

TEST(ModuleInitTest, OnlyFilesInsideThePageFolderAreThePages) {
    struct Case {
        const char* address;
        const char* folder;
        bool inside;
    } cases[] = {
        {"file:///opt/t/Html/index.html", "/opt/t/Html", true},
        {"file:///opt/t/Html/index.html", "/opt/t/Html/", true},
        {"file:///opt/t/Html/sub/frame.html?x=1#top", "/opt/t/Html", true},
        {"FILE:///opt/t/Html/index.html", "/opt/t/Html", true},
        {"file://localhost/opt/t/Html/index.html", "/opt/t/Html", true},
        {"file:///opt/t/Html%20x/a.html", "/opt/t/Html x", true},
        {"file:///opt/t/Html", "/opt/t/Html", false},
        {"file:///opt/t/HtmlOther/index.html", "/opt/t/Html", false},
        {"file:///opt/t/Html/../secret.html", "/opt/t/Html", false},
        {"file:///opt/t/Html/%2E%2E/secret.html", "/opt/t/Html", false},
        {"file:///opt/t/Html%2F..%2Fsecret.html", "/opt/t/Html", false},
        {"file:///etc/passwd?/opt/t/Html/", "/opt/t/Html", false},
        {"file://evil.example/opt/t/Html/index.html", "/opt/t/Html", false},
        {"http://127.0.0.1/opt/t/Html/index.html", "/opt/t/Html", false},
        {"about:blank", "/opt/t/Html", false},
        {"", "/opt/t/Html", false},
        {"file:///opt/t/Html/index.html", "", false},
        {"file:///Html/index.html", "Html", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(IsInPageFolder(c.address, c.folder), c.inside) << c.address << " in " << c.folder;
    }
}

// ---- Both ends ----------------------------------------------------------------------------

// A server on its own loop thread with one module connected over a socket pair.
class ChannelTest : public ::testing::Test {
protected:
    void SetUp() override {
        int fds[2];
        ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds), 0);
        server = loop.Run([this] { return new ChannelServer(loop.context()); });
        id = loop.Run([&] { return server->Adopt(fds[0]); });
        ASSERT_NE(id, 0u);
        module = std::make_unique<ModuleChannel>(fds[1]);
        moduleFd = fds[1];
    }
    void TearDown() override {
        module.reset();
        loop.Run([this] { delete server; });
    }

    // Presents the secret and waits until the server took it.
    void Authenticate() {
        ASSERT_TRUE(module->Send(Hello{server->secret()}));
        ASSERT_TRUE(loop.WaitFor([this] { return server->IsAuthenticated(id); }));
    }

    LoopThread loop;
    ChannelServer* server = nullptr;
    ChannelServer::ConnectionId id = 0;
    std::unique_ptr<ModuleChannel> module;
    int moduleFd = -1;
};

ServiceCall MakeCall(const std::string& method, std::string params = "null\n") {
    return ServiceCall{0, 7, "com.kestovan.trawlet", method, std::move(params)};
}

TEST_F(ChannelTest, OneWayMessagesBeforeTheAnswerRunFirstInOrder) {
    loop.Run([this] {
        server->onServiceCall = [this](ChannelServer::ConnectionId c, const ServiceCall& call) {
            for (const char* name : {"a", "b", "c"}) server->Send(c, PageCall{7, name, "x"});
            server->Send(c, CallComplete{7, 1});
            server->Send(c, ServiceAnswer{call.callId, true, "{\"returnValue\":1}\n"});
            server->Send(c, PageCall{7, "after", ""});
        };
    });
    Authenticate();
    std::vector<std::string> seen;
    module->SetOneWayHandler([&](const Message& m) {
        if (auto* p = std::get_if<PageCall>(&m)) seen.push_back(p->function);
        if (std::get_if<CallComplete>(&m)) seen.push_back("complete");
    });
    ServiceAnswer answer;
    ASSERT_TRUE(module->Call(MakeCall("start"), answer));
    EXPECT_EQ(seen, (std::vector<std::string>{"a", "b", "c", "complete"}));
    EXPECT_TRUE(answer.handled);
    EXPECT_EQ(answer.result, "{\"returnValue\":1}\n");
    // What came after the answer runs later, outside the call.
    while (seen.size() < 5) module->DispatchPending();
    EXPECT_EQ(seen.back(), "after");
}

TEST_F(ChannelTest, NestedCallsPairAnswersWithTheirRequests) {
    loop.Run([this] {
        server->onServiceCall = [this](ChannelServer::ConnectionId c, const ServiceCall& call) {
            // The outer call's page call runs a call of its own; the outer answer is already
            // on its way when the inner call is made.
            if (call.method == "outer") server->Send(c, PageCall{7, "runInner", ""});
            server->Send(c, ServiceAnswer{call.callId, true, "\"" + call.method + "\""});
        };
    });
    Authenticate();
    std::vector<std::string> inner;
    module->SetOneWayHandler([&](const Message& m) {
        ASSERT_EQ(module->CallDepth(), 1);
        ServiceAnswer answer;
        ASSERT_TRUE(module->Call(MakeCall("inner"), answer));
        inner.push_back(answer.result);
    });
    ServiceAnswer answer;
    ASSERT_TRUE(module->Call(MakeCall("outer"), answer));
    EXPECT_EQ(answer.result, "\"outer\"");
    EXPECT_EQ(inner, std::vector<std::string>{"\"inner\""});
    EXPECT_EQ(module->CallDepth(), 0);
    ASSERT_TRUE(module->Call(MakeCall("again"), answer));
    EXPECT_EQ(answer.result, "\"again\"");
}

TEST_F(ChannelTest, PeerClosingMidCallFailsTheCallAtOnce) {
    std::atomic<bool> closedSeen{false};
    loop.Run([&] {
        server->onServiceCall = [this](ChannelServer::ConnectionId c, const ServiceCall&) {
            server->Send(c, PageCall{7, "before", ""});
            server->Close(c);
        };
        server->onClosed = [&](ChannelServer::ConnectionId) { closedSeen = true; };
    });
    Authenticate();
    int ran = 0;
    module->SetOneWayHandler([&](const Message&) { ++ran; });
    ServiceAnswer answer;
    answer.result = "untouched";
    EXPECT_FALSE(module->Call(MakeCall("pause"), answer));
    EXPECT_EQ(answer.result, "untouched");
    EXPECT_EQ(ran, 1);  // what came before the end still ran
    EXPECT_FALSE(module->IsOpen());
    EXPECT_FALSE(module->Call(MakeCall("pause"), answer));
    EXPECT_FALSE(module->Send(PageCall{}));
    EXPECT_FALSE(closedSeen);  // Close() by the owner is not announced
}

TEST(ChannelPeerTest, UiProcessVanishingMidCallFailsTheCall) {
    int fds[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds), 0);
    ModuleChannel module(fds[1]);
    // A peer that reads the call and goes away without answering.
    std::thread peer([fd = fds[0]] {
        char buffer[256];
        while (read(fd, buffer, sizeof buffer) <= 0) {
        }
        close(fd);
    });
    ServiceAnswer answer;
    EXPECT_FALSE(module.Call(MakeCall("start"), answer));
    peer.join();
    EXPECT_FALSE(module.IsOpen());
}

TEST_F(ChannelTest, TheModuleSeesTheEndWhenTheServerGoesAway) {
    Authenticate();
    loop.Run([this] {
        delete server;
        server = new ChannelServer(loop.context());
    });
    ServiceAnswer answer;
    EXPECT_FALSE(module->Call(MakeCall("pause"), answer));
}

struct RefusalCase {
    const char* name;
    std::function<std::string(const std::string& secret)> bytes;
};

class RefusalTest : public ChannelTest, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(RefusalTest, ConnectionWithoutTheSecretIsClosed) {
    std::atomic<int> calls{0};
    std::atomic<int> hellos{0};
    loop.Run([&] {
        server->onServiceCall = [&](ChannelServer::ConnectionId, const ServiceCall&) { ++calls; };
        server->onHello = [&](ChannelServer::ConnectionId) { ++hellos; };
    });
    std::string bytes = GetParam().bytes(server->secret());
    ASSERT_EQ(write(moduleFd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    EXPECT_TRUE(loop.WaitFor([this] { return server->ConnectionCount() == 0; }));
    ServiceAnswer answer;
    EXPECT_FALSE(module->Call(MakeCall("pause"), answer));
    EXPECT_EQ(calls, 0);
    EXPECT_EQ(hellos, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Refusal, RefusalTest,
    ::testing::Values(
        RefusalCase{"WrongSecret", [](const std::string&) { return Frame(Hello{"guess"}); }},
        RefusalCase{"SecretWithOneDigitChanged",
                    [](const std::string& s) {
                        std::string wrong = s;
                        wrong.back() = wrong.back() == '0' ? '1' : '0';
                        return Frame(Hello{wrong});
                    }},
        RefusalCase{"EmptySecret", [](const std::string&) { return Frame(Hello{""}); }},
        RefusalCase{"CallBeforeHello", [](const std::string&) { return Frame(MakeCall("pause")); }},
        RefusalCase{"Garbage", [](const std::string&) { return RawFrame("hello"); }},
        RefusalCase{"HugeFirstFrame",
                    [](const std::string& s) {
                        return Frame(Hello{s + std::string(5000, '0')}).substr(0, 4096);
                    }}),
    [](const ::testing::TestParamInfo<RefusalCase>& info) { return info.param.name; });

TEST_F(ChannelTest, AuthenticatedPeerSendingUiMessagesIsClosed) {
    std::atomic<bool> closed{false};
    loop.Run([&] { server->onClosed = [&](ChannelServer::ConnectionId) { closed = true; }; });
    Authenticate();
    ASSERT_TRUE(module->Send(PageCall{1, "f", ""}));
    EXPECT_TRUE(loop.WaitFor([this] { return server->ConnectionCount() == 0; }));
    EXPECT_TRUE(closed);
}

TEST_F(ChannelTest, TheUiNeverWaitsForAModuleThatDoesNotRead) {
    Authenticate();
    const std::string chunk(1 << 20, 'z');
    const int count = 16;
    // If Send blocked on the full socket, this would never return: the module reads nothing
    // until all of it is queued.
    std::size_t queued = loop.Run([&] {
        for (int i = 0; i < count; ++i)
            EXPECT_TRUE(server->Send(id, PageCall{7, std::to_string(i), chunk}));
        return server->QueuedBytes(id);
    });
    EXPECT_GT(queued, 0u);
    std::vector<std::string> seen;
    module->SetOneWayHandler([&](const Message& m) {
        const auto& call = std::get<PageCall>(m);
        EXPECT_EQ(call.argument.size(), chunk.size());
        seen.push_back(call.function);
    });
    while (seen.size() < static_cast<std::size_t>(count)) module->DispatchPending();
    for (int i = 0; i < count; ++i) EXPECT_EQ(seen[i], std::to_string(i));
    EXPECT_TRUE(loop.WaitFor([this] { return server->QueuedBytes(id) == 0; }));
}

TEST_F(ChannelTest, ParamsOf64MegabytesGoThrough) {
    loop.Run([this] {
        server->onServiceCall = [this](ChannelServer::ConnectionId c, const ServiceCall& call) {
            server->Send(c, ServiceAnswer{call.callId, true, std::to_string(call.params.size())});
        };
    });
    Authenticate();
    std::string params = "\"" + std::string(64u << 20, '"') + "\"";  // escaping doubles it
    const std::size_t size = params.size();
    ServiceAnswer answer;
    ASSERT_TRUE(module->Call(MakeCall("open", std::move(params)), answer));
    EXPECT_EQ(answer.result, std::to_string(size));
}

TEST_F(ChannelTest, OneWayMessagesOutsideCallsRunFromTheMainLoop) {
    Authenticate();
    GMainContext* context = g_main_context_new();
    module->Attach(context);
    std::vector<std::string> seen;
    module->SetOneWayHandler(
        [&](const Message& m) { seen.push_back(std::get<PageCall>(m).function); });
    loop.Run([this] {
        server->Send(id, PageCall{7, "first", ""});
        server->Send(id, PageCall{7, "second", ""});
    });
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (seen.size() < 2 && std::chrono::steady_clock::now() < deadline)
        g_main_context_iteration(context, FALSE);
    EXPECT_EQ(seen, (std::vector<std::string>{"first", "second"}));
    module->Detach();
    g_main_context_unref(context);
}

// ---- The listening socket -----------------------------------------------------------------

TEST(ChannelServerTest, ListensInAPrivateFolderAndServesTheSecretHolder) {
    LoopThread loop;
    ChannelServer* server = loop.Run([&] { return new ChannelServer(loop.context()); });
    ASSERT_TRUE(loop.Run([&] { return server->Listen(); }));
    const std::string address = server->address();
    const std::string folder = server->directory();
    EXPECT_EQ(address.rfind(folder + "/", 0), 0u);
    EXPECT_EQ(server->secret().size(), 64u);
    struct stat info {};
    ASSERT_EQ(stat(folder.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    ASSERT_EQ(stat(address.c_str(), &info), 0);
    EXPECT_TRUE(S_ISSOCK(info.st_mode));

    loop.Run([&] {
        server->onServiceCall = [&](ChannelServer::ConnectionId c, const ServiceCall& call) {
            server->Send(c, ServiceAnswer{call.callId, true, call.method});
        };
    });
    auto good = ModuleChannel::Connect(address, server->secret());
    ASSERT_NE(good, nullptr);
    ServiceAnswer answer;
    ASSERT_TRUE(good->Call(MakeCall("stop"), answer));
    EXPECT_EQ(answer.result, "stop");

    auto bad = ModuleChannel::Connect(address, "not the secret");
    ASSERT_NE(bad, nullptr);  // the refusal comes as the end of the stream
    EXPECT_FALSE(bad->Call(MakeCall("stop"), answer));
    EXPECT_EQ(ModuleChannel::Connect(folder + "/nothing", server->secret()), nullptr);

    loop.Run([&] { delete server; });
    EXPECT_NE(stat(folder.c_str(), &info), 0);  // gone with the server
}

}  // namespace
