// The script object `service` through which the page calls native services: the script class
// "ServiceClass" with the functions "call" and "cancelCall", and the native service objects
// behind it.
#pragma once

#include <JavaScriptCore/JavaScript.h>
#include <json/json.h>

#include <cstdint>
#include <string>

#include "bridge/ServiceHandler.h"

// The script binding: where the service object was last installed.
class CJSObj {
public:
    JSContextRef context = nullptr;      // context of the page of the latest installation
    JSObjectRef globalObject = nullptr;  // the window object the script object was set on
    JSObjectRef scriptObject = nullptr;  // the script object made by the latest installation
};

// Services are owned by value and never deleted through a base pointer, so the destructor is
// not virtual.
class CWebKitAbstractService : public CJSObj {
public:
    CWebKitAbstractService();
    ~CWebKitAbstractService();
    CWebKitAbstractService(const CWebKitAbstractService&) = delete;
    CWebKitAbstractService& operator=(const CWebKitAbstractService&) = delete;

    // Run by the script function "call" (a subclass provides the service). The base answers
    // true.
    virtual JSValueRef Call();
    // Run by the script function "cancelCall". Answers true.
    virtual JSValueRef CancelCall();

    // Makes a new script object of "ServiceClass" for this service and sets it as the property
    // "service" of `globalObject`. A failure before the object is made leaves the previous
    // installation's references as they were. `owner` must not be null.
    bool InstallScriptObject(JSContextRef context, JSObjectRef globalObject, void* owner,
                             void* userData);

    // The functions behind "call" and "cancelCall". They ignore their arguments and answer a
    // null value reference (undefined in the page) when `thisObject` is not a live service's
    // script object.
    static JSValueRef OnScriptCall(JSContextRef context, JSObjectRef function,
                                   JSObjectRef thisObject, size_t argumentCount,
                                   const JSValueRef arguments[], JSValueRef* exception);
    static JSValueRef OnScriptCancelCall(JSContextRef context, JSObjectRef function,
                                         JSObjectRef thisObject, size_t argumentCount,
                                         const JSValueRef arguments[], JSValueRef* exception);

    std::string propertyName;  // "service" once installed
    void* userData = nullptr;  // handed to the service handler on every call
    std::string lastAnswer;    // the JSON text of the latest answer of Call

    // Class-wide: the script class, made by the first installation and released with the last
    // service object, and the number of service objects alive.
    static JSClassRef serviceClass;
    static int liveServiceCount;

protected:
    // The envelope of the call being run: the script object "call" was run on and the context
    // it was run in. Outside a call, the latest installation. Each frame's `service` works on
    // its own this way, whichever frame was installed last.
    CJSObj CallTarget() const;

private:
    // Which service a script object's private data may name; see OnScriptCall.
    static CWebKitAbstractService* LiveServiceOf(JSContextRef context, JSObjectRef thisObject);
    void ForgetInstallation();

    // Set by OnScriptCall for the length of one call; calls nest (a page function run during
    // a call may call again), so each call puts back what it found.
    JSContextRef m_callContext = nullptr;
    JSObjectRef m_callObject = nullptr;
};

class CWebKitService : public CWebKitAbstractService {
public:
    // Reads "uri", "method" and "params" of the script object it was called on, runs `handler`
    // and answers its result, in the caller's context, as compact JSON text and a line feed,
    // which also becomes `lastAnswer`.
    JSValueRef Call() override;

    // Parses the "params" property (JSON text) of the call's envelope (outside a call: of the
    // latest script object) into `params`, which starts null. False when
    // there was nothing to read or the text did not parse; `params` then holds what the parser
    // built before the error, or null when the parser gave up by throwing.
    bool ReadParams(Json::Value& params);

    ServiceHandler handler = nullptr;
};

// The delivery of a service's latest answer to the page (the completion message): "onSuccess"
// for outcome 1, otherwise "onFailure", then "onResponse", each a property of the service's
// script object, called with `lastAnswer` as the only argument and the script object as this.
// Missing or uncallable functions are skipped; exceptions are reported and the next step runs.
// A null service does nothing.
void DeliverCallComplete(CWebKitAbstractService* service, std::int64_t outcome);

// The answer text: `result` as Json::FastWriter writes it (compact, members sorted, one line
// feed at the end).
std::string AnswerText(const Json::Value& result);
