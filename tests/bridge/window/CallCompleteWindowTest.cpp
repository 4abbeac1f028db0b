// The completion message through the window procedure: whoever posts WM_CALL_COMPLETE for the
// main window's service, the module of the main page hands the latest answer to "onSuccess"
// or "onFailure" and then "onResponse". The page is a standalone script context with the
// module's core; the UI side is the main window's own service host.
#include "../ServiceHostFixture.h"
#include "webview/LocalWindow.h"

using namespace bridgetest;

namespace {

class CallCompleteWindowTest : public ServiceHostTest {
protected:
    void SetUp() override {
        ServiceHostTest::SetUp();
        // The main window installs the window procedure's completion handler; its own service
        // host is not the one under test, so the message names the fixture's.
        window = loop.Run([] { return new CLocalWindow; });
        Page(
            "service.uri='com.kestovan.trawlet';service.method='pause';service.call();"
            "service.method='nothing';service.call();"
            "var log = '';"
            "service.onSuccess = function(a){ log += 's' + a.trim() + (this === service); };"
            "service.onFailure = function(a){ log += 'f' + a.trim() + (this === service); };"
            "service.onResponse = function(a){ log += 'r' + a.trim() + (this === service); };");
    }
    void TearDown() override {
        loop.Run([this] { delete window; });
        ServiceHostTest::TearDown();
    }
    void Post(WPARAM service, LPARAM outcome) {
        loop.Run([&] {
            CWebKitWindow::WindowProc(reinterpret_cast<HWND>(0x5150), WM_CALL_COMPLETE, service,
                                      outcome);
        });
    }
    CLocalWindow* window = nullptr;
};

TEST_F(CallCompleteWindowTest, DeliversTheLatestAnswerToTheOutcomesCallbackThenOnResponse) {
    struct Case {
        LPARAM outcome;
        std::string expected;
    };
    const Case cases[] = {
        {1, "s{\"returnValue\":0}truer{\"returnValue\":0}true"},
        {2, "f{\"returnValue\":0}truer{\"returnValue\":0}true"},
        {0, "f{\"returnValue\":0}truer{\"returnValue\":0}true"},
    };
    for (const auto& c : cases) {
        Page("log = ''");
        Post(reinterpret_cast<WPARAM>(host), c.outcome);
        ASSERT_TRUE(PumpUntil([this] { return EvalText(context, "log.length") != "0"; }))
            << c.outcome;
        EXPECT_EQ(EvalText(context, "log"), c.expected) << c.outcome;
    }
}

TEST_F(CallCompleteWindowTest, WithoutAServiceNothingReachesThePage) {
    Post(0, 1);
    // A later completion still arrives, and is the only thing that did.
    Post(reinterpret_cast<WPARAM>(host), 1);
    ASSERT_TRUE(PumpUntil([this] { return EvalText(context, "log.length") != "0"; }));
    EXPECT_EQ(EvalText(context, "log"), "s{\"returnValue\":0}truer{\"returnValue\":0}true");
}

}  // namespace
