// What code without windows asks of the desktop: text for the clipboard, and addresses for the
// user's default handler. The finder reaches both only through here, so it links no windowing
// layer, and its tests install a desktop of their own.
#pragma once

#include <string>

#include "win32/windows.h"

namespace win32 {

class CDesktop {
public:
    virtual ~CDesktop() = default;

    // Puts `text` on the clipboard as Unicode text owned by `owner`, in place of what the
    // clipboard held. False when the clipboard did not take it. The base answers false:
    // without a windowing layer there is no clipboard.
    virtual bool SetClipboardText(HWND owner, const std::u16string& text);

    // Opens the address or file with the user's default handler (ShellExecuteW's "open" over
    // GIO). True when the handler was started.
    virtual bool OpenWithDefaultHandler(const std::u16string& address);
};

// The desktop in use: the one installed last, else the base desktop. Only the user-interface
// thread calls these.
CDesktop& Desktop();
// Installs `desktop` (not owned; null puts the base desktop back) and answers the desktop it
// replaces.
CDesktop* SetDesktop(CDesktop* desktop);

// The desktop of the windowing part (trawlet_win32, which defines it): the clipboard is GTK's
// CLIPBOARD selection. The process entry installs it once GTK is up.
CDesktop& WindowingDesktop();

}  // namespace win32
