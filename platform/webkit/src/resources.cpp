// The reports of a view's resource loads to its resource load delegate: every response
// and redirect response with its address, MIME type and size, status and header fields, the
// request it answers and when, and loads that end without a response. The engine's stand-in
// response for a media element is not reported.
#include <cstdlib>

#include "internal.h"
#include "view.h"

namespace wk {

namespace {
// Resource loads are numbered across all views, as the engine's own identifiers are.
unsigned long g_nextResourceIdentifier = 0;

INT64 NowMs() {
    return g_get_real_time() / 1000;
}

constexpr char kNoCopyOfBody[] = "the engine kept no copy of this body";

// One body asked for: the handler is told exactly once, then this goes. It does not keep the
// resource alive: a load that never finishes (a stream) goes with its view, and is told so.
struct BodyRead {
    WebKitWebResource* resource;  // null once it went
    unsigned long identifier;
    UINT limit;
    IWebResourceBodyHandler* handler;
    gulong finished = 0;
    gulong failed = 0;
    bool told = false;

    void Tell(const BYTE* data, UINT length, bool tooLarge, const char* error) {
        if (told) return;
        told = true;
        BSTR text = error ? AllocBstr(error) : nullptr;
        handler->didReadBody(identifier, data, length, tooLarge ? TRUE : FALSE, text);
        SysFreeString(text);
    }
    // Stops watching the resource, which stays alive for as long as it is being read.
    void StopWatching();
    ~BodyRead() {
        Tell(nullptr, 0, false, "the load went away before it finished");
        handler->Release();
    }
};

void OnBodyResourceGone(gpointer data, GObject*) {
    auto* read = static_cast<BodyRead*>(data);
    // Its signal handlers went with it.
    read->resource = nullptr;
    delete read;
}

void BodyRead::StopWatching() {
    if (!resource) return;
    g_signal_handler_disconnect(resource, finished);
    g_signal_handler_disconnect(resource, failed);
    g_object_weak_unref(G_OBJECT(resource), OnBodyResourceGone, this);
}

void OnBodyData(GObject* source, GAsyncResult* result, gpointer data) {
    auto* read = static_cast<BodyRead*>(data);
    GError* error = nullptr;
    gsize length = 0;
    guchar* bytes =
        webkit_web_resource_get_data_finish(WEBKIT_WEB_RESOURCE(source), result, &length, &error);
    if (error) {
        read->Tell(nullptr, 0, false, error->message);
        g_error_free(error);
    } else if (length == 1 && bytes && bytes[0] == 0) {
        // What the engine answers when it kept no copy of the body (fetch() and binary
        // XMLHttpRequest loads, frames' documents), and for an empty body too.
        read->Tell(nullptr, 0, false, kNoCopyOfBody);
    } else if (length > read->limit) {
        read->Tell(nullptr, 0, true, nullptr);
    } else {
        read->Tell(bytes, static_cast<UINT>(length), false, nullptr);
    }
    g_free(bytes);
    delete read;
}

void OnBodyFinished(WebKitWebResource* resource, gpointer data) {
    auto* read = static_cast<BodyRead*>(data);
    read->StopWatching();
    // The read holds the resource until it is done.
    webkit_web_resource_get_data(resource, nullptr, OnBodyData, read);
}

void OnBodyFailed(WebKitWebResource*, GError* error, gpointer data) {
    auto* read = static_cast<BodyRead*>(data);
    read->StopWatching();
    read->Tell(nullptr, 0, false, error && error->message ? error->message : "the load failed");
    delete read;
}
}  // namespace

void ReadBodyWhenFinished(WebKitWebResource* resource, unsigned long identifier, UINT limit,
                          IWebResourceBodyHandler* handler) {
    handler->AddRef();
    auto* read = new BodyRead{resource, identifier, limit, handler};
    read->finished = g_signal_connect(resource, "finished", G_CALLBACK(OnBodyFinished), read);
    read->failed = g_signal_connect(resource, "failed", G_CALLBACK(OnBodyFailed), read);
    g_object_weak_ref(G_OBJECT(resource), OnBodyResourceGone, read);
}

struct WebView::ResourceWatch {
    ResourceWatch(WebView* v, unsigned long id, WebKitURIRequest* r)
        : view(v), identifier(id), request(r ? WEBKIT_URI_REQUEST(g_object_ref(r)) : nullptr) {}
    ~ResourceWatch() {
        if (request) g_object_unref(request);
    }
    ResourceWatch(const ResourceWatch&) = delete;
    ResourceWatch& operator=(const ResourceWatch&) = delete;

    // The request the next response answers, and when it started: the first request from the
    // load's start, after a redirect the request to the new address from the redirect on.
    void Follow(WebKitURIRequest* next, INT64 when) {
        if (next == request) return;
        if (next) g_object_ref(next);
        if (request) g_object_unref(request);
        request = next;
        started = when;
    }

    WebView* view;
    unsigned long identifier;
    WebKitURIRequest* request;
    INT64 started = NowMs();
    bool reported = false;  // a response of this load reached the delegate
};

void WebView::OnResourceLoadStarted(WebKitWebView*, WebKitWebResource* resource,
                                    WebKitURIRequest* request, gpointer data) {
    auto* self = static_cast<WebView*>(data);
    auto* watch = new ResourceWatch(self, ++g_nextResourceIdentifier, request);
    g_signal_connect_data(resource, "notify::response", G_CALLBACK(OnResourceResponse), watch,
                          nullptr, GConnectFlags(0));
    g_signal_connect_data(resource, "failed", G_CALLBACK(OnResourceFailed), watch, nullptr,
                          GConnectFlags(0));
    g_signal_connect_data(
        resource, "sent-request", G_CALLBACK(OnResourceRedirect), watch,
        [](gpointer w, GClosure*) { delete static_cast<ResourceWatch*>(w); }, GConnectFlags(0));
}

// Told for the first request too (without a redirected response), which is the one the load
// started with.
void WebView::OnResourceRedirect(WebKitWebResource*, WebKitURIRequest* request,
                                 WebKitURIResponse* redirected, gpointer data) {
    auto* watch = static_cast<ResourceWatch*>(data);
    if (!redirected) {
        if (request && !watch->request) watch->Follow(request, watch->started);
        return;
    }
    const char* target = request ? webkit_uri_request_get_uri(request) : nullptr;
    Report(watch, redirected, target ? target : "");
    watch->Follow(request, NowMs());
}

ResponseLoad WebView::LoadOf(ResourceWatch* watch, const char* redirectTo) {
    ResponseLoad load;
    load.request = MakeRequest(watch->request);
    load.identifier = watch->identifier;
    load.requestTime = watch->started;
    load.responseTime = NowMs();
    load.redirect = redirectTo != nullptr;
    if (redirectTo) load.redirectUrl = redirectTo;
    return load;
}

// A load that ends without any response is still a request the page made: the engine
// refuses a cross-origin answer that CORS does not allow before it becomes the resource's
// response, and a failed connection has none. Such a load is reported without a type and
// with an unknown size. Loads cancelled (a stopped page, a closed window) are not.
void WebView::OnResourceFailed(WebKitWebResource* resource, GError* error, gpointer data) {
    auto* watch = static_cast<ResourceWatch*>(data);
    if (watch->reported) return;
    if (error && error->domain == WEBKIT_NETWORK_ERROR &&
        error->code == WEBKIT_NETWORK_ERROR_CANCELLED)
        return;
    if (error && error->domain == WEBKIT_POLICY_ERROR) return;
    WebView* self = watch->view;
    if (!LiveViews().count(self) || !self->m_resourceLoadDelegate) return;
    const char* uri = webkit_web_resource_get_uri(resource);
    watch->reported = true;
    ResponseLoad load = LoadOf(watch, nullptr);
    IWebURLResponse* wrapped = MakeResponse(uri ? uri : "", "", true, -1, 0, nullptr, &load);
    load.request->Release();
    self->AddRef();
    self->m_resourceLoadDelegate->didReceiveResponse(self, watch->identifier, wrapped, nullptr);
    self->Release();
    wrapped->Release();
}

void WebView::OnResourceResponse(WebKitWebResource* resource, GParamSpec*, gpointer data) {
    Report(static_cast<ResourceWatch*>(data), webkit_web_resource_get_response(resource), nullptr,
           resource);
}

void WebView::Report(ResourceWatch* watch, WebKitURIResponse* response, const char* redirectTo,
                     WebKitWebResource* resource) {
    WebView* self = watch->view;
    if (!response || !LiveViews().count(self) || !self->m_resourceLoadDelegate) return;
    const char* mime = webkit_uri_response_get_mime_type(response);
    SoupMessageHeaders* headers = webkit_uri_response_get_http_headers(response);
    guint status = webkit_uri_response_get_status_code(response);
    bool hasHeaders = false;
    if (headers) {
        SoupMessageHeadersIter iter;
        const char* name = nullptr;
        const char* value = nullptr;
        soup_message_headers_iter_init(&iter, headers);
        hasHeaders = soup_message_headers_iter_next(&iter, &name, &value);
    }
    // The engine announces a media element's load with an empty stand-in before the
    // real response; that stand-in is not a response of the server.
    if (status == 0 && (!mime || !*mime) && !hasHeaders) return;
    INT64 length = -1;
    if (headers) {
        const char* value = soup_message_headers_get_one(headers, "Content-Length");
        if (value) {
            char* end = nullptr;
            long long parsed = std::strtoll(value, &end, 10);
            if (end != value && parsed >= 0) length = parsed;
        }
    } else {
        guint64 known = webkit_uri_response_get_content_length(response);
        if (known > 0) length = static_cast<INT64>(known);
    }
    const char* uri = webkit_uri_response_get_uri(response);
    ResponseLoad load = LoadOf(watch, redirectTo);
    load.resource = resource;
    IWebURLResponse* wrapped = MakeResponse(uri ? uri : "", mime ? mime : "", mime != nullptr,
                                            length, static_cast<int>(status), headers, &load);
    load.request->Release();
    watch->reported = true;
    self->AddRef();
    self->m_resourceLoadDelegate->didReceiveResponse(self, watch->identifier, wrapped, nullptr);
    self->Release();
    wrapped->Release();
}

}  // namespace wk

unsigned long WebKitNextResourceIdentifier() {
    return wk::g_nextResourceIdentifier + 1;
}
