#include "e2e/Processes.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "e2e/Wait.h"

namespace e2e {

namespace {

namespace fs = std::filesystem;

// The parent of a process, or 0 when it is gone.
pid_t ParentOf(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text;
    std::getline(stat, text);
    // The command name is in parentheses and may hold blanks; the state and the parent follow.
    const auto close = text.rfind(')');
    if (close == std::string::npos) return 0;
    std::istringstream rest(text.substr(close + 1));
    std::string state;
    pid_t parent = 0;
    rest >> state >> parent;
    return parent;
}

std::string CommandOf(pid_t pid) {
    std::ifstream comm("/proc/" + std::to_string(pid) + "/comm");
    std::string name;
    std::getline(comm, name);
    return name;
}

// Whether the process has the bridge module loaded: only the main page's web processes do.
bool LoadsBridge(pid_t pid) {
    std::ifstream maps("/proc/" + std::to_string(pid) + "/maps");
    std::string line;
    while (std::getline(maps, line)) {
        if (line.find("libtrawletbridge") != std::string::npos) return true;
    }
    return false;
}

}  // namespace

std::vector<pid_t> WebProcesses(pid_t program, bool bridge) {
    std::vector<pid_t> all;
    for (const auto& entry : fs::directory_iterator("/proc")) {
        const std::string name = entry.path().filename().string();
        if (name.empty() || !std::all_of(name.begin(), name.end(), ::isdigit)) continue;
        all.push_back(static_cast<pid_t>(std::stol(name)));
    }
    std::vector<pid_t> found;
    for (pid_t pid : all) {
        // The name is cut to 15 characters by the kernel.
        if (CommandOf(pid).rfind("WebKitWebProces", 0) != 0) continue;
        bool below = false;
        for (pid_t p = ParentOf(pid); p > 1; p = ParentOf(p)) {
            if (p == program) {
                below = true;
                break;
            }
        }
        if (below && LoadsBridge(pid) == bridge) found.push_back(pid);
    }
    return found;
}

std::optional<pid_t> WaitForPageProcess(pid_t program, const std::set<pid_t>& gone) {
    std::optional<pid_t> found;
    WaitUntil(
        [&] {
            for (pid_t pid : WebProcesses(program, true)) {
                if (!gone.count(pid)) {
                    found = pid;
                    return true;
                }
            }
            return false;
        },
        kStartTimeout, Millis(50));
    return found;
}

}  // namespace e2e
