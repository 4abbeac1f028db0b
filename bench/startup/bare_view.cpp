// The yardstick of the start-up benchmark: the least a WebKitGTK program does to show a local
// page, a window with one web view on Html/index.html beside the executable.

#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

int main(int argc, char** argv) {
    gtk_init(&argc, &argv);

    gchar* exe = g_file_read_link("/proc/self/exe", nullptr);
    if (!exe) return 1;
    gchar* folder = g_path_get_dirname(exe);
    gchar* page = g_build_filename(folder, "Html", "index.html", nullptr);
    gchar* uri = g_filename_to_uri(page, nullptr, nullptr);

    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_title(GTK_WINDOW(window), "Bare view");
    gtk_window_set_default_size(GTK_WINDOW(window), 1000, 700);
    GtkWidget* view = webkit_web_view_new();
    gtk_container_add(GTK_CONTAINER(window), view);
    g_signal_connect(window, "destroy", G_CALLBACK(gtk_main_quit), nullptr);
    webkit_web_view_load_uri(WEBKIT_WEB_VIEW(view), uri);
    gtk_widget_show_all(window);
    gtk_main();

    g_free(uri);
    g_free(page);
    g_free(folder);
    g_free(exe);
    return 0;
}
