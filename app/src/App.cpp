// Start-up, the message loop and shut-down.
#include "app/App.h"

#include <cstdio>

#include "app/LocalPaths.h"
#include "app/StorageFolder.h"
#include "win32/text.h"
#include "webkitcom/WebKit.h"

CMyApp* g_app = nullptr;

namespace {

// Each access to the standard preferences is one transaction of its own: any failing step
// ends that transaction silently and start-up goes on.
template <class Action>
void WithStandardPreferences(Action action) {
    IWebPreferences* factory = nullptr;
    if (FAILED(WebKitCreateInstance(CLSID_WebPreferences, nullptr, IID_IWebPreferences,
                                    reinterpret_cast<void**>(&factory))) ||
        !factory) {
        return;
    }
    IWebPreferences* standard = nullptr;
    HRESULT hr = factory->standardPreferences(&standard);
    factory->Release();
    if (FAILED(hr) || !standard) return;
    IWebPreferencesPrivate* prefs = nullptr;
    hr = standard->QueryInterface(IID_IWebPreferencesPrivate, reinterpret_cast<void**>(&prefs));
    standard->Release();
    if (FAILED(hr) || !prefs) return;
    action(prefs);
    prefs->Release();
}

// SIGTERM, SIGINT and SIGHUP end the program the way closing the main window does, so that the
// windows go down in their usual order, the page's state is kept and the exit status is 0. A
// second signal while that close is under way is left to end the process at once, which is
// what a user pressing Ctrl+C twice expects.
BOOL OnEndSignal(DWORD) {
    static bool closing = false;
    if (closing || g_app == nullptr) return FALSE;
    HWND main = g_app->m_mainWindow.GetHWnd();
    if (!IsWindow(main)) return FALSE;
    closing = true;
    PostMessageW(main, WM_CLOSE, 0, 0);
    return TRUE;
}

}  // namespace

CWebKitApp::CWebKitApp(HINSTANCE instance, int cmdShow) {
    OleInitialize(nullptr);
    m_hInstance = instance;
    m_nCmdShow = cmdShow;

    WithStandardPreferences([](IWebPreferencesPrivate* prefs) {
        BOOL enabled = FALSE;
        if (SUCCEEDED(prefs->isWebSecurityEnabled(&enabled)) && enabled) {
            prefs->setWebSecurityEnabled(FALSE);
        }
    });
    WithStandardPreferences([](IWebPreferencesPrivate* prefs) {
        BOOL enabled = FALSE;
        if (FAILED(prefs->localStorageEnabled(&enabled)) || !enabled) {
            prefs->setLocalStorageEnabled(TRUE);
        }
    });
    std::u16string storedPath;
    WithStandardPreferences([&storedPath](IWebPreferencesPrivate* prefs) {
        BSTR path = nullptr;
        if (SUCCEEDED(prefs->localStorageDatabasePath(&path)) && path) storedPath = path;
        SysFreeString(path);
    });
    // A stored folder is kept only while it works: one that became a file, vanished or cannot
    // be written would otherwise lose every setting and scan from then on without a word.
    LocalStorageFolder folder = ChooseLocalStorageFolder(storedPath);
    m_pageNotice = folder.notice;
    if (!folder.path.empty()) {
        // Before anything is written: a second program on the same folder only asks the
        // first to show its window and ends.
        m_instanceOutcome = m_instance.Claim(win32::ToUtf8(folder.path));
        if (m_instanceOutcome == CSingleInstance::Outcome::HandedOver ||
            m_instanceOutcome == CSingleInstance::Outcome::NoAnswer) {
            return;
        }
    }
    if (folder.store) {
        WithStandardPreferences([&folder](IWebPreferencesPrivate* prefs) {
            BSTR path = SysAllocString(folder.path.c_str());
            prefs->setLocalStorageDatabasePath(path);
            SysFreeString(path);
        });
    }
}

CWebKitApp::~CWebKitApp() {
    OleUninitialize();
}

ATOM CWebKitApp::RegisterWindowClass() {
    return ::RegisterWindowClass(m_hInstance);
}

bool CWebKitApp::Run() {
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return true;
}

CMyApp::CMyApp(HINSTANCE instance, int cmdShow) : CWebKitApp(instance, cmdShow) {
    m_mainWindow.AttachWindows(&m_scanWindow, &m_popupWindows);
    m_scanWindow.AttachPopupList(&m_popupWindows);
}

CMyApp::~CMyApp() {
    for (CMyWindow* window : m_popupWindows) delete window;
    m_popupWindows.clear();
    m_popupWindows.shrink_to_fit();
}

bool CMyApp::Run() {
    switch (m_instanceOutcome) {
        case CSingleInstance::Outcome::HandedOver:
            return true;
        case CSingleInstance::Outcome::NoAnswer:
            std::fprintf(stderr,
                         "trawlet: another Trawlet keeps its settings in the same folder and does "
                         "not answer\n");
            return false;
        default:
            break;
    }
    if (!m_mainWindow.Create(u"Trawlet", m_hInstance) || !m_mainWindow.GetHWnd()) {
        std::fprintf(stderr, "trawlet: the main window could not be created (no web engine?)\n");
        return false;
    }
    ShowWindow(m_mainWindow.GetHWnd(), m_nCmdShow);
    UpdateWindow(m_mainWindow.GetHWnd());
    m_mainWindow.SetIcons();
    DragAcceptFiles(m_mainWindow.GetHWnd(), TRUE);
    std::u16string pageUrl;
    GetIndexPageUrl(pageUrl);
    m_mainWindow.TellPageOnceLoaded(m_pageNotice);
    m_instance.ServeShowRequests([this] {
        HWND main = m_mainWindow.GetHWnd();
        if (IsWindow(main)) ShowWindow(main, SW_SHOW);
    });
    m_mainWindow.LoadUrl(pageUrl.c_str());
    SetConsoleCtrlHandler(OnEndSignal, TRUE);
    const bool ran = CWebKitApp::Run();
    SetConsoleCtrlHandler(OnEndSignal, FALSE);
    return ran;
}
