// The thread's last error code and debugger output.
#include <cstdio>
#include <string>

#include "win32/windows.h"

namespace {
thread_local DWORD t_lastError = ERROR_SUCCESS;
}

DWORD GetLastError() {
    return t_lastError;
}

void SetLastError(DWORD error) {
    t_lastError = error;
}

void OutputDebugStringW(LPCWSTR text) {
    if (text == nullptr || *text == 0) return;
    // Conversion must not disturb the caller's last error, as on Windows.
    DWORD saved = GetLastError();
    int needed = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (needed > 0) {
        std::string utf8(static_cast<std::size_t>(needed), '\0');
        WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8.data(), needed, nullptr, nullptr);
        utf8.pop_back();  // the terminating NUL
        std::fwrite(utf8.data(), 1, utf8.size(), stderr);
        std::fflush(stderr);
    }
    SetLastError(saved);
}
