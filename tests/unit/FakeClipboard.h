// The unit tests link no windowing layer. These stand-ins for its global memory and clipboard
// calls record what the finder hands over and can be told to fail.
#pragma once

#include <string>

#include "win32/windows.h"

struct FakeClipboardState {
    // What the clipboard holds: one Unicode text, or nothing.
    bool hasText = false;
    std::u16string text;
    int entriesSet = 0;
    HWND lastOwner = nullptr;
    bool open = false;
    // Blocks allocated and not yet freed, the one the clipboard holds included.
    int liveBlocks = 0;
    // Failures to simulate.
    bool failAlloc = false;
    bool failLock = false;
    bool failOpen = false;
    bool failSetData = false;
};

// Resets the fake to an empty clipboard with no failures and frees the block it holds.
void ResetFakeClipboard();
FakeClipboardState& FakeClipboard();
