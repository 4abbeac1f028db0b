#include "e2e/TestSite.h"

#include <gio/gio.h>
#include <glib.h>
#include <libsoup/soup.h>

#include <cmath>
#include <cstring>
#include <future>
#include <stdexcept>

namespace e2e {

namespace {

constexpr const char* kReportPath = "/report";

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && g_ascii_strncasecmp(a.data(), b.data(), a.size()) == 0;
}

void AddCorsHeaders(SoupMessageHeaders* headers) {
    soup_message_headers_replace(headers, "Access-Control-Allow-Origin", "*");
    soup_message_headers_replace(headers, "Access-Control-Allow-Methods", "GET, POST, OPTIONS");
    soup_message_headers_replace(headers, "Access-Control-Allow-Headers", "*");
    soup_message_headers_replace(headers, "Cache-Control", "no-store");
}

}  // namespace

// ---------------------------------------------------------------------------------------
// Response shapes

Response Response::Html(std::string body) {
    Response r;
    r.body = std::move(body);
    return r;
}

Response Response::Of(std::string contentType, std::string body) {
    Response r;
    r.contentType = std::move(contentType);
    r.body = std::move(body);
    return r;
}

Response Response::Chunked(std::string contentType, std::vector<std::string> chunks) {
    Response r;
    r.contentType = std::move(contentType);
    r.framing = Framing::Chunked;
    r.chunks = std::move(chunks);
    return r;
}

Response Response::Empty(std::string contentType) {
    Response r;
    r.contentType = std::move(contentType);
    return r;
}

Response Response::Redirect(std::string location, unsigned status) {
    Response r;
    r.status = status;
    r.redirectTo = std::move(location);
    return r;
}

Response Response::NotFound() {
    Response r;
    r.status = 404;
    r.contentType = "text/plain";
    r.body = "not found";
    return r;
}

Response Response::NeverEnding(std::string contentType, std::string firstChunk) {
    Response r;
    r.contentType = std::move(contentType);
    r.framing = Framing::NeverEnds;
    r.chunks = {std::move(firstChunk)};
    return r;
}

Response Response::WithoutContentType(std::string body) {
    Response r;
    r.contentType.reset();
    r.body = std::move(body);
    return r;
}

std::string Request::Header(std::string_view name) const {
    for (const auto& [key, value] : headers) {
        if (EqualsIgnoringCase(key, name)) return value;
    }
    return {};
}

std::string QueryValue(std::string_view path, std::string_view name) {
    const size_t query = path.find('?');
    if (query == std::string_view::npos) return {};
    std::string_view rest = path.substr(query + 1);
    for (;;) {
        const size_t end = rest.find('&');
        const std::string_view pair = rest.substr(0, end);
        if (pair.size() > name.size() && pair.substr(0, name.size()) == name &&
            pair[name.size()] == '=')
            return std::string(pair.substr(name.size() + 1));
        if (end == std::string_view::npos) return {};
        rest.remove_prefix(end + 1);
    }
}

// ---------------------------------------------------------------------------------------
// The server thread

struct TestSite::Impl {
    TestSite* site = nullptr;
    GMainContext* context = nullptr;
    GMainLoop* loop = nullptr;
    SoupServer* server = nullptr;
    std::thread thread;

    // A response held back for its delay. The message may finish early (the client went
    // away), in which case it must not be touched again.
    struct Delayed {
        SoupServerMessage* message;
        Response response;
        bool finished = false;
        gulong finishedHandler = 0;
    };

    static void OnRequest(SoupServer*, SoupServerMessage* message, const char* path, GHashTable*,
                          gpointer data) {
        static_cast<Impl*>(data)->Serve(message, path);
    }

    // The server hands over the path decoded; it is encoded again the way an engine writes
    // addresses (non-ASCII bytes and blanks as upper-case %XX, separators kept).
    static std::string EncodedPath(const char* decoded) {
        gchar* encoded = g_uri_escape_string(decoded, "/!$&'()*+,;=:@", FALSE);
        std::string path = encoded;
        g_free(encoded);
        return path;
    }

    static Request Describe(SoupServerMessage* message) {
        Request request;
        request.method = soup_server_message_get_method(message);
        GUri* uri = soup_server_message_get_uri(message);
        request.path = EncodedPath(g_uri_get_path(uri));
        if (const char* query = g_uri_get_query(uri)) {
            request.path += '?';
            request.path += query;
        }
        soup_message_headers_foreach(
            soup_server_message_get_request_headers(message),
            [](const char* name, const char* value, gpointer list) {
                static_cast<HeaderList*>(list)->emplace_back(name, value);
            },
            &request.headers);
        SoupMessageBody* body = soup_server_message_get_request_body(message);
        if (GBytes* bytes = soup_message_body_flatten(body)) {
            gsize size = 0;
            const char* data = static_cast<const char*>(g_bytes_get_data(bytes, &size));
            if (data) request.body.assign(data, size);
            g_bytes_unref(bytes);
        }
        return request;
    }

    void Serve(SoupServerMessage* message, const char* decodedPath) {
        Request request = Describe(message);
        const std::string rawPath =
            EncodedPath(g_uri_get_path(soup_server_message_get_uri(message)));

        if (rawPath == kReportPath) {
            AnswerReport(message, request);
            return;
        }

        Response response;
        bool found = false;
        {
            std::unique_lock lock(site->m_mutex);
            request.sequence = ++site->m_sequence;
            site->m_requests.push_back(request);
            NoteWhenAnswered(message, request.sequence);
            site->m_changed.notify_all();
            // Routes match the encoded path or the decoded one, so a test may name a route
            // of a non-ASCII file either way.
            auto route = site->m_routes.find(rawPath);
            if (route == site->m_routes.end() && decodedPath)
                route = site->m_routes.find(decodedPath);
            if (route != site->m_routes.end()) {
                found = true;
                if (route->second.fixed) {
                    response = *route->second.fixed;
                } else {
                    Handler handler = route->second.handler;
                    lock.unlock();
                    response = handler(request);
                }
            }
        }
        if (!found)
            response = FromFolder(
                decodedPath ? decodedPath : g_uri_get_path(soup_server_message_get_uri(message)));

        if (response.delay.count() > 0) {
            Hold(message, std::move(response));
        } else {
            Send(message, response);
        }
    }

    // Marks the request answered once its response's body is on the connection.
    void NoteWhenAnswered(SoupServerMessage* message, uint64_t sequence) {
        struct Note {
            TestSite* site;
            uint64_t sequence;
        };
        g_signal_connect_data(
            message, "wrote-body", G_CALLBACK(+[](SoupServerMessage*, Note* note) {
                std::lock_guard lock(note->site->m_mutex);
                auto& requests = note->site->m_requests;
                auto found =
                    std::find_if(requests.rbegin(), requests.rend(),
                                 [&](const Request& r) { return r.sequence == note->sequence; });
                if (found != requests.rend()) found->answered = true;
                note->site->m_changed.notify_all();
            }),
            new Note{site, sequence},
            [](gpointer note, GClosure*) { delete static_cast<Note*>(note); }, GConnectFlags(0));
    }

    void AnswerReport(SoupServerMessage* message, const Request& request) {
        AddCorsHeaders(soup_server_message_get_response_headers(message));
        if (request.method == "POST") {
            std::lock_guard lock(site->m_mutex);
            site->m_reports.push_back(request.body);
            site->m_changed.notify_all();
        }
        soup_server_message_set_status(message, SOUP_STATUS_NO_CONTENT, nullptr);
    }

    Response FromFolder(const std::string& path) {
        std::string folder;
        {
            std::lock_guard lock(site->m_mutex);
            folder = site->m_folder;
        }
        if (folder.empty()) return Response::NotFound();
        // Only files below the folder are served, whatever dots the path holds.
        gchar* base = g_canonicalize_filename(folder.c_str(), nullptr);
        gchar* file = g_canonicalize_filename(("." + path).c_str(), base);
        const std::string prefix = std::string(base) + "/";
        Response response = Response::NotFound();
        gchar* data = nullptr;
        gsize size = 0;
        if (g_str_has_prefix(file, prefix.c_str()) &&
            g_file_get_contents(file, &data, &size, nullptr)) {
            gboolean uncertain = FALSE;
            gchar* type =
                g_content_type_guess(file, reinterpret_cast<const guchar*>(data), size, &uncertain);
            gchar* mime = g_content_type_get_mime_type(type);
            response =
                Response::Of(mime ? mime : "application/octet-stream", std::string(data, size));
            g_free(mime);
            g_free(type);
            g_free(data);
        }
        g_free(file);
        g_free(base);
        return response;
    }

    static void Send(SoupServerMessage* message, const Response& response) {
        SoupMessageHeaders* headers = soup_server_message_get_response_headers(message);
        // Pages are not cached unless a test asks for it, so each load reaches the site.
        soup_message_headers_replace(headers, "Cache-Control", "no-store");
        for (const auto& [name, value] : response.headers)
            soup_message_headers_replace(headers, name.c_str(), value.c_str());

        if (!response.redirectTo.empty()) {
            // The target goes out exactly as given (the server's own helper would make a
            // relative one absolute against the Host header).
            soup_server_message_set_status(message, response.status, nullptr);
            soup_message_headers_replace(headers, "Location", response.redirectTo.c_str());
            soup_message_headers_set_content_length(headers, 0);
            soup_message_body_complete(soup_server_message_get_response_body(message));
            return;
        }
        soup_server_message_set_status(message, response.status, nullptr);
        if (response.contentType)
            soup_message_headers_set_content_type(headers, response.contentType->c_str(), nullptr);
        else
            soup_message_headers_remove(headers, "Content-Type");

        SoupMessageBody* body = soup_server_message_get_response_body(message);
        if (response.framing == Response::Framing::ContentLength) {
            soup_message_headers_set_content_length(headers,
                                                    static_cast<goffset>(response.body.size()));
            if (!response.body.empty())
                soup_message_body_append(body, SOUP_MEMORY_COPY, response.body.data(),
                                         response.body.size());
            soup_message_body_complete(body);
            return;
        }

        soup_message_headers_set_encoding(headers, SOUP_ENCODING_CHUNKED);
        std::vector<std::string> chunks = response.chunks;
        if (chunks.empty() && !response.body.empty()) chunks.push_back(response.body);
        for (const auto& chunk : chunks) {
            if (!chunk.empty())
                soup_message_body_append(body, SOUP_MEMORY_COPY, chunk.data(), chunk.size());
        }
        // A body that is never completed keeps the connection open: the server writes what
        // it has and then waits for more that never comes.
        if (response.framing == Response::Framing::Chunked) soup_message_body_complete(body);
    }

    void Hold(SoupServerMessage* message, Response response) {
        auto* held = new Delayed{SOUP_SERVER_MESSAGE(g_object_ref(message)), std::move(response)};
        held->finishedHandler = g_signal_connect_swapped(
            message, "finished", G_CALLBACK(+[](Delayed* d) { d->finished = true; }), held);
        soup_server_message_pause(message);
        GSource* timer = g_timeout_source_new(static_cast<guint>(held->response.delay.count()));
        g_source_set_callback(
            timer,
            [](gpointer data) -> gboolean {
                auto* d = static_cast<Delayed*>(data);
                if (!d->finished) {
                    Send(d->message, d->response);
                    soup_server_message_unpause(d->message);
                }
                g_signal_handler_disconnect(d->message, d->finishedHandler);
                g_object_unref(d->message);
                delete d;
                return G_SOURCE_REMOVE;
            },
            held, nullptr);
        g_source_attach(timer, context);
        g_source_unref(timer);
    }
};

TestSite::TestSite() : m_impl(std::make_unique<Impl>()) {
    m_impl->site = this;
    m_impl->context = g_main_context_new();
    m_impl->loop = g_main_loop_new(m_impl->context, FALSE);

    std::promise<std::string> started;  // "" on success, else the error text
    auto ready = started.get_future();
    m_impl->thread = std::thread([this, &started] {
        Impl& impl = *m_impl;
        g_main_context_push_thread_default(impl.context);
        // The listening socket attaches to the thread-default context, so the server is
        // created and used only on this thread.
        impl.server =
            SOUP_SERVER(g_object_new(SOUP_TYPE_SERVER, "server-header", "trawlet-e2e", nullptr));
        soup_server_add_handler(impl.server, nullptr, &Impl::OnRequest, &impl, nullptr);
        GError* error = nullptr;
        if (!soup_server_listen_local(impl.server, 0, SOUP_SERVER_LISTEN_IPV4_ONLY, &error)) {
            started.set_value(std::string("cannot listen: ") + error->message);
            g_error_free(error);
        } else {
            GSList* uris = soup_server_get_uris(impl.server);
            if (uris)
                m_port = static_cast<uint16_t>(g_uri_get_port(static_cast<GUri*>(uris->data)));
            g_slist_free_full(uris, reinterpret_cast<GDestroyNotify>(g_uri_unref));
            const bool ok = m_port != 0;
            started.set_value(ok ? "" : "no port");
            if (ok) g_main_loop_run(impl.loop);
        }
        soup_server_disconnect(impl.server);
        while (g_main_context_iteration(impl.context, FALSE)) {
        }
        g_object_unref(impl.server);
        impl.server = nullptr;
        g_main_context_pop_thread_default(impl.context);
    });
    const std::string problem = ready.get();
    if (!problem.empty()) {
        m_impl->thread.join();
        g_main_loop_unref(m_impl->loop);
        g_main_context_unref(m_impl->context);
        throw std::runtime_error("TestSite: " + problem);
    }
}

TestSite::~TestSite() {
    g_main_context_invoke(
        m_impl->context,
        [](gpointer loop) -> gboolean {
            g_main_loop_quit(static_cast<GMainLoop*>(loop));
            return G_SOURCE_REMOVE;
        },
        m_impl->loop);
    m_impl->thread.join();
    g_main_loop_unref(m_impl->loop);
    g_main_context_unref(m_impl->context);
}

std::string TestSite::Origin() const {
    return "http://127.0.0.1:" + std::to_string(m_port);
}

std::string TestSite::Url(std::string_view path) const {
    std::string url = Origin();
    if (path.empty() || path.front() != '/') url += '/';
    url += path;
    return url;
}

void TestSite::Route(std::string path, Response response) {
    std::lock_guard lock(m_mutex);
    m_routes[std::move(path)] = Route_{std::move(response), nullptr};
}

void TestSite::Route(std::string path, Handler handler) {
    std::lock_guard lock(m_mutex);
    m_routes[std::move(path)] = Route_{std::nullopt, std::move(handler)};
}

void TestSite::ServeDirectory(std::string folder) {
    std::lock_guard lock(m_mutex);
    m_folder = std::move(folder);
}

std::vector<Request> TestSite::Requests() const {
    std::lock_guard lock(m_mutex);
    return m_requests;
}

std::optional<Request> TestSite::WaitForRequest(
    const std::function<bool(const Request&)>& predicate, Millis timeout) const {
    std::unique_lock lock(m_mutex);
    std::optional<Request> found;
    m_changed.wait_for(lock, timeout, [&] {
        for (const auto& request : m_requests) {
            if (predicate(request)) {
                found = request;
                return true;
            }
        }
        return false;
    });
    return found;
}

std::optional<Request> TestSite::WaitForPath(std::string_view path, Millis timeout) const {
    return WaitForRequest([path](const Request& r) { return r.path == path; }, timeout);
}

size_t TestSite::CountPath(std::string_view path) const {
    std::lock_guard lock(m_mutex);
    size_t count = 0;
    for (const auto& request : m_requests) count += request.path == path ? 1 : 0;
    return count;
}

std::vector<std::string> TestSite::Reports() const {
    std::lock_guard lock(m_mutex);
    return m_reports;
}

std::optional<std::string> TestSite::WaitForReport(
    const std::function<bool(const std::string&)>& predicate, Millis timeout) const {
    std::unique_lock lock(m_mutex);
    std::optional<std::string> found;
    m_changed.wait_for(lock, timeout, [&] {
        for (const auto& report : m_reports) {
            if (predicate(report)) {
                found = report;
                return true;
            }
        }
        return false;
    });
    return found;
}

bool TestSite::WaitForReport(std::string_view text, Millis timeout) const {
    return WaitForReport([text](const std::string& r) { return r == text; }, timeout).has_value();
}

std::optional<std::string> TestSite::WaitForReportPrefix(std::string_view prefix,
                                                         Millis timeout) const {
    auto report = WaitForReport(
        [prefix](const std::string& r) { return r.compare(0, prefix.size(), prefix) == 0; },
        timeout);
    if (!report) return std::nullopt;
    return report->substr(prefix.size());
}

void TestSite::ClearRecords() {
    std::lock_guard lock(m_mutex);
    m_requests.clear();
    m_reports.clear();
}

std::string TestSite::ReportScript() const {
    // The posts are chained so that reports arrive in the order the page made them.
    return "var __reportChain = Promise.resolve();\n"
           "function report(text) {\n"
           "  __reportChain = __reportChain.then(function () {\n"
           "    return fetch('" +
           ReportUrl() +
           "', {method: 'POST', body: String(text), mode: 'no-cors', cache: 'no-store'});\n"
           "  }).catch(function () {});\n"
           "  return __reportChain;\n"
           "}\n";
}

// ---------------------------------------------------------------------------------------
// Media

std::string MakeWav(unsigned milliseconds, unsigned sampleRate) {
    const uint32_t samples = static_cast<uint32_t>(uint64_t{sampleRate} * milliseconds / 1000);
    const uint32_t dataSize = samples * 2;
    std::string wav;
    auto put32 = [&wav](uint32_t v) {
        for (int i = 0; i < 4; ++i) wav.push_back(static_cast<char>((v >> (8 * i)) & 0xff));
    };
    auto put16 = [&wav](uint16_t v) {
        wav.push_back(static_cast<char>(v & 0xff));
        wav.push_back(static_cast<char>(v >> 8));
    };
    wav += "RIFF";
    put32(36 + dataSize);
    wav += "WAVEfmt ";
    put32(16);              // format chunk size
    put16(1);               // PCM
    put16(1);               // mono
    put32(sampleRate);      // samples per second
    put32(sampleRate * 2);  // bytes per second
    put16(2);               // block alignment
    put16(16);              // bits per sample
    wav += "data";
    put32(dataSize);
    for (uint32_t i = 0; i < samples; ++i) {
        const double t = static_cast<double>(i) / sampleRate;
        put16(static_cast<uint16_t>(static_cast<int16_t>(3000.0 * std::sin(2 * M_PI * 440.0 * t))));
    }
    return wav;
}

}  // namespace e2e
