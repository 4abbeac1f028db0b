// Shared between the engine layer's source files.
#pragma once

#include <webkit2/webkit2.h>

#include <string>

#include "webkitcom/WebKit.h"

namespace wk {

struct Preferences {
    std::string file;
    bool webSecurity = true;
    bool localStorage = false;
    std::string localStoragePath;
};
Preferences& StandardPreferenceValues();

IWebURLRequest* MakeRequest(const char* url);
// The engine's request as this layer's: address, method and the engine's header fields.
IWebURLRequest* MakeRequest(WebKitURIRequest* request);
std::string RequestUrl(IWebURLRequest* request);

// The load a reported response belongs to.
struct ResponseLoad {
    IWebURLRequest* request = nullptr;  // the response takes a reference of its own
    INT64 requestTime = 0;              // ms since the epoch
    INT64 responseTime = 0;
    bool redirect = false;
    std::string redirectUrl;
    unsigned long identifier = 0;
    WebKitWebResource* resource = nullptr;  // whose body can be read; the response refers to it
};
// `headers` (may be null) is referenced, not copied; `load` (may be null) is copied.
IWebURLResponse* MakeResponse(const std::string& url, const std::string& mime, bool hasMime,
                              INT64 length, int status = 0, SoupMessageHeaders* headers = nullptr,
                              const ResponseLoad* load = nullptr);
// resources.cpp: tells `handler` the body of `resource` once it has finished loading.
void ReadBodyWhenFinished(WebKitWebResource* resource, unsigned long identifier, UINT limit,
                          IWebResourceBodyHandler* handler);
// The standard reason phrase of an HTTP status code, "" for a code without one.
std::string StatusPhrase(int statusCode);
IWebError* MakeError(int code, const char* description, const char* url);
IUnknown* MakePreferences();
IUnknown* MakeNotificationCenter();
IUnknown* MakeWebView();
void PostNotification(const char16_t* name, IUnknown* object);

}  // namespace wk
