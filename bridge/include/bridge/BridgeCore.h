// The module's work, apart from WebKit: one service object per page, whose handler forwards the
// page's calls to the UI process, and the one-way messages from the UI process (calls into the
// page, completions). The WebKit glue feeds it window-object events and tells it how to find a
// page's main frame; tests feed it standalone script contexts.
#pragma once

#include <JavaScriptCore/JavaScript.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "bridge/ServiceObject.h"
#include "channel/Messages.h"
#include "channel/ModuleChannel.h"

class BridgeCore {
public:
    // The global context of the main frame of page `pageId`, or null when there is none.
    using MainFrameContextFn = std::function<JSContextRef(std::uint64_t pageId)>;

    // `channel` may be null (the UI process could not be reached): the pages still get
    // `service`, and every call gets the failure answer. The channel must outlive the core.
    BridgeCore(channel::ModuleChannel* channel, MainFrameContextFn mainFrameContext);
    ~BridgeCore();

    BridgeCore(const BridgeCore&) = delete;
    BridgeCore& operator=(const BridgeCore&) = delete;

    // A frame of page `pageId` got a fresh window object: install `service` there (bound to
    // the page's one service object) and tell the UI process.
    bool OnWindowObjectCleared(std::uint64_t pageId, JSContextRef context, JSObjectRef globalObject,
                               bool mainFrame);
    void OnPageDestroyed(std::uint64_t pageId);

    // Runs a one-way message of the UI process (the channel's one-way handler).
    void OnMessage(const channel::Message& message);

    // The service object of a page, null when the page never had a window object.
    CWebKitService* ServiceOf(std::uint64_t pageId);

    // The answer a call gets when the UI process did not run the handler: the channel is
    // closed, the UI refused the call, or its answer did not parse.
    static Json::Value FailureResult();

    // The handler of every page's service: sends the call to the UI process and waits for the
    // result. `userData` is the page's entry of the core.
    static int ForwardServiceCall(const std::u16string& uri, const std::u16string& method,
                                  const Json::Value& params, void* userData, Json::Value& result);

private:
    struct Page {
        BridgeCore* core = nullptr;
        std::uint64_t id = 0;
        CWebKitService service;
    };

    channel::ModuleChannel* m_channel;
    MainFrameContextFn m_mainFrameContext;
    std::map<std::uint64_t, std::unique_ptr<Page>> m_pages;
};
