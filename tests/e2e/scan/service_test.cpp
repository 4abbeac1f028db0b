// The service calls of the program's own page: pause, stop and start of a scan, the completed
// address handed back during "start", calls with wrong parameters, and open and copy.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "scan/ScanTest.h"

namespace e2e {
namespace {

// ---------------------------------------------------------------------------------------
// Pause, stop and start

TEST_F(ScanTest, PauseAndStopDropResponsesAndNothingIsReplayed) {
    site->Route("/p/index.html", Response::Html(DrivenPage("scan")));
    for (const char* name : {"before", "paused", "resumed", "stopped", "idle", "restarted"})
        site->Route(std::string("/p/") + name + ".gif", Response::Of("image/gif", Gif()));
    ASSERT_TRUE(StartDriver());
    // Only images are reported, so the scanned page's own polling never is.
    ASSERT_EQ(Start({site->Url("/p/index.html"), true, false, "image/"}), kAnswer1);

    auto load = [&](const std::string& path) {
        ASSERT_EQ(control->Eval("scan", "load('" + path + "')", kStartTimeout), "loading");
        ASSERT_TRUE(site->WaitForReport("loaded:" + path)) << path;
    };
    auto reported = [&](const std::string& path) { return CountRecordsOf(site->Url(path)); };
    // The program learns of a response a little later than the page that loaded it, and in
    // the order of the responses. So a dropped response is watched for a while before the
    // state changes again; a response that came late would then show up as a record before
    // the next one, never silently.
    auto staysUnreported = [&](const std::string& path) {
        return StaysFalse([&] { return reported(path) > 0; }, Millis(1000));
    };

    ASSERT_NO_FATAL_FAILURE(load("/p/before.gif"));
    EXPECT_TRUE(WaitForRecordOf(site->Url("/p/before.gif")));

    // Paused: the response is lost, and resuming does not bring it back.
    EXPECT_EQ(Call("pause", "{}"), kAnswer1);
    ASSERT_NO_FATAL_FAILURE(load("/p/paused.gif"));
    EXPECT_TRUE(staysUnreported("/p/paused.gif"));
    EXPECT_EQ(Call("pause", "{}"), kAnswer1);
    ASSERT_NO_FATAL_FAILURE(load("/p/resumed.gif"));
    EXPECT_TRUE(WaitForRecordOf(site->Url("/p/resumed.gif")));
    EXPECT_EQ(reported("/p/paused.gif"), 0u);

    // Stopped: Idle, so a "pause" now does not resume anything either.
    EXPECT_EQ(Call("stop", "{}"), kAnswer1);
    ASSERT_NO_FATAL_FAILURE(load("/p/stopped.gif"));
    EXPECT_TRUE(staysUnreported("/p/stopped.gif"));
    EXPECT_EQ(Call("pause", "{}"), kAnswer1);
    ASSERT_NO_FATAL_FAILURE(load("/p/idle.gif"));
    EXPECT_TRUE(staysUnreported("/p/idle.gif"));

    // A new start loads the page again and reports again.
    ASSERT_EQ(Start({site->Url("/p/index.html"), true, false, "image/"}), kAnswer1);
    ASSERT_NO_FATAL_FAILURE(load("/p/restarted.gif"));
    EXPECT_TRUE(WaitForRecordOf(site->Url("/p/restarted.gif")));
    EXPECT_EQ(reported("/p/paused.gif"), 0u);
    EXPECT_EQ(reported("/p/stopped.gif"), 0u);
    EXPECT_EQ(reported("/p/idle.gif"), 0u);
    EXPECT_EQ(reported("/p/before.gif"), 1u);
    EXPECT_EQ(reported("/p/resumed.gif"), 1u);
}

struct CompletionCase {
    const char* name;
    const char* typed;     // with {origin-host} for 127.0.0.1:<port>
    const char* expected;  // the update the page gets ("" for none), same placeholder
    const char* host;      // the Host header the site sees
};

void PrintTo(const CompletionCase& c, std::ostream* os) {
    *os << c.name;
}

class CompletionTest : public ScanTest, public ::testing::WithParamInterface<CompletionCase> {};

std::string Expand(std::string text, const TestSite& site) {
    const std::string port = std::to_string(site.Port());
    for (size_t at; (at = text.find("{port}")) != std::string::npos;) text.replace(at, 6, port);
    return text;
}

TEST_P(CompletionTest, CompletedAddressGoesToThePageBeforeTheCallReturns) {
    const CompletionCase& c = GetParam();
    site->Route("/u/page.html", Response::Html("<!DOCTYPE html><p>completed</p>"));
    ASSERT_TRUE(StartDriver());

    ASSERT_EQ(Start(Unfiltered(Expand(c.typed, *site))), kAnswer1);
    const std::string expected = *c.expected ? "in:" + Expand(c.expected, *site) : "";
    // "in:" marks a call made while the page was still inside service.call().
    EXPECT_EQ(Eval("updates.join('\\n')"), expected);

    auto request = site->WaitForRequest(
        [](const Request& r) { return r.path.rfind("/u/page.html", 0) == 0; }, kStartTimeout);
    ASSERT_TRUE(request) << "the completed address was not loaded";
    EXPECT_EQ(request->Header("Host"), Expand(c.host, *site));
    EXPECT_TRUE(WaitForRecords([&](const auto& records) {
        return std::any_of(records.begin(), records.end(), [&](const Record& r) {
            return r.url.find("/u/page.html") != std::string::npos;
        });
    }));
}

INSTANTIATE_TEST_SUITE_P(
    Addresses, CompletionTest,
    ::testing::Values(
        CompletionCase{"BareHost", "127.0.0.1:{port}/u/page.html?via=bare",
                       "http://127.0.0.1:{port}/u/page.html?via=bare", "127.0.0.1:{port}"},
        // *.localhost names resolve to the loopback address without asking any name server.
        CompletionCase{"WwwHost", "www.localhost:{port}/u/page.html?via=www",
                       "http://www.localhost:{port}/u/page.html?via=www", "www.localhost:{port}"},
        CompletionCase{"FullAddress", "http://127.0.0.1:{port}/u/page.html?via=http", "",
                       "127.0.0.1:{port}"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ScanTest, WrongCallsAnswerZeroAndChangeNothing) {
    site->Route("/w/index.html", Response::Html(DrivenPage("scan")));
    site->Route("/w/other.html", Response::Html("<p>must not load</p>"));
    site->Route("/w/after.gif", Response::Of("image/gif", Gif()));
    site->Route("/w/after.txt", Response::Of("text/plain", "text"));
    ASSERT_TRUE(StartDriver());
    ASSERT_EQ(Start({site->Url("/w/index.html"), true, false, "image/"}), kAnswer1);
    ASSERT_EQ(control->Eval("scan", "'ready'", kStartTimeout), "ready");

    const std::string other = Quote(site->Url("/w/other.html"));
    const std::vector<std::string> wrong = {
        "{\"url\":" + other +
            ",\"filterEnabled\":1,\"useFileExtFilter\":false,\"mimeFilter\":\"\"}",
        "{\"url\":" + other +
            ",\"filterEnabled\":false,\"useFileExtFilter\":\"false\",\"mimeFilter\":\"\"}",
        "{\"url\":" + other +
            ",\"filterEnabled\":false,\"useFileExtFilter\":0,\"fileExtFilter\":\".txt\"}",
        "{\"url\":5,\"filterEnabled\":false,\"useFileExtFilter\":false,\"mimeFilter\":\"\"}",
        "{\"filterEnabled\":false,\"useFileExtFilter\":false,\"mimeFilter\":\"\"}",
        "{\"url\":" + other + ",\"useFileExtFilter\":false,\"mimeFilter\":\"text\"}",
        // The selected filter text must be a string.
        "{\"url\":" + other +
            ",\"filterEnabled\":true,\"useFileExtFilter\":false,\"mimeFilter\":7}",
        "{\"url\":" + other +
            ",\"filterEnabled\":true,\"useFileExtFilter\":true,\"mimeFilter\":\"text\"}",
        "[" + other + ",false,false,\"\"]",
        "3",
        "null",
        "{\"url\":",
    };
    for (const auto& params : wrong) EXPECT_EQ(Call("start", params), kAnswer0) << params;
    // Nor does a "stop" that differs in case, or that goes to another service.
    EXPECT_EQ(Call("Stop", "{}"), kAnswer0);
    EXPECT_EQ(Eval("service.uri = 'COM.kestovan.trawlet'; service.method = 'stop';"
                   "service.params = '{}'; String(service.call())"),
              kAnswer0);

    // Still Running with the image filter on the first page: only the image is reported.
    // The program learns of responses in order: once the image is reported, the text, loaded
    // before it, has been seen and dropped.
    ASSERT_EQ(control->Eval("scan", "load('/w/after.txt')", kStartTimeout), "loading");
    ASSERT_TRUE(site->WaitForReport("loaded:/w/after.txt"));
    ASSERT_EQ(control->Eval("scan", "load('/w/after.gif')", kStartTimeout), "loading");
    EXPECT_TRUE(WaitForRecordOf(site->Url("/w/after.gif")));
    EXPECT_EQ(CountRecordsOf(site->Url("/w/after.txt")), 0u);
    EXPECT_EQ(site->CountPath("/w/other.html"), 0u);
    EXPECT_EQ(Eval("updates.length"), "0");
}

// ---------------------------------------------------------------------------------------
// Open and copy

TEST_F(ScanTest, CopyPutsTheExactAddressOnTheClipboard) {
    ASSERT_TRUE(StartDriver());
    const std::string address = "http://127.0.0.1/déjà vu/ünïcödé €.mp4?q=日本&x=\"'<>\\";
    EXPECT_EQ(Call("copyURL", "{\"url\":" + Quote(address) + "}"), kAnswer1);
    EXPECT_EQ(x->ClipboardText(), address);

    // Copying again leaves that one text.
    EXPECT_EQ(Call("copyURL", "{\"url\":" + Quote(address) + "}"), kAnswer1);
    EXPECT_EQ(x->ClipboardText(), address);
}

TEST_F(ScanTest, OpenHandsTheAddressToTheDefaultHandler) {
    ASSERT_TRUE(StartDriver([](AppRun& run) { run.RegisterDefaultHandler(); }));

    const std::string address = site->Url("/o/ünïcödé.mp4?q=1");
    EXPECT_EQ(Call("open", "{\"url\":" + Quote(address) + "}"), kAnswer1);
    auto call = app->WaitForHandlerCall();
    ASSERT_TRUE(call) << "the default handler was not called";
    EXPECT_EQ(*call, address);
    // The program hands the address on; it does not load it.
    EXPECT_EQ(site->CountPath("/o/%C3%BCn%C3%AFc%C3%B6d%C3%A9.mp4?q=1"), 0u);
}

struct EmptyAddressCase {
    const char* method;
    const char* params;
};

TEST_F(ScanTest, OpenAndCopyWithoutAnAddressAnswerZero) {
    ASSERT_TRUE(StartDriver([](AppRun& run) { run.RegisterDefaultHandler(); }));
    // Something known on the clipboard, which must stay.
    ASSERT_EQ(Call("copyURL", "{\"url\":\"kept\"}"), kAnswer1);

    const EmptyAddressCase cases[] = {
        {"open", "{\"url\":\"\"}"}, {"copyURL", "{\"url\":\"\"}"}, {"open", "{}"},
        {"copyURL", "{}"},          {"open", "{\"url\":5}"},       {"copyURL", "{\"url\":null}"},
        {"open", "[\"http://x\"]"}, {"copyURL", "\"kept\""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Call(c.method, c.params), kAnswer0) << c.method << " " << c.params;
    EXPECT_EQ(x->ClipboardText(), "kept");
    EXPECT_TRUE(StaysFalse([&] { return !app->HandlerCalls().empty(); }, Millis(500)));
}

}  // namespace
}  // namespace e2e
