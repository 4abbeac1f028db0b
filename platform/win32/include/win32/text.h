// The one crossing between UTF-8 (GLib, GTK, the engine, JSON) and the wide text of the
// Windows subset (UTF-16) for code above the code-page functions. Nothing else converts by
// hand.
//
// One rule for every caller: a null pointer is empty text, and empty text converts to empty
// text. A pointer is read up to its first NUL; counted text (a string or a view) converts in
// full, embedded NULs included. Malformed input is not an error: it becomes U+FFFD, as the
// code-page functions do with flags 0. Text longer than those functions count (INT_MAX
// units) converts to empty text. The thread's last error is left as it was.
#pragma once

#include <string>
#include <string_view>

namespace win32 {

std::string ToUtf8(std::u16string_view text);
std::string ToUtf8(const char16_t* text);
std::u16string ToUtf16(std::string_view text);
std::u16string ToUtf16(const char* text);

}  // namespace win32
