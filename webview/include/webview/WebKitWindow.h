// A top-level window that hosts one web view filling its client area, the one window
// procedure of the class "WEBKIT_WINDOW", and the registry of windows.
#pragma once

#include <chrono>
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "webkitcom/WebKit.h"
#include "webview/Delegates.h"
#include "win32/dialogs.h"
#include "win32/windows.h"

// Window messages of this program.
constexpr UINT WM_CALL_COMPLETE = WM_APP + 301;
constexpr UINT WM_WINDOW_HOOK = WM_APP + 302;

extern const WCHAR kWindowClassName[];  // "WEBKIT_WINDOW"

class CWebKitWindow;

// Every registered window, by top-level handle. Entries come with WM_CREATE and go after
// WM_DESTROY; the registry running empty is the program's signal to quit.
extern std::map<HWND, CWebKitWindow*> g_windows;

// What handles WM_CALL_COMPLETE for a service object (the script bridge's business). The
// window procedure calls it with WPARAM and LPARAM whatever window the message is for.
using CallCompleteHandler = void (*)(WPARAM service, LPARAM outcome);
extern CallCompleteHandler g_callCompleteHandler;

class CWebKitWindow {
public:
    CWebKitWindow();
    virtual ~CWebKitWindow();

    // The hooks that the window procedure and the delegates call. The defaults do nothing,
    // except OnSize (fits the view to the client area) and the default behaviours in
    // WebKitWindow.cpp: OnNewWindowPolicy, SetWindowFrame, GetWindowFrame, OnContextMenu,
    // RunAlert and RunConfirm.
    virtual void OnCreate(CREATESTRUCTW* createStruct);
    virtual void OnSize(WPARAM sizeType, int width, int height);
    virtual void OnTimer(WPARAM timerId);
    virtual void OnSetFocus(WPARAM previousFocus);
    virtual void OnKillFocus(WPARAM nextFocus);
    virtual void OnDropFiles(HDROP drop, const std::vector<std::u16string>& names);
    virtual void OnClose();
    virtual void OnDestroy();
    virtual void OnLoadFinished(BSTR mainFrameUrl);
    virtual void OnLoadFailed(IWebError* error, IWebFrame* frame);
    virtual void OnProvisionalLoadFailed(IWebError* error, IWebFrame* frame);
    virtual void OnProgressStarted();
    virtual void OnProgressChanged(int percent);
    virtual void OnProgressFinished();
    virtual void OnWindowObjectCleared(JSContextRef context, JSObjectRef windowObject,
                                       IWebFrame* frame);
    // The view's web process went away; the view shows nothing until a load.
    virtual void OnWebProcessTerminated(WebProcessTerminationReason reason);
    // A download the view's page started ended: written to `path` when `failure` is empty.
    virtual void OnDownloadEnded(const std::u16string& suggestedName, const std::u16string& path,
                                 const std::u16string& failure);
    virtual void OnNewWindowPolicy(BSTR url, BSTR frameName);
    virtual void OnCreateWebView(BSTR url, IWebView** newWebView);
    virtual void SetWindowFrame(RECT* rect);
    virtual void GetWindowFrame(RECT* rect);
    virtual void OnContextMenu(IPropertyBag* element, HMENU defaultMenu, HMENU* result);
    virtual void RunAlert(BSTR message);
    virtual void RunConfirm(BSTR message, BOOL* answer);
    // A script dialog of the view's page to be answered through `answer`, at once or later.
    // The default takes none (false): alerts and confirms then go to RunAlert and RunConfirm,
    // which hold the program until they are answered, and prompts to the engine's own dialog.
    virtual bool RunDialogLater(WebScriptDialogKind kind, BSTR message, BSTR defaultText,
                                IWebScriptDialogAnswer* answer);
    virtual void OnUserMessage(WPARAM wParam, LPARAM lParam);

    bool Create(LPCWSTR title, HINSTANCE instance);
    bool SetIcons();
    bool LoadUrl(LPCWSTR url);
    bool LoadUrlUtf8(const char* url);
    // Shows a document of our own (UTF-8 HTML) in the view, at about:blank.
    bool LoadHtmlUtf8(const std::string& html);
    static std::u16string NormalizeUrl(LPCWSTR url);

    static CWebKitWindow* WindowFromHandle(HWND hwnd);
    static LRESULT WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

    // ScriptDialogs.cpp. Answers every script dialog the window shows as dismissed and closes
    // its box: before the view closes, and when the view is to show something else.
    void CloseScriptDialogs();
    // The view committed a load: a page the program loaded (LoadUrl) now replaces the one
    // whose dialogs were shown or stopped.
    void NoteLoadCommitted();

    HWND GetHWnd() const { return m_hWnd; }
    IWebView* GetWebView() const { return m_webView; }

    HINSTANCE m_hInstance = nullptr;
    HWND m_hWnd = nullptr;
    HWND m_hViewWnd = nullptr;
    IWebView* m_webView = nullptr;
    int m_lastProgress = 0;
    CDefFrameLoadDelegate m_frameLoadDelegate;
    CDefUIDelegate m_uiDelegate;
    CDefPolicyDelegate m_policyDelegate;
    IWebNotificationCenter* m_notificationCenter = nullptr;
    CDefNotificationObserver m_notificationObserver;

protected:
    // ScriptDialogs.cpp: the script dialogs of a page that must not hold the program (the
    // scanned pages'). Each shows in a box owned by this window that waits for nobody; the
    // third within kDialogBurst offers to stop the page's dialogs, after which the page's
    // dialogs are answered as dismissed at once, until the program loads a new page.
    bool ShowScriptDialogLater(WebScriptDialogKind kind, BSTR message,
                               IWebScriptDialogAnswer* answer);

private:
    struct OpenScriptDialog {
        win32::MessageBoxHandle box = 0;
        IWebScriptDialogAnswer* answer = nullptr;
    };
    // What the load the program asked for (LoadUrl) resets once it is committed.
    void ForgetPageDialogs();

    std::vector<OpenScriptDialog> m_scriptDialogs;
    // When the page's latest dialogs came, within the last kDialogBurst.
    std::deque<std::chrono::steady_clock::time_point> m_recentDialogs;
    bool m_dialogsStopped = false;
    // The program loads a new page into the view: until it is committed, the dialogs come from
    // the page that goes, and are answered as dismissed.
    bool m_leavingPage = false;
};

ATOM RegisterWindowClass(HINSTANCE instance);
