// Files and paths: the executable's name, directories, extensions and existence tests.
#include <cerrno>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "win32/text.h"
#include "win32/windows.h"

using win32::ToUtf8;

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
    const std::u16string wide = win32::ToUtf16(path);
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
