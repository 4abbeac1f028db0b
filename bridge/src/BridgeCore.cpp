#include "bridge/BridgeCore.h"

#include "bridge/PageCalls.h"
#include "finder/TextUtil.h"

// The parameters travel as the classic FastWriter's text and the result is read back with the
// classic Reader, the same pair that makes and parses them in the page's own call.
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

BridgeCore::BridgeCore(channel::ModuleChannel* channel, MainFrameContextFn mainFrameContext)
    : m_channel(channel), m_mainFrameContext(std::move(mainFrameContext)) {}

BridgeCore::~BridgeCore() = default;

Json::Value BridgeCore::FailureResult() {
    Json::Value result(Json::objectValue);
    result["returnValue"] = 0;
    return result;
}

bool BridgeCore::OnWindowObjectCleared(std::uint64_t pageId, JSContextRef context,
                                       JSObjectRef globalObject, bool mainFrame) {
    std::unique_ptr<Page>& page = m_pages[pageId];
    if (!page) {
        page = std::make_unique<Page>();
        page->core = this;
        page->id = pageId;
    }
    page->service.handler = &BridgeCore::ForwardServiceCall;
    bool installed = page->service.InstallScriptObject(context, globalObject, this, page.get());
    if (m_channel != nullptr) m_channel->Send(channel::WindowObjectCleared{pageId, mainFrame});
    return installed;
}

void BridgeCore::OnPageDestroyed(std::uint64_t pageId) {
    m_pages.erase(pageId);
}

CWebKitService* BridgeCore::ServiceOf(std::uint64_t pageId) {
    auto it = m_pages.find(pageId);
    return it == m_pages.end() ? nullptr : &it->second->service;
}

void BridgeCore::OnMessage(const channel::Message& message) {
    if (const auto* call = std::get_if<channel::PageCall>(&message)) {
        JSContextRef context = m_mainFrameContext ? m_mainFrameContext(call->pageId) : nullptr;
        CallPageFunction(context, call->function.c_str(), call->argument);
    } else if (const auto* complete = std::get_if<channel::CallComplete>(&message)) {
        DeliverCallComplete(ServiceOf(complete->pageId), complete->outcome);
    }
    // Nothing else is addressed to the module; the channel keeps answers to itself.
}

int BridgeCore::ForwardServiceCall(const std::u16string& uri, const std::u16string& method,
                                   const Json::Value& params, void* userData, Json::Value& result) {
    auto* page = static_cast<Page*>(userData);
    channel::ModuleChannel* link = page != nullptr ? page->core->m_channel : nullptr;
    if (link == nullptr) {
        result = FailureResult();
        return 0;
    }
    auto makeCall = [&](std::string paramsText) {
        channel::ServiceCall call;
        call.pageId = page->id;
        Utf16ToUtf8(uri, call.uri);
        Utf16ToUtf8(method, call.method);
        call.params = std::move(paramsText);
        return call;
    };
    channel::ServiceAnswer answer;
    bool answered = link->Call(makeCall(Json::FastWriter().write(params)), answer);
    if (!answered && link->IsOpen()) {
        // Still open after a failed call means the frame was too large for the channel (its
        // limit is far above any sensible parameters). The call goes out without them, like
        // parameters that did not parse.
        answered = link->Call(makeCall("null\n"), answer);
    }
    if (!answered || !answer.handled) {
        result = FailureResult();
        return 0;
    }
    Json::Reader reader;
    bool parsed = false;
    try {
        parsed = reader.parse(answer.result, result);
    } catch (const std::exception&) {
        parsed = false;
    }
    if (!parsed) result = FailureResult();
    return 0;
}
