// BSTRs and the OLE start-up calls. A BSTR is laid out as on Windows: a 32-bit byte length,
// then the UTF-16 text, then a NUL unit; the pointer handed out points at the text.
#include <cstdlib>
#include <cstring>
#include <limits>

#include "win32/windows.h"

namespace {
constexpr std::size_t kPrefix = sizeof(std::uint32_t);
}

BSTR SysAllocStringLen(LPCWSTR text, UINT length) {
    // The byte length must fit the 32-bit prefix.
    if (length > (std::numeric_limits<std::uint32_t>::max() - kPrefix) / sizeof(WCHAR) - 1) {
        return nullptr;
    }
    std::size_t bytes = static_cast<std::size_t>(length) * sizeof(WCHAR);
    auto* block = static_cast<unsigned char*>(std::calloc(1, kPrefix + bytes + sizeof(WCHAR)));
    if (block == nullptr) return nullptr;
    std::uint32_t prefix = static_cast<std::uint32_t>(bytes);
    std::memcpy(block, &prefix, kPrefix);
    auto* result = reinterpret_cast<BSTR>(block + kPrefix);
    if (text != nullptr && length > 0) std::memcpy(result, text, bytes);
    return result;
}

BSTR SysAllocString(LPCWSTR text) {
    if (text == nullptr) return nullptr;
    std::size_t length = std::char_traits<char16_t>::length(text);
    if (length > std::numeric_limits<UINT>::max()) return nullptr;
    return SysAllocStringLen(text, static_cast<UINT>(length));
}

void SysFreeString(BSTR text) {
    if (text == nullptr) return;
    std::free(reinterpret_cast<unsigned char*>(text) - kPrefix);
}

UINT SysStringLen(BSTR text) {
    if (text == nullptr) return 0;
    std::uint32_t prefix;
    std::memcpy(&prefix, reinterpret_cast<unsigned char*>(text) - kPrefix, kPrefix);
    return prefix / sizeof(WCHAR);
}

// There is no COM runtime to start: the web engine objects are plain C++ objects here.
HRESULT OleInitialize(LPVOID) {
    return S_OK;
}

void OleUninitialize() {}
