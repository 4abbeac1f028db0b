// The kind of window whose loads are watched: the scan window and every window that a page in
// one of them opens.
#pragma once

#include <vector>

#include "webview/WebKitWindow.h"

class CMyWindow : public CWebKitWindow {
public:
    CMyWindow();
    ~CMyWindow() override;

    void OnCreate(CREATESTRUCTW* createStruct) override;
    void OnNewWindowPolicy(BSTR url, BSTR frameName) override;
    void OnCreateWebView(BSTR url, IWebView** newWebView) override;
    // A scanned page's dialogs never hold the program (ScriptDialogs.cpp).
    bool RunDialogLater(WebScriptDialogKind kind, BSTR message, BSTR defaultText,
                        IWebScriptDialogAnswer* answer) override;
    // Recovery.cpp: the window says in its view that its page stopped; the scan goes on.
    void OnWebProcessTerminated(WebProcessTerminationReason reason) override;

    // Ends the page the window shows and every load of it (IWebViewPrivate::endPage), before
    // the window loads the page of a new scan.
    void EndPage();

    // Where the windows that this window's pages open are kept (the application's list,
    // which owns them).
    void AttachPopupList(std::vector<CMyWindow*>* popupWindows) { m_popupWindows = popupWindows; }

    CResourceLoadDelegate m_resourceLoadDelegate;
    // 0 for the scan window; for an additional window, its place among the windows opened
    // since the scan started that was running when it opened (1 for the first).
    // FIXME: a window left open from an earlier scan keeps its number from then.
    int m_scanWindowNumber = 0;

private:
    CMyWindow* OpenAdditionalWindow();

    std::vector<CMyWindow*>* m_popupWindows = nullptr;
};
