#pragma once

// One run of the real program in a private sandbox: a fresh temporary folder holding a copy of
// the program (the program finds its page and its bridge module beside its own file, which
// /proc/self/exe gives after resolving links, so a link would not do), the bridge module, an
// Html folder with the test's page, and private XDG folders and HOME.

#include <sys/types.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "e2e/Wait.h"

namespace e2e {

// The build folder that holds trawlet, Html/ and bridge/: $TRAWLET_BUILD_DIR, else the
// folder this test program was configured with.
std::string BuildDir();

struct AppOptions {
    // The program to copy and run; empty: <build>/trawlet.
    std::string executable;
    // Run `executable` where it is instead of a copy (an installed program, which must find
    // its own page and module): the run's folders then only hold its XDG state and HOME.
    bool inPlace = false;
    // Put <build>/bridge beside the copy (as a link: only the executable's own path counts).
    bool withBridge = true;
    std::vector<std::string> arguments;
    // Another program on the folders of this run (its copy of the program, page and XDG
    // folders), started beside it; the folders stay with that run. Its output goes to files
    // of its own.
    const class AppRun* sameFoldersAs = nullptr;
};

class AppRun {
public:
    // Prepares the folders; nothing runs until Start().
    explicit AppRun(AppOptions options = {});
    // Ends the program (and everything it started) if it still runs, and removes the folder
    // unless $TRAWLET_E2E_KEEP is set.
    ~AppRun();
    AppRun(const AppRun&) = delete;
    AppRun& operator=(const AppRun&) = delete;

    // The folders of this run.
    const std::string& Root() const { return m_root; }
    const std::string& AppDir() const { return m_appDir; }
    std::string Executable() const;
    std::string HtmlDir() const { return m_appDir + "/Html"; }
    std::string DataHome() const { return m_root + "/data"; }
    std::string ConfigHome() const { return m_root + "/config"; }
    std::string CacheHome() const { return m_root + "/cache"; }
    std::string Home() const { return m_root + "/home"; }
    // Where WebKit's local storage goes when the program sets it up.
    std::string LocalStorageDir() const { return DataHome() + "/WebKitUtil/LocalStorage"; }

    // Writes a file below Html/ ("index.html" is the page the program opens).
    void WritePage(const std::string& relativePath, std::string_view content);
    // Environment for the next Start(): "NAME=value" sets, "NAME" alone removes.
    void SetEnv(const std::string& change);

    // Makes a test program the default handler of http and https addresses for this run's
    // XDG folders: it appends each address it is given, one a line, to a file.
    void RegisterDefaultHandler();
    std::vector<std::string> HandlerCalls() const;
    // The next address given to the handler that this run has not returned yet.
    std::optional<std::string> WaitForHandlerCall(Millis timeout = kActionTimeout);
    std::string HandlerLog() const { return m_root + "/handler-calls.txt"; }

    // Starts the program in its own process group, with standard output and error going to
    // files. May be called again after the program ended (same folders, same XDG state).
    bool Start();
    pid_t Pid() const { return m_pid; }
    bool Running();
    // The exit status (128 + signal number when a signal ended it), or no value at the
    // deadline.
    std::optional<int> WaitForExit(Millis timeout = kActionTimeout);
    // SIGKILL to the program's process group (the engine's helper processes too) and reap it.
    void Kill();

    std::string Stdout() const;
    std::string Stderr() const;

private:
    AppOptions m_options;
    std::string m_root;
    std::string m_appDir;
    std::vector<std::string> m_env;
    pid_t m_pid = -1;
    std::optional<int> m_exitStatus;
    size_t m_handlerCallsSeen = 0;
    int m_runs = 0;
    // The start of the names of this run's output files ("" for the folders' owner).
    std::string m_logTag;
};

}  // namespace e2e
