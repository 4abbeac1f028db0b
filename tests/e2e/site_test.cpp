// The loopback site itself, seen from the wire: the end-to-end tests rely on it sending
// exactly the shapes they ask for (no Content-Length, no Content-Type, a body that never
// ends), so those are checked here with a raw socket, without display or engine.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "e2e/Command.h"
#include "e2e/TestSite.h"

namespace e2e {
namespace {

struct Wire {
    bool closed = false;  // the server ended the connection
    std::string head;     // status line and headers
    std::string body;     // as sent, chunk framing included
    int status = 0;

    bool HasHeader(std::string_view name) const {
        std::string lower(head);
        for (auto& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        std::string wanted = "\r\n" + std::string(name) + ":";
        for (auto& c : wanted) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return lower.find(wanted) != std::string::npos;
    }
};

// Sends a raw request and reads until the server closes the connection or `wait` passes.
Wire Exchange(uint16_t port, const std::string& request, Millis wait = Millis(5000)) {
    Wire wire;
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        close(fd);
        return wire;
    }
    (void)!write(fd, request.data(), request.size());
    std::string all;
    const auto deadline = Clock::now() + wait;
    for (;;) {
        const auto left = std::chrono::duration_cast<Millis>(deadline - Clock::now()).count();
        if (left <= 0) break;
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(left)) <= 0) continue;
        char buffer[4096];
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n <= 0) {
            wire.closed = true;
            break;
        }
        all.append(buffer, static_cast<size_t>(n));
    }
    close(fd);
    const size_t end = all.find("\r\n\r\n");
    wire.head = all.substr(0, end == std::string::npos ? all.size() : end + 2);
    if (end != std::string::npos) wire.body = all.substr(end + 4);
    if (wire.head.size() > 12) wire.status = std::atoi(wire.head.c_str() + 9);
    return wire;
}

std::string Get(const std::string& path) {
    return "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
}

struct ShapeCase {
    const char* name;
    Response response;
    int status;
    bool contentLength;
    bool chunked;
    bool contentType;
    const char* body;  // as on the wire
};

// Test names and failure messages show the case's name.
void PrintTo(const ShapeCase& c, std::ostream* os) {
    *os << c.name;
}

class SiteShapeTest : public ::testing::TestWithParam<ShapeCase> {};

TEST_P(SiteShapeTest, SendsTheShapeAskedFor) {
    const ShapeCase& c = GetParam();
    TestSite site;
    site.Route("/thing", c.response);
    const Wire wire = Exchange(site.Port(), Get("/thing"));
    ASSERT_TRUE(wire.closed);
    EXPECT_EQ(wire.status, c.status) << wire.head;
    EXPECT_EQ(wire.HasHeader("Content-Length"), c.contentLength) << wire.head;
    EXPECT_EQ(wire.HasHeader("Transfer-Encoding"), c.chunked) << wire.head;
    EXPECT_EQ(wire.HasHeader("Content-Type"), c.contentType) << wire.head;
    EXPECT_EQ(wire.body, c.body);
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, SiteShapeTest,
    ::testing::Values(
        ShapeCase{"Html", Response::Html("<p>x</p>"), 200, true, false, true, "<p>x</p>"},
        ShapeCase{"Chunked", Response::Chunked("text/plain", {"ab", "cde"}), 200, false, true, true,
                  "2\r\nab\r\n3\r\ncde\r\n0\r\n\r\n"},
        ShapeCase{"Empty", Response::Empty("image/png"), 200, true, false, true, ""},
        ShapeCase{"NotFound", Response::NotFound(), 404, true, false, true, "not found"},
        ShapeCase{"NoContentType", Response::WithoutContentType("raw"), 200, true, false, false,
                  "raw"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SiteTest, RedirectNamesItsTarget) {
    TestSite site;
    site.Route("/old", Response::Redirect("/new", 301));
    const Wire wire = Exchange(site.Port(), Get("/old"));
    EXPECT_EQ(wire.status, 301);
    EXPECT_NE(wire.head.find("Location: /new"), std::string::npos) << wire.head;
}

TEST(SiteTest, NeverEndingResponseSendsItsFirstChunkAndKeepsTheConnectionOpen) {
    TestSite site;
    site.Route("/stream", Response::NeverEnding("video/mp4", "first"));
    const Wire wire = Exchange(site.Port(), Get("/stream"), Millis(700));
    EXPECT_FALSE(wire.closed);
    EXPECT_EQ(wire.status, 200);
    EXPECT_EQ(wire.body, "5\r\nfirst\r\n");
    // A response whose body never ended was never answered in full.
    ASSERT_EQ(site.Requests().size(), 1u);
    EXPECT_FALSE(site.Requests()[0].answered);
}

TEST(SiteTest, DelayedResponseWaitsWithoutBlockingOthers) {
    TestSite site;
    Response slow = Response::Html("slow");
    slow.delay = Millis(400);
    site.Route("/slow", slow);
    site.Route("/fast", Response::Html("fast"));

    const auto started = Clock::now();
    std::thread waiting([&] { EXPECT_EQ(Exchange(site.Port(), Get("/slow")).body, "slow"); });
    // The fast answer arrives while the slow one is still held back.
    EXPECT_EQ(Exchange(site.Port(), Get("/fast")).body, "fast");
    EXPECT_LT(Clock::now() - started, Millis(400));
    waiting.join();
    EXPECT_GE(Clock::now() - started, Millis(400));
}

TEST(SiteTest, RecordsRequestsWithQueryAndHeadersButNotReports) {
    TestSite site;
    site.Route("/a", Response::Html("a"));
    Exchange(site.Port(),
             "GET /a?x=1&y=%20 HTTP/1.1\r\nHost: h\r\nX-Probe: yes\r\n"
             "Connection: close\r\n\r\n");
    Exchange(site.Port(),
             "POST /report HTTP/1.1\r\nHost: h\r\nContent-Length: 5\r\n"
             "Connection: close\r\n\r\nhello");
    auto request = site.WaitForPath("/a?x=1&y=%20", Millis(1000));
    ASSERT_TRUE(request);
    EXPECT_EQ(request->method, "GET");
    EXPECT_EQ(request->Header("x-probe"), "yes");
    EXPECT_EQ(site.Requests().size(), 1u);
    EXPECT_TRUE(site.WaitForRequest([](const Request& r) { return r.answered; }, Millis(1000)));
    EXPECT_THAT(site.Reports(), ::testing::ElementsAre("hello"));
}

TEST(SiteTest, ReportEndpointAllowsPagesFromOtherOrigins) {
    TestSite site;
    const Wire preflight = Exchange(site.Port(),
                                    "OPTIONS /report HTTP/1.1\r\nHost: h\r\nOrigin: null\r\n"
                                    "Access-Control-Request-Method: POST\r\nConnection: close\r\n"
                                    "\r\n");
    EXPECT_LT(preflight.status, 300);
    EXPECT_NE(preflight.head.find("Access-Control-Allow-Origin: *"), std::string::npos);
    EXPECT_TRUE(site.Reports().empty());
}

TEST(SiteTest, RoutesMatchTheDecodedPathToo) {
    TestSite site;
    site.Route("/m\xC3\xBCsik.wav", Response::Of("audio/wav", "RIFF"));
    const Wire wire = Exchange(site.Port(), Get("/m%C3%BCsik.wav"));
    EXPECT_EQ(wire.status, 200);
    EXPECT_TRUE(site.WaitForPath("/m%C3%BCsik.wav", Millis(1000)));
}

TEST(SiteTest, ServesFilesOnlyFromBelowItsFolder) {
    const auto root = std::filesystem::temp_directory_path() / "trawlet-site-test";
    std::filesystem::remove_all(root);
    WriteFile((root / "www/page.html").string(), "<p>file</p>");
    WriteFile((root / "secret.txt").string(), "secret");
    TestSite site;
    site.ServeDirectory((root / "www").string());

    const Wire page = Exchange(site.Port(), Get("/page.html"));
    EXPECT_EQ(page.status, 200);
    EXPECT_EQ(page.body, "<p>file</p>");
    EXPECT_NE(page.head.find("text/html"), std::string::npos) << page.head;
    EXPECT_EQ(Exchange(site.Port(), Get("/../secret.txt")).status, 404);
    EXPECT_EQ(Exchange(site.Port(), Get("/%2e%2e/secret.txt")).status, 404);
    EXPECT_EQ(Exchange(site.Port(), Get("/missing.html")).status, 404);
    std::filesystem::remove_all(root);
}

TEST(SiteTest, WavFileHasConsistentSizes) {
    const std::string wav = MakeWav(250, 8000);
    auto u32 = [&](size_t at) {
        return static_cast<uint32_t>(static_cast<unsigned char>(wav[at])) |
               static_cast<uint32_t>(static_cast<unsigned char>(wav[at + 1])) << 8 |
               static_cast<uint32_t>(static_cast<unsigned char>(wav[at + 2])) << 16 |
               static_cast<uint32_t>(static_cast<unsigned char>(wav[at + 3])) << 24;
    };
    ASSERT_EQ(wav.size(), 44u + 2000u * 2u);
    EXPECT_EQ(wav.substr(0, 4), "RIFF");
    EXPECT_EQ(u32(4), wav.size() - 8);
    EXPECT_EQ(wav.substr(8, 8), "WAVEfmt ");
    EXPECT_EQ(u32(40), wav.size() - 44);
}

// Routes that take parameters read them with QueryValue, which must pick the pair by its
// whole name and leave the value as it was sent.
TEST(SiteTest, QueryValueTakesTheNamedPairAsSent) {
    struct Case {
        const char* path;
        const char* name;
        const char* value;
    };
    const Case cases[] = {
        {"/x?a=1&b=2", "b", "2"},
        {"/x?ab=1&a=2", "a", "2"},
        {"/x?a=", "a", ""},
        {"/x?a", "a", ""},
        {"/x", "a", ""},
        {"/x?b=a=1", "b", "a=1"},
        {"/x?a=1%262&a=3", "a", "1%262"},
    };
    for (const auto& c : cases) EXPECT_EQ(QueryValue(c.path, c.name), c.value) << c.path;
}

}  // namespace
}  // namespace e2e
