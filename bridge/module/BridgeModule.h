// The module in the web process of the main window's page: WebKit's events in, the bridge's
// work out.
#pragma once

#include <webkit2/webkit-web-extension.h>

#include <memory>
#include <set>
#include <string>

#include "bridge/BridgeCore.h"
#include "channel/ModuleChannel.h"

class BridgeModule {
public:
    // Connects to the UI process named in `userData` (see channel/ModuleInit.h) and listens for
    // fresh window objects in every frame of every page of this web process.
    BridgeModule(WebKitWebExtension* extension, const GVariant* userData);

private:
    struct PageWatch {
        BridgeModule* module;
        guint64 pageId;
    };

    static void OnWindowObjectCleared(WebKitScriptWorld* world, WebKitWebPage* page,
                                      WebKitFrame* frame, gpointer self);
    static void OnPageFinalized(gpointer watch, GObject* page);
    JSContextRef MainFrameContext(std::uint64_t pageId);

    WebKitWebExtension* m_extension;
    std::string m_pageFolder;
    std::unique_ptr<channel::ModuleChannel> m_channel;
    BridgeCore m_core;
    std::set<guint64> m_watchedPages;
};
