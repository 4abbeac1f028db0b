#include "BridgeModule.h"

#include "MainFrame.h"
#include "channel/ModuleInit.h"

namespace {

std::unique_ptr<channel::ModuleChannel> ConnectToUi(const GVariant* userData) {
    std::string address;
    std::string secret;
    if (!channel::ParseModuleInitData(userData, address, secret)) return nullptr;
    return channel::ModuleChannel::Connect(address, secret);
}

}  // namespace

BridgeModule::BridgeModule(WebKitWebExtension* extension, const GVariant* userData)
    : m_extension(extension),
      m_channel(ConnectToUi(userData)),
      m_core(m_channel.get(), [this](std::uint64_t pageId) { return MainFrameContext(pageId); }) {
    if (m_channel) {
        m_channel->SetOneWayHandler(
            [this](const channel::Message& message) { m_core.OnMessage(message); });
        m_channel->Attach(g_main_context_default());
    } else {
        // Pages still get `service`; its calls answer the failure answer.
        g_debug("trawlet bridge: the UI process cannot be reached");
    }
    g_signal_connect(webkit_script_world_get_default(), "window-object-cleared",
                     G_CALLBACK(&BridgeModule::OnWindowObjectCleared), this);
}

JSContextRef BridgeModule::MainFrameContext(std::uint64_t pageId) {
    return GetMainFrameContext(webkit_web_extension_get_page(m_extension, pageId));
}

void BridgeModule::OnWindowObjectCleared(WebKitScriptWorld* world, WebKitWebPage* page,
                                         WebKitFrame* frame, gpointer self) {
    auto* module = static_cast<BridgeModule*>(self);
    const guint64 pageId = webkit_web_page_get_id(page);
    if (module->m_watchedPages.insert(pageId).second) {
        g_object_weak_ref(G_OBJECT(page), &BridgeModule::OnPageFinalized,
                          new PageWatch{module, pageId});
    }
    JSGlobalContextRef context = GetFrameScriptContext(frame, world);
    if (context == nullptr) return;
    module->m_core.OnWindowObjectCleared(pageId, context, JSContextGetGlobalObject(context),
                                         webkit_frame_is_main_frame(frame));
}

void BridgeModule::OnPageFinalized(gpointer data, GObject*) {
    auto* watch = static_cast<PageWatch*>(data);
    watch->module->m_watchedPages.erase(watch->pageId);
    watch->module->m_core.OnPageDestroyed(watch->pageId);
    delete watch;
}
