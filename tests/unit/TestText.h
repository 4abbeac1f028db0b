// Helpers shared by the unit tests.
#pragma once

#include <string>

#include "win32/text.h"

// Wide text as UTF-8 for gtest's messages; unpaired surrogates print as U+FFFD.
inline std::string Narrow(const std::u16string& text) {
    return win32::ToUtf8(text);
}
