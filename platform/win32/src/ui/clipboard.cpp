// Global memory blocks, the clipboard, and the windowing desktop's copy over them. A block is
// a header followed by its bytes; the handle is the header. The clipboard holds Unicode text
// only: SetClipboardData hands the text to GTK's CLIPBOARD selection and keeps the block, which
// from then on belongs to the clipboard and is freed by the next EmptyClipboard.
#include <gtk/gtk.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

#include "win32/desktop.h"
#include "win32/text.h"
#include "win32/windows.h"

namespace {

constexpr std::uint32_t kBlockMagic = 0x474C4F42;  // "GLOB"

struct BlockHeader {
    std::uint32_t magic;
    std::uint32_t lockCount;
    std::size_t size;
};
// The data follows the header at an offset that keeps it aligned for any type.
constexpr std::size_t kDataOffset = (sizeof(BlockHeader) + alignof(std::max_align_t) - 1) /
                                    alignof(std::max_align_t) * alignof(std::max_align_t);

BlockHeader* HeaderOf(HGLOBAL memory) {
    auto* header = static_cast<BlockHeader*>(memory);
    if (header == nullptr || header->magic != kBlockMagic) return nullptr;
    return header;
}

unsigned char* DataOf(BlockHeader* header) {
    return reinterpret_cast<unsigned char*>(header) + kDataOffset;
}

// The clipboard's state. Only the user-interface thread uses it.
struct ClipboardState {
    bool open = false;
    HWND owner = nullptr;
    HGLOBAL text = nullptr;  // the block last handed over with SetClipboardData
};
ClipboardState g_clipboard;

}  // namespace

HGLOBAL GlobalAlloc(UINT flags, std::size_t bytes) {
    if (bytes > std::numeric_limits<std::size_t>::max() - kDataOffset) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    // Every block is zero-filled, asked for or not; nothing relies on garbage.
    void* memory = std::calloc(1, kDataOffset + bytes);
    if (memory == nullptr) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    auto* header = static_cast<BlockHeader*>(memory);
    header->magic = kBlockMagic;
    header->lockCount = 0;
    header->size = bytes;
    return header;
}

LPVOID GlobalLock(HGLOBAL memory) {
    BlockHeader* header = HeaderOf(memory);
    if (header == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    ++header->lockCount;
    return DataOf(header);
}

BOOL GlobalUnlock(HGLOBAL memory) {
    BlockHeader* header = HeaderOf(memory);
    if (header == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (header->lockCount > 0) --header->lockCount;
    // As on Windows: nonzero while still locked, zero with no error once unlocked.
    if (header->lockCount > 0) return TRUE;
    SetLastError(ERROR_SUCCESS);
    return FALSE;
}

HGLOBAL GlobalFree(HGLOBAL memory) {
    if (memory == nullptr) return nullptr;
    BlockHeader* header = HeaderOf(memory);
    if (header == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return memory;
    }
    header->magic = 0;
    std::free(header);
    return nullptr;
}

std::size_t GlobalSize(HGLOBAL memory) {
    BlockHeader* header = HeaderOf(memory);
    if (header == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    return header->size;
}

BOOL OpenClipboard(HWND owner) {
    if (g_clipboard.open) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    g_clipboard.open = true;
    g_clipboard.owner = owner;
    return TRUE;
}

BOOL EmptyClipboard() {
    if (!g_clipboard.open) {
        SetLastError(ERROR_CLIPBOARD_NOT_OPEN);
        return FALSE;
    }
    if (g_clipboard.text != nullptr) {
        GlobalFree(g_clipboard.text);
        g_clipboard.text = nullptr;
    }
    if (gdk_display_get_default() != nullptr) {
        gtk_clipboard_clear(gtk_clipboard_get(GDK_SELECTION_CLIPBOARD));
    }
    return TRUE;
}

HANDLE SetClipboardData(UINT format, HANDLE memory) {
    if (!g_clipboard.open) {
        SetLastError(ERROR_CLIPBOARD_NOT_OPEN);
        return nullptr;
    }
    BlockHeader* header = HeaderOf(memory);
    // Only Unicode text, and no delayed rendering (a null block).
    if (format != CF_UNICODETEXT || header == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (gdk_display_get_default() == nullptr) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    // The text ends at its first NUL or at the end of the block, whichever comes first.
    const auto* units = reinterpret_cast<const char16_t*>(DataOf(header));
    const std::size_t capacity = header->size / sizeof(char16_t);
    std::size_t length = 0;
    while (length < capacity && units[length] != 0) ++length;
    const std::string utf8 = win32::ToUtf8(std::u16string_view(units, length));
    GtkClipboard* clipboard = gtk_clipboard_get(GDK_SELECTION_CLIPBOARD);
    gtk_clipboard_set_text(clipboard, utf8.data(), static_cast<gint>(utf8.size()));
    // A clipboard manager, where one runs, keeps the text after the program ends.
    gtk_clipboard_set_can_store(clipboard, nullptr, 0);

    if (g_clipboard.text != nullptr && g_clipboard.text != memory) GlobalFree(g_clipboard.text);
    g_clipboard.text = memory;
    return memory;
}

BOOL CloseClipboard() {
    if (!g_clipboard.open) {
        SetLastError(ERROR_CLIPBOARD_NOT_OPEN);
        return FALSE;
    }
    g_clipboard.open = false;
    g_clipboard.owner = nullptr;
    return TRUE;
}

namespace win32 {

namespace {

class CWindowingDesktop : public CDesktop {
public:
    bool SetClipboardText(HWND owner, const std::u16string& text) override {
        const std::size_t bytes = (text.size() + 1) * sizeof(char16_t);
        HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, bytes);
        if (block == nullptr) return false;
        void* memory = GlobalLock(block);
        if (memory == nullptr) {
            GlobalFree(block);
            return false;
        }
        // The zero fill supplies the terminating NUL.
        std::memcpy(memory, text.data(), text.size() * sizeof(char16_t));
        GlobalUnlock(block);

        if (!OpenClipboard(owner)) {
            GlobalFree(block);
            return false;
        }
        EmptyClipboard();
        // On success the block belongs to the clipboard; otherwise it is still ours to free,
        // and the copy did not happen.
        const bool handed = SetClipboardData(CF_UNICODETEXT, block) != nullptr;
        if (!handed) GlobalFree(block);
        CloseClipboard();
        return handed;
    }
};

}  // namespace

CDesktop& WindowingDesktop() {
    static CWindowingDesktop desktop;
    return desktop;
}

}  // namespace win32
