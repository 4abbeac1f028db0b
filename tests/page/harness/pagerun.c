// Dev-only: shows a page in a bare WebKitGTK view with the settings the program gives its
// main window (web security off, local storage on), injects scripts at document start,
// waits until a script expression yields a string, prints it, and can save a snapshot.
// It lets the page be looked at and checked without the program.
//
//   gcc -o pagerun pagerun.c $(pkg-config --cflags --libs webkit2gtk-4.1)
//   xvfb-run -a ./pagerun file:///.../index.html --inject fake-service.js
//       --inject dom-checks.js [--data DIR] [--snapshot out.png] [--size 1200x800] [--dark]
//       [--done EXPR] [--timeout SECONDS]
// (one command line).
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <webkit2/webkit2.h>

static const char* snapshotPath = NULL;
static const char* doneExpression = "window.__done";
static WebKitWebView* view;
static GMainLoop* loop;
static int exitCode = 1;

static void OnSnapshot(GObject* source, GAsyncResult* result, gpointer data) {
    GError* error = NULL;
    cairo_surface_t* surface = webkit_web_view_get_snapshot_finish(view, result, &error);
    if (surface) {
        cairo_surface_write_to_png(surface, snapshotPath);
        cairo_surface_destroy(surface);
    } else {
        fprintf(stderr, "snapshot failed: %s\n", error->message);
        g_error_free(error);
    }
    g_main_loop_quit(loop);
}

static gboolean Poll(gpointer data);

static void OnEvaluated(GObject* source, GAsyncResult* result, gpointer data) {
    GError* error = NULL;
    JSCValue* value = webkit_web_view_evaluate_javascript_finish(view, result, &error);
    if (value && jsc_value_is_string(value)) {
        char* text = jsc_value_to_string(value);
        printf("%s\n", text);
        fflush(stdout);
        g_free(text);
        exitCode = 0;
        if (snapshotPath)
            webkit_web_view_get_snapshot(view, WEBKIT_SNAPSHOT_REGION_VISIBLE,
                                         WEBKIT_SNAPSHOT_OPTIONS_NONE, NULL, OnSnapshot, NULL);
        else
            g_main_loop_quit(loop);
        return;
    }
    if (error) g_error_free(error);
    g_timeout_add(100, Poll, NULL);
}

static gboolean Poll(gpointer data) {
    webkit_web_view_evaluate_javascript(view, doneExpression, -1, NULL, NULL, NULL, OnEvaluated,
                                        NULL);
    return G_SOURCE_REMOVE;
}

static void OnLoadChanged(WebKitWebView* v, WebKitLoadEvent event, gpointer data) {
    if (event == WEBKIT_LOAD_FINISHED) g_timeout_add(50, Poll, NULL);
}

static gboolean OnTimeout(gpointer data) {
    fprintf(stderr, "timeout\n");
    exitCode = 2;
    g_main_loop_quit(loop);
    return G_SOURCE_REMOVE;
}

int main(int argc, char** argv) {
    gtk_init(&argc, &argv);
    const char* url = NULL;
    const char* dataDir = NULL;
    int width = 1200, height = 800, dark = 0, timeoutSeconds = 30;
    GPtrArray* scripts = g_ptr_array_new();
    for (int i = 1; i < argc; i++) {
        if (!strcmp(argv[i], "--inject") && i + 1 < argc)
            g_ptr_array_add(scripts, argv[++i]);
        else if (!strcmp(argv[i], "--snapshot") && i + 1 < argc)
            snapshotPath = argv[++i];
        else if (!strcmp(argv[i], "--data") && i + 1 < argc)
            dataDir = argv[++i];
        else if (!strcmp(argv[i], "--size") && i + 1 < argc)
            sscanf(argv[++i], "%dx%d", &width, &height);
        else if (!strcmp(argv[i], "--timeout") && i + 1 < argc)
            timeoutSeconds = atoi(argv[++i]);
        else if (!strcmp(argv[i], "--done") && i + 1 < argc)
            doneExpression = argv[++i];
        else if (!strcmp(argv[i], "--dark"))
            dark = 1;
        else
            url = argv[i];
    }
    if (!url) {
        fprintf(stderr, "usage: pagerun URL [options]\n");
        return 1;
    }
    // The engine follows GTK's preference for prefers-color-scheme.
    if (dark)
        g_object_set(gtk_settings_get_default(), "gtk-application-prefer-dark-theme", TRUE, NULL);
    char* base = dataDir ? g_strdup(dataDir) : g_dir_make_tmp("pagerun-XXXXXX", NULL);
    WebKitWebsiteDataManager* manager = webkit_website_data_manager_new(
        "base-data-directory", base, "base-cache-directory", base, NULL);
    WebKitWebContext* context = webkit_web_context_new_with_website_data_manager(manager);
    WebKitUserContentManager* content = webkit_user_content_manager_new();
    for (guint i = 0; i < scripts->len; i++) {
        char* source = NULL;
        if (!g_file_get_contents(scripts->pdata[i], &source, NULL, NULL)) {
            fprintf(stderr, "cannot read %s\n", (char*)scripts->pdata[i]);
            return 1;
        }
        WebKitUserScript* script =
            webkit_user_script_new(source, WEBKIT_USER_CONTENT_INJECT_TOP_FRAME,
                                   WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, NULL, NULL);
        webkit_user_content_manager_add_script(content, script);
        g_free(source);
    }
    view = WEBKIT_WEB_VIEW(g_object_new(WEBKIT_TYPE_WEB_VIEW, "web-context", context,
                                        "user-content-manager", content, NULL));
    g_object_set(webkit_web_view_get_settings(view), "enable-html5-local-storage", TRUE,
                 "disable-web-security", TRUE, "enable-write-console-messages-to-stdout", TRUE,
                 "allow-file-access-from-file-urls", TRUE, NULL);
    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_default_size(GTK_WINDOW(window), width, height);
    gtk_container_add(GTK_CONTAINER(window), GTK_WIDGET(view));
    gtk_widget_show_all(window);
    g_signal_connect(view, "load-changed", G_CALLBACK(OnLoadChanged), NULL);
    webkit_web_view_load_uri(view, url);
    loop = g_main_loop_new(NULL, FALSE);
    g_timeout_add_seconds(timeoutSeconds, OnTimeout, NULL);
    g_main_loop_run(loop);
    g_free(base);
    return exitCode;
}
