#include "bridge/ServiceObject.h"

#include <set>

#include "bridge/PageCalls.h"

// The answer text and the parsing of "params" are defined by jsoncpp's classic Reader and
// FastWriter, which the library marks deprecated in favour of builders with other defaults.
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

JSClassRef CWebKitAbstractService::serviceClass = nullptr;
int CWebKitAbstractService::liveServiceCount = 0;

namespace {

const JSStaticFunction kServiceFunctions[] = {
    {"call", &CWebKitAbstractService::OnScriptCall, kJSPropertyAttributeNone},
    {"cancelCall", &CWebKitAbstractService::OnScriptCancelCall, kJSPropertyAttributeNone},
    {nullptr, nullptr, 0},
};

// No property callbacks, so the page's "uri", "method", "params" and callbacks are ordinary
// properties; no finalizer, so nothing hears of a collected script object; no class
// attributes, so the engine gives the class the prototype that carries "call" and
// "cancelCall".
const JSClassDefinition kServiceClassDefinition = {
    0,                      // version
    kJSClassAttributeNone,  // attributes
    "ServiceClass",         // className
    nullptr,                // parentClass
    nullptr,                // staticValues
    kServiceFunctions,      // staticFunctions
    nullptr,                // initialize
    nullptr,                // finalize
    nullptr,                // hasProperty
    nullptr,                // getProperty
    nullptr,                // setProperty
    nullptr,                // deleteProperty
    nullptr,                // getPropertyNames
    nullptr,                // callAsFunction
    nullptr,                // callAsConstructor
    nullptr,                // hasInstance
    nullptr,                // convertToType
};

// Script objects outlive their service (the engine owns them and no finalizer runs), so a
// script object's private data may name a service that is gone. Only pointers in this set are
// followed.
std::set<const CWebKitAbstractService*>& LiveServices() {
    static std::set<const CWebKitAbstractService*> services;
    return services;
}

}  // namespace

CWebKitAbstractService::CWebKitAbstractService() {
    ++liveServiceCount;
    LiveServices().insert(this);
}

CWebKitAbstractService::~CWebKitAbstractService() {
    ForgetInstallation();
    LiveServices().erase(this);
    if (--liveServiceCount == 0 && serviceClass != nullptr) {
        JSClassRelease(serviceClass);
        serviceClass = nullptr;
    }
}

void CWebKitAbstractService::ForgetInstallation() {
    // The references of the latest installation are held (the context retained, the script
    // object protected) so that a completion delivered after the page went away still meets a
    // live context rather than freed memory.
    if (context != nullptr) {
        if (scriptObject != nullptr) JSValueUnprotect(context, scriptObject);
        JSGlobalContextRelease(JSContextGetGlobalContext(context));
    }
    context = nullptr;
    globalObject = nullptr;
    scriptObject = nullptr;
}

JSValueRef CWebKitAbstractService::Call() {
    return context != nullptr ? JSValueMakeBoolean(context, true) : nullptr;
}

JSValueRef CWebKitAbstractService::CancelCall() {
    return context != nullptr ? JSValueMakeBoolean(context, true) : nullptr;
}

bool CWebKitAbstractService::InstallScriptObject(JSContextRef newContext,
                                                 JSObjectRef newGlobalObject, void* owner,
                                                 void* newUserData) {
    if (serviceClass == nullptr) {
        serviceClass = JSClassCreate(&kServiceClassDefinition);
        if (serviceClass == nullptr) return false;
    }
    if (owner == nullptr) return false;
    if (newContext == nullptr || newGlobalObject == nullptr) return false;
    JSObjectRef object = JSObjectMake(newContext, serviceClass, this);
    if (object == nullptr) return false;

    propertyName = "service";
    JSStringRef name = JSStringCreateWithUTF8CString(propertyName.c_str());
    JSObjectSetProperty(newContext, newGlobalObject, name, object, kJSPropertyAttributeNone,
                        nullptr);

    // Hold the new references before letting go of the old ones: they may be the same context.
    JSGlobalContextRetain(JSContextGetGlobalContext(newContext));
    JSValueProtect(newContext, object);
    ForgetInstallation();
    context = newContext;
    globalObject = newGlobalObject;
    scriptObject = object;
    userData = newUserData;

    JSStringRelease(name);
    return true;
}

CWebKitAbstractService* CWebKitAbstractService::LiveServiceOf(JSContextRef callContext,
                                                              JSObjectRef thisObject) {
    if (thisObject == nullptr) return nullptr;
    auto* service = static_cast<CWebKitAbstractService*>(JSObjectGetPrivate(thisObject));
    if (service == nullptr) return nullptr;
    if (serviceClass == nullptr || !JSValueIsObjectOfClass(callContext, thisObject, serviceClass))
        return nullptr;
    if (LiveServices().count(service) == 0) return nullptr;
    // Values made in the service's context are handed back to the caller's engine: that is
    // only sound within one context group (all frames of one page share one).
    if (service->context == nullptr ||
        JSContextGetGroup(service->context) != JSContextGetGroup(callContext))
        return nullptr;
    return service;
}

CJSObj CWebKitAbstractService::CallTarget() const {
    CJSObj target;
    if (m_callObject != nullptr) {
        target.context = m_callContext;
        target.scriptObject = m_callObject;
        target.globalObject = JSContextGetGlobalObject(m_callContext);
    } else {
        target.context = context;
        target.scriptObject = scriptObject;
        target.globalObject = globalObject;
    }
    return target;
}

JSValueRef CWebKitAbstractService::OnScriptCall(JSContextRef context, JSObjectRef,
                                                JSObjectRef thisObject, size_t, const JSValueRef[],
                                                JSValueRef*) {
    CWebKitAbstractService* service = LiveServiceOf(context, thisObject);
    if (service == nullptr) return nullptr;
    const JSContextRef outerContext = service->m_callContext;
    const JSObjectRef outerObject = service->m_callObject;
    service->m_callContext = context;
    service->m_callObject = thisObject;
    JSValueRef answer = nullptr;
    // No C++ exception may unwind through the engine's frames.
    try {
        answer = service->Call();
    } catch (...) {
        answer = nullptr;
    }
    // The service may be gone by now if the page's own code, run during the call, tore it down.
    if (LiveServices().count(service) != 0) {
        service->m_callContext = outerContext;
        service->m_callObject = outerObject;
    }
    return answer;
}

JSValueRef CWebKitAbstractService::OnScriptCancelCall(JSContextRef context, JSObjectRef,
                                                      JSObjectRef thisObject, size_t,
                                                      const JSValueRef[], JSValueRef*) {
    CWebKitAbstractService* service = LiveServiceOf(context, thisObject);
    if (service == nullptr) return nullptr;
    try {
        return service->CancelCall();
    } catch (...) {
        return nullptr;
    }
}

std::string AnswerText(const Json::Value& result) {
    Json::FastWriter writer;
    return writer.write(result);
}

bool CWebKitService::ReadParams(Json::Value& params) {
    params = Json::Value();
    const CJSObj envelope = CallTarget();
    JSValueRef value = nullptr;
    if (!GetObjectProperty(envelope.context, envelope.scriptObject, "params", value)) return false;
    std::string text;
    if (!ScriptValueToUtf8(envelope.context, value, text)) return false;
    Json::Reader reader;  // default features: comments allowed, any value at the top
    try {
        return reader.parse(text, params);
    } catch (const std::exception&) {
        // The reader throws instead of failing on some inputs, nesting past its stack limit
        // among them: that is text that did not parse, and what it built is dropped.
        params = Json::Value();
        return false;
    }
}

JSValueRef CWebKitService::Call() {
    const CJSObj envelope = CallTarget();
    std::u16string uri;
    std::u16string method;
    ReadStringProperty(envelope, "uri", uri);
    ReadStringProperty(envelope, "method", method);
    Json::Value params;
    ReadParams(params);
    Json::Value result;
    if (handler != nullptr) {
        try {
            handler(uri, method, params, userData, result);
        } catch (const std::exception&) {
            // A handler that failed this way answered nothing.
            result = Json::Value();
        }
    }
    // The answer is made in the caller's context, whatever installations happened meanwhile
    // (a getter of "params" may have called again, or a frame may have loaded).
    lastAnswer = AnswerText(result);
    if (envelope.context == nullptr) return nullptr;
    JSStringRef text = JSStringCreateWithUTF8CString(lastAnswer.c_str());
    JSValueRef value = JSValueMakeString(envelope.context, text);
    JSStringRelease(text);
    return value;
}

void DeliverCallComplete(CWebKitAbstractService* service, std::int64_t outcome) {
    if (service == nullptr || service->context == nullptr || service->scriptObject == nullptr)
        return;
    // The page functions may do anything, a fresh installation included, which lets go of the
    // service's references: hold our own for the length of the delivery.
    JSContextRef context = service->context;
    JSObjectRef object = service->scriptObject;
    JSGlobalContextRef held = JSGlobalContextRetain(JSContextGetGlobalContext(context));
    JSValueProtect(context, object);
    ScriptArgList args;
    args.context = context;
    AddStringArg(args, service->lastAnswer);
    for (const char* name : {outcome == 1 ? "onSuccess" : "onFailure", "onResponse"}) {
        ScriptFunctionRef function;
        JSValueRef result = nullptr;
        if (GetFunctionProperty(object, context, function, name))
            CallScriptFunction(function, args, result);
    }
    ClearArgs(args);
    JSValueUnprotect(context, object);
    JSGlobalContextRelease(held);
}
