// Icons come from the program's GResource bundle: icon N at /trawlet/icons/N/<size>.png.
#include <gtk/gtk.h>

#include <cstdint>
#include <string>

#include "win32/gtkhandles.h"
#include "win32/windows.h"

HANDLE LoadImageW(HINSTANCE, LPCWSTR name, UINT type, int cx, int cy, UINT) {
    auto id = reinterpret_cast<std::uintptr_t>(name);
    if (type != IMAGE_ICON || id == 0 || id > 0xFFFF) return nullptr;
    const int wanted = cx > 0 ? cx : 32;
    // Take the smallest image at least as large as wanted (or the largest there is) and scale.
    static const int kSizes[] = {16, 32, 48};
    int chosen = kSizes[2];
    for (int size : kSizes) {
        if (size >= wanted) {
            chosen = size;
            break;
        }
    }
    std::string path =
        "/trawlet/icons/" + std::to_string(id) + "/" + std::to_string(chosen) + ".png";
    GdkPixbuf* pixbuf = gdk_pixbuf_new_from_resource(path.c_str(), nullptr);
    if (!pixbuf) return nullptr;
    const int height = cy > 0 ? cy : wanted;
    if (gdk_pixbuf_get_width(pixbuf) != wanted || gdk_pixbuf_get_height(pixbuf) != height) {
        GdkPixbuf* scaled = gdk_pixbuf_scale_simple(pixbuf, wanted, height, GDK_INTERP_HYPER);
        g_object_unref(pixbuf);
        pixbuf = scaled;
    }
    return pixbuf;
}
