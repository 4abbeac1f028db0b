// What a real view of the engine layer reports to its resource load delegate for a page on a
// loopback site: addresses, MIME types, sizes from Content-Length, redirects, loads that end
// without a response, and the media element's stand-in response left out; and of each
// response its status, header fields, the request it answers and when. Needs a display.
#include <glib.h>
#include <strings.h>
#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "e2e/Command.h"
#include "e2e/TestSite.h"
#include "e2e/Wait.h"
#include "finder/TextUtil.h"
#include "webkitcom/WebKit.h"
#include "webview/Delegates.h"

namespace {

bool g_haveDisplay = false;

std::string Narrow(const WCHAR* text) {
    std::string out;
    if (text) Utf16ToUtf8(text, out);
    return out;
}

using Fields = std::vector<std::pair<std::string, std::string>>;

Fields ReadFields(IWebHTTPHeaderFields* fields) {
    Fields out;
    UINT count = 0;
    if (!fields || FAILED(fields->count(&count))) return out;
    for (UINT i = 0; i < count; ++i) {
        BSTR name = nullptr;
        BSTR value = nullptr;
        if (SUCCEEDED(fields->fieldAt(i, &name, &value)))
            out.emplace_back(Narrow(name), Narrow(value));
        SysFreeString(name);
        SysFreeString(value);
    }
    BSTR name = nullptr;
    BSTR value = nullptr;
    EXPECT_EQ(E_INVALIDARG, fields->fieldAt(count, &name, &value));
    return out;
}

// The value of the first field of that name (case-insensitive), if any.
std::optional<std::string> Field(const Fields& fields, const std::string& name) {
    for (const auto& [n, v] : fields)
        if (strcasecmp(n.c_str(), name.c_str()) == 0) return v;
    return std::nullopt;
}

// One didReceiveResponse call as the delegate saw it.
struct Reported {
    unsigned long identifier = 0;
    std::string url;
    std::optional<std::string> mime;  // no value: the response gave no type string at all
    INT64 length = 0;
    int status = -1;
    std::string statusText;
    Fields responseHeaders;
    std::string method = "(no request)";
    Fields requestHeaders;
    INT64 started = 0, received = 0;
    std::optional<std::string> redirectTo;
};

void ReadHttp(IWebURLResponse* response, Reported& r) {
    IWebHTTPURLResponse* http = nullptr;
    if (FAILED(
            response->QueryInterface(IID_IWebHTTPURLResponse, reinterpret_cast<void**>(&http)))) {
        return;
    }
    http->statusCode(&r.status);
    BSTR text = nullptr;
    if (SUCCEEDED(http->localizedStringForStatusCode(r.status, &text))) r.statusText = Narrow(text);
    SysFreeString(text);
    IWebHTTPHeaderFields* fields = nullptr;
    if (SUCCEEDED(http->allHeaderFields(&fields))) {
        r.responseHeaders = ReadFields(fields);
        fields->Release();
    }
    http->Release();

    IWebURLResponsePrivate* load = nullptr;
    if (FAILED(response->QueryInterface(IID_IWebURLResponsePrivate,
                                        reinterpret_cast<void**>(&load)))) {
        return;
    }
    load->requestTime(&r.started);
    load->responseTime(&r.received);
    BSTR target = nullptr;
    if (SUCCEEDED(load->redirectURL(&target)) && target) r.redirectTo = Narrow(target);
    SysFreeString(target);
    IWebURLRequest* request = nullptr;
    if (SUCCEEDED(load->request(&request)) && request) {
        BSTR method = nullptr;
        if (SUCCEEDED(request->HTTPMethod(&method))) r.method = Narrow(method);
        SysFreeString(method);
        if (SUCCEEDED(request->allHTTPHeaderFields(&fields))) {
            r.requestHeaders = ReadFields(fields);
            fields->Release();
        }
        request->Release();
    }
    load->Release();
}

// The window layer's no-op delegate answers every other call.
class RecordingDelegate : public CEmptyResourceLoadDelegate {
public:
    std::vector<Reported> reports;

    HRESULT didReceiveResponse(IWebView*, unsigned long identifier, IWebURLResponse* response,
                               IWebDataSource*) override {
        Reported r;
        r.identifier = identifier;
        BSTR url = nullptr;
        if (SUCCEEDED(response->URL(&url))) r.url = Narrow(url);
        SysFreeString(url);
        BSTR mime = nullptr;
        if (SUCCEEDED(response->MIMEType(&mime)) && mime) r.mime = Narrow(mime);
        SysFreeString(mime);
        response->expectedContentLength(&r.length);
        ReadHttp(response, r);
        reports.push_back(r);
        return S_OK;
    }

    // Every report, one a line, for failure messages.
    std::string Dump() const {
        std::string text;
        for (const auto& r : reports) {
            text += std::to_string(r.identifier) + " " + r.method + " " + r.url + " " +
                    std::to_string(r.status) + " " +
                    (r.mime ? "\"" + *r.mime + "\"" : "(no type)") + " " +
                    std::to_string(r.length) + (r.redirectTo ? " -> " + *r.redirectTo : "") + "\n";
        }
        return text;
    }

    std::vector<Reported> For(const std::string& url) const {
        std::vector<Reported> found;
        for (const auto& r : reports)
            if (r.url == url) found.push_back(r);
        return found;
    }
};

// Runs the GLib main context (the engine's signals arrive there) until `condition` holds.
template <typename Condition>
bool PumpUntil(Condition&& condition, e2e::Millis timeout = e2e::kActionTimeout) {
    return e2e::WaitUntil(
        [&] {
            while (g_main_context_iteration(nullptr, FALSE)) {
            }
            return condition();
        },
        timeout);
}

constexpr WCHAR kHostClass[] = u"TRAWLET_ENGINE_TEST_HOST";

// A top-level window hosting one scan-context view of the engine layer.
class HostedView {
public:
    explicit HostedView(IWebResourceLoadDelegate* delegate) {
        static const bool registered = [] {
            WNDCLASSEXW windowClass{};
            windowClass.cbSize = sizeof windowClass;
            windowClass.lpfnWndProc = DefWindowProcW;
            windowClass.lpszClassName = kHostClass;
            return RegisterClassExW(&windowClass) != 0;
        }();
        if (!registered) return;
        m_host = CreateWindowExW(0, kHostClass, u"engine test", WS_OVERLAPPEDWINDOW, 0, 0, 800, 600,
                                 nullptr, nullptr, nullptr, nullptr);
        if (!m_host) return;
        if (FAILED(WebKitCreateInstance(CLSID_WebView, nullptr, IID_IWebView,
                                        reinterpret_cast<void**>(&m_view)))) {
            return;
        }
        IWebViewPrivate* viewPrivate = nullptr;
        if (FAILED(m_view->QueryInterface(IID_IWebViewPrivate,
                                          reinterpret_cast<void**>(&viewPrivate)))) {
            return;
        }
        viewPrivate->setContextKind(WebViewContextScan);
        m_view->setResourceLoadDelegate(delegate);
        m_view->setHostWindow(m_host);
        HWND viewWindow = nullptr;
        m_ready = SUCCEEDED(m_view->initWithFrame(RECT{0, 0, 800, 600}, nullptr, nullptr)) &&
                  SUCCEEDED(viewPrivate->viewWindow(&viewWindow));
        viewPrivate->Release();
        if (!m_ready) return;
        ShowWindow(m_host, SW_SHOW);
        ShowWindow(viewWindow, SW_SHOW);
    }
    ~HostedView() {
        if (m_view) {
            m_view->setResourceLoadDelegate(nullptr);
            m_view->setHostWindow(nullptr);
            m_view->close();
            m_view->Release();
        }
        if (m_host) DestroyWindow(m_host);
        shutDownWebKit();
    }
    bool Ready() const { return m_ready; }

    bool Load(const std::string& address) {
        std::u16string wide;
        if (!Utf8ToUtf16(address, wide)) return false;
        IWebFrame* frame = nullptr;
        IWebMutableURLRequest* request = nullptr;
        BSTR url = SysAllocString(wide.c_str());
        bool loaded = SUCCEEDED(m_view->mainFrame(&frame)) &&
                      SUCCEEDED(WebKitCreateInstance(CLSID_WebMutableURLRequest, nullptr,
                                                     IID_IWebMutableURLRequest,
                                                     reinterpret_cast<void**>(&request))) &&
                      SUCCEEDED(request->initWithURL(url, 0, 60)) &&
                      SUCCEEDED(frame->loadRequest(request));
        if (request) request->Release();
        if (frame) frame->Release();
        SysFreeString(url);
        return loaded;
    }

private:
    HWND m_host = nullptr;
    IWebView* m_view = nullptr;
    bool m_ready = false;
};

TEST(ResourceReportTest, EachLoadOfAPageReachesTheDelegateAsTheRulesSay) {
    e2e::TestSite site;
    e2e::TestSite otherOrigin;
    // A port nothing listens on any more: a load there fails before any response.
    std::string closedPort;
    {
        e2e::TestSite gone;
        closedPort = gone.Url("/gone.png");
    }

    const std::string png = "\x89PNG\r\n\x1a\n-not-really-an-image-";
    const std::string script = "window.loaded = true;";
    const std::string movedScript = "window.moved = true;";
    const std::string wav = e2e::MakeWav(300);
    site.Route("/pic.png", e2e::Response::Of("image/png", png));
    site.Route("/app.js", e2e::Response::Of("text/javascript", script));
    site.Route("/style.css", e2e::Response::Chunked("text/css", {"body{", "color:red}"}));
    site.Route("/old.js", e2e::Response::Redirect("/new.js"));
    site.Route("/new.js", e2e::Response::Of("text/javascript", movedScript));
    site.Route("/tone.wav", e2e::Response::Of("audio/wav", wav));
    // No Access-Control-Allow-Origin: the engine refuses the page's read of this answer.
    otherOrigin.Route("/data.json", e2e::Response::Of("application/json", "{\"secret\":1}"));
    const std::string page =
        "<!doctype html><html><head>"
        "<link rel=stylesheet href=/style.css>"
        "<script src=/app.js></script><script src=/old.js></script>"
        "</head><body><img src=/pic.png><img src='" +
        closedPort +
        "'>"
        "<audio src=/tone.wav preload=auto></audio><script>fetch('" +
        otherOrigin.Url("/data.json") + "').catch(() => {});</script></body></html>";
    site.Route("/index.html", e2e::Response::Html(page));

    // Each load the engine makes of an address is reported once; the engine may load an
    // address more than once (it fetches this image twice), so a case expects as many reports
    // as its server answered requests (one for an address no server answers).
    struct Case {
        const e2e::TestSite* server;  // null: nothing answers
        std::string path;
        std::string url;
        std::string mime;
        INT64 length;  // -1: unknown
        const char* what;
    };
    const INT64 unknown = -1;
    auto size = [](const std::string& body) { return static_cast<INT64>(body.size()); };
    const Case cases[] = {
        {&site, "/index.html", site.Url("/index.html"), "text/html", size(page), "the page"},
        {&site, "/pic.png", site.Url("/pic.png"), "image/png", size(png), "an image"},
        {&site, "/app.js", site.Url("/app.js"), "text/javascript", size(script), "a script"},
        {&site, "/style.css", site.Url("/style.css"), "text/css", unknown,
         "chunked, no Content-Length"},
        {&site, "/new.js", site.Url("/new.js"), "text/javascript", size(movedScript),
         "a redirect's target"},
        {&otherOrigin, "/data.json", otherOrigin.Url("/data.json"), "", unknown,
         "a read refused by CORS"},
        {nullptr, "", closedPort, "", unknown, "a refused connection"},
    };

    ASSERT_TRUE(g_haveDisplay) << "This test needs a display (run it under xvfb-run).";
    RecordingDelegate delegate;
    HostedView view(&delegate);
    ASSERT_TRUE(view.Ready());
    ASSERT_TRUE(view.Load(site.Url("/index.html")));

    auto allSeen = [&] {
        for (const auto& c : cases) {
            const size_t loads = c.server ? c.server->CountPath(c.path) : 1;
            if (loads == 0 || delegate.For(c.url).size() != loads) return false;
        }
        for (const auto& r : delegate.For(site.Url("/tone.wav")))
            if (r.mime == "audio/wav") return true;
        return false;
    };
    ASSERT_TRUE(PumpUntil(allSeen)) << delegate.Dump();

    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        for (const auto& r : delegate.For(c.url)) {
            ASSERT_TRUE(r.mime.has_value()) << delegate.Dump();
            EXPECT_EQ(*r.mime, c.mime);
            EXPECT_EQ(r.length, c.length);
        }
    }

    // The redirect response comes first, under the same load identifier as its target's.
    const auto redirect = delegate.For(site.Url("/old.js"));
    ASSERT_EQ(redirect.size(), 1u);
    EXPECT_EQ(redirect[0].length, unknown);
    EXPECT_EQ(redirect[0].identifier, delegate.For(site.Url("/new.js"))[0].identifier);

    // The engine's empty stand-in before the media element's real response is not passed on:
    // every report of the media file carries its type.
    for (const auto& r : delegate.For(site.Url("/tone.wav"))) {
        EXPECT_EQ(r.mime, std::optional<std::string>("audio/wav"));
    }

    // Loads are numbered apart.
    std::map<unsigned long, std::string> urlOf;
    for (const auto& r : delegate.reports) {
        auto [it, fresh] = urlOf.emplace(r.identifier, r.url);
        if (!fresh && it->second != r.url) {
            const bool redirectPair =
                it->second == site.Url("/old.js") && r.url == site.Url("/new.js");
            EXPECT_TRUE(redirectPair) << it->second << " and " << r.url << " share an identifier";
        }
    }
}

std::int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// `inner` appears in `outer` in the same order with the same values (names without case):
// the fields the engine put on a request are among those the server received, which has more
// (the network stack's own).
bool InOrderWithin(const Fields& inner, const Fields& outer) {
    auto at = outer.begin();
    for (const auto& [name, value] : inner) {
        at = std::find_if(at, outer.end(), [&](const auto& field) {
            return strcasecmp(field.first.c_str(), name.c_str()) == 0 && field.second == value;
        });
        if (at == outer.end()) return false;
        ++at;
    }
    return true;
}

std::string Lines(const Fields& fields) {
    std::string text;
    for (const auto& [name, value] : fields) text += "  " + name + ": " + value + "\n";
    return text;
}

TEST(ResourceReportTest, ResponsesCarryTheirRequestStatusAndHeaders) {
    e2e::TestSite site;
    e2e::TestSite otherOrigin;
    e2e::Response picture = e2e::Response::Of("image/png", "\x89PNG-not-really");
    picture.headers = {{"X-Second", "b"}, {"X-First", "a"}};
    site.Route("/pic.png", picture);
    site.Route("/old.js", e2e::Response::Redirect("/new.js"));
    site.Route("/new.js", e2e::Response::Of("text/javascript", "window.moved = true;"));
    site.Route("/post.txt", e2e::Response::Of("text/plain", "posted"));
    site.Route("/missing.txt", e2e::Response::NotFound());
    otherOrigin.Route("/data.json", e2e::Response::Of("application/json", "{}"));
    site.Route("/index.html",
               e2e::Response::Html(
                   "<!doctype html><img src=/pic.png><script src=/old.js></script><script>"
                   "fetch('/post.txt', {method: 'POST', headers: {'X-Probe': 'yes'}, body: 'x'});"
                   "fetch('/missing.txt');"
                   "fetch('" +
                   otherOrigin.Url("/data.json") + "').catch(() => {});</script>"));

    struct Case {
        std::string url;
        const char* method;
        int status;
        const char* statusText;
        const char* destination;  // the request's Sec-Fetch-Dest
        std::optional<std::string> redirectTo;
        const e2e::TestSite* server;  // that answered it, whose record of the request is compared
        const char* path;
    };
    const Case cases[] = {
        {site.Url("/index.html"), "GET", 200, "OK", "document", std::nullopt, &site, "/index.html"},
        {site.Url("/pic.png"), "GET", 200, "OK", "image", std::nullopt, &site, "/pic.png"},
        {site.Url("/old.js"), "GET", 302, "Found", "script", site.Url("/new.js"), &site, "/old.js"},
        {site.Url("/new.js"), "GET", 200, "OK", "script", std::nullopt, &site, "/new.js"},
        {site.Url("/post.txt"), "POST", 200, "OK", "empty", std::nullopt, &site, "/post.txt"},
        {site.Url("/missing.txt"), "GET", 404, "Not Found", "empty", std::nullopt, &site,
         "/missing.txt"},
        // Refused by CORS after the server answered: no status, no header fields.
        {otherOrigin.Url("/data.json"), "GET", 0, "", "empty", std::nullopt, nullptr, nullptr},
    };

    ASSERT_TRUE(g_haveDisplay) << "This test needs a display (run it under xvfb-run).";
    RecordingDelegate delegate;
    HostedView view(&delegate);
    ASSERT_TRUE(view.Ready());
    const std::int64_t before = NowMs();
    ASSERT_TRUE(view.Load(site.Url("/index.html")));
    ASSERT_TRUE(PumpUntil([&] {
        return std::all_of(std::begin(cases), std::end(cases),
                           [&](const Case& c) { return !delegate.For(c.url).empty(); });
    })) << delegate.Dump();
    const std::int64_t after = NowMs();

    for (const Case& c : cases) {
        SCOPED_TRACE(c.url);
        const auto reports = delegate.For(c.url);
        ASSERT_EQ(reports.size(), 1u) << delegate.Dump();
        const Reported& r = reports[0];
        EXPECT_EQ(r.method, c.method);
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.statusText, c.statusText);
        EXPECT_EQ(r.redirectTo, c.redirectTo);
        EXPECT_EQ(Field(r.requestHeaders, "Sec-Fetch-Dest"), c.destination)
            << Lines(r.requestHeaders);
        EXPECT_TRUE(Field(r.requestHeaders, "User-Agent").has_value());
        // The network stack adds the cookies when it sends the request.
        EXPECT_FALSE(Field(r.requestHeaders, "Cookie").has_value());
        // The default referrer policy: the whole address within the origin, only the origin
        // to another one.
        if (c.url == otherOrigin.Url("/data.json")) {
            EXPECT_EQ(Field(r.requestHeaders, "Referer"), site.Origin() + "/");
        } else if (c.url != site.Url("/index.html")) {
            EXPECT_EQ(Field(r.requestHeaders, "Referer"), site.Url("/index.html"));
        }
        EXPECT_LE(before, r.started);
        EXPECT_LE(r.started, r.received);
        EXPECT_LE(r.received, after);
        if (c.status == 0) {
            EXPECT_TRUE(r.responseHeaders.empty()) << Lines(r.responseHeaders);
            EXPECT_EQ(Field(r.requestHeaders, "Origin"), site.Origin());
        }
        if (c.server) {
            auto answered = c.server->WaitForPath(c.path);
            ASSERT_TRUE(answered);
            EXPECT_TRUE(InOrderWithin(r.requestHeaders, answered->headers))
                << "engine:\n"
                << Lines(r.requestHeaders) << "server:\n"
                << Lines(answered->headers);
        }
    }

    // Response fields in the order sent.
    const Reported picReport = delegate.For(site.Url("/pic.png"))[0];
    const Fields& fields = picReport.responseHeaders;
    auto position = [&](const std::string& name, const std::string& value) {
        return std::find(fields.begin(), fields.end(), std::pair(name, value)) - fields.begin();
    };
    EXPECT_LT(position("X-Second", "b"), position("X-First", "a")) << Lines(fields);
    EXPECT_LT(position("X-First", "a"), static_cast<long>(fields.size())) << Lines(fields);
    EXPECT_EQ(Field(fields, "Content-Type"), "image/png");
    EXPECT_EQ(Field(delegate.For(site.Url("/post.txt"))[0].requestHeaders, "X-Probe"), "yes");

    // The redirect names where it goes; the request to the target starts with the redirect.
    const Reported moved = delegate.For(site.Url("/old.js"))[0];
    const Reported target = delegate.For(site.Url("/new.js"))[0];
    EXPECT_EQ(Field(moved.responseHeaders, "Location"), "/new.js") << Lines(moved.responseHeaders);
    EXPECT_EQ(moved.identifier, target.identifier);
    EXPECT_LE(moved.received, target.started);
}

}  // namespace

int main(int argc, char** argv) {
    // The engine layer reads its preferences below the user's folders; the test gets folders
    // of its own.
    char folder[] = "/tmp/trawlet-engine-test-XXXXXX";
    if (!g_mkdtemp(folder)) return 1;
    const std::string root = folder;
    g_setenv("XDG_CONFIG_HOME", (root + "/config").c_str(), TRUE);
    g_setenv("XDG_DATA_HOME", (root + "/data").c_str(), TRUE);
    g_setenv("XDG_CACHE_HOME", (root + "/cache").c_str(), TRUE);
    ::testing::InitGoogleTest(&argc, argv);
    // Without a display the test fails and says why; listing the tests needs none.
    g_haveDisplay = gtk_init_check(&argc, &argv);
    const int result = RUN_ALL_TESTS();
    e2e::RemoveTree(root);
    return result;
}
