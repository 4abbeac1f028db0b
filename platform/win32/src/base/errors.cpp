// The thread's last error code and debugger output.
#include <cstdio>
#include <string>

#include "win32/text.h"
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
    // The conversion leaves the caller's last error alone, as on Windows.
    const std::string utf8 = win32::ToUtf8(text);
    if (utf8.empty()) return;
    std::fwrite(utf8.data(), 1, utf8.size(), stderr);
    std::fflush(stderr);
}
