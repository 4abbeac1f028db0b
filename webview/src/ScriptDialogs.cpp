// The script dialogs of pages that must not hold the program: the scanned pages'.
//
// A page that opens alerts one after another would otherwise keep the program in message
// boxes that wait for their answer: each box now waits for nobody, holds only its own window,
// and goes (answered as dismissed) with its window or when the program loads another page into
// the view. Browsers let the user stop a page's dialogs after a few in quick succession; so
// does this.
#include <algorithm>

#include "webview/WebKitWindow.h"

namespace {

// Dialogs within this time count as quick succession; the third of them offers the choice.
constexpr std::chrono::seconds kDialogBurst{10};
constexpr size_t kDialogsBeforeChoice = 2;

constexpr WCHAR kStopDialogsText[] = u"_Stop dialogs from this page";

}  // namespace

bool CWebKitWindow::RunDialogLater(WebScriptDialogKind, BSTR, BSTR, IWebScriptDialogAnswer*) {
    return false;
}

bool CWebKitWindow::ShowScriptDialogLater(WebScriptDialogKind kind, BSTR message,
                                          IWebScriptDialogAnswer* answer) {
    if (m_dialogsStopped || m_leavingPage || !m_hWnd) {
        answer->dismiss();
        return true;
    }
    const auto now = std::chrono::steady_clock::now();
    while (!m_recentDialogs.empty() && now - m_recentDialogs.front() > kDialogBurst)
        m_recentDialogs.pop_front();
    const bool offerStop = m_recentDialogs.size() >= kDialogsBeforeChoice;
    m_recentDialogs.push_back(now);
    // FIXME: a prompt shows in the engine's own dialog inside the view, which never holds the
    // program but cannot offer to stop the page's dialogs; it only counts towards the choice.
    if (kind == WebScriptDialogPrompt) return false;

    WCHAR title[512] = {};
    GetWindowTextW(m_hWnd, title, 512);
    const UINT type = kind == WebScriptDialogConfirm ? MB_YESNO : MB_OK;
    answer->AddRef();
    // The box is added to the list before it can answer: it answers from the main loop only.
    const win32::MessageBoxHandle box = win32::MessageBoxLater(
        m_hWnd, message, title, type, offerStop ? kStopDialogsText : nullptr,
        [this, answer](int button, bool stop) {
            auto it =
                std::find_if(m_scriptDialogs.begin(), m_scriptDialogs.end(),
                             [answer](const OpenScriptDialog& d) { return d.answer == answer; });
            if (it != m_scriptDialogs.end()) m_scriptDialogs.erase(it);
            if (stop) m_dialogsStopped = true;
            answer->answer(button == IDYES ? TRUE : FALSE, nullptr);
            answer->Release();
        });
    if (!box) {
        answer->dismiss();
        answer->Release();
        return true;
    }
    m_scriptDialogs.push_back(OpenScriptDialog{box, answer});
    return true;
}

void CWebKitWindow::CloseScriptDialogs() {
    // Closing a box answers it, which takes it out of the list.
    while (!m_scriptDialogs.empty()) {
        const OpenScriptDialog open = m_scriptDialogs.back();
        if (!win32::CloseMessageBox(open.box)) {
            // The box went without telling (it cannot, but the page must be answered anyway).
            m_scriptDialogs.pop_back();
            open.answer->dismiss();
            open.answer->Release();
        }
    }
}

void CWebKitWindow::NoteLoadCommitted() {
    if (m_leavingPage) ForgetPageDialogs();
}

void CWebKitWindow::ForgetPageDialogs() {
    m_leavingPage = false;
    m_dialogsStopped = false;
    m_recentDialogs.clear();
}
