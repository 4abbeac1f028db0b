// The two web contexts and the settings every view gets, shared by the view and its signals.
#pragma once

#include <webkit2/webkit2.h>

#include "webkitcom/WebKit.h"

namespace wk {

// The context of that kind, made on first use and kept until ShutDownContexts.
WebKitWebContext* ContextFor(WebViewContextKind kind);
bool IsBridgeContext(WebKitWebContext* context);
// Applies the standard preferences to a view that was just made.
void ApplyStandardPreferences(WebKitWebView* view);
void ShutDownContexts();
void SetBridgeModule(const char* directory, GVariant* data);
// downloads.cpp: tells each view of `context` how the downloads its page starts end.
void WatchDownloads(WebKitWebContext* context);

}  // namespace wk
