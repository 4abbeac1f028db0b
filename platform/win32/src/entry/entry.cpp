// The process entry: starts GTK and hands over to the program's wWinMain.
#include <gtk/gtk.h>

#include <clocale>
#include <cstdio>

#include "win32/windows.h"

int wWinMain(HINSTANCE instance, HINSTANCE previous, LPWSTR commandLine, int showCommand);

namespace {
int g_instanceTag;
}

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "");
    if (!gtk_init_check(&argc, &argv)) {
        const char* display = g_getenv("DISPLAY");
        std::fprintf(stderr, "trawlet: cannot open the display%s%s%s; nothing to show on.\n",
                     display ? " \"" : "", display ? display : "", display ? "\"" : "");
        return 1;
    }
    static WCHAR emptyCommandLine[1] = {0};
    return wWinMain(reinterpret_cast<HINSTANCE>(&g_instanceTag), nullptr, emptyCommandLine,
                    SW_SHOWDEFAULT);
}
