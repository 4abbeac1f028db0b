#pragma once

// Running helper programs (xdotool, xclip, import, gio) with a deadline.

#include <string>
#include <string_view>
#include <vector>

#include "e2e/Wait.h"

namespace e2e {

struct CommandResult {
    bool started = false;   // the program could be run at all
    bool timedOut = false;  // it was killed at the deadline
    int status = -1;        // exit status; 128 + signal number when a signal ended it
    std::string out;
    std::string err;

    bool Ok() const { return started && !timedOut && status == 0; }
};

// Runs argv[0] (looked up in PATH) with the given arguments. `env` entries ("NAME=value")
// replace or add to the test's own environment. The program is killed at the deadline.
CommandResult RunCommand(const std::vector<std::string>& argv, Millis timeout = kActionTimeout,
                         const std::vector<std::string>& env = {});

// The environment of this process with `changes` applied: "NAME=value" sets, "NAME" alone
// removes.
std::vector<std::string> MergedEnvironment(const std::vector<std::string>& changes);

// Reads a whole file; "" when it cannot be read.
std::string ReadFile(const std::string& path);
// Writes a whole file, creating missing parent folders; false on failure.
bool WriteFile(const std::string& path, std::string_view content);
bool PathExists(const std::string& path);
// Removes a file or a folder with everything in it; true when nothing is left.
bool RemoveTree(const std::string& path);

}  // namespace e2e
