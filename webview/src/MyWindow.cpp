// Watched windows and the additional windows their pages open.
#include "webview/MyWindow.h"

#include "finder/Capture.h"
#include "webview/LocalWindow.h"
#include "win32/text.h"

namespace {

// A BSTR as UTF-8; null is empty.
std::string Utf8Of(BSTR text) {
    return text ? win32::ToUtf8(std::u16string_view(text, SysStringLen(text))) : std::string();
}

void ReadFields(IWebHTTPHeaderFields* fields, std::vector<HeaderField>& out) {
    UINT count = 0;
    if (!fields || FAILED(fields->count(&count))) return;
    out.reserve(count);
    for (UINT i = 0; i < count; ++i) {
        BSTR name = nullptr;
        BSTR value = nullptr;
        if (SUCCEEDED(fields->fieldAt(i, &name, &value)))
            out.emplace_back(Utf8Of(name), Utf8Of(value));
        SysFreeString(name);
        SysFreeString(value);
    }
}

// What the engine layer says of a response beyond its record: its HTTP side, and the load it
// belongs to. What a response does not answer stays as ResultDetails has it.
void ReadDetails(IWebURLResponse* response, int window, ResultDetails& details) {
    details.window = window;
    IWebHTTPURLResponse* http = nullptr;
    if (SUCCEEDED(
            response->QueryInterface(IID_IWebHTTPURLResponse, reinterpret_cast<void**>(&http))) &&
        http) {
        int status = 0;
        if (SUCCEEDED(http->statusCode(&status))) details.status = status;
        BSTR text = nullptr;
        if (SUCCEEDED(http->localizedStringForStatusCode(details.status, &text)))
            details.statusText = Utf8Of(text);
        SysFreeString(text);
        IWebHTTPHeaderFields* fields = nullptr;
        if (SUCCEEDED(http->allHeaderFields(&fields)) && fields) {
            ReadFields(fields, details.responseHeaders);
            fields->Release();
        }
        http->Release();
    }
    IWebURLResponsePrivate* load = nullptr;
    if (FAILED(response->QueryInterface(IID_IWebURLResponsePrivate,
                                        reinterpret_cast<void**>(&load))) ||
        !load)
        return;
    load->requestTime(&details.started);
    load->responseTime(&details.received);
    BSTR target = nullptr;
    if (SUCCEEDED(load->redirectURL(&target)) && target) {
        details.redirect = true;
        details.redirectTo = Utf8Of(target);
    }
    SysFreeString(target);
    IWebURLRequest* request = nullptr;
    if (SUCCEEDED(load->request(&request)) && request) {
        BSTR method = nullptr;
        if (SUCCEEDED(request->HTTPMethod(&method))) details.method = Utf8Of(method);
        SysFreeString(method);
        IWebHTTPHeaderFields* fields = nullptr;
        if (SUCCEEDED(request->allHTTPHeaderFields(&fields)) && fields) {
            ReadFields(fields, details.requestHeaders);
            fields->Release();
        }
        request->Release();
    }
    load->Release();
}

// Hands a playlist's body to capture once the engine read it, unless a scan started since.
class PlaylistBodyHandler
    : public wk::ComObject<IWebResourceBodyHandler, &IID_IWebResourceBodyHandler> {
public:
    PlaylistBodyHandler(std::string url, std::uint32_t scan)
        : m_url(std::move(url)), m_scan(scan) {}
    HRESULT didReadBody(unsigned long identifier, const BYTE* data, UINT length, BOOL tooLarge,
                        BSTR error) override {
        CLocalWindow* main = CLocalWindow::Instance();
        // FIXME: a body that arrives after the next start belongs to no record of that scan
        // and is dropped.
        if (!main || main->ScanNumber() != m_scan) return S_OK;
        CaptureBody(*main, static_cast<std::uint32_t>(identifier), m_url,
                    reinterpret_cast<const char*>(data), length, tooLarge != FALSE, Utf8Of(error));
        return S_OK;
    }

private:
    std::string m_url;
    std::uint32_t m_scan;
};

}  // namespace

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
    if (CLocalWindow* main = CLocalWindow::Instance())
        window->m_scanWindowNumber = main->NextAdditionalWindowNumber();
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

HRESULT CResourceLoadDelegate::didReceiveResponse(IWebView* webView, unsigned long identifier,
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
    // Which window of the scan it is: the engine's view knows its host window only.
    auto* window = dynamic_cast<CMyWindow*>(WindowForView(webView));
    const int number = window ? window->m_scanWindowNumber : 0;
    auto requestBody = [&] {
        IWebURLResponsePrivate* load = nullptr;
        if (FAILED(response->QueryInterface(IID_IWebURLResponsePrivate,
                                            reinterpret_cast<void**>(&load))) ||
            !load)
            return;
        auto* handler = new PlaylistBodyHandler(Utf8Of(url), main->ScanNumber());
        // One more than the limit tells a body that is too large from one that just fits.
        load->readBody(static_cast<UINT>(kMaxPlaylistBody + 1), handler);
        handler->Release();
        load->Release();
    };
    CaptureResponse(
        url, *main, static_cast<std::uint32_t>(identifier), mimeType, length,
        [&](ResultDetails& details) { ReadDetails(response, number, details); }, requestBody);
    SysFreeString(url);
    SysFreeString(mime);
    return lengthStatus;
}
