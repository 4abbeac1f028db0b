#include "bridge/PageCalls.h"

#include <algorithm>

#include "bridge/ServiceObject.h"
#include "finder/TextUtil.h"
#include "win32/windows.h"

namespace {

// The engine's string conversion. With `report`, an exception thrown by the conversion is
// reported; without, it is only a failure. Reporting uses the unreported form, so an exception
// whose own conversion throws cannot start an endless chain of reports.
bool ValueToUtf16(JSContextRef context, JSValueRef value, std::u16string& text, bool report) {
    text.clear();
    if (context == nullptr || value == nullptr) return false;
    JSValueRef exception = nullptr;
    JSStringRef string = JSValueToStringCopy(context, value, &exception);
    bool ok = false;
    if (exception != nullptr) {
        if (report) ReportScriptException(context, exception);
    } else if (string != nullptr) {
        ok = ScriptStringToUtf16(string, text);
    }
    if (string != nullptr) JSStringRelease(string);
    return ok;
}

}  // namespace

bool ScriptStringToUtf16(JSStringRef string, std::u16string& text) {
    text.clear();
    if (string == nullptr) return false;
    const size_t length = JSStringGetLength(string);
    if (length == 0) return false;
    const JSChar* units = JSStringGetCharactersPtr(string);
    const JSChar* end = std::find(units, units + length, JSChar{0});
    text.assign(units, end);
    return true;
}

bool ScriptStringToUtf8(JSStringRef string, std::string& text) {
    text.clear();
    std::u16string wide;
    if (!ScriptStringToUtf16(string, wide)) return false;
    return Utf16ToUtf8(wide, text);
}

bool ScriptValueToUtf16(JSContextRef context, JSValueRef value, std::u16string& text) {
    return ValueToUtf16(context, value, text, true);
}

bool ScriptValueToUtf8(JSContextRef context, JSValueRef value, std::string& text) {
    text.clear();
    std::u16string wide;
    if (!ValueToUtf16(context, value, wide, true)) return false;
    return Utf16ToUtf8(wide, text);
}

bool ReportScriptException(JSContextRef context, JSValueRef exception) {
    std::u16string text;
    if (!ValueToUtf16(context, exception, text, false)) return false;
    OutputDebugStringW(text.c_str());
    OutputDebugStringW(u"\n");
    return true;
}

bool GetObjectProperty(JSContextRef context, JSObjectRef object, const char* name,
                       JSValueRef& value) {
    if (context == nullptr || object == nullptr || name == nullptr) return false;
    JSStringRef propertyName = JSStringCreateWithUTF8CString(name);
    JSValueRef exception = nullptr;
    value = JSObjectGetProperty(context, object, propertyName, &exception);
    bool ok;
    if (exception != nullptr) {
        ReportScriptException(context, exception);
        ok = false;
    } else {
        ok = value != nullptr && !JSValueIsUndefined(context, value);
    }
    JSStringRelease(propertyName);
    return ok;
}

bool ReadStringProperty(const CJSObj& binding, const char* name, std::u16string& text) {
    JSValueRef value = nullptr;
    if (!GetObjectProperty(binding.context, binding.scriptObject, name, value)) return false;
    return ScriptValueToUtf16(binding.context, value, text);
}

bool GetFunctionProperty(JSObjectRef object, JSContextRef context, ScriptFunctionRef& function,
                         const char* name) {
    function.context = context;
    function.thisObject = object;
    JSValueRef value = nullptr;
    if (!GetObjectProperty(context, object, name, value)) return false;
    if (!JSValueIsObject(context, value)) return false;
    JSValueRef exception = nullptr;
    JSObjectRef asObject = JSValueToObject(context, value, &exception);
    if (exception != nullptr) {
        ReportScriptException(context, exception);
        return false;
    }
    function.function = asObject;
    return asObject != nullptr;
}

void AddStringArg(ScriptArgList& args, const std::string& utf8Text) {
    if (args.context == nullptr) return;
    JSStringRef string = JSStringCreateWithUTF8CString(utf8Text.c_str());
    JSValueRef value = JSValueMakeString(args.context, string);
    JSValueProtect(args.context, value);
    args.values.push_back(value);
    JSStringRelease(string);
}

void ClearArgs(ScriptArgList& args) {
    if (args.context != nullptr) {
        for (JSValueRef value : args.values) JSValueUnprotect(args.context, value);
    }
    std::vector<JSValueRef>().swap(args.values);
}

bool CallScriptFunction(const ScriptFunctionRef& function, const ScriptArgList& args,
                        JSValueRef& result) {
    if (function.context == nullptr || function.function == nullptr ||
        !JSObjectIsFunction(function.context, function.function))
        return false;
    std::vector<JSValueRef> values(args.values);
    JSValueRef exception = nullptr;
    result =
        JSObjectCallAsFunction(function.context, function.function, function.thisObject,
                               values.size(), values.empty() ? nullptr : values.data(), &exception);
    if (exception != nullptr) {
        ReportScriptException(function.context, exception);
        return false;
    }
    return true;
}

bool CallPageFunction(JSContextRef context, const char* name, const std::string& utf8Argument) {
    if (context == nullptr) return false;
    JSObjectRef global = JSContextGetGlobalObject(context);
    ScriptFunctionRef function;
    if (!GetFunctionProperty(global, context, function, name)) return false;
    ScriptArgList args;
    args.context = context;
    AddStringArg(args, utf8Argument);
    JSValueRef result = nullptr;
    bool called = CallScriptFunction(function, args, result);
    ClearArgs(args);
    return called;
}
