// Capture of the responses that the watched windows receive during a scan.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "finder/ResultDetails.h"
#include "finder/ResultRecord.h"
#include "finder/ScanHost.h"

// Whether responses are captured now: the scan is Running and not Paused. The resource load
// delegate asks this before it reads anything from a response.
bool ScanIsCapturing(const ScanState& state);

// Whether a response of the load with this identifier, in a window loaded for the scan
// numbered `scanNumber`, is captured now: the scan is capturing, the window belongs to the
// current scan and the load started during it. A window of an earlier scan, and a load of the
// page the scan window showed before, are never reported into the current scan.
bool ScanTakesLoad(const ScanState& state, std::uint32_t scanNumber, std::uint64_t identifier);

// Fills in what the engine says about an accepted response (method, status, headers, times,
// window). Its id, url and length are set by capture itself.
using DetailsReader = std::function<void(ResultDetails&)>;

// Asks for the body of an accepted playlist response; it comes back through CaptureBody.
using BodyRequest = std::function<void()>;

// Describes one response (address, may be null; MIME type; expected length, -1 when unknown),
// applies the filter, stores the record in the host's results under `identifier` and hands its
// JSON text to the page's "addResult", then the details (`readDetails` is asked only for an
// accepted response; without it the details carry only id, url and length) to the page's
// "addResultDetails". For an accepted playlist that is not a redirect it then runs
// `requestBody`. True when "addResult" was handed to the page.
bool CaptureResponse(const char16_t* address, CScanHost& host, std::uint32_t identifier,
                     const std::u16string& mimeType, std::int64_t expectedLength,
                     const DetailsReader& readDetails = {}, const BodyRequest& requestBody = {});

// Whether a response is a playlist whose body the page gets: an HLS type
// (application/vnd.apple.mpegurl, application/x-mpegurl, audio/mpegurl) or DASH type
// (application/dash+xml), compared without case or parameters, or a file name ending in
// .m3u8 or .mpd (any case).
bool IsPlaylist(const std::u16string& mimeType, const std::string& fileName);

// Hands the body of a playlist to the page's "addResultBody". `bytes` is the body as the
// server sent it (null: none, see `tooLarge` and `error`); bytes that are not UTF-8 become
// U+FFFD. A body above kMaxPlaylistBody is reported as too large.
bool CaptureBody(CScanHost& host, std::uint32_t identifier, const std::string& url,
                 const char* bytes, std::size_t length, bool tooLarge, const std::string& error);

// The compact JSON text of a record as "addResult" receives it: the four members in the order
// fileName, mimeType, size, url, no blanks, one line feed at the end.
std::string ResultRecordJson(const ResultRecord& record);
