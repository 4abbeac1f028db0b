// What the UI process hands the bridge module when WebKit starts a web process of the main
// context: WebKit's initialisation user data for web extensions, a GVariant of type "(ss)"
// holding, in order,
//   1. the address of the UI process's channel socket (a file system path), and
//   2. the secret the module must present in its Hello.
// The module loads from the folder "bridge" beside the program.
#pragma once

#include <glib.h>

#include <string>

namespace channel {

inline constexpr const char* kModuleInitType = "(ss)";

// A new floating GVariant of type "(ss)".
GVariant* MakeModuleInitData(const std::string& address, const std::string& secret);

// Answers false (and leaves the outputs alone) when `data` is null or not of type "(ss)".
bool ParseModuleInitData(const GVariant* data, std::string& address, std::string& secret);

}  // namespace channel
