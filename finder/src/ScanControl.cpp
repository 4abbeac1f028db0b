#include "finder/ScanControl.h"

#include <cstring>

#include "finder/TextUtil.h"
#include "finder/UrlUtil.h"
#include "win32/desktop.h"

namespace {

// A member of an object, or null when `params` is not an object or lacks it. Indexing a JSON
// array or scalar by name would throw, so the kind is checked first.
const Json::Value* Member(const Json::Value& params, const char* key) {
    if (!params.isObject()) return nullptr;
    return params.find(key, key + std::strlen(key));
}

bool IsString(const Json::Value* value) {
    return value != nullptr && value->isString();
}

bool IsBool(const Json::Value* value) {
    return value != nullptr && value->isBool();
}

// The "url" of an open or copy call as UTF-16. False for a missing, non-string or empty value.
bool ReadAddress(const Json::Value& params, std::u16string& address) {
    const Json::Value* url = Member(params, "url");
    if (!IsString(url)) return false;
    return Utf8ToUtf16(url->asString(), address);
}

}  // namespace

bool HandleCookies(const Json::Value& params, CScanHost& host, Json::Value& result) {
    const Json::Value* urls = Member(params, "urls");
    if (urls == nullptr || !urls->isArray() || urls->size() > kMaxCookieUrls) return false;
    std::vector<std::string> addresses;
    addresses.reserve(urls->size());
    for (const Json::Value& url : *urls) {
        if (!url.isString()) return false;
        addresses.push_back(url.asString());
    }
    std::vector<std::string> headers;
    if (!host.ScanCookieHeaders(addresses, headers) || headers.size() != addresses.size())
        return false;
    Json::Value cookies(Json::arrayValue);
    cookies.resize(static_cast<Json::ArrayIndex>(headers.size()));
    for (Json::ArrayIndex i = 0; i < headers.size(); ++i) cookies[i] = std::move(headers[i]);
    if (!result.isObject()) result = Json::Value(Json::objectValue);
    result["cookies"] = std::move(cookies);
    return true;
}

bool HandleStart(const Json::Value& params, CScanHost& host) {
    // Every setting is checked before anything changes; a null value has no members.
    const Json::Value* url = Member(params, "url");
    const Json::Value* filterEnabled = Member(params, "filterEnabled");
    const Json::Value* useFileExtFilter = Member(params, "useFileExtFilter");
    if (!IsString(url) || !IsBool(filterEnabled) || !IsBool(useFileExtFilter)) return false;
    const bool useExtensions = useFileExtFilter->asBool();
    const Json::Value* filterText = Member(params, useExtensions ? "fileExtFilter" : "mimeFilter");
    if (!IsString(filterText)) return false;

    const std::string typed = url->asString();
    host.m_filterEnabled = filterEnabled->asBool() ? TRUE : FALSE;
    host.m_useFileExtFilter = useExtensions ? TRUE : FALSE;
    // An empty filter text leaves the selected filter as an earlier start set it; the other
    // filter is not touched at all.
    if (useExtensions) {
        host.m_fileExtFilter.SetFromUtf8(filterText->asString().c_str());
    } else {
        Utf8ToUtf16(filterText->asString(), host.m_mimeFilter);
    }

    if (!host.EnsureScanWindow()) return false;

    // The page shows what is actually loaded. A page without the function is not an error.
    const std::string completed = NormalizeUrlUtf8(typed.c_str());
    if (completed != typed) host.CallPageFunction("updateInputUrl", completed);

    if (!host.LoadScanUrlUtf8(typed.c_str())) return false;
    host.ShowScanWindow();
    host.m_paused = FALSE;
    host.m_running = TRUE;
    return true;
}

bool HandleOpen(const Json::Value& params) {
    std::u16string address;
    if (!ReadAddress(params, address)) return false;
    return win32::Desktop().OpenWithDefaultHandler(address);
}

bool HandleCopyUrl(const Json::Value& params, CScanHost& host) {
    std::u16string address;
    if (!ReadAddress(params, address)) return false;
    return win32::Desktop().SetClipboardText(host.ClipboardOwner(), address);
}

int HandleServiceCall(const std::u16string& uri, const std::u16string& method,
                      const Json::Value& params, void* userData, Json::Value& result) {
    auto* host = static_cast<CScanHost*>(userData);
    int outcome = 0;
    if (uri == kTrawletServiceId) {
        if (method == u"start") {
            outcome = host != nullptr && HandleStart(params, *host) ? 1 : 0;
        } else if (method == u"pause") {
            if (host != nullptr) {
                if (host->m_running) host->m_paused = host->m_paused ? FALSE : TRUE;
                outcome = 1;
            }
        } else if (method == u"stop") {
            if (host != nullptr) {
                if (host->m_running) {
                    host->m_running = FALSE;
                    host->m_paused = FALSE;
                }
                outcome = 1;
            }
        } else if (method == u"state") {
            // A page loaded during a scan learns what its controls should show.
            if (host != nullptr) {
                if (!result.isObject()) result = Json::Value(Json::objectValue);
                result["running"] = host->m_running != FALSE;
                result["paused"] = host->m_paused != FALSE;
                outcome = 1;
            }
        } else if (method == u"cookies") {
            outcome = host != nullptr && HandleCookies(params, *host, result) ? 1 : 0;
        } else if (method == u"open") {
            outcome = HandleOpen(params) ? 1 : 0;
        } else if (method == u"copyURL") {
            outcome = host != nullptr && HandleCopyUrl(params, *host) ? 1 : 0;
        }
    }
    if (!result.isObject()) result = Json::Value(Json::objectValue);
    result["returnValue"] = outcome;
    return outcome;
}
