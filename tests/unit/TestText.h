// Helpers shared by the unit tests.
#pragma once

#include <string>

#include "win32/windows.h"

// Wide text as UTF-8 for gtest's messages; unpaired surrogates print as U+FFFD.
inline std::string Narrow(const std::u16string& text) {
    if (text.empty()) return std::string();
    int needed = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                     nullptr, 0, nullptr, nullptr);
    std::string result(static_cast<std::size_t>(needed), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(),
                        needed, nullptr, nullptr);
    return result;
}
