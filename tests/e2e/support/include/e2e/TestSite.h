#pragma once

// A loopback HTTP site for end-to-end tests: a libsoup server on 127.0.0.1 with an ephemeral
// port, running on its own thread and main context, so that a test can block on the test
// thread while the server keeps answering. It records every request it answers and the
// reports that test pages post to /report.

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "e2e/Wait.h"

namespace e2e {

using HeaderList = std::vector<std::pair<std::string, std::string>>;

// One answer of the site. The named constructors cover the shapes the tests need.
struct Response {
    enum class Framing {
        ContentLength,  // the body with a Content-Length header
        Chunked,        // the body in `chunks` with chunked encoding, no Content-Length
        NeverEnds,      // chunked: the first chunk is sent, then the connection stays open
    };

    unsigned status = 200;
    // No value: the response carries no Content-Type header at all.
    std::optional<std::string> contentType = std::string("text/html; charset=utf-8");
    std::string body;
    HeaderList headers;
    Framing framing = Framing::ContentLength;
    std::vector<std::string> chunks;  // Chunked, NeverEnds: the pieces (empty: `body` as one)
    std::string redirectTo;           // not empty: a redirect to this address with `status`
    Millis delay{0};                  // answer only after this time (the server stays free)

    static Response Html(std::string body);
    static Response Of(std::string contentType, std::string body);
    static Response Chunked(std::string contentType, std::vector<std::string> chunks);
    static Response Empty(std::string contentType);
    static Response Redirect(std::string location, unsigned status = 302);
    static Response NotFound();
    static Response NeverEnding(std::string contentType, std::string firstChunk);
    static Response WithoutContentType(std::string body);
};

// A request as the site received it.
struct Request {
    std::string method;
    std::string path;  // path and query as sent (percent-encoded), without the fragment
    HeaderList headers;
    std::string body;
    // Whether the whole response was written to the connection: a request that its client
    // gave up before that (a player that aborts a segment) may never reach the client.
    bool answered = false;
    uint64_t sequence = 0;  // the site's own count of requests, to find this one again

    // The first header of that name (case-insensitive), or "" when there is none.
    std::string Header(std::string_view name) const;
};

// The value of `name` in the query of a request path, as sent (not decoded), or "" when the
// query has no such pair.
std::string QueryValue(std::string_view path, std::string_view name);

class TestSite {
public:
    using Handler = std::function<Response(const Request&)>;

    // Starts listening at once; throws std::runtime_error when the server cannot start.
    TestSite();
    ~TestSite();
    TestSite(const TestSite&) = delete;
    TestSite& operator=(const TestSite&) = delete;

    uint16_t Port() const { return m_port; }
    std::string Origin() const;                    // http://127.0.0.1:<port>
    std::string Url(std::string_view path) const;  // Origin() + path ("/x" or "x")
    std::string ReportUrl() const { return Url("/report"); }

    // Routes are looked up by exact path, without the query. A later route for the same path
    // replaces the earlier one. Handlers run on the server thread.
    void Route(std::string path, Response response);
    void Route(std::string path, Handler handler);
    // Paths without a route are looked up as files below this folder (404 when absent).
    void ServeDirectory(std::string folder);

    // Requests answered so far, in arrival order. Posts to /report (and their preflights)
    // are kept apart, so this list holds only what a page loaded.
    std::vector<Request> Requests() const;
    std::optional<Request> WaitForRequest(const std::function<bool(const Request&)>& predicate,
                                          Millis timeout = kActionTimeout) const;
    // Convenience: a request whose path (with query) equals `path`.
    std::optional<Request> WaitForPath(std::string_view path,
                                       Millis timeout = kActionTimeout) const;
    size_t CountPath(std::string_view path) const;

    // Bodies posted to /report, in arrival order.
    std::vector<std::string> Reports() const;
    std::optional<std::string> WaitForReport(const std::function<bool(const std::string&)>& pred,
                                             Millis timeout = kActionTimeout) const;
    // Convenience: a report whose body is exactly `text`.
    bool WaitForReport(std::string_view text, Millis timeout = kActionTimeout) const;
    // Convenience: the first report that starts with `prefix`, without the prefix.
    std::optional<std::string> WaitForReportPrefix(std::string_view prefix,
                                                   Millis timeout = kActionTimeout) const;

    void ClearRecords();

    // A script (for a <script> element) that defines report(text): it posts the text to
    // /report. Pages from file:// may use it; /report answers with CORS headers.
    std::string ReportScript() const;

private:
    struct Route_ {
        std::optional<Response> fixed;
        Handler handler;
    };
    struct Impl;  // the server thread; it reaches the tables below

    std::unique_ptr<Impl> m_impl;
    uint16_t m_port = 0;

    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    std::map<std::string, Route_> m_routes;
    std::string m_folder;
    std::vector<Request> m_requests;
    uint64_t m_sequence = 0;
    std::vector<std::string> m_reports;
};

// A valid PCM WAV file (16-bit mono) of the given length, a quiet tone, built in memory so
// that tests need no media files on disk.
std::string MakeWav(unsigned milliseconds = 500, unsigned sampleRate = 8000);

}  // namespace e2e
