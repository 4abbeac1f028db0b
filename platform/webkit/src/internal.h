// Shared between the engine layer's source files.
#pragma once

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
std::string RequestUrl(IWebURLRequest* request);
IWebURLResponse* MakeResponse(const std::string& url, const std::string& mime, bool hasMime,
                              INT64 length);
IWebError* MakeError(int code, const char* description, const char* url);
IUnknown* MakePreferences();
IUnknown* MakeNotificationCenter();
IUnknown* MakeWebView();
void PostNotification(const char16_t* name, IUnknown* object);

}  // namespace wk
