// Message boxes beyond MessageBoxW: one that nobody waits for, whose owner hears the answer
// when the user gives it, and the text that any message box shows of a long message.
//
// MessageBoxW waits in a nested loop of its own until it is answered, which is right for the
// program's own questions but lets a page that opens dialogs one after another hold the
// program. A box from MessageBoxLater returns at once: it disables its owner's client area
// only (as an owned message box disables its owner on Windows), every other window works on,
// and the owner's close button still closes the owner, which closes the box.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "win32/windows.h"

namespace win32 {

// ---- The text of a message box (base library: no display needed) ---------------------------

// At most this much of a message is shown; a message box that lays out megabytes of text
// freezes the program while it does and holds the layout in memory.
inline constexpr std::size_t kMessageBoxMaxUnits = 3000;
inline constexpr std::size_t kMessageBoxMaxLines = 40;

// `text` up to its first NUL, cut after `maxUnits` UTF-16 units or before its `maxLines`-th
// line break, whichever comes first, never between the halves of a surrogate pair nor after
// a CR. Cut text ends with a line of its own holding "…" (U+2026) when it was cut at a line
// break, else with "…" right after the last character kept. Text within both limits is
// returned as it is.
std::u16string MessageBoxText(std::u16string_view text, std::size_t maxUnits = kMessageBoxMaxUnits,
                              std::size_t maxLines = kMessageBoxMaxLines);

// ---- Message boxes that wait for nobody (windowing library) -------------------------------

// Names an open box. Handles are never reused, so a handle of a box that closed meanwhile is
// simply not found. 0 is no box.
using MessageBoxHandle = std::uintptr_t;

// What the owner of a box learns when it closes: the button (IDOK, or IDYES / IDNO for
// MB_YESNO; closing the box or Escape counts as OK or No) and whether its check box was
// ticked (false for a box without one).
using MessageBoxDone = std::function<void(int button, bool checked)>;

// Shows a box like MessageBoxW(owner, text, caption, type) (MB_OK or MB_YESNO, and
// MB_SETFOREGROUND) and returns at once. `checkText`, when not null or empty, adds a check box
// with that label (an underscore marks its access key) below the text. `done` is called once,
// from the main loop, when the box closes for whatever reason: the user answered, CloseMessageBox,
// or the owner's window was destroyed. Returns 0 (and calls nothing) when there is no display.
MessageBoxHandle MessageBoxLater(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type,
                                 LPCWSTR checkText, MessageBoxDone done);

// Closes an open box as Escape does; its `done` runs before this returns. Nothing for a box
// that closed already. Answers whether there was a box to close.
bool CloseMessageBox(MessageBoxHandle box);

}  // namespace win32
