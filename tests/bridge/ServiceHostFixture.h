// The fixture of the tests that run the whole road of a page call in one process: the page on
// a standalone script context with the module's core, the channel over a socket pair, and the
// UI side's service host with the handler on a main loop of its own thread.
#pragma once

#include <gtest/gtest.h>
#include <sys/socket.h>

#include "BridgeTestSupport.h"
#include "bridge/BridgeCore.h"
#include "bridgehost/ServiceHost.h"
#include "channel/ModuleChannel.h"

namespace bridgetest {

inline constexpr std::uint64_t kPage = 42;
inline int g_window;  // stands for the main window, the handler's user data

inline const std::string kOne = "{\"returnValue\":1}\n";
inline const std::string kZero = "{\"returnValue\":0}\n";

class ServiceHostTest : public ::testing::Test {
protected:
    void SetUp() override {
        HandlerLog().Clear();
        int fds[2];
        ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds), 0);
        host = loop.Run([this] {
            auto* h = new CWebKitServiceHost(loop.context());
            h->SetMainPageId(kPage);
            // The main window's window-object hook.
            h->onWindowObjectCleared = [this, h](std::uint64_t pageId, bool mainFrame) {
                cleared.push_back({pageId, mainFrame});
                h->handler = &TestHandler;
                h->InstallScriptObject(&g_window, &g_window);
            };
            return h;
        });
        ASSERT_NE(loop.Run([&] { return host->Server().Adopt(fds[0]); }), 0u);
        module = std::make_unique<channel::ModuleChannel>(fds[1]);
        ASSERT_TRUE(module->Send(channel::Hello{host->Server().secret()}));
        context = group.NewContext();
        core = std::make_unique<BridgeCore>(module.get(),
                                            [this](std::uint64_t pageId) -> JSContextRef {
                                                return pageId == kPage ? context : nullptr;
                                            });
        module->SetOneWayHandler([this](const channel::Message& m) { core->OnMessage(m); });
        ASSERT_TRUE(
            core->OnWindowObjectCleared(kPage, context, JSContextGetGlobalObject(context), true));
        ASSERT_TRUE(loop.WaitFor([this] { return !cleared.empty(); }));
    }
    void TearDown() override {
        core.reset();
        module.reset();
        loop.Run([this] { delete host; });
    }

    // Runs page script that ends in a call; answers what the page got.
    std::string Page(const std::string& script) { return EvalText(context, script); }

    // Lets the module run what the UI process sent outside calls, until `done` holds.
    bool PumpUntil(const std::function<bool()>& done) {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!done()) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            module->DispatchPending();
        }
        return true;
    }

    LoopThread loop;
    CWebKitServiceHost* host = nullptr;
    std::vector<std::pair<std::uint64_t, bool>> cleared;  // touched on the loop thread only
    std::unique_ptr<channel::ModuleChannel> module;
    ScriptGroup group;
    JSGlobalContextRef context = nullptr;
    std::unique_ptr<BridgeCore> core;
};

}  // namespace bridgetest
