// The web engine's COM-style interfaces, as the windows of this program use them, provided
// over WebKitGTK. Objects are reference counted; every method answers an HRESULT.
#pragma once

#include <cstdint>
#include <cstring>

#include "win32/windows.h"

// ---- COM basics -----------------------------------------------------------------------------

struct GUID {
    std::uint32_t Data1;
    std::uint16_t Data2;
    std::uint16_t Data3;
    std::uint8_t Data4[8];
};
using IID = GUID;
using CLSID = GUID;
using REFIID = const IID&;
using REFCLSID = const CLSID&;
using ULONG = std::uint32_t;
using UINT32 = std::uint32_t;
using INT64 = std::int64_t;

inline bool IsEqualGUID(const GUID& a, const GUID& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}
inline bool operator==(const GUID& a, const GUID& b) {
    return IsEqualGUID(a, b);
}

struct IUnknown {
    virtual HRESULT QueryInterface(REFIID riid, void** object) = 0;
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;
};

extern const IID IID_IUnknown;
extern const IID IID_IDispatch;
extern const IID IID_IWebView;
extern const IID IID_IWebViewPrivate;
extern const IID IID_IWebPreferences;
extern const IID IID_IWebPreferencesPrivate;
extern const IID IID_IWebNotificationCenter;
extern const IID IID_IWebNotificationObserver;
extern const IID IID_IWebNotification;
extern const IID IID_IWebMutableURLRequest;
extern const IID IID_IWebURLRequest;
extern const IID IID_IWebURLResponse;
extern const IID IID_IWebFrame;
extern const IID IID_IWebError;
extern const IID IID_IWebFrameLoadDelegate;
extern const IID IID_IWebFrameLoadDelegatePrivate;
extern const IID IID_IWebDownloadDelegate;
extern const IID IID_IWebUIDelegate;
extern const IID IID_IWebUIDelegatePrivate;
extern const IID IID_IWebScriptDialogAnswer;
extern const IID IID_IWebPolicyDelegate;
extern const IID IID_IWebResourceLoadDelegate;
extern const IID IID_IWebHTTPHeaderFields;
extern const IID IID_IWebHTTPURLResponse;
extern const IID IID_IWebURLResponsePrivate;
extern const IID IID_IWebCookieManager;
extern const IID IID_IWebResourceBodyHandler;

extern const CLSID CLSID_WebView;
extern const CLSID CLSID_WebPreferences;
extern const CLSID CLSID_WebNotificationCenter;
extern const CLSID CLSID_WebMutableURLRequest;
extern const CLSID CLSID_WebCookieManager;

// Script engine handles, as the engine hands them to its delegates. In this program the
// page's script context lives in the web process, so the UI process only ever sees null here.
using JSContextRef = const struct OpaqueJSContext*;
using JSGlobalContextRef = struct OpaqueJSContext*;
using JSObjectRef = struct OpaqueJSValue*;

struct IWebView;
struct IWebFrame;
struct IWebDataSource;
struct IWebError;
struct IWebURLRequest;
struct IWebURLResponse;
struct IWebMutableURLRequest;
struct IWebNotification;
struct IWebPolicyDecisionListener;
struct IWebFrameLoadDelegate;
struct IWebUIDelegate;
struct IWebPolicyDelegate;
struct IWebResourceLoadDelegate;
struct IWebNotificationObserver;
struct IPropertyBag;
struct IWebSecurityOrigin;
struct IWebHistoryItem;
struct IWebScriptObject;

// ---- Requests, responses, errors ------------------------------------------------------------

// Header fields in the order they came, names as written. A name may come more than once.
struct IWebHTTPHeaderFields : IUnknown {
    virtual HRESULT count(UINT* result) = 0;
    // The field at `index` (0 to count - 1); E_INVALIDARG beyond.
    virtual HRESULT fieldAt(UINT index, BSTR* name, BSTR* value) = 0;
};

struct IWebURLRequest : IUnknown {
    virtual HRESULT URL(BSTR* result) = 0;
    virtual HRESULT HTTPMethod(BSTR* result) = 0;
    // The header fields the engine put on the request, in order. The network stack adds more
    // when it sends the request (Host, Cookie, Accept-Encoding, ...), which are not among them.
    virtual HRESULT allHTTPHeaderFields(IWebHTTPHeaderFields** result) = 0;
};

struct IWebMutableURLRequest : IWebURLRequest {
    virtual HRESULT initWithURL(BSTR url, int cachePolicy, double timeoutInterval) = 0;
    virtual HRESULT setHTTPMethod(BSTR method) = 0;
    virtual HRESULT setAllowsAnyHTTPSCertificate() = 0;
};

struct IWebURLResponse : IUnknown {
    virtual HRESULT expectedContentLength(INT64* result) = 0;
    virtual HRESULT MIMEType(BSTR* result) = 0;
    virtual HRESULT URL(BSTR* result) = 0;
};

// Asked of a response with QueryInterface: what the server said.
struct IWebHTTPURLResponse : IWebURLResponse {
    // The HTTP status code; 0 when the load ended without a response.
    virtual HRESULT statusCode(int* result) = 0;
    // The standard reason phrase of a status code ("" for a code without one). The engine
    // does not pass on the phrase the server sent.
    virtual HRESULT localizedStringForStatusCode(int statusCode, BSTR* result) = 0;
    // The response's header fields in the order received (none for a load without response).
    virtual HRESULT allHeaderFields(IWebHTTPHeaderFields** result) = 0;
};

// Told the body of a response once its load has finished (IWebURLResponsePrivate::readBody).
struct IWebResourceBodyHandler : IUnknown {
    // `data` holds the whole body (`length` bytes), or is null: then `tooLarge` says the body
    // was longer than the limit asked for, or else `error` says why it could not be read.
    virtual HRESULT didReadBody(unsigned long identifier, const BYTE* data, UINT length,
                                BOOL tooLarge, BSTR error) = 0;
};

// Asked of a response that the resource load delegate is handed, with QueryInterface: the
// load it belongs to.
struct IWebURLResponsePrivate : IUnknown {
    // The request this response answers, as the engine made it (after a redirect, the request
    // to the new address).
    virtual HRESULT request(IWebURLRequest** result) = 0;
    // When that request started and when this response arrived, in ms since the epoch.
    virtual HRESULT requestTime(INT64* result) = 0;
    virtual HRESULT responseTime(INT64* result) = 0;
    // For a redirect response, the address it sends the load to; null for any other.
    virtual HRESULT redirectURL(BSTR* result) = 0;
    // Asks for the body once the load has finished: `handler` (held until then) is told it
    // exactly once, with the load's identifier, also when the load fails or its view goes.
    // E_FAIL for a response with nothing to read (a load that ended without response).
    virtual HRESULT readBody(UINT limit, IWebResourceBodyHandler* handler) = 0;
};

struct IWebError : IUnknown {
    virtual HRESULT code(int* result) = 0;
    virtual HRESULT localizedDescription(BSTR* result) = 0;
    virtual HRESULT failingURL(BSTR* result) = 0;
};

// ---- Cookies -------------------------------------------------------------------------------

// The cookies of the scan context (WebKitCreateInstance with CLSID_WebCookieManager), as a
// request from one of its pages would carry them. The engine layer keeps a copy of them
// current as they change, so that asking needs no round trip to the engine.
struct IWebCookieManager : IUnknown {
    // The Cookie header value of a request to `url` now, HttpOnly cookies included; an empty
    // string when it would carry none (no scan context yet, not an address).
    virtual HRESULT cookieHeaderForURL(BSTR url, BSTR* header) = 0;
};

// ---- Frames and views -----------------------------------------------------------------------

struct IWebFrame : IUnknown {
    virtual HRESULT name(BSTR* result) = 0;
    virtual HRESULT webView(IWebView** result) = 0;
    virtual HRESULT loadRequest(IWebURLRequest* request) = 0;
    // Shows `string` as an HTML document whose address is `baseURL` (null: about:blank).
    virtual HRESULT loadHTMLString(BSTR string, BSTR baseURL) = 0;
    // The frame's global script context. Null in the UI process (see JSContextRef above).
    virtual JSGlobalContextRef globalContext() = 0;
};

struct IWebView : IUnknown {
    virtual HRESULT initWithFrame(RECT frame, BSTR frameName, BSTR groupName) = 0;
    virtual HRESULT setUIDelegate(IWebUIDelegate* delegate) = 0;
    virtual HRESULT uiDelegate(IWebUIDelegate** delegate) = 0;
    virtual HRESULT setResourceLoadDelegate(IWebResourceLoadDelegate* delegate) = 0;
    virtual HRESULT resourceLoadDelegate(IWebResourceLoadDelegate** delegate) = 0;
    virtual HRESULT setFrameLoadDelegate(IWebFrameLoadDelegate* delegate) = 0;
    virtual HRESULT frameLoadDelegate(IWebFrameLoadDelegate** delegate) = 0;
    virtual HRESULT setPolicyDelegate(IWebPolicyDelegate* delegate) = 0;
    virtual HRESULT policyDelegate(IWebPolicyDelegate** delegate) = 0;
    virtual HRESULT mainFrame(IWebFrame** frame) = 0;
    virtual HRESULT setHostWindow(HWND window) = 0;
    virtual HRESULT hostWindow(HWND* window) = 0;
    virtual HRESULT mainFrameURL(BSTR* url) = 0;
    virtual HRESULT estimatedProgress(double* progress) = 0;
    virtual HRESULT close() = 0;
};

// Which web context a view's pages run in. Set before initWithFrame; a view opened by a
// page (createWebViewWithRequest) always shares its opener's context.
enum WebViewContextKind {
    // The context of the program's own page: its web process loads the script bridge.
    WebViewContextBridge = 0,
    // The context of every other page: nothing of ours is loaded into it.
    WebViewContextScan = 1,
};

struct IWebViewPrivate : IUnknown {
    virtual HRESULT viewWindow(HWND* window) = 0;
    virtual HRESULT setContextKind(WebViewContextKind kind) = 0;
    // The engine's identifier of the page currently shown, which the bridge module reports.
    virtual HRESULT pageIdentifier(std::uint64_t* identifier) = 0;
    // Ends the page the view shows, with its web process: its scripts stop at once and none of
    // its loads goes on, whatever the page does. The view stays and its next load starts a new
    // process. Pages sharing that process (those it opened with window.open) end with it; every
    // view concerned is told WebProcessTerminatedByClient. Nothing happens without a page.
    virtual HRESULT endPage() = 0;
};

// ---- Preferences ----------------------------------------------------------------------------

struct IWebPreferences : IUnknown {
    virtual HRESULT standardPreferences(IWebPreferences** result) = 0;
};

struct IWebPreferencesPrivate : IUnknown {
    virtual HRESULT isWebSecurityEnabled(BOOL* enabled) = 0;
    virtual HRESULT setWebSecurityEnabled(BOOL enabled) = 0;
    virtual HRESULT localStorageEnabled(BOOL* enabled) = 0;
    virtual HRESULT setLocalStorageEnabled(BOOL enabled) = 0;
    virtual HRESULT localStorageDatabasePath(BSTR* path) = 0;
    virtual HRESULT setLocalStorageDatabasePath(BSTR path) = 0;
};

// ---- Notifications --------------------------------------------------------------------------

struct IWebNotification : IUnknown {
    virtual HRESULT name(BSTR* result) = 0;
    virtual HRESULT getObject(IUnknown** result) = 0;
};

struct IWebNotificationObserver : IUnknown {
    virtual HRESULT onNotification(IWebNotification* notification) = 0;
};

struct IWebNotificationCenter : IUnknown {
    virtual HRESULT defaultCenter(IWebNotificationCenter** center) = 0;
    virtual HRESULT addObserver(IWebNotificationObserver* observer, BSTR name,
                                IUnknown* anObject) = 0;
    virtual HRESULT postNotificationName(BSTR name, IUnknown* anObject) = 0;
    virtual HRESULT removeObserver(IWebNotificationObserver* observer, BSTR name,
                                   IUnknown* anObject) = 0;
};

// What a view posts to the default center while its page loads, with the view as the object:
// a load started, the estimated progress (estimatedProgress) changed, the load ended.
inline constexpr WCHAR kWebProgressStartedNotification[] = u"WebProgressStartedNotification";
inline constexpr WCHAR kWebProgressEstimateChangedNotification[] =
    u"WebProgressEstimateChangedNotification";
inline constexpr WCHAR kWebProgressFinishedNotification[] = u"WebProgressFinishedNotification";

// ---- Delegates ------------------------------------------------------------------------------

struct IWebFrameLoadDelegate : IUnknown {
    virtual HRESULT didStartProvisionalLoadForFrame(IWebView* webView, IWebFrame* frame) = 0;
    virtual HRESULT didReceiveServerRedirectForProvisionalLoadForFrame(IWebView* webView,
                                                                       IWebFrame* frame) = 0;
    virtual HRESULT didFailProvisionalLoadWithError(IWebView* webView, IWebError* error,
                                                    IWebFrame* frame) = 0;
    virtual HRESULT didCommitLoadForFrame(IWebView* webView, IWebFrame* frame) = 0;
    virtual HRESULT didReceiveTitle(IWebView* webView, BSTR title, IWebFrame* frame) = 0;
    virtual HRESULT didChangeIcons(IWebView* webView, IWebFrame* frame) = 0;
    virtual HRESULT didFinishLoadForFrame(IWebView* webView, IWebFrame* frame) = 0;
    virtual HRESULT didFailLoadWithError(IWebView* webView, IWebError* error,
                                         IWebFrame* forFrame) = 0;
    virtual HRESULT didChangeLocationWithinPageForFrame(IWebView* webView, IWebFrame* frame) = 0;
    virtual HRESULT willCloseFrame(IWebView* webView, IWebFrame* frame) = 0;
    virtual HRESULT didClearWindowObject(IWebView* webView, JSContextRef context,
                                         JSObjectRef windowObject, IWebFrame* frame) = 0;
};

// Why a view's web process went away.
enum WebProcessTerminationReason {
    WebProcessCrashed = 0,
    WebProcessExceededMemoryLimit = 1,
    // The program itself ended it.
    WebProcessTerminatedByClient = 2,
};

// Asked of a view's frame load delegate with QueryInterface. The view keeps its address
// but shows nothing until something is loaded into it, which starts a new web process.
struct IWebFrameLoadDelegatePrivate : IUnknown {
    virtual HRESULT webViewProcessDidTerminate(IWebView* webView,
                                               WebProcessTerminationReason reason) = 0;
};

// Asked of a view's frame load delegate with QueryInterface: how a download that the view's
// page started (a link with a "download" attribute, a response the engine saves) ended.
// `suggestedName` is the name the page asked for; `path` the file the engine wrote, in the
// file system's display form; `reason` the engine's own words.
struct IWebDownloadDelegate : IUnknown {
    virtual HRESULT didFinishDownload(IWebView* webView, BSTR suggestedName, BSTR path) = 0;
    virtual HRESULT didFailDownload(IWebView* webView, BSTR suggestedName, BSTR reason) = 0;
};

struct IWebUIDelegate : IUnknown {
    virtual HRESULT createWebViewWithRequest(IWebView* sender, IWebURLRequest* request,
                                             IWebView** newWebView) = 0;
    virtual HRESULT webViewShow(IWebView* sender) = 0;
    virtual HRESULT webViewClose(IWebView* sender) = 0;
    virtual HRESULT webViewFocus(IWebView* sender) = 0;
    virtual HRESULT webViewUnfocus(IWebView* sender) = 0;
    virtual HRESULT setStatusText(IWebView* sender, BSTR text) = 0;
    virtual HRESULT setFrame(IWebView* sender, RECT* frame) = 0;
    virtual HRESULT webViewFrame(IWebView* sender, RECT* frame) = 0;
    virtual HRESULT runJavaScriptAlertPanelWithMessage(IWebView* sender, BSTR message) = 0;
    virtual HRESULT runJavaScriptConfirmPanelWithMessage(IWebView* sender, BSTR message,
                                                         BOOL* result) = 0;
    virtual HRESULT runJavaScriptTextInputPanelWithPrompt(IWebView* sender, BSTR message,
                                                          BSTR defaultText, BSTR* result) = 0;
    virtual HRESULT contextMenuItemsForElement(IWebView* sender, IPropertyBag* element,
                                               HMENU defaultMenu, HMENU* newMenu) = 0;
    virtual HRESULT dragDestinationActionMaskForDraggingInfo(IWebView* webView, void* draggingInfo,
                                                             int* mask) = 0;
};

// The kinds of script dialog a page opens.
enum WebScriptDialogKind {
    WebScriptDialogAlert = 0,
    WebScriptDialogConfirm = 1,
    WebScriptDialogPrompt = 2,
};

// The answer to one script dialog of a page, handed to runJavaScriptDialogLater. The page
// waits until the first call of answer() or dismiss(); later calls change nothing and answer
// S_FALSE. Released unanswered, or still open when its view closes, it answers as a dismissed
// dialog: an alert returns, a confirm gives false, a prompt gives null.
struct IWebScriptDialogAnswer : IUnknown {
    // `confirmed` is a confirm's answer; `text` is a prompt's (null: the prompt gives null).
    // An alert takes neither.
    virtual HRESULT answer(BOOL confirmed, BSTR text) = 0;
    virtual HRESULT dismiss() = 0;
};

// Asked of a view's UI delegate with QueryInterface when its page opens an alert, a confirm
// or a prompt. S_OK: the delegate took the dialog and answers through `answer`, at once or
// later; the page waits meanwhile, the program does not. A failure leaves the dialog to
// runJavaScriptAlertPanelWithMessage and runJavaScriptConfirmPanelWithMessage, which answer
// before they return, and a prompt to the engine's own dialog inside the view.
struct IWebUIDelegatePrivate : IUnknown {
    virtual HRESULT runJavaScriptDialogLater(IWebView* sender, WebScriptDialogKind kind,
                                             BSTR message, BSTR defaultText,
                                             IWebScriptDialogAnswer* answer) = 0;
};

// The identifiers of the items in the default context menu that contextMenuItemsForElement
// is handed. An item of any other engine action has kWebContextMenuItemOtherBase plus the
// engine's own number for that action, so it never takes one of these.
enum WebContextMenuItem : UINT {
    WebContextMenuItemCopy = 8,
    WebContextMenuItemGoBack = 9,
    WebContextMenuItemGoForward = 10,
    WebContextMenuItemStop = 11,
    WebContextMenuItemReload = 12,
    WebContextMenuItemCut = 13,
    WebContextMenuItemPaste = 14,
};
inline constexpr UINT kWebContextMenuItemOtherBase = 1000;

struct IWebPolicyDecisionListener : IUnknown {
    virtual HRESULT use() = 0;
    virtual HRESULT download() = 0;
    virtual HRESULT ignore() = 0;
};

struct IWebPolicyDelegate : IUnknown {
    virtual HRESULT decidePolicyForNavigationAction(IWebView* webView, IPropertyBag* actionInfo,
                                                    IWebURLRequest* request, IWebFrame* frame,
                                                    IWebPolicyDecisionListener* listener) = 0;
    virtual HRESULT decidePolicyForNewWindowAction(IWebView* webView, IPropertyBag* actionInfo,
                                                   IWebURLRequest* request, BSTR frameName,
                                                   IWebPolicyDecisionListener* listener) = 0;
    virtual HRESULT decidePolicyForMIMEType(IWebView* webView, BSTR type, IWebURLRequest* request,
                                            IWebFrame* frame,
                                            IWebPolicyDecisionListener* listener) = 0;
    virtual HRESULT unableToImplementPolicyWithError(IWebView* webView, IWebError* error,
                                                     IWebFrame* frame) = 0;
};

struct IWebResourceLoadDelegate : IUnknown {
    virtual HRESULT identifierForInitialRequest(IWebView* webView, IWebURLRequest* request,
                                                IWebDataSource* dataSource,
                                                unsigned long identifier) = 0;
    virtual HRESULT willSendRequest(IWebView* webView, unsigned long identifier,
                                    IWebURLRequest* request, IWebURLResponse* redirectResponse,
                                    IWebDataSource* dataSource, IWebURLRequest** newRequest) = 0;
    virtual HRESULT didReceiveResponse(IWebView* webView, unsigned long identifier,
                                       IWebURLResponse* response, IWebDataSource* dataSource) = 0;
    virtual HRESULT didReceiveContentLength(IWebView* webView, unsigned long identifier,
                                            UINT length, IWebDataSource* dataSource) = 0;
    virtual HRESULT didFinishLoadingFromDataSource(IWebView* webView, unsigned long identifier,
                                                   IWebDataSource* dataSource) = 0;
    virtual HRESULT didFailLoadingWithError(IWebView* webView, unsigned long identifier,
                                            IWebError* error, IWebDataSource* dataSource) = 0;
};

// ---- Exports --------------------------------------------------------------------------------

HRESULT WebKitCreateInstance(REFCLSID clsid, IUnknown* outer, REFIID riid, void** object);
void shutDownWebKit();

// Where the script bridge module lives and what it is given when it starts, for the bridge
// context's web processes. Set once, before the first view of that context is created.
struct _GVariant;
void WebKitSetBridgeModule(const char* directory, _GVariant* initializationData);

// The bridge module reports that a frame of the page with this identifier got a fresh window
// object; the engine tells the frame load delegate of the view showing that page.
void WebKitNotifyWindowObjectCleared(std::uint64_t pageIdentifier, bool mainFrame);

// The identifier that the resource load delegate will be given for the next resource load of
// any view. Loads are numbered in the order they start, so every load numbered below it had
// started before this was asked.
unsigned long WebKitNextResourceIdentifier();
