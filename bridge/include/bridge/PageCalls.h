// Reading values out of the page and calling the page's own functions, over the JavaScriptCore
// C API. Every operation answers a success flag instead of throwing; every script exception it
// meets goes to the debugger output (standard error) as its text and a line feed, and none is
// passed back to the page.
#pragma once

#include <JavaScriptCore/JavaScript.h>

#include <string>
#include <vector>

class CJSObj;

// A page function ready to be called. Users set all three fields to null before filling it.
struct ScriptFunctionRef {
    JSContextRef context = nullptr;
    JSObjectRef thisObject = nullptr;  // the object the function was read from
    JSObjectRef function = nullptr;    // null when none was found
};

// The arguments of one call. The values are protected from the collector from AddStringArg
// until ClearArgs, since a vector on the heap is invisible to the engine's stack scan.
struct ScriptArgList {
    JSContextRef context = nullptr;
    std::vector<JSValueRef> values;
};

// Text conversions. An empty script string gives empty text and false; text after an embedded
// NUL is dropped.
bool ScriptStringToUtf16(JSStringRef string, std::u16string& text);
bool ScriptStringToUtf8(JSStringRef string, std::string& text);
// The engine's own string conversion of any value; a conversion that throws is reported.
bool ScriptValueToUtf16(JSContextRef context, JSValueRef value, std::u16string& text);
bool ScriptValueToUtf8(JSContextRef context, JSValueRef value, std::string& text);

// Writes the exception's text and "\n" to the debugger output. False (nothing written) when the
// exception has no text, or turning it into text throws again.
bool ReportScriptException(JSContextRef context, JSValueRef exception);

// Reads `name` of `object` into `value` (also when the read fails after reading). False for
// null inputs (then `value` is untouched), a read that throws, or an undefined value; a
// property holding null reads as success.
bool GetObjectProperty(JSContextRef context, JSObjectRef object, const char* name,
                       JSValueRef& value);
// Reads `name` of the binding's script object in its context as UTF-16 text. On a failed read
// `text` stays as it was.
bool ReadStringProperty(const CJSObj& binding, const char* name, std::u16string& text);

// Looks up `name` of `object` as an object; whether it can be called is tested only by
// CallScriptFunction.
bool GetFunctionProperty(JSObjectRef object, JSContextRef context, ScriptFunctionRef& function,
                         const char* name);
void AddStringArg(ScriptArgList& args, const std::string& utf8Text);
void ClearArgs(ScriptArgList& args);
// Calls the function with its thisObject and the arguments; the returned value goes to
// `result`. False without calling when there is no context or function or it is not callable,
// and when the call throws.
bool CallScriptFunction(const ScriptFunctionRef& function, const ScriptArgList& args,
                        JSValueRef& result);

// Calls the global function `name` of the page whose global context is `context` with one
// string argument, the global object being this. False when there is no context, no such
// function, or the call threw.
bool CallPageFunction(JSContextRef context, const char* name, const std::string& utf8Argument);
