// The scan context's cookies as its pages' requests carry them: a copy kept current on the
// cookie manager's "changed" signal, which IWebCookieManager answers from.
#include "cookies.h"

#include "cookies/CookieCopy.h"
#include "com.h"
#include "internal.h"

namespace wk {

namespace {

// The watch of the one scan context. "changed" says only that something changed, so each
// change fetches every cookie again; while a fetch is under way further changes only mark the
// copy stale, and one more fetch follows when it ends.
struct CookieWatch {
    WebKitCookieManager* manager = nullptr;
    gulong handler = 0;
    GCancellable* cancellable = nullptr;
    bool fetching = false;
    bool stale = false;
    cookies::CookieCopy copy;
};

CookieWatch* g_watch = nullptr;

void Fetch(CookieWatch* watch);

void OnFetched(GObject* source, GAsyncResult* result, gpointer data) {
    GError* error = nullptr;
    GList* list =
        webkit_cookie_manager_get_all_cookies_finish(WEBKIT_COOKIE_MANAGER(source), result, &error);
    // A watch that was stopped cancelled its fetch and is gone.
    if (g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED)) {
        g_error_free(error);
        return;
    }
    auto* watch = static_cast<CookieWatch*>(data);
    watch->fetching = false;
    if (error) {
        // The copy stays as it was; the next change fetches again.
        g_error_free(error);
    } else {
        watch->copy.Replace(list);
        g_list_free_full(list, reinterpret_cast<GDestroyNotify>(soup_cookie_free));
    }
    if (watch->stale) Fetch(watch);
}

void Fetch(CookieWatch* watch) {
    if (watch->fetching) {
        watch->stale = true;
        return;
    }
    watch->fetching = true;
    watch->stale = false;
    webkit_cookie_manager_get_all_cookies(watch->manager, watch->cancellable, OnFetched, watch);
}

void OnCookiesChanged(WebKitCookieManager*, gpointer data) {
    Fetch(static_cast<CookieWatch*>(data));
}

class CookieManager : public ComObject<IWebCookieManager, &IID_IWebCookieManager> {
public:
    HRESULT cookieHeaderForURL(BSTR url, BSTR* header) override {
        if (!header) return E_POINTER;
        const std::string text = g_watch ? g_watch->copy.HeaderFor(ToUtf8(url)) : std::string();
        *header = AllocBstr(text.c_str());
        if (!*header) *header = SysAllocString(u"");
        return S_OK;
    }
};

}  // namespace

void WatchCookies(WebKitWebContext* context) {
    StopWatchingCookies();
    if (!context) return;
    g_watch = new CookieWatch;
    g_watch->manager =
        WEBKIT_COOKIE_MANAGER(g_object_ref(webkit_web_context_get_cookie_manager(context)));
    g_watch->cancellable = g_cancellable_new();
    g_watch->handler =
        g_signal_connect(g_watch->manager, "changed", G_CALLBACK(OnCookiesChanged), g_watch);
}

void StopWatchingCookies() {
    if (!g_watch) return;
    g_cancellable_cancel(g_watch->cancellable);
    g_object_unref(g_watch->cancellable);
    g_signal_handler_disconnect(g_watch->manager, g_watch->handler);
    g_object_unref(g_watch->manager);
    delete g_watch;
    g_watch = nullptr;
}

IUnknown* MakeCookieManager() {
    return new CookieManager;
}

}  // namespace wk
