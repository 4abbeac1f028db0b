// IWebView over WebKitWebView: the view widget, its web contexts, and the translation of
// WebKitGTK's signals into delegate calls and notifications.
#include <webkit2/webkit2.h>

#include <cstdlib>
#include <set>
#include <string>

#include "com.h"
#include "internal.h"
#include "webkitcom/WebKit.h"
#include "win32/gtkhandles.h"

namespace wk {
namespace {

WebKitWebContext* g_bridgeContext = nullptr;
WebKitWebContext* g_scanContext = nullptr;
std::string g_moduleDirectory;
GVariant* g_moduleData = nullptr;
// The view that a page's request for a new view is being answered for; a view made while it
// is set becomes related to it, as the engine requires of views handed back from "create".
WebKitWebView* g_pendingOpener = nullptr;
// Resource loads are numbered across all views, as the engine's own identifiers are.
unsigned long g_nextResourceIdentifier = 0;

constexpr char16_t kProgressStarted[] = u"WebProgressStartedNotification";
constexpr char16_t kProgressEstimateChanged[] = u"WebProgressEstimateChangedNotification";
constexpr char16_t kProgressFinished[] = u"WebProgressFinishedNotification";

WebKitWebsiteDataManager* MakePersistentDataManager() {
    const Preferences& prefs = StandardPreferenceValues();
    std::string data = std::string(g_get_user_data_dir()) + "/trawlet/webkit";
    std::string cache = std::string(g_get_user_cache_dir()) + "/trawlet/webkit";
    if (prefs.localStoragePath.empty()) {
        return webkit_website_data_manager_new("base-data-directory", data.c_str(),
                                               "base-cache-directory", cache.c_str(), nullptr);
    }
    return webkit_website_data_manager_new(
        "base-data-directory", data.c_str(), "base-cache-directory", cache.c_str(),
        "local-storage-directory", prefs.localStoragePath.c_str(), nullptr);
}

WebKitWebContext* ContextFor(WebViewContextKind kind) {
    if (kind == WebViewContextBridge) {
        if (!g_bridgeContext) {
            WebKitWebsiteDataManager* manager = MakePersistentDataManager();
            webkit_website_data_manager_set_tls_errors_policy(manager,
                                                              WEBKIT_TLS_ERRORS_POLICY_IGNORE);
            g_bridgeContext = webkit_web_context_new_with_website_data_manager(manager);
            g_object_unref(manager);
            if (!g_moduleDirectory.empty()) {
                webkit_web_context_set_web_extensions_directory(g_bridgeContext,
                                                                g_moduleDirectory.c_str());
                if (g_moduleData) {
                    webkit_web_context_set_web_extensions_initialization_user_data(g_bridgeContext,
                                                                                   g_moduleData);
                }
            }
        }
        return g_bridgeContext;
    }
    if (!g_scanContext) {
        // Scanned pages keep nothing between runs of the program.
        WebKitWebsiteDataManager* manager = webkit_website_data_manager_new_ephemeral();
        webkit_website_data_manager_set_tls_errors_policy(manager, WEBKIT_TLS_ERRORS_POLICY_IGNORE);
        g_scanContext = webkit_web_context_new_with_website_data_manager(manager);
        g_object_unref(manager);
    }
    return g_scanContext;
}

void ApplyStandardPreferences(WebKitWebView* view) {
    const Preferences& prefs = StandardPreferenceValues();
    WebKitSettings* settings = webkit_web_view_get_settings(view);
    webkit_settings_set_enable_html5_local_storage(settings, prefs.localStorage);
    // The shared preferences (web security off) are meant for the program's own page, a local
    // file that reports to wherever the user points it. A scanned page is a stranger's code:
    // it runs as a browser would run it, with cross-origin reads under CORS and no access to
    // local files, whatever the shared preferences say.
    const bool ownPage = webkit_web_view_get_context(view) == g_bridgeContext;
    const bool relaxed = ownPage && !prefs.webSecurity;
    webkit_settings_set_disable_web_security(settings, relaxed);
    webkit_settings_set_allow_file_access_from_file_urls(settings, relaxed);
    webkit_settings_set_allow_universal_access_from_file_urls(settings, relaxed);
    // Pages may open windows without a user gesture, so that a scanned page's popups open
    // and are watched.
    webkit_settings_set_javascript_can_open_windows_automatically(settings, TRUE);
}

HWND g_none = nullptr;

class WebView;
std::set<WebView*>& LiveViews() {
    static std::set<WebView*> views;
    return views;
}

struct ResourceWatch {
    WebView* view;
    unsigned long identifier;
    bool reported = false;  // a response of this load reached the delegate
};

class Frame : public ComObject<IWebFrame, &IID_IWebFrame> {
public:
    explicit Frame(WebView* view) : m_view(view) {}
    HRESULT name(BSTR* result) override {
        if (!result) return E_POINTER;
        *result = SysAllocString(u"");
        return S_OK;
    }
    HRESULT webView(IWebView** result) override;
    HRESULT loadRequest(IWebURLRequest* request) override;
    JSGlobalContextRef globalContext() override { return nullptr; }

private:
    WebView* m_view;
};

class WebView : public ComObject<IWebView, &IID_IWebView>, public IWebViewPrivate {
public:
    WebView() { LiveViews().insert(this); }
    ~WebView() override {
        LiveViews().erase(this);
        Disconnect();
        SetDelegate<IWebUIDelegate>(m_uiDelegate, nullptr);
        SetDelegate<IWebFrameLoadDelegate>(m_frameLoadDelegate, nullptr);
        SetDelegate<IWebPolicyDelegate>(m_policyDelegate, nullptr);
        SetDelegate<IWebResourceLoadDelegate>(m_resourceLoadDelegate, nullptr);
    }

    HRESULT QueryInterface(REFIID riid, void** object) override {
        if (object && IsEqualGUID(riid, IID_IWebViewPrivate)) {
            *object = static_cast<IWebViewPrivate*>(this);
            AddRef();
            return S_OK;
        }
        return ComObject::QueryInterface(riid, object);
    }
    ULONG AddRef() override { return ComObject::AddRef(); }
    ULONG Release() override { return ComObject::Release(); }

    // ---- IWebView ----

    HRESULT initWithFrame(RECT frame, BSTR, BSTR) override {
        if (m_view) return E_FAIL;
        if (!m_host || !win32::WidgetOf(m_host)) return E_FAIL;
        GtkWidget* widget = nullptr;
        if (g_pendingOpener) {
            widget = webkit_web_view_new_with_related_view(g_pendingOpener);
        } else {
            widget = GTK_WIDGET(
                g_object_new(WEBKIT_TYPE_WEB_VIEW, "web-context", ContextFor(m_kind), nullptr));
        }
        if (!widget) return E_FAIL;
        m_view = WEBKIT_WEB_VIEW(widget);
        g_object_ref_sink(m_view);
        ApplyStandardPreferences(m_view);
        m_viewWindow = win32::WrapChildWidget(widget, m_host);
        if (!m_viewWindow) return E_FAIL;
        MoveWindow(m_viewWindow, frame.left, frame.top, frame.right - frame.left,
                   frame.bottom - frame.top, FALSE);
        Connect();
        // A view whose UI delegate takes no drag of any kind is not a drop target at all.
        int mask = -1;
        if (m_uiDelegate &&
            SUCCEEDED(
                m_uiDelegate->dragDestinationActionMaskForDraggingInfo(this, nullptr, &mask)) &&
            mask == 0) {
            gtk_drag_dest_unset(widget);
        }
        return S_OK;
    }
    HRESULT setUIDelegate(IWebUIDelegate* d) override { return SetDelegate(m_uiDelegate, d); }
    HRESULT uiDelegate(IWebUIDelegate** d) override { return GetDelegate(m_uiDelegate, d); }
    HRESULT setResourceLoadDelegate(IWebResourceLoadDelegate* d) override {
        return SetDelegate(m_resourceLoadDelegate, d);
    }
    HRESULT resourceLoadDelegate(IWebResourceLoadDelegate** d) override {
        return GetDelegate(m_resourceLoadDelegate, d);
    }
    HRESULT setFrameLoadDelegate(IWebFrameLoadDelegate* d) override {
        return SetDelegate(m_frameLoadDelegate, d);
    }
    HRESULT frameLoadDelegate(IWebFrameLoadDelegate** d) override {
        return GetDelegate(m_frameLoadDelegate, d);
    }
    HRESULT setPolicyDelegate(IWebPolicyDelegate* d) override {
        return SetDelegate(m_policyDelegate, d);
    }
    HRESULT policyDelegate(IWebPolicyDelegate** d) override {
        return GetDelegate(m_policyDelegate, d);
    }
    HRESULT mainFrame(IWebFrame** frame) override {
        if (!frame) return E_POINTER;
        *frame = nullptr;
        if (!m_view) return E_FAIL;
        *frame = new Frame(this);
        return S_OK;
    }
    HRESULT setHostWindow(HWND window) override {
        m_host = window;
        return S_OK;
    }
    HRESULT hostWindow(HWND* window) override {
        if (!window) return E_POINTER;
        *window = m_host;
        return S_OK;
    }
    HRESULT mainFrameURL(BSTR* url) override {
        if (!url) return E_POINTER;
        *url = AllocBstr(m_view ? webkit_web_view_get_uri(m_view) : nullptr);
        return S_OK;
    }
    HRESULT estimatedProgress(double* progress) override {
        if (!progress) return E_POINTER;
        *progress = m_view ? webkit_web_view_get_estimated_load_progress(m_view) : 0.0;
        return S_OK;
    }
    HRESULT close() override {
        if (!m_view) return S_OK;
        Disconnect();
        GtkWidget* widget = GTK_WIDGET(m_view);
        win32::ForgetChildWidget(m_viewWindow);
        m_viewWindow = nullptr;
        gtk_widget_destroy(widget);
        g_object_unref(m_view);
        m_view = nullptr;
        return S_OK;
    }

    // ---- IWebViewPrivate ----

    HRESULT viewWindow(HWND* window) override {
        if (!window) return E_POINTER;
        *window = m_viewWindow;
        return m_viewWindow ? S_OK : E_FAIL;
    }
    HRESULT setContextKind(WebViewContextKind kind) override {
        if (m_view) return E_FAIL;
        m_kind = kind;
        return S_OK;
    }
    HRESULT pageIdentifier(std::uint64_t* identifier) override {
        if (!identifier) return E_POINTER;
        *identifier = m_view ? webkit_web_view_get_page_id(m_view) : 0;
        return m_view ? S_OK : E_FAIL;
    }

    // ---- Used by the engine layer ----

    WebKitWebView* widget() const { return m_view; }

    void LoadUrl(const std::string& url) {
        if (!m_view) return;
        WebKitURIRequest* request = webkit_uri_request_new(url.c_str());
        webkit_web_view_load_request(m_view, request);
        g_object_unref(request);
    }

    void WindowObjectCleared() {
        if (!m_frameLoadDelegate) return;
        Frame* frame = new Frame(this);
        m_frameLoadDelegate->didClearWindowObject(this, nullptr, nullptr, frame);
        frame->Release();
    }

private:
    template <class T>
    HRESULT SetDelegate(T*& slot, T* value) {
        if (value) value->AddRef();
        if (slot) slot->Release();
        slot = value;
        return S_OK;
    }
    template <class T>
    HRESULT GetDelegate(T* slot, T** out) {
        if (!out) return E_POINTER;
        *out = slot;
        if (slot) slot->AddRef();
        return S_OK;
    }

    void Connect() {
        m_handlers.push_back(
            g_signal_connect(m_view, "load-changed", G_CALLBACK(OnLoadChanged), this));
        m_handlers.push_back(
            g_signal_connect(m_view, "load-failed", G_CALLBACK(OnLoadFailed), this));
        m_handlers.push_back(g_signal_connect(m_view, "notify::estimated-load-progress",
                                              G_CALLBACK(OnProgress), this));
        m_handlers.push_back(
            g_signal_connect(m_view, "script-dialog", G_CALLBACK(OnScriptDialog), this));
        m_handlers.push_back(
            g_signal_connect(m_view, "context-menu", G_CALLBACK(OnContextMenu), this));
        m_handlers.push_back(
            g_signal_connect(m_view, "decide-policy", G_CALLBACK(OnDecidePolicy), this));
        m_handlers.push_back(g_signal_connect(m_view, "create", G_CALLBACK(OnCreate), this));
        m_handlers.push_back(g_signal_connect(m_view, "resource-load-started",
                                              G_CALLBACK(OnResourceLoadStarted), this));
        WebKitWindowProperties* properties = webkit_web_view_get_window_properties(m_view);
        m_geometryHandler =
            g_signal_connect(properties, "notify::geometry", G_CALLBACK(OnGeometry), this);
    }

    void Disconnect() {
        if (!m_view) return;
        for (gulong handler : m_handlers) g_signal_handler_disconnect(m_view, handler);
        m_handlers.clear();
        if (m_geometryHandler) {
            g_signal_handler_disconnect(webkit_web_view_get_window_properties(m_view),
                                        m_geometryHandler);
            m_geometryHandler = 0;
        }
    }

    static void OnLoadChanged(WebKitWebView*, WebKitLoadEvent event, gpointer data) {
        auto* self = static_cast<WebView*>(data);
        self->AddRef();
        switch (event) {
            case WEBKIT_LOAD_STARTED:
                self->m_committed = false;
                self->m_failed = false;
                if (self->m_frameLoadDelegate) {
                    Frame* frame = new Frame(self);
                    self->m_frameLoadDelegate->didStartProvisionalLoadForFrame(self, frame);
                    frame->Release();
                }
                PostNotification(kProgressStarted, static_cast<IWebView*>(self));
                break;
            case WEBKIT_LOAD_COMMITTED:
                self->m_committed = true;
                if (self->m_frameLoadDelegate) {
                    Frame* frame = new Frame(self);
                    self->m_frameLoadDelegate->didCommitLoadForFrame(self, frame);
                    frame->Release();
                }
                break;
            case WEBKIT_LOAD_FINISHED:
                if (!self->m_failed && self->m_frameLoadDelegate) {
                    Frame* frame = new Frame(self);
                    self->m_frameLoadDelegate->didFinishLoadForFrame(self, frame);
                    frame->Release();
                }
                if (self->m_view) {
                    PostNotification(kProgressFinished, static_cast<IWebView*>(self));
                }
                break;
            default:
                break;
        }
        self->Release();
    }

    static gboolean OnLoadFailed(WebKitWebView*, WebKitLoadEvent event, gchar* uri, GError* error,
                                 gpointer data) {
        auto* self = static_cast<WebView*>(data);
        self->m_failed = true;
        if (!self->m_frameLoadDelegate) return FALSE;
        self->AddRef();
        IWebError* webError = MakeError(error ? error->code : 0, error ? error->message : "", uri);
        Frame* frame = new Frame(self);
        if (!self->m_committed) {
            self->m_frameLoadDelegate->didFailProvisionalLoadWithError(self, webError, frame);
        } else {
            self->m_frameLoadDelegate->didFailLoadWithError(self, webError, frame);
        }
        frame->Release();
        webError->Release();
        self->Release();
        // The engine's own error page shows what failed.
        return FALSE;
    }

    static void OnProgress(GObject*, GParamSpec*, gpointer data) {
        auto* self = static_cast<WebView*>(data);
        PostNotification(kProgressEstimateChanged, static_cast<IWebView*>(self));
    }

    static gboolean OnScriptDialog(WebKitWebView*, WebKitScriptDialog* dialog, gpointer data) {
        auto* self = static_cast<WebView*>(data);
        if (!self->m_uiDelegate) return FALSE;
        BSTR message = AllocBstr(webkit_script_dialog_get_message(dialog));
        if (!message) message = SysAllocString(u"");
        gboolean handled = FALSE;
        self->AddRef();
        switch (webkit_script_dialog_get_dialog_type(dialog)) {
            case WEBKIT_SCRIPT_DIALOG_ALERT:
                handled = SUCCEEDED(
                    self->m_uiDelegate->runJavaScriptAlertPanelWithMessage(self, message));
                break;
            case WEBKIT_SCRIPT_DIALOG_CONFIRM: {
                BOOL answer = FALSE;
                handled = SUCCEEDED(self->m_uiDelegate->runJavaScriptConfirmPanelWithMessage(
                    self, message, &answer));
                if (handled) webkit_script_dialog_confirm_set_confirmed(dialog, answer != FALSE);
                break;
            }
            default:
                break;
        }
        self->Release();
        SysFreeString(message);
        return handled;
    }

    static UINT MenuIdentifier(WebKitContextMenuAction action) {
        switch (action) {
            case WEBKIT_CONTEXT_MENU_ACTION_COPY:
                return 8;
            case WEBKIT_CONTEXT_MENU_ACTION_GO_BACK:
                return 9;
            case WEBKIT_CONTEXT_MENU_ACTION_GO_FORWARD:
                return 10;
            case WEBKIT_CONTEXT_MENU_ACTION_STOP:
                return 11;
            case WEBKIT_CONTEXT_MENU_ACTION_RELOAD:
                return 12;
            case WEBKIT_CONTEXT_MENU_ACTION_CUT:
                return 13;
            case WEBKIT_CONTEXT_MENU_ACTION_PASTE:
                return 14;
            default:
                // Every other action keeps an identifier of its own, clear of the ones above.
                return 1000 + static_cast<UINT>(action);
        }
    }

    static gboolean OnContextMenu(WebKitWebView*, WebKitContextMenu* menu, GdkEvent*,
                                  WebKitHitTestResult*, gpointer data) {
        auto* self = static_cast<WebView*>(data);
        if (!self->m_uiDelegate) return FALSE;
        HMENU__ native;
        for (GList* item = webkit_context_menu_get_items(menu); item; item = item->next) {
            auto* entry = static_cast<WebKitContextMenuItem*>(item->data);
            HMENU__::Item converted;
            converted.id = MenuIdentifier(webkit_context_menu_item_get_stock_action(entry));
            converted.type = webkit_context_menu_item_is_separator(entry) ? 0x800 : 0;
            converted.tag = entry;
            native.items.push_back(converted);
        }
        HMENU result = nullptr;
        self->AddRef();
        HRESULT hr =
            self->m_uiDelegate->contextMenuItemsForElement(self, nullptr, &native, &result);
        self->Release();
        if (FAILED(hr) || result != &native) return FALSE;
        // Remove from the engine's menu every item the delegate took out.
        std::set<void*> kept;
        for (const auto& item : native.items) kept.insert(item.tag);
        GList* items = g_list_copy(webkit_context_menu_get_items(menu));
        for (GList* item = items; item; item = item->next) {
            if (!kept.count(item->data)) {
                webkit_context_menu_remove(menu, static_cast<WebKitContextMenuItem*>(item->data));
            }
        }
        g_list_free(items);
        return FALSE;
    }

    static gboolean OnDecidePolicy(WebKitWebView*, WebKitPolicyDecision* decision,
                                   WebKitPolicyDecisionType type, gpointer data) {
        auto* self = static_cast<WebView*>(data);
        if (type != WEBKIT_POLICY_DECISION_TYPE_NEW_WINDOW_ACTION || !self->m_policyDelegate) {
            return FALSE;
        }
        WebKitNavigationAction* action = webkit_navigation_policy_decision_get_navigation_action(
            WEBKIT_NAVIGATION_POLICY_DECISION(decision));
        WebKitURIRequest* uriRequest = webkit_navigation_action_get_request(action);
        IWebURLRequest* request = MakeRequest(webkit_uri_request_get_uri(uriRequest));
        BSTR frameName = AllocBstr(webkit_navigation_action_get_frame_name(action));
        self->AddRef();
        HRESULT hr = self->m_policyDelegate->decidePolicyForNewWindowAction(self, nullptr, request,
                                                                            frameName, nullptr);
        self->Release();
        SysFreeString(frameName);
        request->Release();
        if (FAILED(hr)) return FALSE;
        // The delegate answered without using its listener: the engine's new window never
        // comes, whatever the delegate did with the address itself.
        webkit_policy_decision_ignore(decision);
        return TRUE;
    }

    static GtkWidget* OnCreate(WebKitWebView*, WebKitNavigationAction* action, gpointer data) {
        auto* self = static_cast<WebView*>(data);
        if (!self->m_uiDelegate) return nullptr;
        WebKitURIRequest* uriRequest = webkit_navigation_action_get_request(action);
        IWebURLRequest* request =
            MakeRequest(uriRequest ? webkit_uri_request_get_uri(uriRequest) : "");
        IWebView* created = nullptr;
        WebKitWebView* previousOpener = g_pendingOpener;
        g_pendingOpener = self->m_view;
        self->AddRef();
        self->m_uiDelegate->createWebViewWithRequest(self, request, &created);
        self->Release();
        g_pendingOpener = previousOpener;
        request->Release();
        if (!created) return nullptr;
        GtkWidget* widget = nullptr;
        IWebViewPrivate* priv = nullptr;
        if (SUCCEEDED(
                created->QueryInterface(IID_IWebViewPrivate, reinterpret_cast<void**>(&priv)))) {
            auto* view = static_cast<WebView*>(priv);
            if (view->m_view) widget = GTK_WIDGET(view->m_view);
            priv->Release();
        }
        created->Release();
        return widget;
    }

    static void OnGeometry(GObject*, GParamSpec*, gpointer data) {
        auto* self = static_cast<WebView*>(data);
        if (!self->m_uiDelegate || !self->m_view) return;
        GdkRectangle geometry;
        webkit_window_properties_get_geometry(webkit_web_view_get_window_properties(self->m_view),
                                              &geometry);
        if (geometry.width <= 0 || geometry.height <= 0) return;
        RECT rect{geometry.x, geometry.y, geometry.x + geometry.width,
                  geometry.y + geometry.height};
        self->m_uiDelegate->setFrame(self, &rect);
    }

    static void OnResourceLoadStarted(WebKitWebView*, WebKitWebResource* resource,
                                      WebKitURIRequest*, gpointer data) {
        auto* self = static_cast<WebView*>(data);
        auto* watch = new ResourceWatch{self, ++g_nextResourceIdentifier};
        g_signal_connect_data(resource, "notify::response", G_CALLBACK(OnResourceResponse), watch,
                              nullptr, GConnectFlags(0));
        g_signal_connect_data(resource, "failed", G_CALLBACK(OnResourceFailed), watch, nullptr,
                              GConnectFlags(0));
        g_signal_connect_data(
            resource, "sent-request", G_CALLBACK(OnResourceRedirect), watch,
            [](gpointer w, GClosure*) { delete static_cast<ResourceWatch*>(w); }, GConnectFlags(0));
    }

    static void OnResourceRedirect(WebKitWebResource*, WebKitURIRequest*,
                                   WebKitURIResponse* redirected, gpointer data) {
        if (redirected) Report(static_cast<ResourceWatch*>(data), redirected);
    }

    // A load that ends without any response is still a request the page made: the engine
    // refuses a cross-origin answer that CORS does not allow before it becomes the resource's
    // response, and a failed connection has none. Such a load is reported without a type and
    // with an unknown size. Loads cancelled (a stopped page, a closed window) are not.
    static void OnResourceFailed(WebKitWebResource* resource, GError* error, gpointer data) {
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
        IWebURLResponse* wrapped = MakeResponse(uri ? uri : "", "", true, -1);
        self->AddRef();
        self->m_resourceLoadDelegate->didReceiveResponse(self, watch->identifier, wrapped, nullptr);
        self->Release();
        wrapped->Release();
    }

    static void OnResourceResponse(WebKitWebResource* resource, GParamSpec*, gpointer data) {
        Report(static_cast<ResourceWatch*>(data), webkit_web_resource_get_response(resource));
    }

    static void Report(ResourceWatch* watch, WebKitURIResponse* response) {
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
        IWebURLResponse* wrapped =
            MakeResponse(uri ? uri : "", mime ? mime : "", mime != nullptr, length);
        watch->reported = true;
        self->AddRef();
        self->m_resourceLoadDelegate->didReceiveResponse(self, watch->identifier, wrapped, nullptr);
        self->Release();
        wrapped->Release();
    }

    WebKitWebView* m_view = nullptr;
    HWND m_host = nullptr;
    HWND m_viewWindow = nullptr;
    WebViewContextKind m_kind = WebViewContextScan;
    IWebUIDelegate* m_uiDelegate = nullptr;
    IWebFrameLoadDelegate* m_frameLoadDelegate = nullptr;
    IWebPolicyDelegate* m_policyDelegate = nullptr;
    IWebResourceLoadDelegate* m_resourceLoadDelegate = nullptr;
    std::vector<gulong> m_handlers;
    gulong m_geometryHandler = 0;
    bool m_committed = false;
    bool m_failed = false;

    friend class Frame;
};

HRESULT Frame::webView(IWebView** result) {
    if (!result) return E_POINTER;
    *result = m_view;
    m_view->AddRef();
    return S_OK;
}

HRESULT Frame::loadRequest(IWebURLRequest* request) {
    if (!request) return E_POINTER;
    if (!LiveViews().count(m_view) || !m_view->widget()) return E_FAIL;
    m_view->LoadUrl(RequestUrl(request));
    return S_OK;
}

}  // namespace

IUnknown* MakeWebView() {
    return static_cast<IWebView*>(new WebView);
}

void NotifyWindowObjectCleared(std::uint64_t pageIdentifier, bool) {
    // Copy: a delegate may create or close views while being told.
    std::set<WebView*> views = LiveViews();
    for (WebView* view : views) {
        if (!LiveViews().count(view) || !view->widget()) continue;
        if (webkit_web_view_get_page_id(view->widget()) == pageIdentifier) {
            view->AddRef();
            view->WindowObjectCleared();
            view->Release();
        }
    }
}

void ShutDown() {
    if (g_bridgeContext) g_object_unref(g_bridgeContext);
    if (g_scanContext) g_object_unref(g_scanContext);
    g_bridgeContext = nullptr;
    g_scanContext = nullptr;
}

void SetBridgeModule(const char* directory, GVariant* data) {
    g_moduleDirectory = directory ? directory : "";
    if (g_moduleData) g_variant_unref(g_moduleData);
    g_moduleData = data ? g_variant_ref_sink(data) : nullptr;
}

}  // namespace wk

HRESULT WebKitCreateInstance(REFCLSID clsid, IUnknown* outer, REFIID riid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (outer) return static_cast<HRESULT>(0x80040110u);  // CLASS_E_NOAGGREGATION
    IUnknown* created = nullptr;
    if (IsEqualGUID(clsid, CLSID_WebView)) {
        created = wk::MakeWebView();
    } else if (IsEqualGUID(clsid, CLSID_WebPreferences)) {
        created = wk::MakePreferences();
    } else if (IsEqualGUID(clsid, CLSID_WebNotificationCenter)) {
        created = wk::MakeNotificationCenter();
    } else if (IsEqualGUID(clsid, CLSID_WebMutableURLRequest)) {
        created = wk::MakeRequest("");
    } else {
        return static_cast<HRESULT>(0x80040154u);  // REGDB_E_CLASSNOTREG
    }
    HRESULT hr = created->QueryInterface(riid, object);
    created->Release();
    return hr;
}

void shutDownWebKit() {
    wk::ShutDown();
}

void WebKitSetBridgeModule(const char* directory, _GVariant* initializationData) {
    wk::SetBridgeModule(directory, initializationData);
}

void WebKitNotifyWindowObjectCleared(std::uint64_t pageIdentifier, bool mainFrame) {
    wk::NotifyWindowObjectCleared(pageIdentifier, mainFrame);
}
