// Watched windows and the additional windows their pages open.
#include "webview/MyWindow.h"

#include "finder/Capture.h"
#include "webview/LocalWindow.h"

CMyWindow::CMyWindow() = default;
CMyWindow::~CMyWindow() = default;

void CMyWindow::OnCreate(CREATESTRUCTW*) {
    if (!m_webView) return;
    // A scanned page is a stranger's code: its view runs in the context that loads nothing of
    // ours, keeps nothing between runs and keeps web security on.
    IWebViewPrivate* viewPrivate = nullptr;
    if (SUCCEEDED(m_webView->QueryInterface(IID_IWebViewPrivate,
                                            reinterpret_cast<void**>(&viewPrivate)))) {
        viewPrivate->setContextKind(WebViewContextScan);
        viewPrivate->Release();
    }
    m_webView->setResourceLoadDelegate(&m_resourceLoadDelegate);
}

void CMyWindow::EndPage() {
    IWebViewPrivate* viewPrivate = nullptr;
    if (m_webView && SUCCEEDED(m_webView->QueryInterface(IID_IWebViewPrivate,
                                                         reinterpret_cast<void**>(&viewPrivate)))) {
        viewPrivate->endPage();
        viewPrivate->Release();
    }
}

CMyWindow* CMyWindow::OpenAdditionalWindow() {
    auto* window = new CMyWindow;
    // A window that a page opens belongs to the scan that page was loaded for.
    window->m_resourceLoadDelegate.m_scanNumber = m_resourceLoadDelegate.m_scanNumber;
    window->AttachPopupList(m_popupWindows);
    WCHAR title[256] = {};
    GetWindowTextW(m_hWnd, title, 256);
    window->Create(title, m_hInstance);
    window->SetIcons();
    ShowWindow(window->m_hWnd, SW_SHOW);
    if (m_popupWindows) {
        m_popupWindows->push_back(window);
    } else {
        // FIXME: a watched window outside the application has nobody to own its popups;
        // they live until the process ends.
    }
    return window;
}

void CMyWindow::OnNewWindowPolicy(BSTR url, BSTR) {
    CMyWindow* window = OpenAdditionalWindow();
    window->LoadUrl(url);
}

void CMyWindow::OnCreateWebView(BSTR, IWebView** newWebView) {
    CMyWindow* window = OpenAdditionalWindow();
    if (newWebView) {
        *newWebView = window->m_webView;
        if (window->m_webView) window->m_webView->AddRef();
    }
}

bool CMyWindow::RunDialogLater(WebScriptDialogKind kind, BSTR message, BSTR,
                               IWebScriptDialogAnswer* answer) {
    return ShowScriptDialogLater(kind, message, answer);
}

HRESULT CResourceLoadDelegate::didReceiveResponse(IWebView*, unsigned long identifier,
                                                  IWebURLResponse* response, IWebDataSource*) {
    CLocalWindow* main = CLocalWindow::Instance();
    if (!main || !ScanTakesLoad(*main, m_scanNumber, identifier)) return S_OK;
    if (!response) return E_POINTER;
    BSTR url = nullptr;
    HRESULT hr = response->URL(&url);
    if (FAILED(hr) || !url) return hr;
    BSTR mime = nullptr;
    hr = response->MIMEType(&mime);
    if (FAILED(hr) || !mime) {
        SysFreeString(url);
        return hr;
    }
    INT64 length = 0;
    HRESULT lengthStatus = response->expectedContentLength(&length);
    std::u16string mimeType(mime, SysStringLen(mime));
    CaptureResponse(url, *main, static_cast<std::uint32_t>(identifier), mimeType, length);
    SysFreeString(url);
    SysFreeString(mime);
    return lengthStatus;
}
