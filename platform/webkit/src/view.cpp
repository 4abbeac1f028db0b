// IWebView and IWebFrame over WebKitWebView, and the layer's factory.
#include "view.h"
#include "cookies.h"

#include "contexts.h"
#include "internal.h"
#include "win32/gtkhandles.h"
#include "win32/text.h"

namespace wk {

WebKitWebView* g_pendingOpener = nullptr;

std::set<WebView*>& LiveViews() {
    static std::set<WebView*> views;
    return views;
}

// ---- Frame ----------------------------------------------------------------------------------

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

HRESULT Frame::loadHTMLString(BSTR string, BSTR baseURL) {
    if (!string) return E_POINTER;
    if (!LiveViews().count(m_view) || !m_view->widget()) return E_FAIL;
    const std::string base =
        baseURL ? win32::ToUtf8(std::u16string_view(baseURL, SysStringLen(baseURL))) : "";
    m_view->LoadHtml(win32::ToUtf8(std::u16string_view(string, SysStringLen(string))),
                     base.empty() ? "about:blank" : base);
    return S_OK;
}

// ---- View -----------------------------------------------------------------------------------

WebView::WebView() {
    LiveViews().insert(this);
}

WebView::~WebView() {
    DismissScriptDialogs();
    LiveViews().erase(this);
    Disconnect();
    SetDelegate<IWebUIDelegate>(m_uiDelegate, nullptr);
    SetDelegate<IWebFrameLoadDelegate>(m_frameLoadDelegate, nullptr);
    SetDelegate<IWebPolicyDelegate>(m_policyDelegate, nullptr);
    SetDelegate<IWebResourceLoadDelegate>(m_resourceLoadDelegate, nullptr);
}

HRESULT WebView::QueryInterface(REFIID riid, void** object) {
    if (object && IsEqualGUID(riid, IID_IWebViewPrivate)) {
        *object = static_cast<IWebViewPrivate*>(this);
        AddRef();
        return S_OK;
    }
    return ComObject::QueryInterface(riid, object);
}

HRESULT WebView::initWithFrame(RECT frame, BSTR, BSTR) {
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
    ConnectProcessWatch();
    // A view whose UI delegate takes no drag of any kind is not a drop target at all.
    int mask = -1;
    if (m_uiDelegate &&
        SUCCEEDED(m_uiDelegate->dragDestinationActionMaskForDraggingInfo(this, nullptr, &mask)) &&
        mask == 0) {
        gtk_drag_dest_unset(widget);
    }
    return S_OK;
}

HRESULT WebView::mainFrame(IWebFrame** frame) {
    if (!frame) return E_POINTER;
    *frame = nullptr;
    if (!m_view) return E_FAIL;
    *frame = new Frame(this);
    return S_OK;
}

HRESULT WebView::mainFrameURL(BSTR* url) {
    if (!url) return E_POINTER;
    *url = AllocBstr(m_view ? webkit_web_view_get_uri(m_view) : nullptr);
    return S_OK;
}

HRESULT WebView::estimatedProgress(double* progress) {
    if (!progress) return E_POINTER;
    *progress = m_view ? webkit_web_view_get_estimated_load_progress(m_view) : 0.0;
    return S_OK;
}

HRESULT WebView::close() {
    DismissScriptDialogs();
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

HRESULT WebView::viewWindow(HWND* window) {
    if (!window) return E_POINTER;
    *window = m_viewWindow;
    return m_viewWindow ? S_OK : E_FAIL;
}

HRESULT WebView::setContextKind(WebViewContextKind kind) {
    if (m_view) return E_FAIL;
    m_kind = kind;
    return S_OK;
}

HRESULT WebView::pageIdentifier(std::uint64_t* identifier) {
    if (!identifier) return E_POINTER;
    *identifier = m_view ? webkit_web_view_get_page_id(m_view) : 0;
    return m_view ? S_OK : E_FAIL;
}

HRESULT WebView::endPage() {
    if (!m_view) return E_FAIL;
    // Stopping the loads or loading another page would wait for the page's scripts (a loop
    // that starts loads holds the web process for as long as it runs), and the network
    // process would then drop each load on its own. Ending the process drops them all at once.
    if (webkit_web_view_get_uri(m_view)) webkit_web_view_terminate_web_process(m_view);
    return S_OK;
}

void WebView::LoadUrl(const std::string& url) {
    if (!m_view) return;
    WebKitURIRequest* request = webkit_uri_request_new(url.c_str());
    webkit_web_view_load_request(m_view, request);
    g_object_unref(request);
}

void WebView::LoadHtml(const std::string& html, const std::string& baseUrl) {
    if (!m_view) return;
    webkit_web_view_load_html(m_view, html.c_str(), baseUrl.c_str());
}

void WebView::WindowObjectCleared() {
    if (!m_frameLoadDelegate) return;
    Frame* frame = new Frame(this);
    m_frameLoadDelegate->didClearWindowObject(this, nullptr, nullptr, frame);
    frame->Release();
}

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
    } else if (IsEqualGUID(clsid, CLSID_WebCookieManager)) {
        created = wk::MakeCookieManager();
    } else {
        return static_cast<HRESULT>(0x80040154u);  // REGDB_E_CLASSNOTREG
    }
    HRESULT hr = created->QueryInterface(riid, object);
    created->Release();
    return hr;
}

void WebKitNotifyWindowObjectCleared(std::uint64_t pageIdentifier, bool mainFrame) {
    wk::NotifyWindowObjectCleared(pageIdentifier, mainFrame);
}
