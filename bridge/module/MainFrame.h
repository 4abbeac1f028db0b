// The script contexts of the module's pages, as WebKit hands them out.
#pragma once

#include <JavaScriptCore/JavaScript.h>
#include <webkit2/webkit-web-extension.h>

// The context of `frame` for `world`: the one place that uses WebKit's context accessor of
// the C API generation.
JSGlobalContextRef GetFrameScriptContext(WebKitFrame* frame, WebKitScriptWorld* world);

// The global context of the page's main frame in the default script world; null without a page
// or a main frame.
JSGlobalContextRef GetMainFrameContext(WebKitWebPage* page);
// Its global (window) object; null when there is no context.
JSObjectRef GetMainFrameGlobalObject(WebKitWebPage* page);
