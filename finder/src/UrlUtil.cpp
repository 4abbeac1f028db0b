#include "finder/UrlUtil.h"

#include <algorithm>
#include <array>
#include <boost/algorithm/string/predicate.hpp>
#include <string_view>

#include "finder/TextUtil.h"

namespace {

constexpr std::u16string_view kSchemeSeparator = u"://";
constexpr char16_t kPathSeparator = u'/';
constexpr std::u16string_view kNameDelimiters = u":?#[]@*+,;=";

// The position of the first name delimiter, or the text's length. One comparison per
// character: the delimiters are all ASCII, so a 128-entry table answers.
std::size_t FirstNameDelimiter(std::u16string_view text) {
    static const auto table = [] {
        std::array<bool, 128> result{};
        for (char16_t c : kNameDelimiters) result[c] = true;
        return result;
    }();
    std::size_t i = 0;
    while (i < text.size() && !(text[i] < 128 && table[text[i]])) ++i;
    return i;
}

}  // namespace

std::u16string NormalizeUrl(const char16_t* address) {
    std::u16string text = address != nullptr ? address : u"";
    if (boost::algorithm::starts_with(text, u"www.")) return u"http://" + text;
    if (boost::algorithm::contains(text, kSchemeSeparator)) return text;
    return u"http://" + text;
}

std::string NormalizeUrlUtf8(const char* address) {
    if (address == nullptr) return std::string();
    std::string result = address;
    std::u16string wide;
    if (!Utf8ToUtf16(result, wide)) return result;
    Utf16ToUtf8(NormalizeUrl(wide.c_str()), result);
    return result;
}

bool GetFileNameFromUrl(const std::u16string& address, std::u16string& name) {
    name.clear();
    if (address.empty()) return false;
    // Without the scheme's "://" the double slash does not count as two path separators.
    // This is boost::algorithm::replace_all(work, u"://", u"") done in one pass while copying:
    // the library's in-place form costs more than the rest of the derivation together, and
    // capture derives a name for every response.
    std::u16string work;
    work.reserve(address.size());
    for (std::size_t start = 0;;) {
        std::size_t found = address.find(kSchemeSeparator, start);
        work.append(address, start, found - start);  // the rest when nothing was found
        if (found == std::u16string::npos) break;
        start = found + kSchemeSeparator.size();
    }

    // Cut at "/" as boost::algorithm::split with is_any_of and token compression off would,
    // which keeps empty pieces. Only the number of pieces and the last one matter, and
    // finding them directly keeps an address of ten million slashes from becoming ten
    // million strings.
    std::size_t slashes = std::count(work.begin(), work.end(), kPathSeparator);
    if (slashes == 0) return false;  // one piece
    std::u16string_view last = std::u16string_view(work).substr(work.rfind(kPathSeparator) + 1);
    // A host followed by one slash has no file segment.
    if (slashes == 1 && last.empty()) return false;

    // The first piece of the last one cut at the name delimiters.
    name = last.substr(0, FirstNameDelimiter(last));
    return true;
}

bool GetFileNameFromUrlUtf8(const std::string& address, std::string& name) {
    name.clear();
    if (address.empty()) return false;
    std::u16string wide;
    Utf8ToUtf16(address, wide);
    std::u16string wideName;
    if (!GetFileNameFromUrl(wide, wideName)) return false;
    Utf16ToUtf8(wideName, name);
    return true;
}
