// The yardstick of the scan benchmark: one web view in an ephemeral context (as the program's
// scan window has), with nothing watching its loads. It reads addresses from standard input,
// one a line, loads each in turn and writes, for each, "loaded <start> <finish>" (wall-clock
// microseconds, so that they compare with times taken in pages) or "failed <reason>" on
// standard output. It ends at the end of its input.

#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <cstdio>

namespace {

struct Loader {
    WebKitWebView* view = nullptr;
    gint64 started = 0;
    bool failed = false;
};

void OnLoadChanged(WebKitWebView*, WebKitLoadEvent event, gpointer data) {
    auto* loader = static_cast<Loader*>(data);
    if (event != WEBKIT_LOAD_FINISHED || loader->started == 0) return;
    const gint64 finished = g_get_real_time();
    if (!loader->failed)
        std::printf("loaded %" G_GINT64_FORMAT " %" G_GINT64_FORMAT "\n", loader->started,
                    finished);
    loader->started = 0;
    std::fflush(stdout);
}

gboolean OnLoadFailed(WebKitWebView*, WebKitLoadEvent, gchar*, GError* error, gpointer data) {
    auto* loader = static_cast<Loader*>(data);
    loader->failed = true;
    std::printf("failed %s\n", error ? error->message : "?");
    std::fflush(stdout);
    return FALSE;
}

gboolean OnInput(GIOChannel* channel, GIOCondition, gpointer data) {
    auto* loader = static_cast<Loader*>(data);
    gchar* line = nullptr;
    gsize length = 0;
    const GIOStatus status = g_io_channel_read_line(channel, &line, &length, nullptr, nullptr);
    if (status == G_IO_STATUS_EOF || status == G_IO_STATUS_ERROR) {
        gtk_main_quit();
        return G_SOURCE_REMOVE;
    }
    if (line) {
        g_strstrip(line);
        if (*line) {
            loader->failed = false;
            loader->started = g_get_real_time();
            webkit_web_view_load_uri(loader->view, line);
        }
        g_free(line);
    }
    return G_SOURCE_CONTINUE;
}

}  // namespace

int main(int argc, char** argv) {
    gtk_init(&argc, &argv);
    Loader loader;
    WebKitWebContext* context = webkit_web_context_new_ephemeral();
    loader.view = WEBKIT_WEB_VIEW(webkit_web_view_new_with_context(context));
    g_signal_connect(loader.view, "load-changed", G_CALLBACK(OnLoadChanged), &loader);
    g_signal_connect(loader.view, "load-failed", G_CALLBACK(OnLoadFailed), &loader);

    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_title(GTK_WINDOW(window), "Bare loader");
    // The size the program gives its scan window.
    gtk_window_set_default_size(GTK_WINDOW(window), 1100, 760);
    gtk_container_add(GTK_CONTAINER(window), GTK_WIDGET(loader.view));
    g_signal_connect(window, "destroy", G_CALLBACK(gtk_main_quit), nullptr);
    gtk_widget_show_all(window);

    GIOChannel* input = g_io_channel_unix_new(0);
    g_io_add_watch(input, static_cast<GIOCondition>(G_IO_IN | G_IO_HUP | G_IO_ERR), OnInput,
                   &loader);
    gtk_main();
    g_io_channel_unref(input);
    g_object_unref(context);
    return 0;
}
