// Capture of the responses that the watched windows receive during a scan.
#pragma once

#include <cstdint>
#include <string>

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

// Describes one response (address, may be null; MIME type; expected length, -1 when unknown),
// applies the filter, stores the record in the host's results under `identifier` and hands its
// JSON text to the page's "addResult". True when the page function ran without an exception.
bool CaptureResponse(const char16_t* address, CScanHost& host, std::uint32_t identifier,
                     const std::u16string& mimeType, std::int64_t expectedLength);

// The compact JSON text of a record as "addResult" receives it: the four members in the order
// fileName, mimeType, size, url, no blanks, one line feed at the end.
std::string ResultRecordJson(const ResultRecord& record);
