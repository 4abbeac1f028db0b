// Size texts for the result list and the crossings between UTF-8 (JSON) and UTF-16 (the
// Windows and engine interfaces).
#pragma once

#include <cstdint>
#include <string>

// Clears `text` and writes the short size text of `size` bytes: 512B, 1.50KB, 3MB.
void FormatSize(std::u16string& text, std::uint64_t size);
void FormatSizeUtf8(std::string& text, std::uint64_t size);

// Both conversions answer false for an empty source and when the system conversion fails, and
// then leave `target` as it was. On true `target` holds the converted text up to the first NUL
// of the source. Malformed input is not an error: it converts to U+FFFD.
bool Utf8ToUtf16(const std::string& source, std::u16string& target);
bool Utf16ToUtf8(const std::u16string& source, std::string& target);
