// Message boxes over GTK dialogs: MessageBoxW, which waits for its answer in a nested loop
// modal to its owner, and MessageBoxLater (win32/dialogs.h), which waits for nobody.
#include <gtk/gtk.h>

#include <algorithm>
#include <cstddef>
#include <map>
#include <memory>
#include <string>
#include <utility>

#include "win32/dialogs.h"
#include "win32/gtkhandles.h"
#include "win32/text.h"
#include "win32/windows.h"

namespace {

// The top-level GtkWindow of a window handle, or null.
GtkWindow* OwnerWindow(HWND owner) {
    GtkWidget* widget = win32::WidgetOf(owner);
    return widget && GTK_IS_WINDOW(widget) ? GTK_WINDOW(widget) : nullptr;
}

// The answer a box gives for a GTK response: the button, or what Escape and closing the box
// mean (OK for an OK box, No for a yes/no box).
int ButtonFor(gint response, bool yesNo) {
    if (!yesNo) return IDOK;
    return response == GTK_RESPONSE_YES ? IDYES : IDNO;
}

// Whether a break may go before this unit: not inside a surrogate pair, nor before a
// combining mark, which belongs to the character before it.
bool MayBreakBefore(char16_t c) {
    return !(c >= 0xDC00 && c <= 0xDFFF) && !(c >= 0x0300 && c <= 0x036F) &&
           !(c >= 0x1AB0 && c <= 0x1AFF) && !(c >= 0x1DC0 && c <= 0x1DFF) &&
           !(c >= 0x20D0 && c <= 0x20FF) && !(c >= 0xFE20 && c <= 0xFE2F);
}

// The text with a zero-width space in every run of more than kLongestRun units without a
// space. Pango lays out a run that can only be broken between characters in time that grows
// with the square of its length (seconds for a few thousand characters), and a page's
// message is often one long word; a run of this length wraps at once.
constexpr size_t kLongestRun = 48;
std::u16string WithBreaks(std::u16string_view text) {
    std::u16string out;
    out.reserve(text.size() + text.size() / kLongestRun + 1);
    size_t run = 0;
    for (char16_t c : text) {
        const bool space = c == u' ' || c == u'\t' || c == u'\n' || c == u'\r' || c == u'\u200B';
        if (space) {
            run = 0;
        } else if (run >= kLongestRun && MayBreakBefore(c)) {
            out.push_back(u'\u200B');
            run = 0;
        }
        out.push_back(c);
        if (!space) ++run;
    }
    return out;
}

// Up to this much text a box shows it whole, without a scroller (about a dozen lines).
constexpr size_t kShortText = 800;
constexpr std::ptrdiff_t kShortTextLines = 12;

struct BoxWidgets {
    GtkWidget* dialog = nullptr;
    GtkWidget* check = nullptr;  // null without a check box
};

// A dialog laid out as a message box: the text (cut to what a box shows, selectable so that
// it can be copied, scrolled when it is tall), the optional check box, then the buttons,
// the first of which is the default that Return presses.
BoxWidgets MakeBox(GtkWindow* parent, LPCWSTR text, LPCWSTR caption, UINT type, LPCWSTR checkText) {
    const bool yesNo = (type & 0xF) == MB_YESNO;
    BoxWidgets box;
    box.dialog = gtk_dialog_new();
    GtkWindow* window = GTK_WINDOW(box.dialog);
    const std::string title = win32::ToUtf8(caption);
    gtk_window_set_title(window, title.empty() ? "Error" : title.c_str());
    gtk_window_set_resizable(window, FALSE);
    gtk_window_set_skip_taskbar_hint(window, TRUE);
    gtk_window_set_type_hint(window, GDK_WINDOW_TYPE_HINT_DIALOG);
    if (parent) {
        gtk_window_set_transient_for(window, parent);
        gtk_window_set_position(window, GTK_WIN_POS_CENTER_ON_PARENT);
        // The box belongs to its owner's group, so that a modal box holds that window only.
        gtk_window_group_add_window(gtk_window_get_group(parent), window);
    }
    if (type & MB_SETFOREGROUND) gtk_window_set_keep_above(window, TRUE);

    GtkWidget* content = gtk_dialog_get_content_area(GTK_DIALOG(box.dialog));
    gtk_box_set_spacing(GTK_BOX(content), 12);
    gtk_container_set_border_width(GTK_CONTAINER(content), 12);

    const std::u16string shown = win32::MessageBoxText(text ? std::u16string_view(text) : u"");
    GtkWidget* label = gtk_label_new(win32::ToUtf8(WithBreaks(shown)).c_str());
    gtk_label_set_line_wrap(GTK_LABEL(label), TRUE);
    // A word longer than the line (a long address, a run without spaces) breaks anywhere.
    gtk_label_set_line_wrap_mode(GTK_LABEL(label), PANGO_WRAP_WORD_CHAR);
    gtk_label_set_max_width_chars(GTK_LABEL(label), 72);
    gtk_label_set_selectable(GTK_LABEL(label), TRUE);
    gtk_label_set_xalign(GTK_LABEL(label), 0.0f);
    gtk_label_set_yalign(GTK_LABEL(label), 0.0f);
    // A long text scrolls, so that the box never grows past a screenful. A short one is not
    // put in a scroller at all: a scroller asks for room for its scroll bar even when the
    // text needs none.
    const bool tall = shown.size() > kShortText ||
                      std::count(shown.begin(), shown.end(), u'\n') > kShortTextLines;
    if (tall) {
        GtkWidget* scroller = gtk_scrolled_window_new(nullptr, nullptr);
        gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(scroller), GTK_POLICY_NEVER,
                                       GTK_POLICY_AUTOMATIC);
        gtk_scrolled_window_set_propagate_natural_height(GTK_SCROLLED_WINDOW(scroller), TRUE);
        gtk_scrolled_window_set_propagate_natural_width(GTK_SCROLLED_WINDOW(scroller), TRUE);
        gtk_scrolled_window_set_max_content_height(GTK_SCROLLED_WINDOW(scroller), 420);
        gtk_container_add(GTK_CONTAINER(scroller), label);
        gtk_box_pack_start(GTK_BOX(content), scroller, TRUE, TRUE, 0);
    } else {
        gtk_box_pack_start(GTK_BOX(content), label, TRUE, TRUE, 0);
    }

    if (checkText && *checkText) {
        box.check = gtk_check_button_new_with_mnemonic(win32::ToUtf8(checkText).c_str());
        gtk_box_pack_start(GTK_BOX(content), box.check, FALSE, FALSE, 0);
    }
    gtk_widget_show_all(content);

    if (yesNo) {
        gtk_dialog_add_button(GTK_DIALOG(box.dialog), "_Yes", GTK_RESPONSE_YES);
        gtk_dialog_add_button(GTK_DIALOG(box.dialog), "_No", GTK_RESPONSE_NO);
    } else {
        gtk_dialog_add_button(GTK_DIALOG(box.dialog), "_OK", GTK_RESPONSE_OK);
    }
    // As on Windows, the first button (OK or Yes) is the default one that Return presses.
    const gint firstButton = yesNo ? GTK_RESPONSE_YES : GTK_RESPONSE_OK;
    gtk_dialog_set_default_response(GTK_DIALOG(box.dialog), firstButton);
    if (GtkWidget* button = gtk_dialog_get_widget_for_response(GTK_DIALOG(box.dialog), firstButton))
        gtk_widget_grab_focus(button);
    return box;
}

// ---- Boxes that wait for nobody -------------------------------------------------------------

struct LaterBox {
    win32::MessageBoxHandle handle = 0;
    GtkWidget* ownerWidget = nullptr;
    gulong ownerDestroyHandler = 0;
    BoxWidgets widgets;
    bool yesNo = false;
    win32::MessageBoxDone done;
};

std::map<win32::MessageBoxHandle, std::unique_ptr<LaterBox>>& OpenBoxes() {
    static std::map<win32::MessageBoxHandle, std::unique_ptr<LaterBox>> boxes;
    return boxes;
}

// The owner's client area takes no input while it owns an open box, as a window that owns a
// message box is disabled on Windows. Its frame stays live, so its close button still works.
void UpdateOwnerInput(GtkWidget* ownerWidget) {
    if (!ownerWidget || !GTK_IS_BIN(ownerWidget)) return;
    GtkWidget* client = gtk_bin_get_child(GTK_BIN(ownerWidget));
    if (!client) return;
    bool owns = false;
    for (const auto& entry : OpenBoxes()) owns = owns || entry.second->ownerWidget == ownerWidget;
    gtk_widget_set_sensitive(client, owns ? FALSE : TRUE);
}

// Takes the box out of the table, destroys its dialog, gives its owner back its input and then
// tells the owner the answer: `done` may open the next box or close others.
void Finish(win32::MessageBoxHandle handle, int button, bool checked) {
    auto& boxes = OpenBoxes();
    auto it = boxes.find(handle);
    if (it == boxes.end()) return;
    std::unique_ptr<LaterBox> box = std::move(it->second);
    boxes.erase(it);
    if (box->ownerWidget) {
        g_signal_handler_disconnect(box->ownerWidget, box->ownerDestroyHandler);
        UpdateOwnerInput(box->ownerWidget);
        g_object_unref(box->ownerWidget);
    }
    gtk_widget_destroy(box->widgets.dialog);
    if (box->done) box->done(button, checked);
}

void OnLaterResponse(GtkDialog*, gint response, gpointer data) {
    auto handle = reinterpret_cast<win32::MessageBoxHandle>(data);
    auto& boxes = OpenBoxes();
    auto it = boxes.find(handle);
    if (it == boxes.end()) return;
    const LaterBox& box = *it->second;
    const bool checked = box.widgets.check && gtk_toggle_button_get_active(
                                                  GTK_TOGGLE_BUTTON(box.widgets.check)) != FALSE;
    Finish(handle, ButtonFor(response, box.yesNo), checked);
}

// The owner goes before its box was answered: the box goes with it, answered as dismissed.
void OnOwnerDestroyed(GtkWidget*, gpointer data) {
    auto handle = reinterpret_cast<win32::MessageBoxHandle>(data);
    auto& boxes = OpenBoxes();
    auto it = boxes.find(handle);
    if (it == boxes.end()) return;
    Finish(handle, ButtonFor(GTK_RESPONSE_DELETE_EVENT, it->second->yesNo), false);
}

}  // namespace

int MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type) {
    BoxWidgets box = MakeBox(OwnerWindow(owner), text, caption, type, nullptr);
    gint response = gtk_dialog_run(GTK_DIALOG(box.dialog));
    gtk_widget_destroy(box.dialog);
    return ButtonFor(response, (type & 0xF) == MB_YESNO);
}

namespace win32 {

MessageBoxHandle MessageBoxLater(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type,
                                 LPCWSTR checkText, MessageBoxDone done) {
    if (!gdk_display_get_default()) return 0;
    static MessageBoxHandle lastHandle = 0;
    auto box = std::make_unique<LaterBox>();
    box->handle = ++lastHandle;
    box->yesNo = (type & 0xF) == MB_YESNO;
    box->done = std::move(done);
    GtkWindow* parent = OwnerWindow(owner);
    box->widgets = MakeBox(parent, text, caption, type, checkText);
    gpointer data = reinterpret_cast<gpointer>(box->handle);
    // Not modal in GTK's sense: a grab would also swallow the owner's close button. The hint
    // still tells a window manager that the box belongs in front of its owner.
    g_signal_connect(box->widgets.dialog, "response", G_CALLBACK(OnLaterResponse), data);
    if (parent) {
        box->ownerWidget = GTK_WIDGET(g_object_ref(parent));
        box->ownerDestroyHandler =
            g_signal_connect(parent, "destroy", G_CALLBACK(OnOwnerDestroyed), data);
    }
    GtkWidget* dialog = box->widgets.dialog;
    GtkWidget* ownerWidget = box->ownerWidget;
    const MessageBoxHandle handle = box->handle;
    OpenBoxes().emplace(handle, std::move(box));
    UpdateOwnerInput(ownerWidget);
    gtk_widget_realize(dialog);
    if (GdkWindow* gdkWindow = gtk_widget_get_window(dialog))
        gdk_window_set_modal_hint(gdkWindow, TRUE);
    gtk_window_present(GTK_WINDOW(dialog));
    return handle;
}

bool CloseMessageBox(MessageBoxHandle handle) {
    auto& boxes = OpenBoxes();
    auto it = boxes.find(handle);
    if (it == boxes.end()) return false;
    Finish(handle, ButtonFor(GTK_RESPONSE_DELETE_EVENT, it->second->yesNo), false);
    return true;
}

}  // namespace win32
