// The engine's delegate objects. For each interface a no-op class answers E_NOTIMPL to every
// method, and a working class turns the calls it cares about into the window's hooks.
// Delegates are embedded in their window; their count starts at 1, the window's own
// reference, which is never given up.
#pragma once

#include <cstdint>

#include "webkitcom/ComObject.h"
#include "webkitcom/WebKit.h"

class CWebKitWindow;

// Finds the window that hosts the calling view, or null.
CWebKitWindow* WindowForView(IWebView* webView);

// ---- Frame load -----------------------------------------------------------------------------

class CEmptyFrameLoadDelegate
    : public wk::ComObject<IWebFrameLoadDelegate, &IID_IWebFrameLoadDelegate> {
public:
    HRESULT didStartProvisionalLoadForFrame(IWebView*, IWebFrame*) override { return E_NOTIMPL; }
    HRESULT didReceiveServerRedirectForProvisionalLoadForFrame(IWebView*, IWebFrame*) override {
        return E_NOTIMPL;
    }
    HRESULT didFailProvisionalLoadWithError(IWebView*, IWebError*, IWebFrame*) override {
        return E_NOTIMPL;
    }
    HRESULT didCommitLoadForFrame(IWebView*, IWebFrame*) override { return E_NOTIMPL; }
    HRESULT didReceiveTitle(IWebView*, BSTR, IWebFrame*) override { return E_NOTIMPL; }
    HRESULT didChangeIcons(IWebView*, IWebFrame*) override { return E_NOTIMPL; }
    HRESULT didFinishLoadForFrame(IWebView*, IWebFrame*) override { return E_NOTIMPL; }
    HRESULT didFailLoadWithError(IWebView*, IWebError*, IWebFrame*) override { return E_NOTIMPL; }
    HRESULT didChangeLocationWithinPageForFrame(IWebView*, IWebFrame*) override {
        return E_NOTIMPL;
    }
    HRESULT willCloseFrame(IWebView*, IWebFrame*) override { return E_NOTIMPL; }
    HRESULT didClearWindowObject(IWebView*, JSContextRef, JSObjectRef, IWebFrame*) override {
        return E_NOTIMPL;
    }
};

// Also answers IWebFrameLoadDelegatePrivate and IWebDownloadDelegate: the end of the view's
// web process becomes the window's OnWebProcessTerminated, the end of a download its
// OnDownloadEnded.
class CDefFrameLoadDelegate : public CEmptyFrameLoadDelegate,
                              public IWebFrameLoadDelegatePrivate,
                              public IWebDownloadDelegate {
public:
    HRESULT QueryInterface(REFIID riid, void** object) override;
    ULONG AddRef() override { return CEmptyFrameLoadDelegate::AddRef(); }
    ULONG Release() override { return CEmptyFrameLoadDelegate::Release(); }
    HRESULT webViewProcessDidTerminate(IWebView* webView,
                                       WebProcessTerminationReason reason) override;
    HRESULT didFinishDownload(IWebView* webView, BSTR suggestedName, BSTR path) override;
    HRESULT didFailDownload(IWebView* webView, BSTR suggestedName, BSTR reason) override;

    HRESULT didFailProvisionalLoadWithError(IWebView* webView, IWebError* error,
                                            IWebFrame* frame) override;
    HRESULT didFinishLoadForFrame(IWebView* webView, IWebFrame* frame) override;
    HRESULT didFailLoadWithError(IWebView* webView, IWebError* error, IWebFrame* frame) override;
    HRESULT didCommitLoadForFrame(IWebView* webView, IWebFrame* frame) override;
    HRESULT didClearWindowObject(IWebView* webView, JSContextRef context, JSObjectRef windowObject,
                                 IWebFrame* frame) override;
};

// ---- UI -------------------------------------------------------------------------------------

class CEmptyUIDelegate : public wk::ComObject<IWebUIDelegate, &IID_IWebUIDelegate> {
public:
    HRESULT createWebViewWithRequest(IWebView*, IWebURLRequest*, IWebView**) override {
        return E_NOTIMPL;
    }
    HRESULT webViewShow(IWebView*) override { return E_NOTIMPL; }
    HRESULT webViewClose(IWebView*) override { return E_NOTIMPL; }
    HRESULT webViewFocus(IWebView*) override { return E_NOTIMPL; }
    HRESULT webViewUnfocus(IWebView*) override { return E_NOTIMPL; }
    HRESULT setStatusText(IWebView*, BSTR) override { return E_NOTIMPL; }
    HRESULT setFrame(IWebView*, RECT*) override { return E_NOTIMPL; }
    HRESULT webViewFrame(IWebView*, RECT*) override { return E_NOTIMPL; }
    HRESULT runJavaScriptAlertPanelWithMessage(IWebView*, BSTR) override { return E_NOTIMPL; }
    HRESULT runJavaScriptConfirmPanelWithMessage(IWebView*, BSTR, BOOL*) override {
        return E_NOTIMPL;
    }
    HRESULT runJavaScriptTextInputPanelWithPrompt(IWebView*, BSTR, BSTR, BSTR*) override {
        return E_NOTIMPL;
    }
    HRESULT contextMenuItemsForElement(IWebView*, IPropertyBag*, HMENU, HMENU*) override {
        return E_NOTIMPL;
    }
    HRESULT dragDestinationActionMaskForDraggingInfo(IWebView*, void*, int*) override {
        return E_NOTIMPL;
    }
};

// Also answers IWebUIDelegatePrivate: a script dialog goes to the window's RunDialogLater,
// and to RunAlert or RunConfirm when the window does not take it.
class CDefUIDelegate : public CEmptyUIDelegate, public IWebUIDelegatePrivate {
public:
    HRESULT QueryInterface(REFIID riid, void** object) override;
    ULONG AddRef() override { return CEmptyUIDelegate::AddRef(); }
    ULONG Release() override { return CEmptyUIDelegate::Release(); }
    HRESULT runJavaScriptDialogLater(IWebView* sender, WebScriptDialogKind kind, BSTR message,
                                     BSTR defaultText, IWebScriptDialogAnswer* answer) override;

    HRESULT createWebViewWithRequest(IWebView* sender, IWebURLRequest* request,
                                     IWebView** newWebView) override;
    HRESULT setFrame(IWebView* sender, RECT* frame) override;
    HRESULT webViewFrame(IWebView* sender, RECT* frame) override;
    HRESULT runJavaScriptAlertPanelWithMessage(IWebView* sender, BSTR message) override;
    HRESULT runJavaScriptConfirmPanelWithMessage(IWebView* sender, BSTR message,
                                                 BOOL* result) override;
    HRESULT contextMenuItemsForElement(IWebView* sender, IPropertyBag* element, HMENU defaultMenu,
                                       HMENU* newMenu) override;
    HRESULT dragDestinationActionMaskForDraggingInfo(IWebView* webView, void* draggingInfo,
                                                     int* mask) override;
};

// ---- Policy ---------------------------------------------------------------------------------

class CEmptyPolicyDelegate : public wk::ComObject<IWebPolicyDelegate, &IID_IWebPolicyDelegate> {
public:
    HRESULT decidePolicyForNavigationAction(IWebView*, IPropertyBag*, IWebURLRequest*, IWebFrame*,
                                            IWebPolicyDecisionListener*) override {
        return E_NOTIMPL;
    }
    HRESULT decidePolicyForNewWindowAction(IWebView*, IPropertyBag*, IWebURLRequest*, BSTR,
                                           IWebPolicyDecisionListener*) override {
        return E_NOTIMPL;
    }
    HRESULT decidePolicyForMIMEType(IWebView*, BSTR, IWebURLRequest*, IWebFrame*,
                                    IWebPolicyDecisionListener*) override {
        return E_NOTIMPL;
    }
    HRESULT unableToImplementPolicyWithError(IWebView*, IWebError*, IWebFrame*) override {
        return E_NOTIMPL;
    }
};

class CDefPolicyDelegate : public CEmptyPolicyDelegate {
public:
    HRESULT decidePolicyForNewWindowAction(IWebView* webView, IPropertyBag* actionInformation,
                                           IWebURLRequest* request, BSTR frameName,
                                           IWebPolicyDecisionListener* listener) override;
};

// ---- Notifications --------------------------------------------------------------------------

class CEmptyNotificationObserver
    : public wk::ComObject<IWebNotificationObserver, &IID_IWebNotificationObserver> {
public:
    HRESULT onNotification(IWebNotification*) override { return E_NOTIMPL; }
};

class CDefNotificationObserver : public CEmptyNotificationObserver {
public:
    HRESULT onNotification(IWebNotification* notification) override;
};

// ---- Resource loads -------------------------------------------------------------------------

class CEmptyResourceLoadDelegate
    : public wk::ComObject<IWebResourceLoadDelegate, &IID_IWebResourceLoadDelegate> {
public:
    HRESULT identifierForInitialRequest(IWebView*, IWebURLRequest*, IWebDataSource*,
                                        unsigned long) override {
        return E_NOTIMPL;
    }
    HRESULT willSendRequest(IWebView*, unsigned long, IWebURLRequest*, IWebURLResponse*,
                            IWebDataSource*, IWebURLRequest**) override {
        return E_NOTIMPL;
    }
    HRESULT didReceiveResponse(IWebView*, unsigned long, IWebURLResponse*,
                               IWebDataSource*) override {
        return E_NOTIMPL;
    }
    HRESULT didReceiveContentLength(IWebView*, unsigned long, UINT, IWebDataSource*) override {
        return E_NOTIMPL;
    }
    HRESULT didFinishLoadingFromDataSource(IWebView*, unsigned long, IWebDataSource*) override {
        return E_NOTIMPL;
    }
    HRESULT didFailLoadingWithError(IWebView*, unsigned long, IWebError*,
                                    IWebDataSource*) override {
        return E_NOTIMPL;
    }
};

// Hands every response of a watched view to result capture, which feeds the main window's
// scan state.
class CResourceLoadDelegate : public CEmptyResourceLoadDelegate {
public:
    HRESULT didReceiveResponse(IWebView* webView, unsigned long identifier,
                               IWebURLResponse* response, IWebDataSource* dataSource) override;

    // The number of the scan (ScanState::m_scanNumber) that the watched window's page was
    // loaded for; responses are captured only while that scan is the current one.
    std::uint32_t m_scanNumber = 0;
};
