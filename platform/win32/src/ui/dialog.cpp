// Message boxes as modal GTK message dialogs.
#include <gtk/gtk.h>

#include <string>

#include "win32/gtkhandles.h"
#include "win32/text.h"
#include "win32/windows.h"

int MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type) {
    GtkWidget* parent = win32::WidgetOf(owner);
    if (parent && !GTK_IS_WINDOW(parent)) parent = nullptr;
    const bool yesNo = (type & 0xF) == MB_YESNO;
    GtkWidget* dialog = gtk_message_dialog_new(
        parent ? GTK_WINDOW(parent) : nullptr, GTK_DIALOG_MODAL,
        yesNo ? GTK_MESSAGE_QUESTION : GTK_MESSAGE_INFO,
        yesNo ? GTK_BUTTONS_YES_NO : GTK_BUTTONS_OK, "%s", win32::ToUtf8(text).c_str());
    std::string title = win32::ToUtf8(caption);
    gtk_window_set_title(GTK_WINDOW(dialog), title.empty() ? "Error" : title.c_str());
    if (type & MB_SETFOREGROUND) gtk_window_set_keep_above(GTK_WINDOW(dialog), TRUE);
    // As on Windows, the first button (OK or Yes) is the default one that Return presses.
    const gint firstButton = yesNo ? GTK_RESPONSE_YES : GTK_RESPONSE_OK;
    gtk_dialog_set_default_response(GTK_DIALOG(dialog), firstButton);
    if (GtkWidget* button = gtk_dialog_get_widget_for_response(GTK_DIALOG(dialog), firstButton)) {
        gtk_widget_grab_focus(button);
    }
    gint response = gtk_dialog_run(GTK_DIALOG(dialog));
    gtk_widget_destroy(dialog);
    if (yesNo) return response == GTK_RESPONSE_YES ? IDYES : IDNO;
    return IDOK;
}
