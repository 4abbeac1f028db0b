// Completion of typed addresses and file names derived from addresses.
#pragma once

#include <string>

// Completes a typed address: "www." addresses and addresses without "://" get "http://" in
// front; anything else is returned unchanged. A null address counts as the empty text, which
// completes to "http://".
std::u16string NormalizeUrl(const char16_t* address);

// The same completion on UTF-8 text, except that the empty text (and a null address) stays
// empty.
std::string NormalizeUrlUtf8(const char* address);

// Derives the file name shown for a captured resource: the last path segment, cut at its first
// name delimiter. Answers false when the address has no path segment; `name` is cleared first
// and may be empty on true.
bool GetFileNameFromUrl(const std::u16string& address, std::u16string& name);
bool GetFileNameFromUrlUtf8(const std::string& address, std::string& name);
