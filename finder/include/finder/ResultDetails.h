// What the engine said about one reported response beyond its record: the request it answers,
// the status and headers, the times and the window. The page gets it as "addResultDetails".
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// One header field as it came, name and value in UTF-8.
using HeaderField = std::pair<std::string, std::string>;

// All texts are UTF-8.
struct ResultDetails {
    std::uint32_t id = 0;  // the engine's load identifier (shared by a redirect and its target)
    std::string url;       // the url member of the record this belongs to
    std::string method;    // "" when unknown
    int status = 0;        // 0 when the engine gave none
    std::string statusText;
    std::vector<HeaderField> requestHeaders;   // as the engine put them on the request, in order
    std::vector<HeaderField> responseHeaders;  // in the order received
    std::int64_t length = -1;                  // exact length in bytes; negative when unknown
    std::int64_t started = 0;                  // ms since the epoch: the request started
    std::int64_t received = 0;                 // ms since the epoch: the response arrived
    int window = 0;  // 0: the scan window; n: the n-th additional window of this scan
    bool redirect = false;
    std::string redirectTo;  // for a redirect, where it sends the load
};

// The body of a playlist response, once its load finished.
struct ResultBody {
    std::uint32_t id = 0;
    std::string url;  // the url member of the record
    bool hasBody = false;
    std::string body;  // with hasBody: the body as text (valid UTF-8)
    bool tooLarge = false;
    std::string error;  // without body and not tooLarge: why it could not be read
};

// The largest playlist body handed to the page (2 MB).
inline constexpr std::size_t kMaxPlaylistBody = 2 * 1024 * 1024;

// The value of the request's Sec-Fetch-Dest header (name compared without case), or "".
std::string DestinationOf(const std::vector<HeaderField>& requestHeaders);

// The compact JSON text that "addResultDetails" receives: the members id, url, method, status,
// statusText, requestHeaders, responseHeaders, length (null when unknown), started, received,
// window, destination, redirect, redirectTo (null unless a redirect), in that order, no
// blanks, one line feed at the end. Strings are escaped as in the record's text.
std::string ResultDetailsJson(const ResultDetails& details);

// The compact JSON text that "addResultBody" receives: {"id":..,"url":..,"body":"text"}, or with
// "body":null, "tooLarge":true, or with "body":null, "error":"why"; one line feed at the end.
std::string ResultBodyJson(const ResultBody& body);
