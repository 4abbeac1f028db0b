// The copy of the scan context's cookies that IWebCookieManager answers from.
#pragma once

#include <webkit2/webkit2.h>

#include "webkitcom/WebKit.h"

namespace wk {

// Keeps the copy current for `context` (the scan context, when it is made) from now on.
void WatchCookies(WebKitWebContext* context);
// Drops the copy; IWebCookieManager answers "" until the next WatchCookies.
void StopWatchingCookies();
IUnknown* MakeCookieManager();

}  // namespace wk
