// The main window: shows the program's own page, holds the scan state and the page's service
// object, and closing it closes every window.
#pragma once

#include <string>
#include <vector>

#include "bridgehost/ServiceHost.h"
#include "finder/ScanHost.h"
#include "webview/MyWindow.h"
#include "webview/WebKitWindow.h"

class CLocalWindow : public CWebKitWindow, public CScanHost {
public:
    CLocalWindow();
    ~CLocalWindow() override;

    void OnCreate(CREATESTRUCTW* createStruct) override;
    void OnDropFiles(HDROP drop, const std::vector<std::u16string>& names) override;
    void OnClose() override;
    void OnLoadFinished(BSTR mainFrameUrl) override;
    // Calls the page's "storageProblem" with `text` once the page has loaded (nothing when
    // `text` is empty, or when the page has no such function).
    void TellPageOnceLoaded(const std::string& text) { m_storageNotice = text; }
    void OnWindowObjectCleared(JSContextRef context, JSObjectRef windowObject,
                               IWebFrame* frame) override;

    // Posts WM_DESTROY to every registered window.
    void PostDestroyToAllWindows();

    // The application's scan window and its list of additional windows.
    void AttachWindows(CMyWindow* scanWindow, std::vector<CMyWindow*>* popupWindows);

    // The one main window, or null while there is none.
    static CLocalWindow* Instance();

    // CScanHost
    bool CallPageFunction(const char* name, const std::string& utf8Argument) override;
    bool EnsureScanWindow() override;
    bool LoadScanUrlUtf8(const char* address) override;
    void ShowScanWindow() override;
    HWND ClipboardOwner() override { return m_hWnd; }

    CWebKitServiceHost m_service;

private:
    // The address the view shows now, for the service's own check that it is the program's
    // page; empty without a view.
    std::string MainViewAddress() const;

    CMyWindow* m_scanWindow = nullptr;
    std::vector<CMyWindow*>* m_popupWindows = nullptr;
    std::string m_storageNotice;
};
