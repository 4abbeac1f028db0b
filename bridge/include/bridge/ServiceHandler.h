// The calling convention of service handlers, shared by the module (which calls the handler
// of its service object) and the UI process (where the real handler runs).
#pragma once

#include <json/json.h>

#include <string>

// A plain function: the service id and method name as the page set them, the parsed
// parameters (null when there were none, possibly partial), the owner's opaque pointer, and
// the result, null on entry, which the handler fills with its answer. The return value is not
// used by the bridge.
using ServiceHandler = int (*)(const std::u16string& uri, const std::u16string& method,
                               const Json::Value& params, void* userData, Json::Value& result);
