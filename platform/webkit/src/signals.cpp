// The translation of a view widget's signals into delegate calls and notifications: loads
// and their progress, the context menu, new windows and window geometry.
#include <set>

#include "internal.h"
#include "view.h"
#include "win32/gtkhandles.h"

namespace wk {
namespace {

// The identifier a delegate sees for an item of the engine's context menu.
UINT MenuIdentifier(WebKitContextMenuAction action) {
    switch (action) {
        case WEBKIT_CONTEXT_MENU_ACTION_COPY:
            return WebContextMenuItemCopy;
        case WEBKIT_CONTEXT_MENU_ACTION_GO_BACK:
            return WebContextMenuItemGoBack;
        case WEBKIT_CONTEXT_MENU_ACTION_GO_FORWARD:
            return WebContextMenuItemGoForward;
        case WEBKIT_CONTEXT_MENU_ACTION_STOP:
            return WebContextMenuItemStop;
        case WEBKIT_CONTEXT_MENU_ACTION_RELOAD:
            return WebContextMenuItemReload;
        case WEBKIT_CONTEXT_MENU_ACTION_CUT:
            return WebContextMenuItemCut;
        case WEBKIT_CONTEXT_MENU_ACTION_PASTE:
            return WebContextMenuItemPaste;
        default:
            // Every other action keeps an identifier of its own, clear of the ones above.
            return kWebContextMenuItemOtherBase + static_cast<UINT>(action);
    }
}

}  // namespace

void WebView::Connect() {
    m_handlers.push_back(g_signal_connect(m_view, "load-changed", G_CALLBACK(OnLoadChanged), this));
    m_handlers.push_back(g_signal_connect(m_view, "load-failed", G_CALLBACK(OnLoadFailed), this));
    m_handlers.push_back(
        g_signal_connect(m_view, "notify::estimated-load-progress", G_CALLBACK(OnProgress), this));
    m_handlers.push_back(
        g_signal_connect(m_view, "script-dialog", G_CALLBACK(OnScriptDialog), this));
    m_handlers.push_back(g_signal_connect(m_view, "context-menu", G_CALLBACK(OnContextMenu), this));
    m_handlers.push_back(
        g_signal_connect(m_view, "decide-policy", G_CALLBACK(OnDecidePolicy), this));
    m_handlers.push_back(g_signal_connect(m_view, "create", G_CALLBACK(OnCreate), this));
    m_handlers.push_back(
        g_signal_connect(m_view, "resource-load-started", G_CALLBACK(OnResourceLoadStarted), this));
    WebKitWindowProperties* properties = webkit_web_view_get_window_properties(m_view);
    m_geometryHandler =
        g_signal_connect(properties, "notify::geometry", G_CALLBACK(OnGeometry), this);
}

void WebView::Disconnect() {
    if (!m_view) return;
    for (gulong handler : m_handlers) g_signal_handler_disconnect(m_view, handler);
    m_handlers.clear();
    if (m_geometryHandler) {
        g_signal_handler_disconnect(webkit_web_view_get_window_properties(m_view),
                                    m_geometryHandler);
        m_geometryHandler = 0;
    }
}

void WebView::OnLoadChanged(WebKitWebView*, WebKitLoadEvent event, gpointer data) {
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
            PostNotification(kWebProgressStartedNotification, static_cast<IWebView*>(self));
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
                PostNotification(kWebProgressFinishedNotification, static_cast<IWebView*>(self));
            }
            break;
        default:
            break;
    }
    self->Release();
}

gboolean WebView::OnLoadFailed(WebKitWebView*, WebKitLoadEvent event, gchar* uri, GError* error,
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

void WebView::OnProgress(GObject*, GParamSpec*, gpointer data) {
    auto* self = static_cast<WebView*>(data);
    PostNotification(kWebProgressEstimateChangedNotification, static_cast<IWebView*>(self));
}

gboolean WebView::OnContextMenu(WebKitWebView*, WebKitContextMenu* menu, GdkEvent*,
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
    HRESULT hr = self->m_uiDelegate->contextMenuItemsForElement(self, nullptr, &native, &result);
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

gboolean WebView::OnDecidePolicy(WebKitWebView*, WebKitPolicyDecision* decision,
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

GtkWidget* WebView::OnCreate(WebKitWebView*, WebKitNavigationAction* action, gpointer data) {
    auto* self = static_cast<WebView*>(data);
    if (!self->m_uiDelegate) return nullptr;
    WebKitURIRequest* uriRequest = webkit_navigation_action_get_request(action);
    IWebURLRequest* request = MakeRequest(uriRequest ? webkit_uri_request_get_uri(uriRequest) : "");
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
    if (SUCCEEDED(created->QueryInterface(IID_IWebViewPrivate, reinterpret_cast<void**>(&priv)))) {
        auto* view = static_cast<WebView*>(priv);
        if (view->m_view) widget = GTK_WIDGET(view->m_view);
        priv->Release();
    }
    created->Release();
    return widget;
}

void WebView::OnGeometry(GObject*, GParamSpec*, gpointer data) {
    auto* self = static_cast<WebView*>(data);
    if (!self->m_uiDelegate || !self->m_view) return;
    GdkRectangle geometry;
    webkit_window_properties_get_geometry(webkit_web_view_get_window_properties(self->m_view),
                                          &geometry);
    if (geometry.width <= 0 || geometry.height <= 0) return;
    RECT rect{geometry.x, geometry.y, geometry.x + geometry.width, geometry.y + geometry.height};
    self->m_uiDelegate->setFrame(self, &rect);
}

}  // namespace wk
