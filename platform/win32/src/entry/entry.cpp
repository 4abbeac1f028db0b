// The process entry: starts GTK and hands over to the program's wWinMain.
#include <gtk/gtk.h>

#include <clocale>
#include <cstdio>

#include "win32/desktop.h"
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
    // The desktop matches windows to the program's desktop entry by these names: the Wayland
    // application id and the X11 WM_CLASS instance come from the program name, the WM_CLASS
    // class from the program class, so neither may depend on the name the program was started
    // by (argv[0] of a link, a copy of another name). Reading the arguments makes GTK derive a
    // class from the name; ours replaces it before the display is opened, which gives every
    // window of ours, the client leader too, the same class.
    g_set_prgname(TRAWLET_APP_ID);
    g_set_application_name("Trawlet");
    gtk_parse_args(&argc, &argv);
    gdk_set_program_class(TRAWLET_WM_CLASS);
    if (!gtk_init_check(&argc, &argv)) {
        const char* display = g_getenv("DISPLAY");
        std::fprintf(stderr, "trawlet: cannot open the display%s%s%s; nothing to show on.\n",
                     display ? " \"" : "", display ? display : "", display ? "\"" : "");
        return 1;
    }
    // From here on the clipboard is GTK's.
    win32::SetDesktop(&win32::WindowingDesktop());
    static WCHAR emptyCommandLine[1] = {0};
    return wWinMain(reinterpret_cast<HINSTANCE>(&g_instanceTag), nullptr, emptyCommandLine,
                    SW_SHOWDEFAULT);
}
