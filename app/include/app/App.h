// The application object: OLE and engine preferences, the window class, the program's windows
// and the message loop.
#pragma once

#include <string>
#include <vector>

#include "app/SingleInstance.h"

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
    // What the page is told about its storage once it has loaded; empty: nothing.
    std::string m_pageNotice;
    // Whether this program holds its storage folder, or handed over to the one that does.
    CSingleInstance m_instance;
    CSingleInstance::Outcome m_instanceOutcome = CSingleInstance::Outcome::Alone;
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
