#include "finder/TextUtil.h"

#include <climits>
#include <cstdio>
#include <utility>

#include "win32/text.h"

namespace {

struct SizeUnit {
    std::uint64_t bytes;
    const char* name;
};

// Searched from the largest unit down; the steps are powers of 1024.
constexpr SizeUnit kUnits[] = {
    {1ull << 50, "PB"}, {1ull << 40, "TB"}, {1ull << 30, "GB"},
    {1ull << 20, "MB"}, {1ull << 10, "KB"},
};

}  // namespace

void FormatSize(std::u16string& text, std::uint64_t size) {
    text.clear();
    char buffer[256] = {};
    const SizeUnit* unit = nullptr;
    for (const SizeUnit& candidate : kUnits) {
        if (size >= candidate.bytes) {
            unit = &candidate;
            break;
        }
    }
    if (unit == nullptr) {
        std::snprintf(buffer, sizeof buffer, "%lluB", static_cast<unsigned long long>(size));
    } else {
        std::uint64_t whole = size / unit->bytes;
        std::uint64_t rest = size % unit->bytes;
        if (rest == 0) {
            std::snprintf(buffer, sizeof buffer, "%llu%s", static_cast<unsigned long long>(whole),
                          unit->name);
        } else {
            // The rounding decision is taken in integers (the rest is below 2^50, so neither
            // product overflows). Rounding up may give 100 hundredths, which prints as the next
            // whole number of the same unit.
            std::uint64_t hundredths = rest * 100 / unit->bytes;
            std::uint64_t thousandths = rest * 1000 / unit->bytes;
            if (thousandths % 10 >= 5) ++hundredths;
            double value = static_cast<double>(whole) + static_cast<double>(hundredths) / 100.0;
            std::snprintf(buffer, sizeof buffer, "%.2f%s", value, unit->name);
        }
    }
    // The text is plain ASCII.
    for (const char* p = buffer; *p != 0; ++p) text.push_back(static_cast<char16_t>(*p));
}

void FormatSizeUtf8(std::string& text, std::uint64_t size) {
    text.clear();
    std::u16string wide;
    FormatSize(wide, size);
    Utf16ToUtf8(wide, text);
}

bool Utf8ToUtf16(const std::string& source, std::u16string& target) {
    if (source.empty() || source.size() > static_cast<std::size_t>(INT_MAX) - 1) return false;
    // An embedded NUL ends the text; the conversion of what comes before it cannot fail.
    target = win32::ToUtf16(source.c_str());
    return true;
}

bool Utf16ToUtf8(const std::u16string& source, std::string& target) {
    if (source.empty() || source.size() > static_cast<std::size_t>(INT_MAX)) return false;
    // The whole source is converted, and only then cut at its first NUL, so that a source whose
    // text is too long to convert fails even when its NUL comes early. A non-empty source
    // never converts to empty text otherwise. A text of exactly INT_MAX bytes fails as well:
    // these conversions always left room for a terminator within an int count.
    std::string converted = win32::ToUtf8(std::u16string_view(source));
    if (converted.empty() || converted.size() == static_cast<std::size_t>(INT_MAX)) return false;
    converted.resize(std::char_traits<char>::length(converted.c_str()));
    target = std::move(converted);
    return true;
}
