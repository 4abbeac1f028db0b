// Small helpers shared by the engine layer's objects.
#pragma once

#include <string>

#include "webkitcom/ComObject.h"
#include "webkitcom/WebKit.h"
#include "win32/text.h"

namespace wk {

// The one text conversion of the Windows subset, under the names the engine layer uses.
using win32::ToUtf16;
using win32::ToUtf8;
BSTR AllocBstr(const char* utf8);

}  // namespace wk
