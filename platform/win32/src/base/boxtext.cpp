// The part of a long message that a message box shows (win32/dialogs.h).
#include "win32/dialogs.h"

namespace win32 {

std::u16string MessageBoxText(std::u16string_view text, std::size_t maxUnits,
                              std::size_t maxLines) {
    const std::size_t nul = text.find(u'\0');
    if (nul != std::u16string_view::npos) text = text.substr(0, nul);
    std::size_t lines = 1;
    std::size_t end = 0;
    bool atLineBreak = false;
    // One pass that stops at the first limit reached, so that a message of megabytes costs no
    // more than the part that is shown.
    while (end < text.size()) {
        if (text[end] == u'\n' && ++lines > maxLines) {
            atLineBreak = true;
            break;
        }
        if (end == maxUnits) break;
        ++end;
    }
    if (end == text.size() && !atLineBreak) return std::u16string(text);
    // Never the first half of a surrogate pair without its second.
    if (!atLineBreak && end > 0 && text[end - 1] >= 0xD800 && text[end - 1] <= 0xDBFF &&
        text[end] >= 0xDC00 && text[end] <= 0xDFFF) {
        --end;
    }
    std::u16string shown(text.substr(0, end));
    // The CR of a CR LF pair that was cut would show as a stray mark.
    if (!shown.empty() && shown.back() == u'\r') shown.pop_back();
    shown += atLineBreak ? u"\n\u2026" : u"\u2026";
    return shown;
}

}  // namespace win32
