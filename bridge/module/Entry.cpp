// The one symbol WebKit looks up in the module.
#include <webkit2/webkit-web-extension.h>

#include "BridgeModule.h"

extern "C" __attribute__((visibility("default"))) void
webkit_web_extension_initialize_with_user_data(WebKitWebExtension* extension,
                                               const GVariant* userData) {
    // The module lives as long as its web process; WebKit never unloads it.
    static BridgeModule* module = new BridgeModule(extension, userData);
    (void)module;
}
