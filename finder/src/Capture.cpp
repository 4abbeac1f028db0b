#include "finder/Capture.h"

#include <strings.h>

#include <string_view>

#include "finder/ResourceFilter.h"
#include "finder/TextUtil.h"
#include "finder/UrlUtil.h"
#include "win32/text.h"

namespace {

// Appends `text` as a JSON string: quotation mark and backslash escaped, the short escapes
// for backspace, form feed, line feed, carriage return and tab, any other control byte as
// \u00XX with upper-case digits, and everything else (slashes, DEL, bytes of 128 and above)
// as it stands. The record's texts all come out of Utf16ToUtf8, so they are valid UTF-8 and
// the result is valid JSON.
void AppendQuoted(std::string& out, const std::string& text) {
    static const char kHex[] = "0123456789ABCDEF";
    out.push_back('"');
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\b':
                out += "\\b";
                break;
            case '\f':
                out += "\\f";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (byte < 0x20) {
                    out += "\\u00";
                    out.push_back(kHex[byte >> 4]);
                    out.push_back(kHex[byte & 0xF]);
                } else {
                    out.push_back(c);
                }
                break;
        }
    }
    out.push_back('"');
}

// [["name","value"],...]
void AppendFields(std::string& out, const std::vector<HeaderField>& fields) {
    out.push_back('[');
    bool first = true;
    for (const auto& [name, value] : fields) {
        if (!first) out.push_back(',');
        first = false;
        out.push_back('[');
        AppendQuoted(out, name);
        out.push_back(',');
        AppendQuoted(out, value);
        out.push_back(']');
    }
    out.push_back(']');
}

size_t FieldsSize(const std::vector<HeaderField>& fields) {
    size_t size = 2;
    for (const auto& [name, value] : fields) size += name.size() + value.size() + 8;
    return size;
}

}  // namespace

bool ScanIsCapturing(const ScanState& state) {
    return state.m_running && !state.m_paused;
}

bool ScanTakesLoad(const ScanState& state, std::uint32_t scanNumber, std::uint64_t identifier) {
    return ScanIsCapturing(state) && scanNumber == state.m_scanNumber &&
           identifier >= state.m_firstLoad;
}

std::string ResultRecordJson(const ResultRecord& record) {
    // The members in ascending order of their keys, as the compact writer of the JSON library
    // orders them. The library's own writer is not used: it escapes every non-ASCII character
    // as \uXXXX and writes control characters with lower-case digits, and the page's records
    // keep the text as it is.
    std::string out;
    out.reserve(record.fileName.size() + record.url.size() + record.mimeType.size() +
                record.size.size() + 48);
    out += "{\"fileName\":";
    AppendQuoted(out, record.fileName);
    out += ",\"mimeType\":";
    AppendQuoted(out, record.mimeType);
    out += ",\"size\":";
    AppendQuoted(out, record.size);
    out += ",\"url\":";
    AppendQuoted(out, record.url);
    out += "}\n";
    return out;
}

std::string DestinationOf(const std::vector<HeaderField>& requestHeaders) {
    for (const auto& [name, value] : requestHeaders) {
        if (strcasecmp(name.c_str(), "Sec-Fetch-Dest") == 0) return value;
    }
    return {};
}

std::string ResultDetailsJson(const ResultDetails& details) {
    // Written like the record and for the same reasons; the page reads the members by name,
    // but a fixed order keeps the texts comparable.
    const std::string destination = DestinationOf(details.requestHeaders);
    std::string out;
    out.reserve(details.url.size() + details.method.size() + details.statusText.size() +
                FieldsSize(details.requestHeaders) + FieldsSize(details.responseHeaders) +
                destination.size() + details.redirectTo.size() + 256);
    out += "{\"id\":";
    out += std::to_string(details.id);
    out += ",\"url\":";
    AppendQuoted(out, details.url);
    out += ",\"method\":";
    AppendQuoted(out, details.method);
    out += ",\"status\":";
    out += std::to_string(details.status);
    out += ",\"statusText\":";
    AppendQuoted(out, details.statusText);
    out += ",\"requestHeaders\":";
    AppendFields(out, details.requestHeaders);
    out += ",\"responseHeaders\":";
    AppendFields(out, details.responseHeaders);
    out += ",\"length\":";
    out += details.length < 0 ? std::string("null") : std::to_string(details.length);
    out += ",\"started\":";
    out += std::to_string(details.started);
    out += ",\"received\":";
    out += std::to_string(details.received);
    out += ",\"window\":";
    out += std::to_string(details.window);
    out += ",\"destination\":";
    AppendQuoted(out, destination);
    out += ",\"redirect\":";
    out += details.redirect ? "true" : "false";
    out += ",\"redirectTo\":";
    if (details.redirect) {
        AppendQuoted(out, details.redirectTo);
    } else {
        out += "null";
    }
    out += "}\n";
    return out;
}

std::string ResultBodyJson(const ResultBody& body) {
    std::string out;
    out.reserve(body.url.size() + body.body.size() + body.error.size() + 64);
    out += "{\"id\":";
    out += std::to_string(body.id);
    out += ",\"url\":";
    AppendQuoted(out, body.url);
    out += ",\"body\":";
    if (body.hasBody) {
        AppendQuoted(out, body.body);
    } else if (body.tooLarge) {
        out += "null,\"tooLarge\":true";
    } else {
        out += "null,\"error\":";
        AppendQuoted(out, body.error);
    }
    out += "}\n";
    return out;
}

bool IsPlaylist(const std::u16string& mimeType, const std::string& fileName) {
    std::string type;
    Utf16ToUtf8(mimeType, type);
    type = type.substr(0, type.find(';'));
    while (!type.empty() && (type.back() == ' ' || type.back() == '\t')) type.pop_back();
    for (const char* known : {"application/vnd.apple.mpegurl", "application/x-mpegurl",
                              "audio/mpegurl", "application/dash+xml"}) {
        if (strcasecmp(type.c_str(), known) == 0) return true;
    }
    auto endsWith = [&](const char* ending) {
        const size_t n = std::char_traits<char>::length(ending);
        return fileName.size() >= n &&
               strcasecmp(fileName.c_str() + fileName.size() - n, ending) == 0;
    };
    return endsWith(".m3u8") || endsWith(".mpd");
}

bool CaptureBody(CScanHost& host, std::uint32_t identifier, const std::string& url,
                 const char* bytes, std::size_t length, bool tooLarge, const std::string& error) {
    ResultBody body;
    body.id = identifier;
    body.url = url;
    if (bytes != nullptr && length <= kMaxPlaylistBody) {
        body.hasBody = true;
        // Counted conversions keep every byte, NULs too, and make malformed input U+FFFD, so
        // the text is valid UTF-8 as the writer needs it.
        body.body = win32::ToUtf8(win32::ToUtf16(std::string_view(bytes, length)));
    } else if (bytes != nullptr || tooLarge) {
        body.tooLarge = true;
    } else {
        body.error = error.empty() ? "the body could not be read" : error;
    }
    return host.CallPageFunction("addResultBody", ResultBodyJson(body));
}

bool CaptureResponse(const char16_t* address, CScanHost& host, std::uint32_t identifier,
                     const std::u16string& mimeType, std::int64_t expectedLength,
                     const DetailsReader& readDetails, const BodyRequest& requestBody) {
    if (address == nullptr) return false;
    ResultRecord record;
    Utf16ToUtf8(address, record.url);
    // No name at all is "unknown"; a name that is empty (an address ending in a slash below
    // its first level) stays empty.
    if (!GetFileNameFromUrlUtf8(record.url, record.fileName)) record.fileName = "unknown";
    Utf16ToUtf8(mimeType, record.mimeType);
    if (expectedLength == -1) {
        record.size = "unknown";
    } else {
        FormatSizeUtf8(record.size, static_cast<std::uint64_t>(expectedLength));
    }

    // The filter sees the MIME type as the engine gave it.
    if (!AcceptResource(host, mimeType, record.fileName)) return false;

    std::string json = ResultRecordJson(record);
    // The details pair with the record by its url, exactly as the record writes it.
    ResultDetails details;
    if (readDetails) readDetails(details);
    details.id = identifier;
    details.url = record.url;
    details.length = expectedLength;
    const bool playlist = !details.redirect && IsPlaylist(mimeType, record.fileName);
    host.m_results[identifier] = std::move(record);
    const bool reported = host.CallPageFunction("addResult", json);
    // Right after its record, so that a page that keeps both can pair them as they come. A page
    // without the function is skipped where page functions are called.
    host.CallPageFunction("addResultDetails", ResultDetailsJson(details));
    if (playlist && requestBody) requestBody();
    return reported;
}
