// Files and paths: the executable's name, directories, extensions and existence tests.
#include <cerrno>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "win32/windows.h"

namespace {

// Converts NUL-terminated wide text to UTF-8 for the file system. Unpaired surrogates become
// U+FFFD, as everywhere else in this layer.
std::string ToUtf8(LPCWSTR text) {
    std::string result;
    if (text == nullptr || *text == 0) return result;
    DWORD saved = GetLastError();
    int needed = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (needed > 0) {
        result.resize(static_cast<std::size_t>(needed));
        WideCharToMultiByte(CP_UTF8, 0, text, -1, result.data(), needed, nullptr, nullptr);
        result.pop_back();
    }
    SetLastError(saved);
    return result;
}

}  // namespace

DWORD GetModuleFileNameW(HINSTANCE module, LPWSTR buffer, DWORD size) {
    if (module != nullptr) {
        // Only the running executable is known; there are no other modules to name.
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::string path(4096, '\0');
    for (;;) {
        ssize_t length = readlink("/proc/self/exe", path.data(), path.size());
        if (length < 0) {
            SetLastError(ERROR_PATH_NOT_FOUND);
            return 0;
        }
        if (static_cast<std::size_t>(length) < path.size()) {
            path.resize(static_cast<std::size_t>(length));
            break;
        }
        path.resize(path.size() * 2);
    }
    int needed =
        MultiByteToWideChar(CP_UTF8, 0, path.data(), static_cast<int>(path.size()), nullptr, 0);
    std::u16string wide(static_cast<std::size_t>(needed), u'\0');
    MultiByteToWideChar(CP_UTF8, 0, path.data(), static_cast<int>(path.size()), wide.data(),
                        needed);
    if (size == 0) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    // As on Windows: a name that does not fit is cut to size - 1 units, terminated, and the
    // answer is the full size with ERROR_INSUFFICIENT_BUFFER.
    if (wide.size() >= size) {
        wide.copy(buffer, size - 1);
        buffer[size - 1] = 0;
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return size;
    }
    wide.copy(buffer, wide.size());
    buffer[wide.size()] = 0;
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(wide.size());
}

BOOL CreateDirectoryW(LPCWSTR path, void*) {
    std::string native = ToUtf8(path);
    if (native.empty()) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return FALSE;
    }
    // The only directories made are the user's private storage folders.
    if (mkdir(native.c_str(), 0700) == 0) return TRUE;
    switch (errno) {
        case EEXIST:
            SetLastError(ERROR_ALREADY_EXISTS);
            break;
        case ENOENT:
        case ENOTDIR:
        case ENAMETOOLONG:
            SetLastError(ERROR_PATH_NOT_FOUND);
            break;
        default:
            SetLastError(ERROR_ACCESS_DENIED);
            break;
    }
    return FALSE;
}

LPCWSTR PathFindExtensionW(LPCWSTR path) {
    if (path == nullptr) return nullptr;
    LPCWSTR lastDot = nullptr;
    for (; *path != 0; ++path) {
        switch (*path) {
            case u'\\':
            case u' ':
                lastDot = nullptr;
                break;
            case u'.':
                lastDot = path;
                break;
            default:
                break;
        }
    }
    return lastDot != nullptr ? lastDot : path;
}

BOOL PathFileExistsW(LPCWSTR path) {
    std::string native = ToUtf8(path);
    if (native.empty()) return FALSE;
    struct stat info;
    return stat(native.c_str(), &info) == 0 ? TRUE : FALSE;
}

BOOL PathIsUNCW(LPCWSTR path) {
    return path != nullptr && path[0] == u'\\' && path[1] == u'\\' ? TRUE : FALSE;
}
