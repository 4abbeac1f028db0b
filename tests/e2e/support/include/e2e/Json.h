#pragma once

// Reading JSON in the tests (the pages' answers, the records, the page's export) with jsoncpp,
// never with the program's own code. Lookups never throw: a member that is missing or of
// another type reads as empty.

#include <json/json.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace e2e {

// The text as exactly one JSON value: no comments, nothing after it. No value otherwise.
std::optional<Json::Value> ParseJson(std::string_view text);

// The member `key` of an object; a null value when `value` is no object or has no such member.
const Json::Value& JsonMember(const Json::Value& value, const char* key);
// The member as a string, number or boolean; "", 0 or false when it is not one.
std::string JsonString(const Json::Value& value, const char* key);
double JsonNumber(const Json::Value& value, const char* key);
bool JsonBool(const Json::Value& value, const char* key);
// The string items of an array, in order; other items are left out.
std::vector<std::string> JsonStrings(const Json::Value& array);

}  // namespace e2e
