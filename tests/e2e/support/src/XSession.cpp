#include "e2e/XSession.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstring>
#include <mutex>
#include <sstream>

#include "e2e/Command.h"

namespace e2e {

namespace {

// Windows come and go while the tests look at them; a request about a window that just
// disappeared must not end the test program, which is what Xlib's default handler does.
int IgnoreXErrors(Display*, XErrorEvent*) {
    return 0;
}

constexpr int kMaxDepth = 4;

}  // namespace

XSession::XSession() {
    static std::once_flag handlerSet;
    std::call_once(handlerSet, [] { XSetErrorHandler(&IgnoreXErrors); });
    m_display = XOpenDisplay(nullptr);
}

XSession::~XSession() {
    if (m_display) XCloseDisplay(m_display);
}

std::optional<std::string> XSession::TextProperty(unsigned long window, const char* name) {
    Atom property = XInternAtom(m_display, name, False);
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(m_display, window, property, 0, 1 << 16, False, AnyPropertyType, &type,
                           &format, &count, &after, &data) != Success ||
        !data) {
        return std::nullopt;
    }
    std::optional<std::string> text;
    if (format == 8) text = std::string(reinterpret_cast<char*>(data), count);
    XFree(data);
    return text;
}

void XSession::Collect(unsigned long window, int depth, std::vector<WindowInfo>& out) {
    Window root = 0, parent = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(m_display, window, &root, &parent, &children, &count)) return;
    for (unsigned int i = 0; i < count; ++i) {
        const Window child = children[i];
        auto title = TextProperty(child, "_NET_WM_NAME");
        if (!title) title = TextProperty(child, "WM_NAME");
        if (title) {
            WindowInfo info;
            info.id = child;
            info.title = *title;

            Atom type = None;
            int format = 0;
            unsigned long items = 0, after = 0;
            unsigned char* data = nullptr;
            if (XGetWindowProperty(m_display, child, XInternAtom(m_display, "_NET_WM_PID", False),
                                   0, 1, False, XA_CARDINAL, &type, &format, &items, &after,
                                   &data) == Success &&
                data) {
                if (items == 1 && format == 32) info.pid = *reinterpret_cast<long*>(data);
                XFree(data);
            }
            Window transientFor = 0;
            if (XGetTransientForHint(m_display, child, &transientFor))
                info.transientFor = transientFor;
            data = nullptr;
            if (XGetWindowProperty(
                    m_display, child, XInternAtom(m_display, "_NET_WM_WINDOW_TYPE", False), 0, 32,
                    False, XA_ATOM, &type, &format, &items, &after, &data) == Success &&
                data) {
                const Atom dialog = XInternAtom(m_display, "_NET_WM_WINDOW_TYPE_DIALOG", False);
                for (unsigned long k = 0; k < items; ++k) {
                    if (reinterpret_cast<Atom*>(data)[k] == dialog) info.dialogType = true;
                }
                XFree(data);
            }
            XWindowAttributes attributes;
            if (XGetWindowAttributes(m_display, child, &attributes)) {
                info.viewable = attributes.map_state == IsViewable;
                info.width = attributes.width;
                info.height = attributes.height;
                Window ignored = 0;
                XTranslateCoordinates(m_display, child, attributes.root, 0, 0, &info.x, &info.y,
                                      &ignored);
            }
            out.push_back(std::move(info));
        }
        if (depth + 1 < kMaxDepth) Collect(child, depth + 1, out);
    }
    if (children) XFree(children);
}

std::vector<WindowInfo> XSession::Windows() {
    std::vector<WindowInfo> out;
    if (!m_display) return out;
    Collect(DefaultRootWindow(m_display), 0, out);
    XSync(m_display, False);
    return out;
}

std::vector<WindowInfo> XSession::Windows(const std::function<bool(const WindowInfo&)>& predicate) {
    std::vector<WindowInfo> all = Windows();
    std::erase_if(all, [&](const WindowInfo& w) { return !predicate(w); });
    return all;
}

std::optional<WindowInfo> XSession::WaitForWindow(
    const std::function<bool(const WindowInfo&)>& predicate, Millis timeout) {
    std::optional<WindowInfo> found;
    WaitUntil(
        [&] {
            for (auto& w : Windows()) {
                if (predicate(w)) {
                    found = std::move(w);
                    return true;
                }
            }
            return false;
        },
        timeout, Millis(25));
    return found;
}

std::optional<WindowInfo> XSession::WaitForMainWindow(long pid, const std::string& title,
                                                      Millis timeout) {
    return WaitForWindow(
        [&](const WindowInfo& w) {
            return w.pid == pid && w.viewable && !w.IsDialog() && w.title == title;
        },
        timeout);
}

std::optional<WindowInfo> XSession::WaitForDialog(long pid, const std::string& title,
                                                  Millis timeout) {
    return WaitForWindow(
        [&](const WindowInfo& w) {
            return w.pid == pid && w.viewable && w.IsDialog() && w.title == title;
        },
        timeout);
}

bool XSession::IsShown(XWindowId window) {
    if (!m_display) return false;
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(m_display, window, &attributes)) return false;
    return attributes.map_state == IsViewable;
}

bool XSession::CloseWindow(XWindowId window) {
    if (!m_display) return false;
    XEvent event;
    std::memset(&event, 0, sizeof event);
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(m_display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(m_display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    const Status sent = XSendEvent(m_display, window, False, NoEventMask, &event);
    XSync(m_display, False);
    return sent != 0;
}

std::optional<std::pair<std::string, std::string>> XSession::WmClass(XWindowId window) {
    if (!m_display) return std::nullopt;
    XClassHint hint{};
    if (!XGetClassHint(m_display, window, &hint)) return std::nullopt;
    std::pair<std::string, std::string> names(hint.res_name ? hint.res_name : "",
                                              hint.res_class ? hint.res_class : "");
    if (hint.res_name) XFree(hint.res_name);
    if (hint.res_class) XFree(hint.res_class);
    return names;
}

std::vector<std::pair<int, int>> XSession::IconSizes(XWindowId window) {
    std::vector<std::pair<int, int>> sizes;
    if (!m_display) return sizes;
    Atom type = None;
    int format = 0;
    unsigned long items = 0, after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(m_display, window, XInternAtom(m_display, "_NET_WM_ICON", False), 0,
                           1 << 20, False, XA_CARDINAL, &type, &format, &items, &after,
                           &data) != Success ||
        !data) {
        return sizes;
    }
    // Format 32 data arrives as longs: width, height, then width * height pixels, repeated.
    const long* values = reinterpret_cast<const long*>(data);
    unsigned long at = 0;
    while (format == 32 && at + 2 <= items) {
        const long width = values[at], height = values[at + 1];
        if (width <= 0 || height <= 0) break;
        const unsigned long pixels = static_cast<unsigned long>(width * height);
        if (at + 2 + pixels > items) break;
        sizes.emplace_back(static_cast<int>(width), static_cast<int>(height));
        at += 2 + pixels;
    }
    XFree(data);
    return sizes;
}

bool XSession::Key(XWindowId window, const std::string& keys) {
    const std::string id = std::to_string(window);
    return RunCommand({"xdotool", "windowfocus", "--sync", id, "key", "--clearmodifiers", keys})
        .Ok();
}

bool XSession::Click(XWindowId window, int x, int y) {
    const std::string id = std::to_string(window);
    // No --sync: it waits for the pointer to move, forever when it is already there. The
    // server applies the fake motion and the click in order, so the click lands at (x, y).
    return RunCommand({"xdotool", "mousemove", "--window", id, std::to_string(x), std::to_string(y),
                       "click", "1"})
        .Ok();
}

std::optional<std::string> XSession::ClipboardText(const std::string& target) {
    CommandResult r =
        RunCommand({"xclip", "-o", "-selection", "clipboard", "-t", target}, Millis(5000));
    if (!r.Ok()) return std::nullopt;
    return r.out;
}

std::vector<std::string> XSession::ClipboardTargets() {
    std::vector<std::string> targets;
    CommandResult r =
        RunCommand({"xclip", "-o", "-selection", "clipboard", "-t", "TARGETS"}, Millis(5000));
    if (!r.Ok()) return targets;
    std::istringstream lines(r.out);
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty()) targets.push_back(line);
    }
    return targets;
}

bool XSession::Screenshot(const std::string& file) {
    return RunCommand({"import", "-window", "root", file}, Millis(10000)).Ok();
}

}  // namespace e2e
