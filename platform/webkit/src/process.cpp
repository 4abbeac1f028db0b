// The end of a view's web process (a crash, the memory limit, or the program ending it),
// told to the view's frame load delegate, which decides what the view shows instead.
#include "view.h"

namespace wk {
namespace {

WebProcessTerminationReason ReasonOf(WebKitWebProcessTerminationReason reason) {
    switch (reason) {
        case WEBKIT_WEB_PROCESS_EXCEEDED_MEMORY_LIMIT:
            return WebProcessExceededMemoryLimit;
        case WEBKIT_WEB_PROCESS_TERMINATED_BY_API:
            return WebProcessTerminatedByClient;
        default:
            return WebProcessCrashed;
    }
}

}  // namespace

void WebView::ConnectProcessWatch() {
    m_handlers.push_back(g_signal_connect(m_view, "web-process-terminated",
                                          G_CALLBACK(OnWebProcessTerminated), this));
}

void WebView::OnWebProcessTerminated(WebKitWebView*, WebKitWebProcessTerminationReason reason,
                                     gpointer data) {
    auto* self = static_cast<WebView*>(data);
    if (!self->m_frameLoadDelegate) return;
    // The delegate may load something into the view, or close it, while it is told.
    self->AddRef();
    IWebFrameLoadDelegatePrivate* delegate = nullptr;
    if (SUCCEEDED(self->m_frameLoadDelegate->QueryInterface(IID_IWebFrameLoadDelegatePrivate,
                                                            reinterpret_cast<void**>(&delegate))) &&
        delegate) {
        delegate->webViewProcessDidTerminate(self, ReasonOf(reason));
        delegate->Release();
    }
    self->Release();
}

}  // namespace wk
