#include "e2e/Json.h"

#include <memory>

namespace e2e {

std::optional<Json::Value> ParseJson(std::string_view text) {
    Json::CharReaderBuilder builder;
    Json::CharReaderBuilder::strictMode(&builder.settings_);
    // Strict, except that a lone number, string or literal is a whole text too.
    builder["strictRoot"] = false;
    const std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    Json::Value value;
    std::string errors;
    if (!reader->parse(text.data(), text.data() + text.size(), &value, &errors))
        return std::nullopt;
    return value;
}

const Json::Value& JsonMember(const Json::Value& value, const char* key) {
    static const Json::Value kNull;
    if (!value.isObject()) return kNull;
    const Json::Value* member = value.find(key, key + std::char_traits<char>::length(key));
    return member ? *member : kNull;
}

std::string JsonString(const Json::Value& value, const char* key) {
    const Json::Value& member = JsonMember(value, key);
    return member.isString() ? member.asString() : std::string();
}

double JsonNumber(const Json::Value& value, const char* key) {
    const Json::Value& member = JsonMember(value, key);
    return member.isNumeric() ? member.asDouble() : 0;
}

bool JsonBool(const Json::Value& value, const char* key) {
    const Json::Value& member = JsonMember(value, key);
    return member.isBool() && member.asBool();
}

std::vector<std::string> JsonStrings(const Json::Value& array) {
    std::vector<std::string> out;
    if (!array.isArray()) return out;
    for (const auto& item : array) {
        if (item.isString()) out.push_back(item.asString());
    }
    return out;
}

}  // namespace e2e
