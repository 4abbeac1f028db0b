#include "MainFrame.h"

JSGlobalContextRef GetFrameScriptContext(WebKitFrame* frame, WebKitScriptWorld* world) {
    if (frame == nullptr || world == nullptr) return nullptr;
    // The service binding is written against the JavaScriptCore C API, whose contexts WebKit
    // still hands out through this accessor; its successor gives a JSCContext instead.
    G_GNUC_BEGIN_IGNORE_DEPRECATIONS
    JSGlobalContextRef context = webkit_frame_get_javascript_context_for_script_world(frame, world);
    G_GNUC_END_IGNORE_DEPRECATIONS
    return context;
}

JSGlobalContextRef GetMainFrameContext(WebKitWebPage* page) {
    if (page == nullptr) return nullptr;
    // Deprecated without a successor in the web process API; the page still answers it.
    G_GNUC_BEGIN_IGNORE_DEPRECATIONS
    WebKitFrame* frame = webkit_web_page_get_main_frame(page);  // owned by the page
    G_GNUC_END_IGNORE_DEPRECATIONS
    if (frame == nullptr) return nullptr;
    return GetFrameScriptContext(frame, webkit_script_world_get_default());
}

JSObjectRef GetMainFrameGlobalObject(WebKitWebPage* page) {
    JSGlobalContextRef context = GetMainFrameContext(page);
    return context != nullptr ? JSContextGetGlobalObject(context) : nullptr;
}
