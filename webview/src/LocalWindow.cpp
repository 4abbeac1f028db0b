// The main window.
#include "webview/LocalWindow.h"

#include <json/json.h>

#include <string>
#include <string_view>

#include "finder/ScanControl.h"
#include "finder/TextUtil.h"
#include "win32/text.h"

namespace {

CLocalWindow* g_mainWindow = nullptr;

// Completion messages name the UI side of a service object; whoever posts one, the module of
// the main page delivers that service's latest answer.
void DeliverCallComplete(WPARAM service, LPARAM outcome) {
    reinterpret_cast<CWebKitServiceHost*>(service)->DeliverCompletion(outcome);
}

void TellWindowObjectCleared(std::uint64_t pageId, bool mainFrame) {
    WebKitNotifyWindowObjectCleared(pageId, mainFrame);
}

}  // namespace

CLocalWindow::CLocalWindow() {
    g_mainWindow = this;
    g_callCompleteHandler = DeliverCallComplete;
}

CLocalWindow::~CLocalWindow() {
    if (g_mainWindow == this) g_mainWindow = nullptr;
}

CLocalWindow* CLocalWindow::Instance() {
    return g_mainWindow;
}

void CLocalWindow::AttachWindows(CMyWindow* scanWindow, std::vector<CMyWindow*>* popupWindows) {
    m_scanWindow = scanWindow;
    m_popupWindows = popupWindows;
}

void CLocalWindow::OnCreate(CREATESTRUCTW*) {
    // The page of this window is the one that gets `service`: its view runs in the context
    // whose web processes load the bridge module, which talks to m_service over the channel.
    // It is also the only context where the shared preferences' web security off applies:
    // the page is the program's own local file, and it must read the addresses the user
    // scans from other origins and write its reports wherever the user points them. Scanned
    // pages run in the scan context, with web security on.
    if (!m_webView) return;
    IWebViewPrivate* viewPrivate = nullptr;
    if (SUCCEEDED(m_webView->QueryInterface(IID_IWebViewPrivate,
                                            reinterpret_cast<void**>(&viewPrivate)))) {
        viewPrivate->setContextKind(WebViewContextBridge);
        viewPrivate->Release();
    }
    m_service.mainViewAddress = [this] { return MainViewAddress(); };
    static bool started = false;
    if (!started) {
        started = true;
        m_service.onWindowObjectCleared = TellWindowObjectCleared;
        if (m_service.Start()) {
            WebKitSetBridgeModule(CWebKitServiceHost::ModuleFolder().c_str(),
                                  m_service.NewModuleInitData());
        }
    }
}

std::string CLocalWindow::MainViewAddress() const {
    std::string address;
    BSTR url = nullptr;
    if (m_webView && SUCCEEDED(m_webView->mainFrameURL(&url)) && url != nullptr)
        Utf16ToUtf8(std::u16string(url, SysStringLen(url)), address);
    SysFreeString(url);
    return address;
}

void CLocalWindow::OnDropFiles(HDROP, const std::vector<std::u16string>& names) {
    for (const auto& name : names) {
        OutputDebugStringW(name.c_str());
        OutputDebugStringW(u"\n");
    }
}

void CLocalWindow::OnClose() {
    PostDestroyToAllWindows();
}

void CLocalWindow::OnLoadFinished(BSTR mainFrameUrl) {
    if (!m_storageNotice.empty()) CallPageFunction("storageProblem", m_storageNotice);
    OnReloadedPageLoaded(mainFrameUrl);
}

// The page saves its exports through the engine's downloads, which choose the file, so only
// this tells the user where the file is or why there is none. A page without "fileSaved"
// says nothing more than it did when it asked.
void CLocalWindow::OnDownloadEnded(const std::u16string& suggestedName, const std::u16string& path,
                                   const std::u16string& failure) {
    Json::Value outcome(Json::objectValue);
    outcome["saved"] = failure.empty();
    outcome["name"] = win32::ToUtf8(suggestedName);
    if (failure.empty()) {
        outcome["path"] = win32::ToUtf8(path);
    } else {
        outcome["error"] = win32::ToUtf8(failure);
    }
    CallPageFunction("fileSaved", Json::FastWriter().write(outcome));
}

void CLocalWindow::PostDestroyToAllWindows() {
    std::vector<HWND> handles;
    for (const auto& entry : g_windows) handles.push_back(entry.first);
    for (HWND hwnd : handles) PostMessageW(hwnd, WM_DESTROY, 0, 0);
}

void CLocalWindow::OnWindowObjectCleared(JSContextRef, JSObjectRef, IWebFrame*) {
    // The frame that was cleared belongs to the page this view shows now; calls from that page
    // are the ones the handler serves.
    IWebViewPrivate* viewPrivate = nullptr;
    if (m_webView && SUCCEEDED(m_webView->QueryInterface(IID_IWebViewPrivate,
                                                         reinterpret_cast<void**>(&viewPrivate)))) {
        std::uint64_t pageId = 0;
        if (SUCCEEDED(viewPrivate->pageIdentifier(&pageId))) m_service.SetMainPageId(pageId);
        viewPrivate->Release();
    }
    m_service.handler = HandleServiceCall;
    m_service.InstallScriptObject(this, static_cast<CScanHost*>(this));
    if (!m_replayPending) {
        m_pageAddress = MainViewAddress();
    } else if (MainViewAddress() == m_pageAddress) {
        m_reloadedPageCleared = true;
        ReplayWhenPageIsReady();
    }
}

bool CLocalWindow::CallPageFunction(const char* name, const std::string& utf8Argument) {
    if (name != nullptr && std::string_view(name) == "addResult") {
        m_sentRecords.push_back({utf8Argument, {}});
        // The page loaded again gets this record with the others, in order.
        if (m_replayPending) return true;
    } else if (name != nullptr && std::string_view(name) == "addResultDetails" &&
               !m_sentRecords.empty()) {
        // Capture sends the details right after their record.
        m_sentRecords.back().details = utf8Argument;
        if (m_replayPending) return true;
    } else if (name != nullptr && std::string_view(name) == "addResultBody") {
        m_sentBodies.emplace_back(m_sentRecords.size(), utf8Argument);
        if (m_replayPending) return true;
    }
    return m_service.CallPageFunction(name, utf8Argument);
}

bool CLocalWindow::ScanCookieHeaders(const std::vector<std::string>& urls,
                                     std::vector<std::string>& headers) {
    IWebCookieManager* cookies = nullptr;
    if (FAILED(WebKitCreateInstance(CLSID_WebCookieManager, nullptr, IID_IWebCookieManager,
                                    reinterpret_cast<void**>(&cookies))) ||
        !cookies)
        return false;
    headers.clear();
    headers.reserve(urls.size());
    bool answered = true;
    for (const std::string& url : urls) {
        const std::u16string wide = win32::ToUtf16(url);
        BSTR address = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
        BSTR header = nullptr;
        if (FAILED(cookies->cookieHeaderForURL(address, &header))) answered = false;
        headers.push_back(header ? win32::ToUtf8(std::u16string_view(header, SysStringLen(header)))
                                 : std::string());
        SysFreeString(header);
        SysFreeString(address);
    }
    cookies->Release();
    return answered;
}

bool CLocalWindow::EnsureScanWindow() {
    if (!m_scanWindow) return false;
    if (m_scanWindow->m_webView) return true;
    if (!m_scanWindow->Create(u"Trawlet", m_hInstance)) return false;
    m_scanWindow->SetIcons();
    return true;
}

bool CLocalWindow::LoadScanUrlUtf8(const char* address) {
    // Only "start" loads the scan window: the records kept for the page are those of the
    // scan that starts now.
    if (!m_scanWindow || !m_scanWindow->m_webView || address == nullptr || *address == 0)
        return false;
    // The page of the previous scan ends first: a page that started more loads than its
    // network process can keep up with would otherwise hold up the new page's loads for as
    // long as it runs, and its late responses would look like the new page's.
    m_scanWindow->EndPage();
    const std::uint32_t scan = m_scanNumber + 1;
    const unsigned long firstLoad = WebKitNextResourceIdentifier();
    CResourceLoadDelegate& watch = m_scanWindow->m_resourceLoadDelegate;
    const std::uint32_t previous = watch.m_scanNumber;
    watch.m_scanNumber = scan;
    if (!m_scanWindow->LoadUrlUtf8(address)) {
        watch.m_scanNumber = previous;
        return false;
    }
    m_scanNumber = scan;
    m_firstLoad = firstLoad;
    m_sentRecords.clear();
    m_sentBodies.clear();
    m_additionalWindows = 0;
    return true;
}

void CLocalWindow::ShowScanWindow() {
    if (!m_scanWindow || !m_scanWindow->m_hWnd) return;
    ShowWindow(m_scanWindow->m_hWnd, SW_SHOW);
    UpdateWindow(m_scanWindow->m_hWnd);
}
