#pragma once

// The engine's web processes below a program run, found through /proc.

#include <sys/types.h>

#include <optional>
#include <set>
#include <vector>

namespace e2e {

// The engine's web processes below `program`, at any depth: those of the main page (that
// load the bridge module) or those of the scanned pages.
std::vector<pid_t> WebProcesses(pid_t program, bool bridge);

// The one web process of the main page, once there is one not in `gone`.
std::optional<pid_t> WaitForPageProcess(pid_t program, const std::set<pid_t>& gone = {});

}  // namespace e2e
