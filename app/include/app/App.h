// The application object: OLE and engine preferences, the window class, the program's windows
// and the message loop.
#pragma once

#include <vector>

#include "webview/LocalWindow.h"
#include "webview/MyWindow.h"
#include "win32/windows.h"

class CWebKitApp {
public:
    CWebKitApp(HINSTANCE instance, int cmdShow);
    virtual ~CWebKitApp();
    virtual ATOM RegisterWindowClass();
    virtual bool Run();

    HINSTANCE m_hInstance;
    int m_nCmdShow;
};

class CMyApp : public CWebKitApp {
public:
    CMyApp(HINSTANCE instance, int cmdShow);
    ~CMyApp() override;
    // Answers false when the main window could not be made; the loop then never runs.
    bool Run() override;

    CLocalWindow m_mainWindow;
    CMyWindow m_scanWindow;
    std::vector<CMyWindow*> m_popupWindows;
};

extern CMyApp* g_app;
