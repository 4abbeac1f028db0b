// Small helpers shared by the engine layer's objects.
#pragma once

#include <string>

#include "webkitcom/ComObject.h"
#include "webkitcom/WebKit.h"

namespace wk {

std::string ToUtf8(const WCHAR* text);
std::u16string ToUtf16(const char* text);
BSTR AllocBstr(const char* utf8);

}  // namespace wk
