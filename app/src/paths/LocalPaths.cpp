#include "app/LocalPaths.h"

#include <cstdlib>
#include <glib.h>
#include <vector>

#include "win32/text.h"
#include "win32/windows.h"

namespace {

const char16_t kPagePath[] = u"Html/index.html";

}  // namespace

bool GetModuleFolder(std::u16string& folder) {
    folder.clear();
    // Paths here may be far longer than Windows' 512 units; a cut path would name the wrong
    // folder, so a name that does not fit is a failure rather than a truncated answer.
    std::vector<char16_t> buffer(4096, u'\0');
    DWORD length = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0 || length >= buffer.size()) return false;
    std::u16string path(buffer.data(), length);
    std::size_t slash = path.rfind(u'/');
    if (slash == std::u16string::npos) return false;
    // The root folder keeps its slash, as a drive's root keeps its backslash on Windows.
    folder = path.substr(0, slash == 0 ? 1 : slash);
    return true;
}

bool GetIndexPagePath(std::u16string& path) {
    path.clear();
    std::u16string folder;
    if (!GetModuleFolder(folder)) return false;
    path = folder;
    if (path.empty() || path.back() != u'/') path.push_back(u'/');
    path += kPagePath;
    return true;
}

bool GetIndexPageUrl(std::u16string& url) {
    url.clear();
    std::u16string path;
    if (!GetIndexPagePath(path)) return false;
    // GLib escapes blanks, "%", "#", "?" and non-ASCII bytes as a file URI needs.
    // FIXME: a folder name that is not valid UTF-8 reached us with U+FFFD in place of its bad
    // bytes, so its address names a different folder.
    std::string native = win32::ToUtf8(path);
    gchar* uri = g_filename_to_uri(native.c_str(), nullptr, nullptr);
    if (uri != nullptr) {
        url = win32::ToUtf16(uri);
        g_free(uri);
    }
    return true;
}

bool GetAppDataFolder(std::u16string& folder) {
    folder.clear();
    // Read the environment on every call (GLib's own lookup caches the first answer).
    const char* dataHome = std::getenv("XDG_DATA_HOME");
    std::string native;
    if (dataHome != nullptr && *dataHome != 0) {
        native = dataHome;
    } else {
        // $HOME first, read afresh like $XDG_DATA_HOME; GLib falls back to the password file.
        const char* home = std::getenv("HOME");
        if (home == nullptr || *home == 0) home = g_get_home_dir();
        if (home == nullptr || *home == 0) return false;
        native = std::string(home) + "/.local/share";
    }
    folder = win32::ToUtf16(native);
    return !folder.empty();
}
