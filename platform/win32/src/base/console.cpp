// The end signals as console control events, served from the main loop.
#include <glib-unix.h>

#include <algorithm>
#include <csignal>
#include <vector>

#include "win32/windows.h"

namespace {

struct SignalEvent {
    int signal;
    DWORD event;
};

constexpr SignalEvent kSignals[] = {
    {SIGINT, CTRL_C_EVENT},
    {SIGHUP, CTRL_CLOSE_EVENT},
    {SIGTERM, CTRL_SHUTDOWN_EVENT},
};

std::vector<PHANDLER_ROUTINE>& Handlers() {
    static std::vector<PHANDLER_ROUTINE> handlers;
    return handlers;
}

gboolean OnSignal(gpointer data) {
    const auto* entry = static_cast<const SignalEvent*>(data);
    // A handler may remove itself (or others) while it runs, so run over a copy.
    std::vector<PHANDLER_ROUTINE> handlers = Handlers();
    for (auto it = handlers.rbegin(); it != handlers.rend(); ++it) {
        if ((*it)(entry->event)) return G_SOURCE_CONTINUE;
    }
    // Nobody took it: end the process as the signal would have, with its usual status.
    std::signal(entry->signal, SIG_DFL);
    std::raise(entry->signal);
    return G_SOURCE_CONTINUE;
}

void WatchSignalsOnce() {
    static bool watching = false;
    if (watching) return;
    watching = true;
    // GLib turns each signal into a main-loop event, so the handlers never run inside a
    // signal handler and may do anything the main loop may.
    for (const SignalEvent& entry : kSignals) {
        g_unix_signal_add(entry.signal, OnSignal, const_cast<SignalEvent*>(&entry));
    }
}

}  // namespace

BOOL SetConsoleCtrlHandler(PHANDLER_ROUTINE handler, BOOL add) {
    if (handler == nullptr) return FALSE;
    auto& handlers = Handlers();
    if (add) {
        WatchSignalsOnce();
        handlers.push_back(handler);
        return TRUE;
    }
    auto it = std::find(handlers.rbegin(), handlers.rend(), handler);
    if (it == handlers.rend()) return FALSE;
    handlers.erase(std::next(it).base());
    return TRUE;
}
