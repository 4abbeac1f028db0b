// CWebKitWindow: creation, loading, the window procedure and the default behaviours.
#include "webview/WebKitWindow.h"

#include <glib.h>

#include <cstdio>
#include <vector>

#include "finder/UrlUtil.h"
#include "win32/text.h"

const WCHAR kWindowClassName[] = u"WEBKIT_WINDOW";
std::map<HWND, CWebKitWindow*> g_windows;
CallCompleteHandler g_callCompleteHandler = nullptr;

ATOM RegisterWindowClass(HINSTANCE instance) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = 48;
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = CWebKitWindow::WindowProc;
    windowClass.cbClsExtra = 0;
    windowClass.cbWndExtra = 0;
    windowClass.hInstance = instance;
    windowClass.hIcon = nullptr;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground =
        reinterpret_cast<HBRUSH>(static_cast<std::uintptr_t>(COLOR_WINDOW + 1));
    windowClass.lpszMenuName = nullptr;
    windowClass.lpszClassName = kWindowClassName;
    windowClass.hIconSm = nullptr;
    return RegisterClassExW(&windowClass);
}

CWebKitWindow::CWebKitWindow() = default;

// The window object neither touches the engine nor destroys its window: WM_DESTROY already
// released the view.
CWebKitWindow::~CWebKitWindow() = default;

void CWebKitWindow::OnCreate(CREATESTRUCTW*) {}

void CWebKitWindow::OnSize(WPARAM, int, int) {
    RECT rect{};
    if (!GetClientRect(m_hWnd, &rect)) return;
    MoveWindow(m_hViewWnd, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top,
               TRUE);
}

void CWebKitWindow::OnTimer(WPARAM) {}
void CWebKitWindow::OnSetFocus(WPARAM) {}
void CWebKitWindow::OnKillFocus(WPARAM) {}
void CWebKitWindow::OnDropFiles(HDROP, const std::vector<std::u16string>&) {}
void CWebKitWindow::OnClose() {}
void CWebKitWindow::OnDestroy() {}
void CWebKitWindow::OnLoadFinished(BSTR) {}
void CWebKitWindow::OnLoadFailed(IWebError*, IWebFrame*) {}
void CWebKitWindow::OnProvisionalLoadFailed(IWebError*, IWebFrame*) {}
void CWebKitWindow::OnProgressStarted() {}
void CWebKitWindow::OnProgressChanged(int) {}
void CWebKitWindow::OnProgressFinished() {}
void CWebKitWindow::OnWindowObjectCleared(JSContextRef, JSObjectRef, IWebFrame*) {}
void CWebKitWindow::OnWebProcessTerminated(WebProcessTerminationReason) {}
void CWebKitWindow::OnDownloadEnded(const std::u16string&, const std::u16string&,
                                    const std::u16string&) {}

void CWebKitWindow::OnNewWindowPolicy(BSTR url, BSTR) {
    ShellExecuteW(nullptr, u"open", url, nullptr, nullptr, SW_SHOW);
}

void CWebKitWindow::OnCreateWebView(BSTR, IWebView**) {}

void CWebKitWindow::SetWindowFrame(RECT* rect) {
    if (!rect) return;
    MoveWindow(m_hWnd, rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top,
               FALSE);
}

void CWebKitWindow::GetWindowFrame(RECT* rect) {
    if (!rect) return;
    GetWindowRect(m_hWnd, rect);
}

void CWebKitWindow::OnContextMenu(IPropertyBag*, HMENU defaultMenu, HMENU* result) {
    int count = GetMenuItemCount(defaultMenu);
    std::vector<UINT> positions;
    for (int i = 0; i < count; ++i) {
        MENUITEMINFOW info{};
        info.cbSize = 48;
        info.fMask = MIIM_ID | MIIM_SUBMENU | MIIM_FTYPE;
        if (!GetMenuItemInfoW(defaultMenu, static_cast<UINT>(i), TRUE, &info)) continue;
        // The page's menu loses editing and navigation; Reload and every other item stay.
        switch (info.wID) {
            case WebContextMenuItemCopy:
            case WebContextMenuItemGoBack:
            case WebContextMenuItemGoForward:
            case WebContextMenuItemStop:
            case WebContextMenuItemCut:
            case WebContextMenuItemPaste:
                positions.push_back(static_cast<UINT>(i));
                break;
            default:
                break;
        }
    }
    // From the highest position down, so that each removal leaves the others in place.
    for (auto it = positions.rbegin(); it != positions.rend(); ++it) {
        if (!RemoveMenu(defaultMenu, *it, MF_BYPOSITION)) {
            char text[256];
            std::snprintf(text, sizeof text, "RemoveMenu() failed, i = %d, err = %d\n",
                          static_cast<int>(*it), static_cast<int>(GetLastError()));
            std::u16string wide(text, text + std::char_traits<char>::length(text));
            OutputDebugStringW(wide.c_str());
        }
    }
    if (result) *result = defaultMenu;
}

void CWebKitWindow::RunAlert(BSTR message) {
    WCHAR title[512] = {};
    GetWindowTextW(m_hWnd, title, 512);
    ReleaseCapture();
    MessageBoxW(m_hWnd, message, title, MB_OK);
}

void CWebKitWindow::RunConfirm(BSTR message, BOOL* answer) {
    WCHAR title[512] = {};
    GetWindowTextW(m_hWnd, title, 512);
    ReleaseCapture();
    int choice = MessageBoxW(m_hWnd, message, title, MB_YESNO | MB_SETFOREGROUND);
    if (answer) *answer = choice == IDYES ? TRUE : FALSE;
}

void CWebKitWindow::OnUserMessage(WPARAM, LPARAM) {}

bool CWebKitWindow::Create(LPCWSTR title, HINSTANCE instance) {
    BSTR names[3] = {SysAllocString(kWebProgressStartedNotification),
                     SysAllocString(kWebProgressEstimateChangedNotification),
                     SysAllocString(kWebProgressFinishedNotification)};
    IWebViewPrivate* viewPrivate = nullptr;
    IWebNotificationCenter* centerFactory = nullptr;
    bool ok = false;
    do {
        if (FAILED(WebKitCreateInstance(CLSID_WebView, nullptr, IID_IWebView,
                                        reinterpret_cast<void**>(&m_webView))) ||
            !m_webView) {
            break;
        }
        if (FAILED(m_webView->QueryInterface(IID_IWebViewPrivate,
                                             reinterpret_cast<void**>(&viewPrivate)))) {
            break;
        }
        m_webView->setFrameLoadDelegate(&m_frameLoadDelegate);
        m_webView->setUIDelegate(&m_uiDelegate);
        m_webView->setPolicyDelegate(&m_policyDelegate);
        if (FAILED(WebKitCreateInstance(CLSID_WebNotificationCenter, nullptr,
                                        IID_IWebNotificationCenter,
                                        reinterpret_cast<void**>(&centerFactory))) ||
            !centerFactory) {
            break;
        }
        if (m_notificationCenter) m_notificationCenter->Release();
        m_notificationCenter = nullptr;
        if (FAILED(centerFactory->defaultCenter(&m_notificationCenter)) || !m_notificationCenter) {
            break;
        }
        bool registered = true;
        for (BSTR name : names) {
            if (FAILED(
                    m_notificationCenter->addObserver(&m_notificationObserver, name, m_webView))) {
                registered = false;
                break;
            }
        }
        if (!registered) break;
        m_hInstance = instance;
        m_hWnd = CreateWindowExW(0, kWindowClassName, title, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, 0,
                                 CW_USEDEFAULT, 0, nullptr, nullptr, instance, this);
        if (!m_hWnd) break;
        if (FAILED(m_webView->setHostWindow(m_hWnd))) break;
        RECT client{};
        GetClientRect(m_hWnd, &client);
        if (FAILED(m_webView->initWithFrame(client, nullptr, nullptr))) break;
        if (FAILED(viewPrivate->viewWindow(&m_hViewWnd)) || !m_hViewWnd) break;
        DragAcceptFiles(m_hViewWnd, FALSE);
        ok = true;
    } while (false);
    if (viewPrivate) viewPrivate->Release();
    if (centerFactory) centerFactory->Release();
    for (BSTR name : names) SysFreeString(name);
    return ok;
}

bool CWebKitWindow::SetIcons() {
    HANDLE big =
        LoadImageW(m_hInstance, MAKEINTRESOURCEW(101), IMAGE_ICON, 32, 32, LR_DEFAULTCOLOR);
    HANDLE small =
        LoadImageW(m_hInstance, MAKEINTRESOURCEW(101), IMAGE_ICON, 16, 16, LR_DEFAULTCOLOR);
    if (!m_hWnd) return false;
    if (big) SendMessageW(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big));
    if (small) SendMessageW(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small));
    return true;
}

std::u16string CWebKitWindow::NormalizeUrl(LPCWSTR url) {
    return ::NormalizeUrl(url);
}

bool CWebKitWindow::LoadUrl(LPCWSTR url) {
    if (!m_webView || !url) return true;
    std::u16string address;
    if (PathFileExistsW(url) || PathIsUNCW(url)) {
        // A local file is loaded through its file address.
        const std::string path = win32::ToUtf8(url);
        gchar* absolute = g_canonicalize_filename(path.c_str(), nullptr);
        gchar* uri = g_filename_to_uri(absolute, nullptr, nullptr);
        g_free(absolute);
        if (!uri) return true;
        address = win32::ToUtf16(uri);
        g_free(uri);
        // Longer than a file address may be (2083 units and its terminator): nothing is loaded.
        if (address.empty() || address.size() > 2083) return true;
    } else {
        address = NormalizeUrl(url);
    }
    // The page shown now is on its way out: its open dialogs are answered, and its further
    // ones too, so that it gets to the end of what it runs and the new page can load.
    CloseScriptDialogs();
    m_leavingPage = true;
    IWebFrame* frame = nullptr;
    IWebMutableURLRequest* request = nullptr;
    BSTR bstrUrl = SysAllocStringLen(address.data(), static_cast<UINT>(address.size()));
    BSTR method = SysAllocString(u"GET");
    bool loaded = false;
    if (SUCCEEDED(m_webView->mainFrame(&frame)) && frame &&
        SUCCEEDED(WebKitCreateInstance(CLSID_WebMutableURLRequest, nullptr,
                                       IID_IWebMutableURLRequest,
                                       reinterpret_cast<void**>(&request))) &&
        request && SUCCEEDED(request->initWithURL(bstrUrl, 0, 60)) &&
        SUCCEEDED(request->setAllowsAnyHTTPSCertificate()) &&
        SUCCEEDED(request->setHTTPMethod(method)) && SUCCEEDED(frame->loadRequest(request))) {
        loaded = true;
    }
    if (loaded) {
        ShowWindow(m_hViewWnd, SW_SHOW);
        UpdateWindow(m_hViewWnd);
    }
    if (frame) frame->Release();
    if (request) request->Release();
    SysFreeString(bstrUrl);
    SysFreeString(method);
    return true;
}

bool CWebKitWindow::LoadUrlUtf8(const char* url) {
    if (!m_webView || !url || !*url) return false;
    size_t length = std::char_traits<char>::length(url);
    if (length >= static_cast<size_t>(INT32_MAX)) return false;
    return LoadUrl(win32::ToUtf16(std::string_view(url, length)).c_str());
}

CWebKitWindow* CWebKitWindow::WindowFromHandle(HWND hwnd) {
    if (g_windows.empty()) return nullptr;
    auto it = g_windows.find(hwnd);
    return it == g_windows.end() ? nullptr : it->second;
}

LRESULT CWebKitWindow::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    CWebKitWindow* window = WindowFromHandle(hwnd);
    switch (message) {
        case WM_CREATE: {
            auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
            if (create && create->lpCreateParams) {
                window = static_cast<CWebKitWindow*>(create->lpCreateParams);
                g_windows[hwnd] = window;
                window->OnCreate(create);
            }
            break;
        }
        case WM_DESTROY:
            if (window) {
                window->OnDestroy();
                // The page is answered while its view still exists.
                window->CloseScriptDialogs();
                if (window->m_webView) {
                    IWebView* view = window->m_webView;
                    view->setHostWindow(nullptr);
                    view->setResourceLoadDelegate(nullptr);
                    view->setFrameLoadDelegate(nullptr);
                    view->setPolicyDelegate(nullptr);
                    view->setUIDelegate(nullptr);
                    view->close();
                    view->Release();
                    window->m_webView = nullptr;
                }
                g_windows.erase(hwnd);
                if (g_windows.empty()) {
                    shutDownWebKit();
                    PostQuitMessage(0);
                }
            }
            break;
        case WM_SIZE:
            if (window)
                window->OnSize(wParam, LOWORD(static_cast<std::uintptr_t>(lParam)),
                               HIWORD(static_cast<std::uintptr_t>(lParam)));
            break;
        case WM_SETFOCUS:
            if (window) window->OnSetFocus(wParam);
            break;
        case WM_KILLFOCUS:
            if (window) window->OnKillFocus(wParam);
            break;
        case WM_CLOSE:
            if (window) window->OnClose();
            break;
        case WM_ERASEBKGND:
            // The view covers the whole client area; there is never a background to erase.
            return 1;
        case WM_TIMER:
            if (window) window->OnTimer(wParam);
            break;
        case WM_DROPFILES: {
            auto drop = reinterpret_cast<HDROP>(wParam);
            std::vector<std::u16string> names;
            UINT count = DragQueryFileW(drop, 0xFFFFFFFFu, nullptr, 0);
            for (UINT i = 0; i < count; ++i) {
                UINT length = DragQueryFileW(drop, i, nullptr, 0);
                std::vector<WCHAR> buffer(static_cast<size_t>(length) + 1, 0);
                DragQueryFileW(drop, i, buffer.data(), length + 1);
                names.emplace_back(buffer.data());
            }
            if (window) window->OnDropFiles(drop, names);
            // The drop is finished for an unknown window too, so that its memory is not lost.
            DragFinish(drop);
            break;
        }
        case WM_CALL_COMPLETE:
            if (wParam && g_callCompleteHandler) g_callCompleteHandler(wParam, lParam);
            break;
        case WM_WINDOW_HOOK:
            if (window) window->OnUserMessage(wParam, lParam);
            break;
        default:
            break;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}
