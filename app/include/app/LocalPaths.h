// The places the program finds by itself: its own folder, the user-interface page beside it,
// and the user's data folder. Each operation clears its output first and answers whether it
// found the place.
#pragma once

#include <string>

// The folder of the running executable, without a trailing slash ("/" stays "/").
bool GetModuleFolder(std::u16string& folder);

// The absolute path of "Html/index.html" below the executable's folder.
bool GetIndexPagePath(std::u16string& path);

// The page's file address (file:///...), escaped as file URIs are. Answers as
// GetIndexPagePath; the output stays empty when the path cannot be turned into an address.
bool GetIndexPageUrl(std::u16string& url);

// The user's data folder: $XDG_DATA_HOME, or ~/.local/share when it is unset or empty. The
// folder is not created.
bool GetAppDataFolder(std::u16string& folder);
