#include "BridgeModule.h"

#include "MainFrame.h"
#include "bridge/FramePolicy.h"
#include "channel/ModuleInit.h"

namespace {

// Without the start-up data no folder is the page's, so no frame gets `service`.
std::unique_ptr<channel::ModuleChannel> ConnectToUi(const GVariant* userData,
                                                    std::string& pageFolder) {
    std::string address;
    std::string secret;
    if (!channel::ParseModuleInitData(userData, address, secret, pageFolder)) return nullptr;
    return channel::ModuleChannel::Connect(address, secret);
}

}  // namespace

BridgeModule::BridgeModule(WebKitWebExtension* extension, const GVariant* userData)
    : m_extension(extension),
      m_channel(ConnectToUi(userData, m_pageFolder)),
      m_core(m_channel.get(), [this](std::uint64_t pageId) { return MainFrameContext(pageId); }) {
    if (m_channel) {
        m_channel->SetOneWayHandler(
            [this](const channel::Message& message) { m_core.OnMessage(message); });
        m_channel->Attach(g_main_context_default());
    } else {
        // The program's page still gets `service`; its calls answer the failure answer.
        g_debug("trawlet bridge: the UI process cannot be reached");
    }
    g_signal_connect(webkit_script_world_get_default(), "window-object-cleared",
                     G_CALLBACK(&BridgeModule::OnWindowObjectCleared), this);
}

JSContextRef BridgeModule::MainFrameContext(std::uint64_t pageId) {
    // Calls into the page carry the scan's results: they go to the program's page only, never
    // to a site the main view was made to show instead.
    WebKitWebPage* page = webkit_web_extension_get_page(m_extension, pageId);
    const char* uri = page != nullptr ? webkit_web_page_get_uri(page) : nullptr;
    if (uri == nullptr || !channel::IsInPageFolder(uri, m_pageFolder)) return nullptr;
    return GetMainFrameContext(page);
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
    const char* uri = webkit_frame_get_uri(frame);
    const bool mainFrame = webkit_frame_is_main_frame(frame);
    if (!FrameMayHaveService(context, uri != nullptr ? uri : "", mainFrame, module->m_pageFolder))
        return;
    module->m_core.OnWindowObjectCleared(pageId, context, JSContextGetGlobalObject(context),
                                         mainFrame);
}

void BridgeModule::OnPageFinalized(gpointer data, GObject*) {
    auto* watch = static_cast<PageWatch*>(data);
    watch->module->m_watchedPages.erase(watch->pageId);
    watch->module->m_core.OnPageDestroyed(watch->pageId);
    delete watch;
}
