// The MIME and extension filters of a scan and the test applied to each response.
#pragma once

#include <functional>
#include <set>
#include <string>

struct ScanState;

// The accepted file-name extensions, each with its leading dot. The empty element stands for a
// name without an extension. Comparisons are exact and case-sensitive.
class ExtensionFilter {
public:
    // Transparent ordering lets a response's extension be looked up without a copy.
    using ExtensionSet = std::set<std::u16string, std::less<>>;

    // Replaces the set with the items of `text` split at each character of `separators`,
    // after removing every "*" and every space. Adjacent separators give an empty item.
    // Answers false, leaving the set alone, when either argument is null.
    bool SetFromText(const char16_t* text, const char16_t* separators);

    // SetFromText on UTF-8 text with the separators ";,". The empty text and a null text
    // answer false and leave the set alone.
    bool SetFromUtf8(const char* text);

    // Whether the extension of `path`, found as PathFindExtensionW finds it, is in the set.
    // A null path matches nothing.
    bool MatchesPath(const char16_t* path) const;

    const ExtensionSet& Extensions() const { return m_extensions; }

private:
    ExtensionSet m_extensions;
};

// Whether a response with this MIME type and this file name (UTF-8) is to be reported under
// the filter settings of `state`.
bool AcceptResource(const ScanState& state, const std::u16string& mimeType,
                    const std::string& fileNameUtf8);
