// Script dialogs: alert, confirm and prompt of a view's page, answered by the UI delegate.
//
// A delegate that answers IWebUIDelegatePrivate gets each dialog with an answer object and
// may answer long after the signal handler returned: the engine's dialog is kept (referenced)
// until then, and the page waits in its web process while the UI process runs on. Any other
// delegate answers before its method returns, as before.
#include "internal.h"
#include "view.h"

namespace wk {

class ScriptDialogAnswer : public ComObject<IWebScriptDialogAnswer, &IID_IWebScriptDialogAnswer> {
public:
    ScriptDialogAnswer(WebView* view, WebKitScriptDialog* dialog)
        : m_view(view), m_dialog(webkit_script_dialog_ref(dialog)) {
        m_view->m_openDialogs.insert(this);
    }
    ~ScriptDialogAnswer() override { dismiss(); }

    HRESULT answer(BOOL confirmed, BSTR text) override {
        if (!m_dialog) return S_FALSE;
        switch (webkit_script_dialog_get_dialog_type(m_dialog)) {
            case WEBKIT_SCRIPT_DIALOG_CONFIRM:
            case WEBKIT_SCRIPT_DIALOG_BEFORE_UNLOAD_CONFIRM:
                webkit_script_dialog_confirm_set_confirmed(m_dialog, confirmed != FALSE);
                break;
            case WEBKIT_SCRIPT_DIALOG_PROMPT:
                // A prompt without text set gives null, as a prompt that was cancelled does.
                if (text) {
                    webkit_script_dialog_prompt_set_text(
                        m_dialog, ToUtf8(std::u16string_view(text, SysStringLen(text))).c_str());
                }
                break;
            default:
                break;
        }
        // Within the signal the engine closes the dialog itself, with the answer set here,
        // when it lets go of it right after the handlers: a dialog closed now would be pulled
        // from under the engine, which still uses it.
        if (!m_withinSignal) webkit_script_dialog_close(m_dialog);
        Forget();
        return S_OK;
    }
    HRESULT dismiss() override { return answer(FALSE, nullptr); }

    // The delegate did not take the dialog: the engine goes on with it as if this object had
    // never been made, and it answers nothing any more.
    void Abandon() { Forget(); }
    // The signal handler returns; the delegate keeps this object to answer later.
    void LeaveSignal() { m_withinSignal = false; }

private:
    void Forget() {
        if (m_view) m_view->m_openDialogs.erase(this);
        m_view = nullptr;
        if (m_dialog) webkit_script_dialog_unref(m_dialog);
        m_dialog = nullptr;
    }

    WebView* m_view;
    WebKitScriptDialog* m_dialog;
    bool m_withinSignal = true;
};

void WebView::DismissScriptDialogs() {
    // Each answer takes itself out of the set.
    while (!m_openDialogs.empty()) (*m_openDialogs.begin())->dismiss();
}

gboolean WebView::OnScriptDialog(WebKitWebView*, WebKitScriptDialog* dialog, gpointer data) {
    auto* self = static_cast<WebView*>(data);
    if (!self->m_uiDelegate) return FALSE;
    WebScriptDialogKind kind = WebScriptDialogAlert;
    switch (webkit_script_dialog_get_dialog_type(dialog)) {
        case WEBKIT_SCRIPT_DIALOG_ALERT:
            kind = WebScriptDialogAlert;
            break;
        case WEBKIT_SCRIPT_DIALOG_CONFIRM:
            kind = WebScriptDialogConfirm;
            break;
        case WEBKIT_SCRIPT_DIALOG_PROMPT:
            kind = WebScriptDialogPrompt;
            break;
        default:
            // "Leave this page?" stays the engine's own dialog inside the view.
            return FALSE;
    }
    BSTR message = AllocBstr(webkit_script_dialog_get_message(dialog));
    if (!message) message = SysAllocString(u"");
    gboolean handled = FALSE;
    self->AddRef();
    IWebUIDelegatePrivate* later = nullptr;
    if (SUCCEEDED(self->m_uiDelegate->QueryInterface(IID_IWebUIDelegatePrivate,
                                                     reinterpret_cast<void**>(&later))) &&
        later) {
        BSTR defaultText = kind == WebScriptDialogPrompt
                               ? AllocBstr(webkit_script_dialog_prompt_get_default_text(dialog))
                               : nullptr;
        auto* answer = new ScriptDialogAnswer(self, dialog);
        if (SUCCEEDED(later->runJavaScriptDialogLater(self, kind, message, defaultText, answer))) {
            handled = TRUE;
        } else {
            answer->Abandon();
        }
        // A delegate that kept no reference has answered, or the release answers as dismissed.
        if (answer->RefCount() > 1) answer->LeaveSignal();
        answer->Release();
        later->Release();
        SysFreeString(defaultText);
    }
    if (!handled) {
        switch (kind) {
            case WebScriptDialogAlert:
                handled = SUCCEEDED(
                    self->m_uiDelegate->runJavaScriptAlertPanelWithMessage(self, message));
                break;
            case WebScriptDialogConfirm: {
                BOOL answer = FALSE;
                handled = SUCCEEDED(self->m_uiDelegate->runJavaScriptConfirmPanelWithMessage(
                    self, message, &answer));
                if (handled) webkit_script_dialog_confirm_set_confirmed(dialog, answer != FALSE);
                break;
            }
            default:
                break;
        }
    }
    self->Release();
    SysFreeString(message);
    return handled;
}

}  // namespace wk
