// The process entry: starts GTK and hands over to the program's wWinMain.
#include <gtk/gtk.h>

#include <clocale>
#include <cstdio>

#include "win32/windows.h"

int wWinMain(HINSTANCE instance, HINSTANCE previous, LPWSTR commandLine, int showCommand);

namespace {
int g_instanceTag;

// The engine's web processes inherit this environment, and it is set here, before GTK or the
// engine start any thread, because changing the environment is only safe while the process
// has one thread.
void PrepareMediaEnvironment() {
    // With its older playback pipeline the engine often stalls Media Source playback on the
    // GStreamer 1.22 of Debian 12 (a DASH player's video never starts: buffers pushed before
    // their stream's start are refused). The newer pipeline plays it. A value the user set
    // is kept.
    g_setenv("WEBKIT_GST_USE_PLAYBIN3", "1", FALSE);
    // No audio setting is needed: the engine plays through GStreamer's autoaudiosink, which
    // falls back to a fake sink that keeps time when no sound server or device can be
    // opened, so muted (and unmuted) players run on machines without sound.
}
}  // namespace

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "");
    PrepareMediaEnvironment();
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
