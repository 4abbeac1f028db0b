#pragma once

// The tests' own connection to the X display: finding the program's windows, closing them the
// way a window manager does, reading their icons, and driving keyboard, mouse and clipboard
// through the usual command-line tools.

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "e2e/Wait.h"

// Xlib types without Xlib's macros in every test.
struct _XDisplay;

namespace e2e {

using XWindowId = unsigned long;

struct WindowInfo {
    XWindowId id = 0;
    std::string title;  // _NET_WM_NAME, else WM_NAME
    long pid = 0;       // _NET_WM_PID, 0 when absent
    XWindowId transientFor = 0;
    bool dialogType = false;  // _NET_WM_WINDOW_TYPE holds _NET_WM_WINDOW_TYPE_DIALOG
    bool viewable = false;    // mapped and all its ancestors mapped
    int x = 0, y = 0;         // position on the root window
    int width = 0, height = 0;

    // A dialog is what a toolkit marks as one: transient for another window or of dialog type.
    bool IsDialog() const { return transientFor != 0 || dialogType; }
};

class XSession {
public:
    // Opens the display named by DISPLAY. Check Ok() before use.
    XSession();
    ~XSession();
    XSession(const XSession&) = delete;
    XSession& operator=(const XSession&) = delete;

    bool Ok() const { return m_display != nullptr; }

    // Every window with a title, below the root at any depth (so a window manager's frames do
    // not hide the clients), in stacking order.
    std::vector<WindowInfo> Windows();
    std::vector<WindowInfo> Windows(const std::function<bool(const WindowInfo&)>& predicate);

    std::optional<WindowInfo> WaitForWindow(const std::function<bool(const WindowInfo&)>& pred,
                                            Millis timeout = kStartTimeout);
    // A viewable top-level window (not a dialog) of process `pid` with exactly this title.
    std::optional<WindowInfo> WaitForMainWindow(long pid, const std::string& title,
                                                Millis timeout = kStartTimeout);
    // A viewable dialog of process `pid` with exactly this title.
    std::optional<WindowInfo> WaitForDialog(long pid, const std::string& title,
                                            Millis timeout = kActionTimeout);
    // Whether the window still exists and is viewable.
    bool IsShown(XWindowId window);

    // Sends WM_PROTOCOLS / WM_DELETE_WINDOW, as a window manager's close button does.
    bool CloseWindow(XWindowId window);

    // The window's WM_CLASS as (instance, class), which the desktop matches to its entries.
    std::optional<std::pair<std::string, std::string>> WmClass(XWindowId window);

    // The sizes of the images in the window's _NET_WM_ICON, as (width, height) pairs.
    std::vector<std::pair<int, int>> IconSizes(XWindowId window);

    // Keyboard and mouse through xdotool: focuses the window, then types real key events
    // (XTEST), e.g. "Return", "Escape", "alt+n".
    bool Key(XWindowId window, const std::string& keys);
    // Clicks mouse button 1 at (x, y) relative to the window's top-left corner.
    bool Click(XWindowId window, int x, int y);

    // The CLIPBOARD selection as UTF-8 text (xclip); no value when nobody owns it or it holds
    // no text.
    std::optional<std::string> ClipboardText(const std::string& target = "UTF8_STRING");
    // The targets (formats) the clipboard owner offers.
    std::vector<std::string> ClipboardTargets();

    // Saves a picture of the whole screen (ImageMagick's import) for a failed test.
    static bool Screenshot(const std::string& file);

private:
    void Collect(unsigned long window, int depth, std::vector<WindowInfo>& out);
    std::optional<std::string> TextProperty(unsigned long window, const char* name);

    _XDisplay* m_display = nullptr;
};

}  // namespace e2e
