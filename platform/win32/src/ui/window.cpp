// Window classes, windows and the thread's message queue over GTK 3 and the GLib main loop.
// One file on purpose: the handle table, the window procedures' dispatch and the queue that
// GetMessageW drains share one state (what a handle is, whether it is still alive) that no
// other file may touch, and splitting it would mean publishing that state to the rest.
#include <gtk/gtk.h>

#include <deque>
#include <map>
#include <memory>
#include <string>

#include "win32/gtkhandles.h"
#include "win32/text.h"
#include "win32/windows.h"

namespace {

struct WindowClass {
    WNDPROC proc = nullptr;
    HINSTANCE instance = nullptr;
};

// Class names are compared case-insensitively on Windows; ours are ASCII, so folding ASCII
// letters is enough.
std::u16string FoldClassName(LPCWSTR name) {
    std::u16string folded;
    for (; name && *name; ++name) {
        char16_t c = *name;
        folded.push_back(c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c);
    }
    return folded;
}

std::map<std::u16string, WindowClass>& Classes() {
    static std::map<std::u16string, WindowClass> classes;
    return classes;
}

// Window handles stay allocated for the life of the process, so that a message posted to a
// window that was destroyed meanwhile still finds a (dead) handle instead of freed memory.
std::map<HWND, std::unique_ptr<HWND__>>& Handles() {
    static std::map<HWND, std::unique_ptr<HWND__>> handles;
    return handles;
}

std::deque<MSG>& Queue() {
    static std::deque<MSG> queue;
    return queue;
}

bool Alive(HWND hwnd) {
    auto& handles = Handles();
    auto it = handles.find(hwnd);
    return it != handles.end() && !it->second->destroyed;
}

// GTK's own close request becomes WM_CLOSE; GTK never destroys a window by itself, so that
// DefWindowProcW decides (WM_CLOSE -> DestroyWindow -> WM_DESTROY), as on Windows.
gboolean OnDeleteEvent(GtkWidget*, GdkEvent*, gpointer data) {
    HWND hwnd = static_cast<HWND>(data);
    if (Alive(hwnd)) SendMessageW(hwnd, WM_CLOSE, 0, 0);
    return TRUE;
}

void OnClientSizeAllocate(GtkWidget*, GdkRectangle* allocation, gpointer data) {
    HWND hwnd = static_cast<HWND>(data);
    if (!Alive(hwnd)) return;
    if (allocation->width == hwnd->lastWidth && allocation->height == hwnd->lastHeight) return;
    hwnd->lastWidth = allocation->width;
    hwnd->lastHeight = allocation->height;
    SendMessageW(
        hwnd, WM_SIZE, 0,
        MAKELPARAM(static_cast<WORD>(allocation->width), static_cast<WORD>(allocation->height)));
}

gboolean OnFocusIn(GtkWidget*, GdkEvent*, gpointer data) {
    HWND hwnd = static_cast<HWND>(data);
    if (Alive(hwnd)) SendMessageW(hwnd, WM_SETFOCUS, 0, 0);
    return FALSE;
}

gboolean OnFocusOut(GtkWidget*, GdkEvent*, gpointer data) {
    HWND hwnd = static_cast<HWND>(data);
    if (Alive(hwnd)) SendMessageW(hwnd, WM_KILLFOCUS, 0, 0);
    return FALSE;
}

void OnDragDataReceived(GtkWidget*, GdkDragContext* context, gint, gint, GtkSelectionData* data,
                        guint, guint time, gpointer user) {
    HWND hwnd = static_cast<HWND>(user);
    gchar** uris = gtk_selection_data_get_uris(data);
    bool any = false;
    if (uris && Alive(hwnd) && hwnd->acceptFiles) {
        auto* drop = new HDROP__;
        for (gchar** uri = uris; *uri; ++uri) {
            gchar* path = g_filename_from_uri(*uri, nullptr, nullptr);
            if (!path) continue;
            drop->files.push_back(win32::ToUtf16(path));
            g_free(path);
        }
        any = !drop->files.empty();
        if (any) {
            SendMessageW(hwnd, WM_DROPFILES, reinterpret_cast<WPARAM>(drop), 0);
        } else {
            delete drop;
        }
    }
    g_strfreev(uris);
    gtk_drag_finish(context, any, FALSE, time);
}

}  // namespace

namespace win32 {

GtkWidget* WidgetOf(HWND hwnd) {
    return Alive(hwnd) ? hwnd->widget : nullptr;
}

HWND WrapChildWidget(GtkWidget* widget, HWND parent) {
    if (!widget || !Alive(parent) || !parent->client) return nullptr;
    auto owned = std::make_unique<HWND__>();
    HWND hwnd = owned.get();
    hwnd->widget = widget;
    hwnd->parent = parent;
    hwnd->instance = parent->instance;
    Handles().emplace(hwnd, std::move(owned));
    gtk_layout_put(GTK_LAYOUT(parent->client), widget, 0, 0);
    return hwnd;
}

void ForgetChildWidget(HWND hwnd) {
    if (!Alive(hwnd)) return;
    hwnd->widget = nullptr;
    hwnd->destroyed = true;
}

}  // namespace win32

ATOM RegisterClassExW(const WNDCLASSEXW* windowClass) {
    if (!windowClass || !windowClass->lpszClassName || !windowClass->lpfnWndProc) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    auto name = FoldClassName(windowClass->lpszClassName);
    auto& classes = Classes();
    if (classes.count(name)) {
        SetLastError(1410);  // ERROR_CLASS_ALREADY_EXISTS
        return 0;
    }
    classes[name] = WindowClass{windowClass->lpfnWndProc, windowClass->hInstance};
    return static_cast<ATOM>(0xC000 + classes.size());
}

HCURSOR LoadCursorW(HINSTANCE, LPCWSTR) {
    // The cursor is GTK's business; any non-null handle will do.
    static int arrow;
    return reinterpret_cast<HCURSOR>(&arrow);
}

HWND CreateWindowExW(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style, int x,
                     int y, int width, int height, HWND parent, HMENU menu, HINSTANCE instance,
                     LPVOID param) {
    auto it = Classes().find(FoldClassName(className));
    if (it == Classes().end()) {
        SetLastError(1407);  // ERROR_CANNOT_FIND_WND_CLASS
        return nullptr;
    }
    if (!gdk_display_get_default()) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    auto owned = std::make_unique<HWND__>();
    HWND hwnd = owned.get();
    hwnd->className = it->first;
    hwnd->proc = it->second.proc;
    hwnd->instance = instance;
    hwnd->parent = parent;
    hwnd->topLevel = (style & WS_CHILD) == 0;
    hwnd->title = windowName ? std::u16string(windowName) : std::u16string();
    Handles().emplace(hwnd, std::move(owned));

    if (hwnd->topLevel) {
        GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
        hwnd->widget = window;
        g_object_ref_sink(window);
        // Each top-level window is a group of its own, which its message boxes join: a modal
        // box then holds its owner only, as a message box disables just its owner on Windows,
        // instead of every window of the program. The window keeps the group alive.
        GtkWindowGroup* group = gtk_window_group_new();
        gtk_window_group_add_window(group, GTK_WINDOW(window));
        g_object_unref(group);
        gtk_window_set_title(GTK_WINDOW(window), win32::ToUtf8(hwnd->title.c_str()).c_str());
        // CW_USEDEFAULT leaves the size to the system; we pick a comfortable default.
        hwnd->defaultWidth = width == CW_USEDEFAULT || width <= 0 ? 1100 : width;
        hwnd->defaultHeight = width == CW_USEDEFAULT || height <= 0 ? 760 : height;
        gtk_window_set_default_size(GTK_WINDOW(window), hwnd->defaultWidth, hwnd->defaultHeight);
        if (x != CW_USEDEFAULT) gtk_window_move(GTK_WINDOW(window), x, y);
        // The client area is a layout: its own size request stays zero, so children placed
        // with MoveWindow never stop the user from shrinking the window.
        hwnd->client = gtk_layout_new(nullptr, nullptr);
        gtk_container_add(GTK_CONTAINER(window), hwnd->client);
        gtk_widget_show(hwnd->client);
        g_signal_connect(window, "delete-event", G_CALLBACK(OnDeleteEvent), hwnd);
        g_signal_connect(window, "focus-in-event", G_CALLBACK(OnFocusIn), hwnd);
        g_signal_connect(window, "focus-out-event", G_CALLBACK(OnFocusOut), hwnd);
        g_signal_connect(hwnd->client, "size-allocate", G_CALLBACK(OnClientSizeAllocate), hwnd);
    }

    CREATESTRUCTW create{};
    create.lpCreateParams = param;
    create.hInstance = instance;
    create.hMenu = menu;
    create.hwndParent = parent;
    create.cx = width;
    create.cy = height;
    create.x = x;
    create.y = y;
    create.style = static_cast<LONG>(style);
    create.lpszName = windowName;
    create.lpszClass = className;
    create.dwExStyle = exStyle;
    if (SendMessageW(hwnd, WM_CREATE, 0, reinterpret_cast<LPARAM>(&create)) == -1) {
        DestroyWindow(hwnd);
        return nullptr;
    }
    return hwnd;
}

BOOL DestroyWindow(HWND hwnd) {
    if (!Alive(hwnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    if (hwnd->proc) hwnd->proc(hwnd, WM_DESTROY, 0, 0);
    hwnd->destroyed = true;
    if (hwnd->topLevel && hwnd->widget) {
        GtkWidget* widget = hwnd->widget;
        hwnd->widget = nullptr;
        hwnd->client = nullptr;
        gtk_widget_destroy(widget);
        g_object_unref(widget);
    }
    return TRUE;
}

BOOL IsWindow(HWND hwnd) {
    return Alive(hwnd) ? TRUE : FALSE;
}

BOOL ShowWindow(HWND hwnd, int cmdShow) {
    if (!Alive(hwnd) || !hwnd->widget) return FALSE;
    BOOL wasVisible = gtk_widget_get_visible(hwnd->widget) ? TRUE : FALSE;
    if (cmdShow == SW_HIDE) {
        gtk_widget_hide(hwnd->widget);
    } else if (hwnd->topLevel) {
        gtk_widget_show(hwnd->widget);
        gtk_window_present(GTK_WINDOW(hwnd->widget));
    } else {
        gtk_widget_show(hwnd->widget);
    }
    return wasVisible;
}

BOOL UpdateWindow(HWND hwnd) {
    if (!Alive(hwnd)) return FALSE;
    if (hwnd->widget) gtk_widget_queue_draw(hwnd->widget);
    return TRUE;
}

BOOL MoveWindow(HWND hwnd, int x, int y, int width, int height, BOOL repaint) {
    if (!Alive(hwnd) || !hwnd->widget) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    width = width < 1 ? 1 : width;
    height = height < 1 ? 1 : height;
    if (hwnd->topLevel) {
        gtk_window_move(GTK_WINDOW(hwnd->widget), x, y);
        gtk_window_resize(GTK_WINDOW(hwnd->widget), width, height);
    } else if (hwnd->parent && Alive(hwnd->parent) && hwnd->parent->client) {
        gtk_layout_move(GTK_LAYOUT(hwnd->parent->client), hwnd->widget, x, y);
        gtk_widget_set_size_request(hwnd->widget, width, height);
    }
    if (repaint) gtk_widget_queue_draw(hwnd->widget);
    return TRUE;
}

BOOL GetClientRect(HWND hwnd, RECT* rect) {
    if (!rect || !Alive(hwnd) || !hwnd->widget) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    int width = 0;
    int height = 0;
    if (hwnd->topLevel) {
        if (hwnd->lastWidth > 1 && hwnd->lastHeight > 1) {
            width = hwnd->lastWidth;
            height = hwnd->lastHeight;
        } else {
            // Before the window is first laid out its client area is its default size.
            gtk_window_get_size(GTK_WINDOW(hwnd->widget), &width, &height);
        }
    } else {
        GtkAllocation allocation;
        gtk_widget_get_allocation(hwnd->widget, &allocation);
        width = allocation.width;
        height = allocation.height;
    }
    *rect = RECT{0, 0, width, height};
    return TRUE;
}

BOOL GetWindowRect(HWND hwnd, RECT* rect) {
    if (!rect || !Alive(hwnd) || !hwnd->widget) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    int x = 0, y = 0, width = 0, height = 0;
    if (hwnd->topLevel) {
        gtk_window_get_position(GTK_WINDOW(hwnd->widget), &x, &y);
        gtk_window_get_size(GTK_WINDOW(hwnd->widget), &width, &height);
    } else {
        GtkAllocation allocation;
        gtk_widget_get_allocation(hwnd->widget, &allocation);
        x = allocation.x;
        y = allocation.y;
        width = allocation.width;
        height = allocation.height;
    }
    *rect = RECT{x, y, x + width, y + height};
    return TRUE;
}

int GetWindowTextW(HWND hwnd, LPWSTR buffer, int capacity) {
    if (!buffer || capacity <= 0) return 0;
    buffer[0] = 0;
    if (!Alive(hwnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    size_t n = hwnd->title.size();
    if (n > static_cast<size_t>(capacity - 1)) n = static_cast<size_t>(capacity - 1);
    hwnd->title.copy(buffer, n);
    buffer[n] = 0;
    return static_cast<int>(n);
}

BOOL SetWindowTextW(HWND hwnd, LPCWSTR text) {
    if (!Alive(hwnd)) return FALSE;
    hwnd->title = text ? std::u16string(text) : std::u16string();
    if (hwnd->topLevel && hwnd->widget) {
        gtk_window_set_title(GTK_WINDOW(hwnd->widget), win32::ToUtf8(hwnd->title.c_str()).c_str());
    }
    return TRUE;
}

LRESULT SendMessageW(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto& handles = Handles();
    auto it = handles.find(hwnd);
    if (it == handles.end() || !hwnd->proc) return 0;
    return hwnd->proc(hwnd, message, wParam, lParam);
}

BOOL PostMessageW(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    Queue().push_back(MSG{hwnd, message, wParam, lParam, 0, POINT{0, 0}});
    g_main_context_wakeup(nullptr);
    return TRUE;
}

void PostQuitMessage(int exitCode) {
    Queue().push_back(MSG{nullptr, WM_QUIT, static_cast<WPARAM>(exitCode), 0, 0, POINT{0, 0}});
    g_main_context_wakeup(nullptr);
}

BOOL GetMessageW(MSG* msg, HWND, UINT, UINT) {
    if (!msg) return -1;
    auto& queue = Queue();
    // GTK and engine events are dispatched straight to the window procedure from the GLib
    // main loop; posted messages wait here until the loop has nothing else to do.
    while (queue.empty()) g_main_context_iteration(nullptr, TRUE);
    *msg = queue.front();
    queue.pop_front();
    return msg->message == WM_QUIT ? FALSE : TRUE;
}

BOOL TranslateMessage(const MSG*) {
    return FALSE;
}

LRESULT DispatchMessageW(const MSG* msg) {
    if (!msg || !msg->hwnd) return 0;
    return SendMessageW(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

LRESULT DefWindowProcW(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CLOSE:
            DestroyWindow(hwnd);
            return 0;
        case WM_SETICON: {
            if (!Alive(hwnd) || wParam > ICON_BIG) return 0;
            HICON previous = hwnd->icons[wParam];
            hwnd->icons[wParam] = reinterpret_cast<HICON>(lParam);
            if (hwnd->topLevel && hwnd->widget) {
                GList* list = nullptr;
                for (HICON icon : hwnd->icons) {
                    if (icon) list = g_list_append(list, win32::PixbufOf(icon));
                }
                gtk_window_set_icon_list(GTK_WINDOW(hwnd->widget), list);
                g_list_free(list);
            }
            return reinterpret_cast<LRESULT>(previous);
        }
        case WM_DROPFILES:
            return 0;
        default:
            return 0;
    }
}

BOOL ReleaseCapture() {
    return TRUE;
}

void DragAcceptFiles(HWND hwnd, BOOL accept) {
    if (!Alive(hwnd) || !hwnd->widget) return;
    hwnd->acceptFiles = accept != FALSE;
    if (accept) {
        gtk_drag_dest_set(hwnd->widget, GTK_DEST_DEFAULT_ALL, nullptr, 0, GDK_ACTION_COPY);
        gtk_drag_dest_add_uri_targets(hwnd->widget);
        g_signal_handlers_disconnect_by_func(hwnd->widget, (gpointer)OnDragDataReceived, hwnd);
        g_signal_connect(hwnd->widget, "drag-data-received", G_CALLBACK(OnDragDataReceived), hwnd);
    } else {
        gtk_drag_dest_unset(hwnd->widget);
    }
}

UINT DragQueryFileW(HDROP drop, UINT index, LPWSTR buffer, UINT capacity) {
    if (!drop) return 0;
    if (index == 0xFFFFFFFFu) return static_cast<UINT>(drop->files.size());
    if (index >= drop->files.size()) return 0;
    const std::u16string& name = drop->files[index];
    if (!buffer) return static_cast<UINT>(name.size());
    if (capacity == 0) return 0;
    size_t n = name.size() < capacity - 1 ? name.size() : capacity - 1;
    name.copy(buffer, n);
    buffer[n] = 0;
    return static_cast<UINT>(n);
}

void DragFinish(HDROP drop) {
    delete drop;
}
