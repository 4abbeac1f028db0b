// The yardstick of the call benchmark: a window with one web view whose content manager has a
// script message handler with a reply, named "trawlet". The handler answers every message at
// once with the text the program's service answers for "pause". It loads the address given
// as its only argument.

#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

namespace {

constexpr const char* kAnswer = "{\"returnValue\":1}\n";

gboolean OnMessage(WebKitUserContentManager*, JSCValue* value, WebKitScriptMessageReply* reply,
                   gpointer) {
    JSCValue* answer = jsc_value_new_string(jsc_value_get_context(value), kAnswer);
    webkit_script_message_reply_return_value(reply, answer);
    g_object_unref(answer);
    return TRUE;
}

}  // namespace

int main(int argc, char** argv) {
    gtk_init(&argc, &argv);
    if (argc < 2) {
        g_printerr("usage: %s <address>\n", argv[0]);
        return 2;
    }

    WebKitUserContentManager* manager = webkit_user_content_manager_new();
    if (!webkit_user_content_manager_register_script_message_handler_with_reply(manager, "trawlet",
                                                                                nullptr)) {
        g_printerr("cannot register the message handler\n");
        return 1;
    }
    g_signal_connect(manager, "script-message-with-reply-received::trawlet", G_CALLBACK(OnMessage),
                     nullptr);

    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_title(GTK_WINDOW(window), "Engine messages");
    gtk_window_set_default_size(GTK_WINDOW(window), 1000, 700);
    GtkWidget* view =
        GTK_WIDGET(g_object_new(WEBKIT_TYPE_WEB_VIEW, "user-content-manager", manager, nullptr));
    g_object_unref(manager);
    gtk_container_add(GTK_CONTAINER(window), view);
    g_signal_connect(window, "destroy", G_CALLBACK(gtk_main_quit), nullptr);
    webkit_web_view_load_uri(WEBKIT_WEB_VIEW(view), argv[1]);
    gtk_widget_show_all(window);
    gtk_main();
    return 0;
}
