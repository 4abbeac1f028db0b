// UTF-8 / UTF-16 conversion with the behaviour of Windows' code-page functions for CP_UTF8,
// and the string conversions (win32/text.h) that the rest of the program uses over them.
//
// With flags 0 nothing is rejected: every maximal subpart of an ill-formed UTF-8 sequence
// becomes one U+FFFD, and an unpaired surrogate in UTF-16 becomes U+FFFD (EF BF BD). With the
// "invalid characters are errors" flag the call fails instead. Both directions work in one
// pass, so the cost is linear in the source length.
#include "win32/text.h"

#include <climits>
#include <cstdint>

#include "win32/windows.h"

namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Decodes one code point at `p` (with `end` past the last byte). Advances `p` past the code
// point, or past the maximal subpart of an ill-formed sequence, and answers false for the
// latter.
bool DecodeUtf8(const unsigned char*& p, const unsigned char* end, char32_t& out) {
    unsigned char lead = *p++;
    if (lead < 0x80) {
        out = lead;
        return true;
    }
    int trail = 0;
    unsigned char low = 0x80, high = 0xBF;  // range of the first trail byte
    char32_t value = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        trail = 1;
        value = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        trail = 2;
        value = lead & 0x0F;
        if (lead == 0xE0) low = 0xA0;   // no overlong forms
        if (lead == 0xED) high = 0x9F;  // no encoded surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        trail = 3;
        value = lead & 0x07;
        if (lead == 0xF0) low = 0x90;   // no overlong forms
        if (lead == 0xF4) high = 0x8F;  // nothing above U+10FFFF
    } else {
        out = kReplacement;  // a trail byte, C0, C1 or F5..FF standing alone
        return false;
    }
    for (int i = 0; i < trail; ++i) {
        if (p == end || *p < low || *p > high) {
            // The bytes taken so far form the maximal subpart; the offending byte starts anew.
            out = kReplacement;
            return false;
        }
        value = (value << 6) | (*p++ & 0x3F);
        low = 0x80;
        high = 0xBF;
    }
    out = value;
    return true;
}

bool ValidArguments(UINT codePage, int sourceLength, const void* source, int targetCapacity,
                    const void* target) {
    if (codePage != CP_UTF8 || source == nullptr || sourceLength == 0 || sourceLength < -1 ||
        targetCapacity < 0 || (targetCapacity > 0 && target == nullptr)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    return true;
}

}  // namespace

int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR source, int sourceLength, LPWSTR target,
                        int targetCapacity) {
    if (!ValidArguments(codePage, sourceLength, source, targetCapacity, target)) return 0;
    if ((flags & ~MB_ERR_INVALID_CHARS) != 0) {
        SetLastError(ERROR_INVALID_FLAGS);
        return 0;
    }
    std::size_t length = sourceLength == -1 ? std::char_traits<char>::length(source) + 1
                                            : static_cast<std::size_t>(sourceLength);
    const auto* p = reinterpret_cast<const unsigned char*>(source);
    const auto* end = p + length;
    const bool strict = (flags & MB_ERR_INVALID_CHARS) != 0;
    std::size_t written = 0;
    while (p != end) {
        // Runs of ASCII, the bulk of every address, take the short way.
        if (*p < 0x80 &&
            (targetCapacity == 0 || written < static_cast<std::size_t>(targetCapacity))) {
            if (targetCapacity > 0) target[written] = static_cast<WCHAR>(*p);
            ++p;
            ++written;
            continue;
        }
        char32_t cp;
        if (!DecodeUtf8(p, end, cp) && strict) {
            SetLastError(ERROR_NO_UNICODE_TRANSLATION);
            return 0;
        }
        std::size_t units = cp >= 0x10000 ? 2 : 1;
        if (targetCapacity > 0) {
            if (written + units > static_cast<std::size_t>(targetCapacity)) {
                SetLastError(ERROR_INSUFFICIENT_BUFFER);
                return 0;
            }
            if (units == 2) {
                target[written] = static_cast<WCHAR>(0xD800 + ((cp - 0x10000) >> 10));
                target[written + 1] = static_cast<WCHAR>(0xDC00 + ((cp - 0x10000) & 0x3FF));
            } else {
                target[written] = static_cast<WCHAR>(cp);
            }
        }
        written += units;
    }
    // Only a NUL-terminated source of more than INT_MAX bytes can need more units than an int
    // counts.
    if (written > static_cast<std::size_t>(INT_MAX)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    return static_cast<int>(written);
}

int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR source, int sourceLength, LPSTR target,
                        int targetCapacity, LPCSTR defaultChar, BOOL* usedDefaultChar) {
    if (!ValidArguments(codePage, sourceLength, source, targetCapacity, target)) return 0;
    // Windows refuses a default character for UTF-8: the replacement is always U+FFFD.
    if (defaultChar != nullptr || usedDefaultChar != nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if ((flags & ~WC_ERR_INVALID_CHARS) != 0) {
        SetLastError(ERROR_INVALID_FLAGS);
        return 0;
    }
    std::size_t length = sourceLength == -1 ? std::char_traits<char16_t>::length(source) + 1
                                            : static_cast<std::size_t>(sourceLength);
    const bool strict = (flags & WC_ERR_INVALID_CHARS) != 0;
    std::size_t written = 0;
    for (std::size_t i = 0; i < length; ++i) {
        char32_t cp = source[i];
        if (cp < 0x80 &&
            (targetCapacity == 0 || written < static_cast<std::size_t>(targetCapacity))) {
            if (targetCapacity > 0) target[written] = static_cast<char>(cp);
            ++written;
            continue;
        }
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < length && source[i + 1] >= 0xDC00 &&
            source[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (source[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            if (strict) {
                SetLastError(ERROR_NO_UNICODE_TRANSLATION);
                return 0;
            }
            cp = kReplacement;
        }
        unsigned char bytes[4];
        std::size_t count;
        if (cp < 0x80) {
            bytes[0] = static_cast<unsigned char>(cp);
            count = 1;
        } else if (cp < 0x800) {
            bytes[0] = static_cast<unsigned char>(0xC0 | (cp >> 6));
            bytes[1] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
            count = 2;
        } else if (cp < 0x10000) {
            bytes[0] = static_cast<unsigned char>(0xE0 | (cp >> 12));
            bytes[1] = static_cast<unsigned char>(0x80 | ((cp >> 6) & 0x3F));
            bytes[2] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
            count = 3;
        } else {
            bytes[0] = static_cast<unsigned char>(0xF0 | (cp >> 18));
            bytes[1] = static_cast<unsigned char>(0x80 | ((cp >> 12) & 0x3F));
            bytes[2] = static_cast<unsigned char>(0x80 | ((cp >> 6) & 0x3F));
            bytes[3] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
            count = 4;
        }
        if (targetCapacity > 0) {
            if (written + count > static_cast<std::size_t>(targetCapacity)) {
                SetLastError(ERROR_INSUFFICIENT_BUFFER);
                return 0;
            }
            for (std::size_t k = 0; k < count; ++k)
                target[written + k] = static_cast<char>(bytes[k]);
        }
        written += count;
    }
    // Up to three bytes per unit: a long enough source has a size that no int can answer.
    if (written > static_cast<std::size_t>(INT_MAX)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    return static_cast<int>(written);
}

namespace win32 {

std::string ToUtf8(std::u16string_view text) {
    std::string result;
    if (text.empty() || text.size() > static_cast<std::size_t>(INT_MAX)) return result;
    const DWORD saved = GetLastError();
    const int length = static_cast<int>(text.size());
    const int needed =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
    if (needed > 0) {
        result.resize(static_cast<std::size_t>(needed));
        WideCharToMultiByte(CP_UTF8, 0, text.data(), length, result.data(), needed, nullptr,
                            nullptr);
    }
    SetLastError(saved);
    return result;
}

std::string ToUtf8(const char16_t* text) {
    return text == nullptr ? std::string() : ToUtf8(std::u16string_view(text));
}

std::u16string ToUtf16(std::string_view text) {
    std::u16string result;
    if (text.empty() || text.size() > static_cast<std::size_t>(INT_MAX)) return result;
    const DWORD saved = GetLastError();
    const int length = static_cast<int>(text.size());
    // N bytes of UTF-8 never give more than N units, malformed bytes included, so one pass
    // into a buffer of the source's length is enough.
    result.resize(text.size());
    const int written = MultiByteToWideChar(CP_UTF8, 0, text.data(), length, result.data(), length);
    result.resize(static_cast<std::size_t>(written));
    SetLastError(saved);
    return result;
}

std::u16string ToUtf16(const char* text) {
    return text == nullptr ? std::u16string() : ToUtf16(std::string_view(text));
}

}  // namespace win32
