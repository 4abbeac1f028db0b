// The view and frame objects. The view's methods are in view.cpp, the translation of the
// widget's signals in signals.cpp and the reports of its resource loads in resources.cpp.
#pragma once

#include <webkit2/webkit2.h>

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "com.h"
#include "internal.h"
#include "webkitcom/WebKit.h"

namespace wk {

class WebView;
class ScriptDialogAnswer;

// Every view object not yet deleted. Callbacks that may outlive a view check it here.
std::set<WebView*>& LiveViews();

// The view that a page's request for a new view is being answered for; a view made while it
// is set becomes related to it, as the engine requires of views handed back from "create".
extern WebKitWebView* g_pendingOpener;

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
    HRESULT loadHTMLString(BSTR string, BSTR baseURL) override;
    JSGlobalContextRef globalContext() override { return nullptr; }

private:
    WebView* m_view;
};

class WebView : public ComObject<IWebView, &IID_IWebView>, public IWebViewPrivate {
public:
    WebView();
    ~WebView() override;

    HRESULT QueryInterface(REFIID riid, void** object) override;
    ULONG AddRef() override { return ComObject::AddRef(); }
    ULONG Release() override { return ComObject::Release(); }

    // ---- IWebView ----

    HRESULT initWithFrame(RECT frame, BSTR, BSTR) override;
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
    HRESULT mainFrame(IWebFrame** frame) override;
    HRESULT setHostWindow(HWND window) override {
        m_host = window;
        return S_OK;
    }
    HRESULT hostWindow(HWND* window) override {
        if (!window) return E_POINTER;
        *window = m_host;
        return S_OK;
    }
    HRESULT mainFrameURL(BSTR* url) override;
    HRESULT estimatedProgress(double* progress) override;
    HRESULT close() override;

    // ---- IWebViewPrivate ----

    HRESULT viewWindow(HWND* window) override;
    HRESULT setContextKind(WebViewContextKind kind) override;
    HRESULT pageIdentifier(std::uint64_t* identifier) override;
    HRESULT endPage() override;

    // ---- Used by the engine layer ----

    WebKitWebView* widget() const { return m_view; }
    void LoadUrl(const std::string& url);
    void LoadHtml(const std::string& html, const std::string& baseUrl);
    void WindowObjectCleared();
    // Tells the frame load delegate how a download of this view's page ended: `failure` is
    // empty when the file was written to `path`.
    void DownloadEnded(const std::string& suggestedName, const std::string& path,
                       const std::string& failure);

private:
    template <class T>
    HRESULT SetDelegate(T*& delegate, T* value) {
        if (value) value->AddRef();
        if (delegate) delegate->Release();
        delegate = value;
        return S_OK;
    }
    template <class T>
    HRESULT GetDelegate(T* delegate, T** out) {
        if (!out) return E_POINTER;
        *out = delegate;
        if (delegate) delegate->AddRef();
        return S_OK;
    }

    // signals.cpp: the widget's signals, turned into delegate calls and notifications.
    void Connect();
    void Disconnect();
    static void OnLoadChanged(WebKitWebView*, WebKitLoadEvent event, gpointer data);
    static gboolean OnLoadFailed(WebKitWebView*, WebKitLoadEvent event, gchar* uri, GError* error,
                                 gpointer data);
    static void OnProgress(GObject*, GParamSpec*, gpointer data);
    static gboolean OnContextMenu(WebKitWebView*, WebKitContextMenu* menu, GdkEvent*,
                                  WebKitHitTestResult*, gpointer data);
    static gboolean OnDecidePolicy(WebKitWebView*, WebKitPolicyDecision* decision,
                                   WebKitPolicyDecisionType type, gpointer data);
    static GtkWidget* OnCreate(WebKitWebView*, WebKitNavigationAction* action, gpointer data);
    static void OnGeometry(GObject*, GParamSpec*, gpointer data);

    // dialogs.cpp: script dialogs, answered by the UI delegate now or later. Dialogs still
    // open when the view closes are answered as dismissed: the engine must not hear of them
    // after its view went.
    static gboolean OnScriptDialog(WebKitWebView*, WebKitScriptDialog* dialog, gpointer data);
    void DismissScriptDialogs();

    // process.cpp: the end of the view's web process, told to the frame load delegate.
    void ConnectProcessWatch();
    static void OnWebProcessTerminated(WebKitWebView*, WebKitWebProcessTerminationReason reason,
                                       gpointer data);

    // resources.cpp: each resource load, reported to the resource load delegate.
    static void OnResourceLoadStarted(WebKitWebView*, WebKitWebResource* resource,
                                      WebKitURIRequest*, gpointer data);
    static void OnResourceRedirect(WebKitWebResource*, WebKitURIRequest*,
                                   WebKitURIResponse* redirected, gpointer data);
    static void OnResourceFailed(WebKitWebResource* resource, GError* error, gpointer data);
    static void OnResourceResponse(WebKitWebResource* resource, GParamSpec*, gpointer data);
    struct ResourceWatch;
    // `redirectTo`: the address a redirect response sends the load to; null for any other.
    // `resource`: the load whose body the final response's body is.
    static void Report(ResourceWatch* watch, WebKitURIResponse* response,
                       const char* redirectTo = nullptr, WebKitWebResource* resource = nullptr);
    static ResponseLoad LoadOf(ResourceWatch* watch, const char* redirectTo);

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
    std::set<ScriptDialogAnswer*> m_openDialogs;

    friend class Frame;
    friend class ScriptDialogAnswer;
};

}  // namespace wk
