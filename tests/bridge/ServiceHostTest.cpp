// The whole road of a page call in one process: the page on a standalone script context with
// the module's core, the channel over a socket pair, and the UI side's service host with the
// handler on a main loop of its own thread.
#include "ServiceHostFixture.h"

using namespace bridgetest;

namespace {

TEST_F(ServiceHostTest, WindowObjectClearedReachesTheHook) {
    auto seen = loop.Run([this] { return cleared; });
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0], std::make_pair(kPage, true));
    EXPECT_EQ(EvalText(context, "typeof service.call"), "function");
}

struct RoundTripCase {
    const char* name;
    std::string script;
    std::u16string uri;
    std::u16string method;
    std::string params;
    std::string answer;
};

class RoundTripTest : public ServiceHostTest,
                      public ::testing::WithParamInterface<RoundTripCase> {};

TEST_P(RoundTripTest, ThePageGetsTheHandlersAnswer) {
    const RoundTripCase& c = GetParam();
    EXPECT_EQ(Page(c.script + ";service.call()"), c.answer);
    ASSERT_EQ(HandlerLog().Count(), 1u);
    HandledCall call = HandlerLog().Last();
    EXPECT_EQ(call.uri, c.uri);
    EXPECT_EQ(call.method, c.method);
    EXPECT_EQ(JsonText(call.params), c.params);
    EXPECT_EQ(call.userData, &g_window);
    EXPECT_EQ(core->ServiceOf(kPage)->lastAnswer, c.answer);
}

INSTANTIATE_TEST_SUITE_P(
    RoundTrip, RoundTripTest,
    ::testing::Values(
        RoundTripCase{"Pause",
                      "service.uri='com.kestovan.trawlet';service.method='pause';"
                      "service.params=JSON.stringify({url:'http://127.0.0.1/', n:[1.5,true]})",
                      u"com.kestovan.trawlet", u"pause",
                      "{\"n\":[1.5,true],\"url\":\"http://127.0.0.1/\"}", kOne},
        RoundTripCase{"NoEnvelope", "0", u"", u"", "null", kZero},
        RoundTripCase{"NonAscii",
                      "service.uri='\\u00e9\\uD83D\\uDE00';service.params='\"\\u00fc\"'",
                      u"\u00e9\U0001F600", u"", "\"\u00fc\"", kZero},
        RoundTripCase{"LoneSurrogates", "service.uri='a\\uD800';service.method='\\uDC00'",
                      u"a\uFFFD", u"\uFFFD", "null", kZero},
        RoundTripCase{"PartialParams", "service.params='[1, {\"a\": '", u"", u"",
                      "[1,{\"a\":null}]", kZero},
        RoundTripCase{"DeepParams",
                      "service.params='['.repeat(100000) + ']'.repeat(100000);"
                      "service.uri='com.kestovan.trawlet';service.method='stop'",
                      u"com.kestovan.trawlet", u"stop", "null", kOne},
        RoundTripCase{"NestedAtTheParserLimit", "service.params='['.repeat(900) + ']'.repeat(900)",
                      u"", u"", std::string(900, '[') + std::string(900, ']'), kZero}),
    [](const ::testing::TestParamInfo<RoundTripCase>& info) { return info.param.name; });

TEST_F(ServiceHostTest, PageFunctionsCalledByTheHandlerRunInsideTheCall) {
    HandlerLog().extra = [this](const HandledCall& call, Json::Value&) {
        if (call.method == u"start") host->CallPageFunction("updateInputUrl", "http://a.test/");
    };
    std::string result = Page(
        "var log = [];"
        "function updateInputUrl(u){ log.push('update ' + u + ' ' + (this === globalThis)); }"
        "service.uri='com.kestovan.trawlet';service.method='start';"
        "log.push('answer ' + service.call().trim()); log.join('|')");
    EXPECT_EQ(result, "update http://a.test/ true|answer {\"returnValue\":0}");
}

TEST_F(ServiceHostTest, APageFunctionMayCallAgainWhileTheOuterCallWaits) {
    HandlerLog().extra = [this](const HandledCall& call, Json::Value&) {
        if (call.method == u"start") host->CallPageFunction("updateInputUrl", "x");
    };
    std::string result = Page(
        "var inner = '';"
        "function updateInputUrl(){ var m = service.method; service.method = 'pause';"
        "  inner = service.call().trim(); service.method = m; }"
        "service.uri='com.kestovan.trawlet';service.method='start';"
        "service.call().trim() + ' after ' + inner");
    EXPECT_EQ(result, "{\"returnValue\":0} after {\"returnValue\":1}");
    EXPECT_EQ(HandlerLog().Count(), 2u);
}

TEST_F(ServiceHostTest, CallsIntoThePageOutsideCalls) {
    Page("var got = []; function addResult(r){ got.push(r); }");
    ASSERT_TRUE(
        loop.Run([this] { return host->CallPageFunction("addResult", "{\"url\":\"u\"}"); }));
    ASSERT_TRUE(loop.Run([this] { return host->CallPageFunction("missing", "x"); }));
    ASSERT_TRUE(loop.Run([this] { return host->CallPageFunction("addResult", "two"); }));
    ASSERT_TRUE(PumpUntil([this] { return EvalText(context, "got.length") == "2"; }));
    EXPECT_EQ(EvalText(context, "got.join('|')"), "{\"url\":\"u\"}|two");
}

TEST_F(ServiceHostTest, CompletionGoesToTheCallbacksOfTheService) {
    Page(
        "service.uri='com.kestovan.trawlet';service.method='pause';service.call();"
        "var log = '';"
        "service.onSuccess = function(a){ log += 's' + a.trim() + (this === service); };"
        "service.onFailure = function(a){ log += 'f' + a.trim() + (this === service); };"
        "service.onResponse = function(a){ log += 'r'; }");
    ASSERT_TRUE(loop.Run([this] { return host->DeliverCompletion(1); }));
    ASSERT_TRUE(PumpUntil([this] { return EvalText(context, "log.length") != "0"; }));
    EXPECT_EQ(EvalText(context, "log"), "s{\"returnValue\":1}truer");
    Page("log = ''");
    ASSERT_TRUE(loop.Run([this] { return host->DeliverCompletion(2); }));
    ASSERT_TRUE(PumpUntil([this] { return EvalText(context, "log.length") != "0"; }));
    EXPECT_EQ(EvalText(context, "log"), "f{\"returnValue\":1}truer");
}

TEST_F(ServiceHostTest, CallsFromAPageTheMainViewDoesNotShowAreNotHandled) {
    loop.Run([this] { host->SetMainPageId(kPage + 1); });
    EXPECT_EQ(Page("service.uri='com.kestovan.trawlet';service.method='pause';service.call()"),
              kZero);
    EXPECT_EQ(HandlerLog().Count(), 0u);
    // Nor do calls into the page reach a page that is not the main view's.
    EXPECT_FALSE(loop.Run([this] { return host->CallPageFunction("addResult", "x"); }));
    EXPECT_FALSE(loop.Run([this] { return host->DeliverCompletion(1); }));
}

TEST_F(ServiceHostTest, OnlyWhileTheMainViewShowsThePageFolderAreCallsServed) {
    const std::string page = "file://" + CWebKitServiceHost::PageFolder();
    struct Case {
        std::string shown;
        bool served;
    } cases[] = {
        {page + "/index.html", true},
        {page + "/index.html#list", true},
        {"http://127.0.0.1:1/index.html", false},
        {page + "/../index.html", false},
        {"file:///etc/hostname", false},
        {"", false},
    };
    for (const Case& c : cases) {
        loop.Run([this, &c] { host->mainViewAddress = [shown = c.shown] { return shown; }; });
        HandlerLog().Clear();
        EXPECT_EQ(Page("service.uri='com.kestovan.trawlet';service.method='pause';service.call()"),
                  c.served ? kOne : kZero)
            << c.shown;
        EXPECT_EQ(HandlerLog().Count(), c.served ? 1u : 0u) << c.shown;
        EXPECT_EQ(loop.Run([this] { return host->CallPageFunction("addResult", "x"); }), c.served)
            << c.shown;
        EXPECT_EQ(loop.Run([this] { return host->DeliverCompletion(1); }), c.served) << c.shown;
    }
}

TEST_F(ServiceHostTest, NoHandlerAnswersFailure) {
    loop.Run([this] { host->handler = nullptr; });
    EXPECT_EQ(Page("service.uri='com.kestovan.trawlet';service.method='pause';service.call()"),
              kZero);
}

TEST_F(ServiceHostTest, AHandlerThatThrowsDoesNotTakeTheUiDown) {
    loop.Run([this] {
        host->handler = [](const std::u16string&, const std::u16string&, const Json::Value& params,
                           void*, Json::Value&) {
            return params["url"].asInt();  // text: jsoncpp throws
        };
    });
    EXPECT_EQ(Page("service.params='{\"url\":\"x\"}';service.call()"), kZero);
    loop.Run([this] { host->handler = &TestHandler; });
    EXPECT_EQ(Page("service.uri='com.kestovan.trawlet';service.method='stop';service.call()"),
              kOne);
}

TEST_F(ServiceHostTest, HandlerResultIsPassedOnAsItIs) {
    HandlerLog().extra = [](const HandledCall&, Json::Value& result) {
        result["z"] = "\xC3\xA9";
        result["a"] = Json::Value(Json::arrayValue);
    };
    EXPECT_EQ(Page("service.call()"), "{\"a\":[],\"returnValue\":0,\"z\":\"\\u00e9\"}\n");
}

TEST_F(ServiceHostTest, FiftyMegabytesOfParams) {
    EXPECT_EQ(Page("service.uri='com.kestovan.trawlet';service.method='pause';"
                   "service.params=JSON.stringify({url:'h'.repeat(50*1024*1024)});service.call()"),
              kOne);
    EXPECT_EQ(HandlerLog().Last().params["url"].asString().size(), 50u * 1024 * 1024);
    EXPECT_EQ(Page("service.params='{}';service.call()"), kOne);
}

TEST_F(ServiceHostTest, TheUiGoingAwayMidCallAnswersFailureAndLaterCallsToo) {
    HandlerLog().extra = [this](const HandledCall&, Json::Value&) {
        host->Server().Close(1);  // the only connection
    };
    EXPECT_EQ(Page("service.uri='com.kestovan.trawlet';service.method='pause';service.call()"),
              kZero);
    EXPECT_EQ(core->ServiceOf(kPage)->lastAnswer, kZero);
    EXPECT_EQ(Page("service.call()"), kZero);
    EXPECT_EQ(HandlerLog().Count(), 1u);
    EXPECT_FALSE(loop.Run([this] { return host->CallPageFunction("addResult", "x"); }));
}

TEST(ServiceHostOwnTest, InstallNeedsAnOwnerAndTheModuleFolderSitsBesideTheProgram) {
    CWebKitServiceHost host;
    int owner;
    EXPECT_FALSE(host.InstallScriptObject(nullptr, &owner));
    EXPECT_EQ(host.userData, nullptr);
    EXPECT_TRUE(host.InstallScriptObject(&owner, &owner));
    EXPECT_EQ(host.userData, &owner);
    EXPECT_FALSE(host.CallPageFunction("addResult", "x"));  // nothing connected
    EXPECT_FALSE(host.DeliverCompletion(1));

    gchar* program = g_file_read_link("/proc/self/exe", nullptr);
    gchar* folder = g_path_get_dirname(program);
    EXPECT_EQ(CWebKitServiceHost::ModuleFolder(), std::string(folder) + "/bridge");
    EXPECT_EQ(CWebKitServiceHost::PageFolder(), std::string(folder) + "/Html");
    g_free(program);

    ASSERT_TRUE(host.Start());
    GVariant* data = g_variant_ref_sink(host.NewModuleInitData());
    EXPECT_TRUE(g_variant_is_of_type(data, G_VARIANT_TYPE("(sss)")));
    const gchar* address = nullptr;
    const gchar* secret = nullptr;
    const gchar* pageFolder = nullptr;
    g_variant_get(data, "(&s&s&s)", &address, &secret, &pageFolder);
    EXPECT_EQ(address, host.Server().address());
    EXPECT_EQ(secret, host.Server().secret());
    EXPECT_EQ(pageFolder, std::string(folder) + "/Html");
    EXPECT_EQ(host.SocketFolder(), host.Server().directory());
    g_variant_unref(data);
    g_free(folder);
}

TEST(BridgeCoreTest, WithoutAChannelPagesStillGetServiceAndCallsFail) {
    ScriptGroup group;
    JSGlobalContextRef context = group.NewContext();
    BridgeCore core(nullptr, nullptr);
    ASSERT_TRUE(core.OnWindowObjectCleared(1, context, JSContextGetGlobalObject(context), true));
    EXPECT_EQ(EvalText(context, "service.method='pause';service.call()"), kZero);
    core.OnMessage(channel::PageCall{1, "f", "x"});  // no way to find the page: nothing
    core.OnPageDestroyed(1);
    EXPECT_EQ(core.ServiceOf(1), nullptr);
    EXPECT_TRUE(JSValueIsUndefined(context, Eval(context, "service.call()")));
}

}  // namespace
