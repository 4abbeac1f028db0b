// The service that the user-interface page drives a scan with: "start", "pause", "stop",
// "state", "cookies", "open" and "copyURL" under the service id "com.kestovan.trawlet".
#pragma once

#include <json/json.h>

#include <cstddef>
#include <string>

#include "finder/ScanHost.h"

// The service id whose calls this handler serves.
inline constexpr char16_t kTrawletServiceId[] = u"com.kestovan.trawlet";

// The service handler of the main window's script service. `userData` is the main window as a
// CScanHost*. Writes the outcome (1 or 0) into `result` as the JSON integer "returnValue" and
// returns it; a foreign service id, an unknown method, and a method that needs the main window
// when `userData` is null all give 0. "state" changes nothing and adds the booleans "running"
// and "paused" of the scan state to `result`.
int HandleServiceCall(const std::u16string& uri, const std::u16string& method,
                      const Json::Value& params, void* userData, Json::Value& result);

// The most addresses one "cookies" call may ask about. The page asks for the results it shows
// or exports, a few thousand at most; a longer list is refused rather than answered slowly.
inline constexpr std::size_t kMaxCookieUrls = 10000;

// "cookies": params {"urls": [string, ...]} (at most kMaxCookieUrls). Adds "cookies" to
// `result`: for each address, in order, the Cookie header the scan session would send it now
// ("" for none). False, with `result` untouched, for anything else in params or when the host
// cannot answer.
bool HandleCookies(const Json::Value& params, CScanHost& host, Json::Value& result);

// "start": checks the settings, applies the selected filter, creates the scan window when it
// has no web view, tells the page the completed address, loads the typed address and marks
// the scan Running. False when a setting is missing or of the wrong type (nothing changed), or
// when the scan window cannot be created or refuses the address.
bool HandleStart(const Json::Value& params, CScanHost& host);

// "open": hands the "url" string to the user's default handler through the desktop in use
// (win32/desktop.h). True when the handler was started.
bool HandleOpen(const Json::Value& params);

// "copyURL": puts the "url" string on the desktop's clipboard as Unicode text, owned by the
// main window.
bool HandleCopyUrl(const Json::Value& params, CScanHost& host);
