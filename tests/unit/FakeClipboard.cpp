#include "FakeClipboard.h"

#include <cstdlib>
#include <cstring>

namespace {

FakeClipboardState g_state;
HGLOBAL g_held = nullptr;

struct Block {
    std::size_t size;
    int locks;
    unsigned char data[1];
};

}  // namespace

FakeClipboardState& FakeClipboard() {
    return g_state;
}

void ResetFakeClipboard() {
    if (g_held != nullptr) GlobalFree(g_held);
    g_held = nullptr;
    int live = g_state.liveBlocks;
    g_state = FakeClipboardState();
    g_state.liveBlocks = live;
}

HGLOBAL GlobalAlloc(UINT flags, std::size_t bytes) {
    if (g_state.failAlloc) return nullptr;
    auto* block = static_cast<Block*>(std::malloc(sizeof(Block) + bytes));
    if (block == nullptr) return nullptr;
    block->size = bytes;
    block->locks = 0;
    // Garbage unless asked for zeroes, so that a missing terminator shows.
    std::memset(block->data, (flags & GMEM_ZEROINIT) != 0 ? 0 : 0xAB, bytes);
    ++g_state.liveBlocks;
    return block;
}

LPVOID GlobalLock(HGLOBAL memory) {
    if (g_state.failLock || memory == nullptr) return nullptr;
    auto* block = static_cast<Block*>(memory);
    ++block->locks;
    return block->data;
}

BOOL GlobalUnlock(HGLOBAL memory) {
    auto* block = static_cast<Block*>(memory);
    if (block->locks > 0) --block->locks;
    return block->locks > 0 ? TRUE : FALSE;
}

HGLOBAL GlobalFree(HGLOBAL memory) {
    if (memory == nullptr) return nullptr;
    std::free(memory);
    --g_state.liveBlocks;
    return nullptr;
}

std::size_t GlobalSize(HGLOBAL memory) {
    return static_cast<Block*>(memory)->size;
}

BOOL OpenClipboard(HWND owner) {
    if (g_state.failOpen || g_state.open) return FALSE;
    g_state.open = true;
    g_state.lastOwner = owner;
    return TRUE;
}

BOOL EmptyClipboard() {
    if (!g_state.open) return FALSE;
    if (g_held != nullptr) GlobalFree(g_held);
    g_held = nullptr;
    g_state.hasText = false;
    g_state.text.clear();
    return TRUE;
}

HANDLE SetClipboardData(UINT format, HANDLE memory) {
    if (!g_state.open || g_state.failSetData || format != CF_UNICODETEXT) return nullptr;
    auto* block = static_cast<Block*>(memory);
    if (block->locks != 0) return nullptr;  // handed over while still locked
    // The text must carry its own terminator within the block.
    const auto* units = reinterpret_cast<const char16_t*>(block->data);
    std::size_t capacity = block->size / sizeof(char16_t);
    std::size_t length = 0;
    while (length < capacity && units[length] != 0) ++length;
    if (length == capacity) return nullptr;
    if (g_held != nullptr && g_held != memory) GlobalFree(g_held);
    g_held = memory;
    g_state.hasText = true;
    g_state.text.assign(units, length);
    ++g_state.entriesSet;
    return memory;
}

BOOL CloseClipboard() {
    if (!g_state.open) return FALSE;
    g_state.open = false;
    return TRUE;
}
