// The desktop in use and the base desktop, which needs no display.
#include "win32/desktop.h"

#include <cstdint>

namespace win32 {

namespace {

CDesktop g_baseDesktop;
CDesktop* g_desktop = &g_baseDesktop;

}  // namespace

bool CDesktop::SetClipboardText(HWND, const std::u16string&) {
    return false;
}

bool CDesktop::OpenWithDefaultHandler(const std::u16string& address) {
    HINSTANCE answer = ShellExecuteW(nullptr, u"open", address.c_str(), nullptr, nullptr, SW_SHOW);
    return reinterpret_cast<std::intptr_t>(answer) > 32;
}

CDesktop& Desktop() {
    return *g_desktop;
}

CDesktop* SetDesktop(CDesktop* desktop) {
    CDesktop* previous = g_desktop;
    g_desktop = desktop != nullptr ? desktop : &g_baseDesktop;
    return previous;
}

}  // namespace win32
