// How the Windows subset's handles map onto GTK objects. Only the platform layers include
// this header; Trawlet's own code sees opaque handles.
#pragma once

#include <gtk/gtk.h>

#include <string>
#include <vector>

#include "win32/windows.h"

struct HWND__ {
    std::u16string className;
    WNDPROC proc = nullptr;
    HINSTANCE instance = nullptr;
    // A top-level window is a GtkWindow whose client area is a GtkLayout; a child window is
    // any widget placed on its parent's client area.
    GtkWidget* widget = nullptr;
    GtkWidget* client = nullptr;
    HWND parent = nullptr;
    bool topLevel = false;
    bool destroyed = false;
    bool acceptFiles = false;
    int defaultWidth = 0;
    int defaultHeight = 0;
    int lastWidth = -1;
    int lastHeight = -1;
    std::u16string title;
    HICON icons[2] = {nullptr, nullptr};
};

struct HMENU__ {
    struct Item {
        UINT id = 0;
        UINT type = 0;
        HMENU subMenu = nullptr;
        // Whatever the owner of the menu wants to find the item by after a removal.
        void* tag = nullptr;
    };
    std::vector<Item> items;
    // A locked menu refuses removals; the engine layer locks menus it cannot change.
    bool locked = false;
};

struct HDROP__ {
    std::vector<std::u16string> files;
};

namespace win32 {

// The GtkWidget of a window handle, or null.
GtkWidget* WidgetOf(HWND hwnd);
// Makes a child window handle for a widget placed on the parent's client area. The widget
// is added to the client area hidden; ShowWindow shows it.
HWND WrapChildWidget(GtkWidget* widget, HWND parent);
// Forgets the widget of a child window (the widget was destroyed by its owner).
void ForgetChildWidget(HWND hwnd);
// The icon handle is a GdkPixbuf.
inline GdkPixbuf* PixbufOf(HICON icon) {
    return reinterpret_cast<GdkPixbuf*>(icon);
}

}  // namespace win32
