// The script object `service` on a standalone JavaScriptCore context: installation, what
// "call" and "cancelCall" answer, how the envelope is read, and the completion delivery.
#include <gtest/gtest.h>

#include <string>

#include "BridgeTestSupport.h"
#include "bridge/ServiceObject.h"

using namespace bridgetest;

namespace {

int g_owner;
int g_userData;

class ServiceTest : public ::testing::Test {
protected:
    void SetUp() override {
        HandlerLog().Clear();
        context = group.NewContext();
        service.handler = &TestHandler;
        ASSERT_TRUE(service.InstallScriptObject(context, JSContextGetGlobalObject(context),
                                                &g_owner, &g_userData));
    }

    // Sets the envelope with `setup`, runs service.call() and answers what the page got.
    std::string CallWith(const std::string& setup) {
        return EvalText(context, setup + ";service.call()");
    }

    ScriptGroup group;
    JSGlobalContextRef context = nullptr;
    CWebKitService service;
};

TEST_F(ServiceTest, InstallationGivesThePageTheServiceObject) {
    EXPECT_EQ(EvalText(context, "typeof service"), "object");
    EXPECT_EQ(EvalText(context, "typeof service.call + typeof service.cancelCall"),
              "functionfunction");
    EXPECT_EQ(service.propertyName, "service");
    EXPECT_EQ(service.context, context);
    EXPECT_EQ(service.globalObject, JSContextGetGlobalObject(context));
    EXPECT_EQ(service.userData, &g_userData);
    EXPECT_NE(CWebKitAbstractService::serviceClass, nullptr);
}

TEST_F(ServiceTest, FailedInstallationKeepsThePreviousOne) {
    JSGlobalContextRef other = group.NewContext();
    JSObjectRef object = service.scriptObject;
    EXPECT_FALSE(
        service.InstallScriptObject(other, JSContextGetGlobalObject(other), nullptr, nullptr));
    EXPECT_FALSE(service.InstallScriptObject(nullptr, nullptr, &g_owner, nullptr));
    EXPECT_EQ(service.context, context);
    EXPECT_EQ(service.scriptObject, object);
    EXPECT_EQ(service.userData, &g_userData);
    EXPECT_EQ(EvalText(other, "typeof service"), "undefined");
}

TEST_F(ServiceTest, CallOnAnythingButTheServiceObjectAnswersNothingAndRunsNoHandler) {
    const char* scripts[] = {
        "var c = service.call; c()",       "service.call.call(globalThis)",
        "service.call.call({})",           "service.call.call(5)",
        "Object.create(service).call()",   "service.call.apply(null, [])",
        "var k = service.cancelCall; k()",
    };
    for (const char* script : scripts) {
        JSValueRef exception = nullptr;
        JSValueRef value = Eval(context, script, &exception);
        EXPECT_EQ(exception, nullptr) << script;
        EXPECT_TRUE(JSValueIsUndefined(context, value)) << script;
    }
    EXPECT_EQ(HandlerLog().Count(), 0u);
    EXPECT_EQ(service.lastAnswer, "");
}

TEST_F(ServiceTest, ArgumentsOfCallChangeNothing) {
    const std::string setup = "service.uri='com.kestovan.trawlet';service.method='pause'";
    std::string plain = CallWith(setup);
    std::string withArgs = EvalText(context, "service.call('x', {uri:'other'}, 3)");
    EXPECT_EQ(plain, "{\"returnValue\":1}\n");
    EXPECT_EQ(withArgs, plain);
    ASSERT_EQ(HandlerLog().Count(), 2u);
    EXPECT_EQ(HandlerLog().Last().method, u"pause");
}

TEST_F(ServiceTest, CancelCallAnswersTrueAndChangesNothing) {
    CallWith("service.uri='com.kestovan.trawlet';service.method='stop'");
    const std::string before = service.lastAnswer;
    for (const char* script : {"service.cancelCall()", "service.cancelCall(1, 'a', null)"}) {
        JSValueRef value = Eval(context, script);
        EXPECT_TRUE(JSValueIsBoolean(context, value)) << script;
        EXPECT_TRUE(JSValueToBoolean(context, value)) << script;
    }
    EXPECT_EQ(HandlerLog().Count(), 1u);
    EXPECT_EQ(service.lastAnswer, before);
}

struct EnvelopeCase {
    const char* name;
    std::string setup;
    std::u16string uri;
    std::u16string method;
    std::string params;  // the handler's parameters as compact JSON
    std::string answer;
};

class EnvelopeTest : public ServiceTest, public ::testing::WithParamInterface<EnvelopeCase> {};

TEST_P(EnvelopeTest, HandlerSeesTheEnvelopeAndThePageTheAnswer) {
    const EnvelopeCase& c = GetParam();
    StderrCapture err;
    EXPECT_EQ(CallWith(c.setup), c.answer);
    err.Text();
    ASSERT_EQ(HandlerLog().Count(), 1u);
    HandledCall call = HandlerLog().Last();
    EXPECT_EQ(call.uri, c.uri);
    EXPECT_EQ(call.method, c.method);
    EXPECT_EQ(JsonText(call.params), c.params);
    EXPECT_EQ(call.userData, &g_userData);
    EXPECT_EQ(service.lastAnswer, c.answer);
}

const std::string kOne = "{\"returnValue\":1}\n";
const std::string kZero = "{\"returnValue\":0}\n";

INSTANTIATE_TEST_SUITE_P(
    Envelope, EnvelopeTest,
    ::testing::Values(
        EnvelopeCase{"NoEnvelope", "0", u"", u"", "null", kZero},
        EnvelopeCase{"Pause",
                     "service.uri='com.kestovan.trawlet';service.method='pause';"
                     "service.params=JSON.stringify({url:'a'})",
                     u"com.kestovan.trawlet", u"pause", "{\"url\":\"a\"}", kOne},
        EnvelopeCase{"OtherServiceId", "service.uri='com.other';service.method='pause'",
                     u"com.other", u"pause", "null", kZero},
        EnvelopeCase{"MethodCaseMatters",
                     "service.uri='com.kestovan.trawlet';service.method='Pause'",
                     u"com.kestovan.trawlet", u"Pause", "null", kZero},
        // An object's string form is not JSON: the parser stops inside "[object Object]".
        EnvelopeCase{"ParamsAsObject", "service.params={url:'a'}", u"", u"", "[null]", kZero},
        EnvelopeCase{"UriAsNumber", "service.uri=42", u"42", u"", "null", kZero},
        EnvelopeCase{"UriUndefined", "service.uri=undefined", u"", u"", "null", kZero},
        EnvelopeCase{"UriNull", "service.uri=null", u"null", u"", "null", kZero},
        EnvelopeCase{"MethodFalse", "service.method=false", u"", u"false", "null", kZero},
        EnvelopeCase{"MethodZero", "service.method=0", u"", u"0", "null", kZero},
        EnvelopeCase{"ParamsNullValue", "service.params=null", u"", u"", "null", kZero},
        EnvelopeCase{"ParamsFalse", "service.params=false", u"", u"", "false", kZero},
        EnvelopeCase{"ParamsZero", "service.params=0", u"", u"", "0", kZero},
        EnvelopeCase{"ParamsEmptyText", "service.params=''", u"", u"", "null", kZero},
        EnvelopeCase{"ParamsWithComment", "service.params='/* c */ [1, 2]'", u"", u"", "[1,2]",
                     kZero},
        EnvelopeCase{"ParamsNotJson", "service.params='[1, 2'", u"", u"", "[1,2]", kZero},
        EnvelopeCase{"EmbeddedNul",
                     "service.uri='com.kestovan.trawlet\\0tail';"
                     "service.method='pa\\0use'",
                     u"com.kestovan.trawlet", u"pa", "null", kZero},
        EnvelopeCase{"LoneSurrogates", "service.uri='\\uD800x';service.method='y\\uDC00'",
                     u"\xD800x", u"y\xDC00", "null", kZero},
        EnvelopeCase{"LoneSurrogateInParams", "service.params='\"\\uD800\"'", u"", u"",
                     "\"\xEF\xBF\xBD\"", kZero},
        EnvelopeCase{"ThrowingGetter",
                     "Object.defineProperty(service,'uri',{get(){throw new Error('no uri')}});"
                     "service.method='stop'",
                     u"", u"stop", "null", kZero},
        EnvelopeCase{"ThrowingToString",
                     "service.uri='com.kestovan.trawlet';"
                     "service.method={toString(){throw new Error('no text')}};"
                     "service.params={toString(){throw 'no params'}}",
                     u"com.kestovan.trawlet", u"", "null", kZero}),
    [](const ::testing::TestParamInfo<EnvelopeCase>& info) { return info.param.name; });

TEST_F(ServiceTest, ExceptionsWhileReadingGoToStandardErrorNotToThePage) {
    StderrCapture err;
    JSValueRef exception = nullptr;
    Eval(context,
         "Object.defineProperty(service,'uri',{get(){throw new Error('no uri')}});"
         "service.params={toString(){throw 'no params'}};service.call()",
         &exception);
    EXPECT_EQ(exception, nullptr);
    EXPECT_EQ(err.Text(), "Error: no uri\nno params\n");
    EXPECT_EQ(service.lastAnswer, kZero);
}

TEST_F(ServiceTest, ExceptionWhoseTextThrowsAgainIsDroppedQuietly) {
    StderrCapture err;
    JSValueRef exception = nullptr;
    JSValueRef value = Eval(context,
                            "var evil = {toString(){ throw evil; }};"
                            "Object.defineProperty(service,'uri',{get(){ throw evil; }});"
                            "service.call()",
                            &exception);
    EXPECT_EQ(exception, nullptr);
    EXPECT_EQ(ToUtf8(context, value), kZero);
    EXPECT_EQ(err.Text(), "");
}

TEST_F(ServiceTest, HandlerThatLeavesTheResultAloneAnswersNull) {
    service.handler = [](const std::u16string&, const std::u16string&, const Json::Value&, void*,
                         Json::Value&) { return 0; };
    EXPECT_EQ(EvalText(context, "service.call()"), "null\n");
}

TEST_F(ServiceTest, HandlerThatThrowsAnswersNull) {
    service.handler = [](const std::u16string&, const std::u16string&, const Json::Value& params,
                         void*, Json::Value& result) {
        result["half"] = 1;
        return params["url"].asInt();  // "url" holds text: jsoncpp throws
    };
    EXPECT_EQ(EvalText(context, "service.params='{\"url\":\"x\"}';service.call()"), "null\n");
}

TEST_F(ServiceTest, TheSecondCallReplacesTheLastAnswer) {
    CallWith("service.uri='com.kestovan.trawlet';service.method='pause'");
    EXPECT_EQ(service.lastAnswer, kOne);
    CallWith("service.method='open'");
    EXPECT_EQ(service.lastAnswer, kZero);
}

TEST_F(ServiceTest, AnswerKeepsNonAsciiTextAsFastWriterWritesIt) {
    HandlerLog().extra = [](const HandledCall&, Json::Value& result) {
        result["text"] = "\xC3\xA9\"\n";
    };
    EXPECT_EQ(EvalText(context, "service.call()"),
              "{\"returnValue\":0,\"text\":\"\\u00e9\\\"\\n\"}\n");
}

// Large and hostile input: every call answers, and the next one works.
TEST_F(ServiceTest, HugeParamsArriveWhole) {
    EXPECT_EQ(CallWith("service.method='pause';service.uri='com.kestovan.trawlet';"
                       "service.params='\"' + 'x'.repeat(50*1024*1024) + '\"'"),
              kOne);
    HandledCall call = HandlerLog().Last();
    ASSERT_TRUE(call.params.isString());
    EXPECT_EQ(call.params.asString().size(), 50u * 1024 * 1024);
    EXPECT_EQ(CallWith("service.params='[]'"), kOne);
}

TEST_F(ServiceTest, NestingBeyondTheParserLimitGivesNullParams) {
    EXPECT_EQ(CallWith("service.uri='com.kestovan.trawlet';service.method='stop';"
                       "service.params='['.repeat(100000) + ']'.repeat(100000)"),
              kOne);
    EXPECT_TRUE(HandlerLog().Last().params.isNull());
    EXPECT_EQ(CallWith("service.params='[[1]]'"), kOne);
    EXPECT_EQ(JsonText(HandlerLog().Last().params), "[[1]]");
}

TEST_F(ServiceTest, CallInsideAGetterOfParams) {
    // The getter runs a call of its own, once; both calls answer, the outer one last.
    std::string result = EvalText(context,
                                  "var inner = null;"
                                  "service.uri='com.kestovan.trawlet';service.method='pause';"
                                  "Object.defineProperty(service,'params',{configurable:true,get(){"
                                  "  if (inner === null) { inner = ''; inner = service.call(); }"
                                  "  return '{\"n\":1}'; }});"
                                  "service.call() + '|' + inner");
    EXPECT_EQ(result, kOne + "|" + kOne);
    EXPECT_EQ(HandlerLog().Count(), 2u);
    EXPECT_EQ(service.lastAnswer, kOne);
}

TEST_F(ServiceTest, EndlessCallsInsideAGetterEndInAnAnswer) {
    StderrCapture err;
    JSValueRef exception = nullptr;
    JSValueRef value = Eval(context,
                            "Object.defineProperty(service,'params',{configurable:true,"
                            "  get(){ return service.call(); }});"
                            "service.call()",
                            &exception);
    err.Text();  // the innermost read ran out of stack; whether its text could still be made
                 // depends on how much stack was left
    EXPECT_EQ(exception, nullptr);
    // Every level above the innermost got an answer text as its parameters.
    EXPECT_EQ(ToUtf8(context, value), kZero);
    EXPECT_GT(HandlerLog().Count(), 10u);
    EXPECT_EQ(JsonText(HandlerLog().Last().params), "{\"returnValue\":0}");
    EvalText(context, "Object.defineProperty(service,'params',{value:'1'})");
    HandlerLog().Clear();
    EXPECT_EQ(EvalText(context, "service.call()"), kZero);
    EXPECT_EQ(JsonText(HandlerLog().Last().params), "1");
}

TEST_F(ServiceTest, EachFrameCallsWithItsOwnEnvelopeWhicheverWasInstalledLast) {
    JSGlobalContextRef second = group.NewContext();
    JSObjectRef firstObject = service.scriptObject;
    ASSERT_TRUE(service.InstallScriptObject(second, JSContextGetGlobalObject(second), &g_owner,
                                            &g_userData));
    EXPECT_EQ(service.context, second);
    EXPECT_NE(service.scriptObject, firstObject);
    Eval(second, "service.uri='com.kestovan.trawlet';service.method='stop'");
    Eval(context, "service.uri='com.kestovan.trawlet';service.method='pause';service.params='{}'");

    struct Case {
        JSGlobalContextRef frame;
        const char* script;
        std::u16string method;
        std::string answer;
    } cases[] = {
        {context, "service.call()", u"pause", kOne},
        {second, "service.call()", u"stop", kOne},
        {context, "service.method='nothing';service.call()", u"nothing", kZero},
        {second, "service.call()", u"stop", kOne},
    };
    for (const Case& c : cases) {
        HandlerLog().Clear();
        EXPECT_EQ(EvalText(c.frame, c.script), c.answer) << c.script;
        ASSERT_EQ(HandlerLog().Count(), 1u);
        EXPECT_EQ(HandlerLog().Last().method, c.method) << c.script;
    }
    // A call inside a call (here on the other frame's object, from a getter) reads its own
    // envelope, and the outer call goes on with the outer one.
    Eval(second, "service.method='pause'");
    JSStringRef name = JSStringCreateWithUTF8CString("secondService");
    JSObjectSetProperty(context, JSContextGetGlobalObject(context), name, service.scriptObject,
                        kJSPropertyAttributeNone, nullptr);
    JSStringRelease(name);
    HandlerLog().Clear();
    EXPECT_EQ(EvalText(context,
                       "service.method='stop';var inner;"
                       "Object.defineProperty(service,'params',{configurable:true,get(){"
                       "  if (inner === undefined) inner = secondService.call(); return '{}'; }});"
                       "service.call() + '|' + inner"),
              kOne + "|" + kOne);
    ASSERT_EQ(HandlerLog().Count(), 2u);
    EXPECT_EQ(HandlerLog().calls[0].method, u"pause");
    EXPECT_EQ(HandlerLog().Last().method, u"stop");
}

TEST(ServiceClassTest, TheLastServiceReleasesTheClassAndANewOneMakesItAgain) {
    ScriptGroup group;
    JSGlobalContextRef context = group.NewContext();
    JSObjectRef global = JSContextGetGlobalObject(context);
    const int before = CWebKitAbstractService::liveServiceCount;
    ASSERT_EQ(before, 0);
    {
        CWebKitService first;
        CWebKitService second;
        EXPECT_EQ(CWebKitAbstractService::liveServiceCount, 2);
        ASSERT_TRUE(first.InstallScriptObject(context, global, &g_owner, nullptr));
        { CWebKitService third; }
        EXPECT_NE(CWebKitAbstractService::serviceClass, nullptr);
    }
    EXPECT_EQ(CWebKitAbstractService::liveServiceCount, 0);
    EXPECT_EQ(CWebKitAbstractService::serviceClass, nullptr);
    // The old page object outlives its service: it answers nothing.
    JSValueRef value = Eval(context, "service.call()");
    EXPECT_TRUE(JSValueIsUndefined(context, value));

    HandlerLog().Clear();
    CWebKitService next;
    next.handler = &TestHandler;
    EXPECT_EQ(CWebKitAbstractService::serviceClass, nullptr);
    ASSERT_TRUE(next.InstallScriptObject(context, global, &g_owner, nullptr));
    EXPECT_NE(CWebKitAbstractService::serviceClass, nullptr);
    EXPECT_EQ(EvalText(context, "service.call()"), kZero);
    EXPECT_EQ(HandlerLog().Count(), 1u);
}

// The completion: the latest answer goes to "onSuccess" or "onFailure", then "onResponse".
struct CompletionCase {
    const char* name;
    std::string callbacks;
    std::int64_t outcome;
    std::string log;  // what the page functions recorded
    std::string stderrText;
};

class CompletionTest : public ServiceTest, public ::testing::WithParamInterface<CompletionCase> {};

TEST_P(CompletionTest, DeliversTheLatestAnswer) {
    const CompletionCase& c = GetParam();
    CallWith("service.uri='com.kestovan.trawlet';service.method='pause'");
    Eval(context,
         "var log = ''; function rec(n){ return function(a){"
         " log += n + '(' + a.trim() + ',' + (this === service) + ')'; }; }" +
             c.callbacks);
    StderrCapture err;
    DeliverCallComplete(&service, c.outcome);
    EXPECT_EQ(err.Text(), c.stderrText);
    EXPECT_EQ(EvalText(context, "log"), c.log);
}

INSTANTIATE_TEST_SUITE_P(
    Completion, CompletionTest,
    ::testing::Values(
        CompletionCase{"Success",
                       "service.onSuccess=rec('s');service.onFailure=rec('f');"
                       "service.onResponse=rec('r')",
                       1, "s({\"returnValue\":1},true)r({\"returnValue\":1},true)", ""},
        CompletionCase{"Failure",
                       "service.onSuccess=rec('s');service.onFailure=rec('f');"
                       "service.onResponse=rec('r')",
                       2, "f({\"returnValue\":1},true)r({\"returnValue\":1},true)", ""},
        CompletionCase{"ZeroIsFailure", "service.onFailure=rec('f')", 0,
                       "f({\"returnValue\":1},true)", ""},
        CompletionCase{"OnlyOnResponse", "service.onResponse=rec('r')", 1,
                       "r({\"returnValue\":1},true)", ""},
        CompletionCase{"NoCallbacks", "", 1, "", ""},
        CompletionCase{"SuccessNotAFunction", "service.onSuccess={};service.onResponse=rec('r')", 1,
                       "r({\"returnValue\":1},true)", ""},
        CompletionCase{"SuccessThrows",
                       "service.onSuccess=function(){ throw new TypeError('bad'); };"
                       "service.onResponse=rec('r')",
                       1, "r({\"returnValue\":1},true)", "TypeError: bad\n"},
        CompletionCase{"GetterThrows",
                       "Object.defineProperty(service,'onFailure',{get(){ throw 'gone'; }});"
                       "service.onResponse=rec('r')",
                       2, "r({\"returnValue\":1},true)", "gone\n"}),
    [](const ::testing::TestParamInfo<CompletionCase>& info) { return info.param.name; });

TEST_F(ServiceTest, CompletionForNoServiceOrAnUninstalledOneDoesNothing) {
    DeliverCallComplete(nullptr, 1);
    CWebKitService fresh;
    DeliverCallComplete(&fresh, 1);
    SUCCEED();
}

TEST_F(ServiceTest, CompletionDeliversTheSecondOfTwoAnswers) {
    CallWith("service.uri='com.kestovan.trawlet';service.method='pause'");
    CallWith("service.method='nothing'");
    Eval(context, "var got = ''; service.onFailure = function(a){ got = a; }");
    DeliverCallComplete(&service, 2);
    EXPECT_EQ(EvalText(context, "got"), kZero);
}

}  // namespace
