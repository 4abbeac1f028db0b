// The program's entry: the application object lives in this frame.
#include "app/App.h"

int wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int showCommand) {
    CMyApp app(instance, showCommand);
    g_app = &app;
    RegisterWindowClass(instance);
    if (!app.CMyApp::Run()) return 1;
    return 0;
}
