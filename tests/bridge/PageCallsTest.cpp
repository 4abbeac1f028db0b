// Reading page values and calling page functions on a standalone JavaScriptCore context.
#include <gtest/gtest.h>

#include "BridgeTestSupport.h"
#include "bridge/PageCalls.h"
#include "bridge/ServiceObject.h"

using namespace bridgetest;

namespace {

class PageCallsTest : public ::testing::Test {
protected:
    void SetUp() override {
        context = group.NewContext();
        global = JSContextGetGlobalObject(context);
    }
    ScriptGroup group;
    JSGlobalContextRef context = nullptr;
    JSObjectRef global = nullptr;
};

struct PropertyCase {
    const char* name;
    const char* setup;  // defines the global "p"
    bool read;          // GetObjectProperty's answer
    bool converted;     // ScriptValueToUtf16's answer
    std::u16string text;
    std::string stderrText;
};

class PropertyTest : public PageCallsTest, public ::testing::WithParamInterface<PropertyCase> {};

TEST_P(PropertyTest, ReadsAndConverts) {
    const PropertyCase& c = GetParam();
    EvalText(context, c.setup);
    StderrCapture err;
    JSValueRef value = nullptr;
    EXPECT_EQ(GetObjectProperty(context, global, "p", value), c.read);
    std::u16string text = u"old";
    if (c.read) {
        EXPECT_EQ(ScriptValueToUtf16(context, value, text), c.converted);
        EXPECT_EQ(text, c.text);
    }
    EXPECT_EQ(err.Text(), c.stderrText);
}

INSTANTIATE_TEST_SUITE_P(
    Properties, PropertyTest,
    ::testing::Values(PropertyCase{"Missing", "0", false, false, u"", ""},
                      PropertyCase{"Undefined", "var p = undefined", false, false, u"", ""},
                      PropertyCase{"Null", "var p = null", true, true, u"null", ""},
                      PropertyCase{"False", "var p = false", true, true, u"false", ""},
                      PropertyCase{"Zero", "var p = 0", true, true, u"0", ""},
                      PropertyCase{"EmptyText", "var p = ''", true, false, u"", ""},
                      PropertyCase{"Text", "var p = 'h\\u00e9llo'", true, true, u"h\u00e9llo", ""},
                      PropertyCase{"NulCutsText", "var p = 'ab\\0cd'", true, true, u"ab", ""},
                      PropertyCase{"LeadingNul", "var p = '\\0cd'", true, true, u"", ""},
                      PropertyCase{"Object", "var p = {}", true, true, u"[object Object]", ""},
                      PropertyCase{
                          "ThrowingGetter",
                          "Object.defineProperty(globalThis,'p',{get(){ throw new Error('g'); }})",
                          false, false, u"", "Error: g\n"},
                      PropertyCase{"ThrowingToString", "var p = {toString(){ throw 'ts'; }}", true,
                                   false, u"", "ts\n"}),
    [](const ::testing::TestParamInfo<PropertyCase>& info) { return info.param.name; });

TEST_F(PageCallsTest, NullInputsFailWithoutTouchingTheOutput) {
    JSValueRef value = reinterpret_cast<JSValueRef>(0x1);
    EXPECT_FALSE(GetObjectProperty(nullptr, global, "p", value));
    EXPECT_FALSE(GetObjectProperty(context, nullptr, "p", value));
    EXPECT_FALSE(GetObjectProperty(context, global, nullptr, value));
    EXPECT_EQ(value, reinterpret_cast<JSValueRef>(0x1));

    std::u16string text = u"kept";
    CJSObj unbound;
    EXPECT_FALSE(ReadStringProperty(unbound, "uri", text));
    EXPECT_EQ(text, u"kept");
    EXPECT_FALSE(ScriptStringToUtf16(nullptr, text));
    EXPECT_FALSE(ScriptValueToUtf16(context, nullptr, text));

    ScriptFunctionRef none;
    ScriptArgList args;
    JSValueRef result = nullptr;
    EXPECT_FALSE(CallScriptFunction(none, args, result));
    EXPECT_FALSE(CallPageFunction(nullptr, "f", "x"));
}

TEST_F(PageCallsTest, Utf8ConversionsReplaceLoneSurrogates) {
    EvalText(context, "var p = 'a\\uD800b\\uDFFF'; var q = 'x\\uD83D\\uDE00'");
    JSValueRef value = nullptr;
    std::string text;
    ASSERT_TRUE(GetObjectProperty(context, global, "p", value));
    EXPECT_TRUE(ScriptValueToUtf8(context, value, text));
    EXPECT_EQ(text,
              "a\xEF\xBF\xBD"
              "b\xEF\xBF\xBD");
    ASSERT_TRUE(GetObjectProperty(context, global, "q", value));
    EXPECT_TRUE(ScriptValueToUtf8(context, value, text));
    EXPECT_EQ(text, "x\xF0\x9F\x98\x80");
}

struct CallCase {
    const char* name;
    const char* setup;  // defines the global "f"
    bool found;         // GetFunctionProperty's answer
    bool called;        // CallScriptFunction's answer
    const char* log;    // the global "log" afterwards
    std::string stderrText;
};

class CallTest : public PageCallsTest, public ::testing::WithParamInterface<CallCase> {};

TEST_P(CallTest, FindsAndCallsByName) {
    const CallCase& c = GetParam();
    EvalText(context, std::string("var log = '';") + c.setup);
    StderrCapture err;
    ScriptFunctionRef function;
    EXPECT_EQ(GetFunctionProperty(global, context, function, "f"), c.found);
    EXPECT_EQ(function.context, context);
    EXPECT_EQ(function.thisObject, global);
    ScriptArgList args;
    args.context = context;
    AddStringArg(args, "one");
    AddStringArg(args, "t\xC3\xA9xt");
    JSValueRef result = nullptr;
    EXPECT_EQ(CallScriptFunction(function, args, result), c.called);
    ClearArgs(args);
    EXPECT_TRUE(args.values.empty());
    EXPECT_EQ(err.Text(), c.stderrText);
    EXPECT_EQ(EvalText(context, "log"), c.log);
}

INSTANTIATE_TEST_SUITE_P(
    Calls, CallTest,
    ::testing::Values(
        CallCase{"Function",
                 "function f(a, b){ log = a + ',' + b + ',' + (this === globalThis) + ','"
                 " + arguments.length; }",
                 true, true, "one,t\u00e9xt,true,2", ""},
        CallCase{"Missing", "", false, false, "", ""},
        CallCase{"NotAnObject", "var f = 'f'", false, false, "", ""},
        CallCase{"ObjectNotCallable", "var f = {}", true, false, "", ""},
        CallCase{"Throws", "function f(){ log = 'ran'; throw new RangeError('far'); }", true, false,
                 "ran", "RangeError: far\n"},
        CallCase{"ThrowsText", "function f(){ throw 'plain'; }", true, false, "", "plain\n"},
        CallCase{"ThrowsUnprintable", "function f(){ throw {toString(){ throw 'again'; }}; }", true,
                 false, "", ""}),
    [](const ::testing::TestParamInfo<CallCase>& info) { return info.param.name; });

TEST_F(PageCallsTest, ArgumentsSurviveACollectionBeforeTheCall) {
    EvalText(context, "var got = ''; function f(a){ got = a; }");
    ScriptArgList args;
    args.context = context;
    AddStringArg(args, std::string(1000, 'k'));
    // Nothing on the stack refers to the argument now; only its protection keeps it.
    JSGarbageCollect(context);
    EvalText(context, "for (var i = 0; i < 100000; i++) { var junk = 'j' + i; }");
    JSGarbageCollect(context);
    ScriptFunctionRef function;
    ASSERT_TRUE(GetFunctionProperty(global, context, function, "f"));
    JSValueRef result = nullptr;
    EXPECT_TRUE(CallScriptFunction(function, args, result));
    ClearArgs(args);
    EXPECT_EQ(EvalText(context, "got.length"), "1000");
}

TEST_F(PageCallsTest, CallPageFunctionCallsAGlobalWithOneText) {
    EvalText(context,
             "var got = []; function updateInputUrl(a){ got.push(a, this === globalThis,"
             " arguments.length); }");
    EXPECT_TRUE(CallPageFunction(context, "updateInputUrl", "http://127.0.0.1/"));
    EXPECT_EQ(EvalText(context, "got.join()"), "http://127.0.0.1/,true,1");
    EXPECT_FALSE(CallPageFunction(context, "addResult", "{}"));
}

}  // namespace
