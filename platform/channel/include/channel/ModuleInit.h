// What the UI process hands the bridge module when WebKit starts a web process of the main
// context: WebKit's initialisation user data for web extensions, a GVariant of type "(sss)"
// holding, in order,
//   1. the address of the UI process's channel socket (a file system path),
//   2. the secret the module must present in its Hello, and
//   3. the folder of the program's own page (a file system path): only documents from there
//      get `service`.
// The module loads from the folder "bridge" beside the program.
#pragma once

#include <glib.h>

#include <string>

namespace channel {

inline constexpr const char* kModuleInitType = "(sss)";

// A new floating GVariant of type "(sss)".
GVariant* MakeModuleInitData(const std::string& address, const std::string& secret,
                             const std::string& pageFolder);

// Answers false (and leaves the outputs alone) when `data` is null or not of type "(sss)".
bool ParseModuleInitData(const GVariant* data, std::string& address, std::string& secret,
                         std::string& pageFolder);

// Whether `address` (a document's address as the engine gives it) names a file inside
// `pageFolder`. The query and fragment do not count; the path is decoded and its "." and ".."
// segments resolved before it is compared, so that no spelling of an address outside the
// folder passes. Addresses of other schemes and of other hosts answer false, as does an empty
// or relative folder.
bool IsInPageFolder(const std::string& address, const std::string& pageFolder);

}  // namespace channel
