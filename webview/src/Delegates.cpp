// The working delegates: each finds the window of the calling view and calls its hook.
#include "webview/Delegates.h"

#include "webview/WebKitWindow.h"

CWebKitWindow* WindowForView(IWebView* webView) {
    if (!webView) return nullptr;
    HWND host = nullptr;
    if (FAILED(webView->hostWindow(&host))) return nullptr;
    return CWebKitWindow::WindowFromHandle(host);
}

// ---- Frame load -----------------------------------------------------------------------------

HRESULT CDefFrameLoadDelegate::didFailProvisionalLoadWithError(IWebView* webView, IWebError* error,
                                                               IWebFrame* frame) {
    if (CWebKitWindow* window = WindowForView(webView))
        window->OnProvisionalLoadFailed(error, frame);
    return S_OK;
}

HRESULT CDefFrameLoadDelegate::didFinishLoadForFrame(IWebView* webView, IWebFrame*) {
    CWebKitWindow* window = WindowForView(webView);
    if (!window) return S_OK;
    BSTR url = nullptr;
    webView->mainFrameURL(&url);
    window->OnLoadFinished(url);
    SysFreeString(url);
    return S_OK;
}

HRESULT CDefFrameLoadDelegate::didFailLoadWithError(IWebView* webView, IWebError* error,
                                                    IWebFrame* frame) {
    if (CWebKitWindow* window = WindowForView(webView)) window->OnLoadFailed(error, frame);
    return S_OK;
}

HRESULT CDefFrameLoadDelegate::didCommitLoadForFrame(IWebView* webView, IWebFrame*) {
    if (CWebKitWindow* window = WindowForView(webView)) window->NoteLoadCommitted();
    return S_OK;
}

HRESULT CDefFrameLoadDelegate::didClearWindowObject(IWebView* webView, JSContextRef context,
                                                    JSObjectRef windowObject, IWebFrame* frame) {
    if (CWebKitWindow* window = WindowForView(webView)) {
        window->OnWindowObjectCleared(context, windowObject, frame);
    }
    return S_OK;
}

HRESULT CDefFrameLoadDelegate::QueryInterface(REFIID riid, void** object) {
    if (object && IsEqualGUID(riid, IID_IWebFrameLoadDelegatePrivate)) {
        *object = static_cast<IWebFrameLoadDelegatePrivate*>(this);
        AddRef();
        return S_OK;
    }
    if (object && IsEqualGUID(riid, IID_IWebDownloadDelegate)) {
        *object = static_cast<IWebDownloadDelegate*>(this);
        AddRef();
        return S_OK;
    }
    return CEmptyFrameLoadDelegate::QueryInterface(riid, object);
}

HRESULT CDefFrameLoadDelegate::webViewProcessDidTerminate(IWebView* webView,
                                                          WebProcessTerminationReason reason) {
    if (CWebKitWindow* window = WindowForView(webView)) window->OnWebProcessTerminated(reason);
    return S_OK;
}

namespace {
std::u16string TextOf(BSTR text) {
    return text ? std::u16string(text) : std::u16string();
}
}  // namespace

HRESULT CDefFrameLoadDelegate::didFinishDownload(IWebView* webView, BSTR suggestedName, BSTR path) {
    if (CWebKitWindow* window = WindowForView(webView)) {
        window->OnDownloadEnded(TextOf(suggestedName), TextOf(path), std::u16string());
    }
    return S_OK;
}

HRESULT CDefFrameLoadDelegate::didFailDownload(IWebView* webView, BSTR suggestedName, BSTR reason) {
    std::u16string failure = TextOf(reason);
    if (failure.empty()) failure = u"failed";
    if (CWebKitWindow* window = WindowForView(webView)) {
        window->OnDownloadEnded(TextOf(suggestedName), std::u16string(), failure);
    }
    return S_OK;
}

// ---- UI -------------------------------------------------------------------------------------

HRESULT CDefUIDelegate::createWebViewWithRequest(IWebView* sender, IWebURLRequest* request,
                                                 IWebView** newWebView) {
    CWebKitWindow* window = WindowForView(sender);
    if (!window) return S_OK;
    BSTR url = nullptr;
    HRESULT hr = request ? request->URL(&url) : E_POINTER;
    if (FAILED(hr)) url = nullptr;
    window->OnCreateWebView(url, newWebView);
    SysFreeString(url);
    return hr;
}

HRESULT CDefUIDelegate::setFrame(IWebView* sender, RECT* frame) {
    if (CWebKitWindow* window = WindowForView(sender)) window->SetWindowFrame(frame);
    return S_OK;
}

HRESULT CDefUIDelegate::webViewFrame(IWebView* sender, RECT* frame) {
    if (CWebKitWindow* window = WindowForView(sender)) window->GetWindowFrame(frame);
    return S_OK;
}

HRESULT CDefUIDelegate::runJavaScriptAlertPanelWithMessage(IWebView* sender, BSTR message) {
    if (CWebKitWindow* window = WindowForView(sender)) window->RunAlert(message);
    return S_OK;
}

HRESULT CDefUIDelegate::runJavaScriptConfirmPanelWithMessage(IWebView* sender, BSTR message,
                                                             BOOL* result) {
    if (CWebKitWindow* window = WindowForView(sender)) window->RunConfirm(message, result);
    return S_OK;
}

HRESULT CDefUIDelegate::QueryInterface(REFIID riid, void** object) {
    if (object && IsEqualGUID(riid, IID_IWebUIDelegatePrivate)) {
        *object = static_cast<IWebUIDelegatePrivate*>(this);
        AddRef();
        return S_OK;
    }
    return CEmptyUIDelegate::QueryInterface(riid, object);
}

HRESULT CDefUIDelegate::runJavaScriptDialogLater(IWebView* sender, WebScriptDialogKind kind,
                                                 BSTR message, BSTR defaultText,
                                                 IWebScriptDialogAnswer* answer) {
    CWebKitWindow* window = WindowForView(sender);
    if (!window || !answer) return E_NOTIMPL;
    return window->RunDialogLater(kind, message, defaultText, answer) ? S_OK : E_NOTIMPL;
}

HRESULT CDefUIDelegate::contextMenuItemsForElement(IWebView* sender, IPropertyBag* element,
                                                   HMENU defaultMenu, HMENU* newMenu) {
    if (CWebKitWindow* window = WindowForView(sender)) {
        window->OnContextMenu(element, defaultMenu, newMenu);
    }
    return S_OK;
}

HRESULT CDefUIDelegate::dragDestinationActionMaskForDraggingInfo(IWebView*, void*, int* mask) {
    // No view of this program takes anything dragged onto it.
    if (mask) *mask = 0;
    return S_OK;
}

// ---- Policy ---------------------------------------------------------------------------------

HRESULT CDefPolicyDelegate::decidePolicyForNewWindowAction(IWebView* webView, IPropertyBag*,
                                                           IWebURLRequest* request, BSTR frameName,
                                                           IWebPolicyDecisionListener*) {
    CWebKitWindow* window = WindowForView(webView);
    if (!window) return S_OK;
    BSTR url = nullptr;
    HRESULT hr = request ? request->URL(&url) : E_POINTER;
    if (FAILED(hr)) url = nullptr;
    window->OnNewWindowPolicy(url, frameName);
    SysFreeString(url);
    return hr;
}

// ---- Notifications --------------------------------------------------------------------------

HRESULT CDefNotificationObserver::onNotification(IWebNotification* notification) {
    if (!notification) return E_POINTER;
    BSTR name = nullptr;
    HRESULT hr = notification->name(&name);
    std::u16string text = name ? std::u16string(name) : std::u16string();
    SysFreeString(name);
    const bool started = text == kWebProgressStartedNotification;
    const bool changed = text == kWebProgressEstimateChangedNotification;
    const bool finished = text == kWebProgressFinishedNotification;
    if (!started && !changed && !finished) return hr;
    IUnknown* object = nullptr;
    hr = notification->getObject(&object);
    if (FAILED(hr) || !object) return hr;
    IWebView* webView = nullptr;
    if (FAILED(object->QueryInterface(IID_IWebView, reinterpret_cast<void**>(&webView)))) {
        object->Release();
        return hr;
    }
    object->Release();
    CWebKitWindow* window = WindowForView(webView);
    if (window) {
        if (started) {
            window->OnProgressStarted();
        } else if (changed) {
            double progress = 0;
            hr = webView->estimatedProgress(&progress);
            if (SUCCEEDED(hr)) {
                int percent = static_cast<int>(progress * 100.0);
                if (percent != window->m_lastProgress) {
                    window->m_lastProgress = percent;
                    window->OnProgressChanged(percent);
                }
            }
        } else {
            window->OnProgressFinished();
        }
    }
    webView->Release();
    return hr;
}
