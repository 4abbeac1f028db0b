#include "finder/ResourceFilter.h"

#include <string_view>
#include <vector>

#include "finder/ScanHost.h"
#include "finder/TextUtil.h"
#include "win32/windows.h"

namespace {

// Needles up to this length are searched with the library's find, whose worst case is the
// haystack's length times the needle's. Longer needles go through Knuth-Morris-Pratt, so that a
// huge filter against a huge MIME type stays linear too.
constexpr std::size_t kShortNeedle = 64;

bool ContainsLinear(std::u16string_view haystack, std::u16string_view needle) {
    std::vector<std::size_t> border(needle.size() + 1, 0);
    std::size_t k = 0;
    for (std::size_t i = 1; i < needle.size(); ++i) {
        while (k > 0 && needle[i] != needle[k]) k = border[k];
        if (needle[i] == needle[k]) ++k;
        border[i + 1] = k;
    }
    k = 0;
    for (char16_t c : haystack) {
        while (k > 0 && c != needle[k]) k = border[k];
        if (c == needle[k]) ++k;
        if (k == needle.size()) return true;
    }
    return false;
}

bool ContainsText(std::u16string_view haystack, std::u16string_view needle) {
    if (needle.empty()) return true;
    if (needle.size() > haystack.size()) return false;
    if (needle.size() <= kShortNeedle) return haystack.find(needle) != std::u16string_view::npos;
    return ContainsLinear(haystack, needle);
}

}  // namespace

bool ExtensionFilter::SetFromText(const char16_t* text, const char16_t* separators) {
    if (text == nullptr || separators == nullptr) return false;
    // The page may send wildcards and blanks ("*.mp4; *.flv"); only these two characters go.
    std::u16string copy = text;
    std::erase(copy, u'*');
    std::erase(copy, u' ');

    // Items as boost::algorithm::split with is_any_of and token compression off gives them:
    // every separator ends an item, empty items included. They are cut here directly, one
    // table lookup per character, so that a list of millions of separators never exists as
    // millions of strings.
    std::vector<bool> isSeparator(0x10000, false);
    for (const char16_t* s = separators; *s != 0; ++s) isSeparator[*s] = true;
    ExtensionSet extensions;
    std::u16string_view rest = copy;
    for (;;) {
        std::size_t end = 0;
        while (end < rest.size() && !isSeparator[rest[end]]) ++end;
        std::u16string_view item = rest.substr(0, end);
        if (extensions.find(item) == extensions.end()) extensions.emplace(item);
        if (end == rest.size()) break;
        rest.remove_prefix(end + 1);
    }
    m_extensions.swap(extensions);
    return true;
}

bool ExtensionFilter::SetFromUtf8(const char* text) {
    if (text == nullptr) return false;
    std::u16string wide;
    if (!Utf8ToUtf16(text, wide)) return false;
    std::u16string separators;
    if (!Utf8ToUtf16(";,", separators)) return false;
    return SetFromText(wide.c_str(), separators.c_str());
}

bool ExtensionFilter::MatchesPath(const char16_t* path) const {
    if (path == nullptr) return false;
    const char16_t* extension = PathFindExtensionW(path);
    return m_extensions.find(std::u16string_view(extension)) != m_extensions.end();
}

bool AcceptResource(const ScanState& state, const std::u16string& mimeType,
                    const std::string& fileNameUtf8) {
    if (!state.m_filterEnabled) return true;
    if (!state.m_useFileExtFilter) return ContainsText(mimeType, state.m_mimeFilter);
    std::u16string name;
    Utf8ToUtf16(fileNameUtf8, name);
    return state.m_fileExtFilter.MatchesPath(name.c_str());
}
