// Downloads that a view's page starts. The engine picks the file (the user's download folder,
// a free name) and writes it; the view's frame load delegate hears whether it was written and
// where, so that the page can say so.
#include <string>

#include "contexts.h"
#include "view.h"

namespace wk {
namespace {

struct DownloadWatch {
    std::string path;
    std::string failure;
};

// The engine gives the destination as a file address; the page shows a path.
std::string DisplayPath(const char* uri) {
    if (!uri || !*uri) return {};
    gchar* file = g_filename_from_uri(uri, nullptr, nullptr);
    if (!file) return uri;
    gchar* display = g_filename_display_name(file);
    std::string path = display ? display : "";
    g_free(display);
    g_free(file);
    return path;
}

std::string SuggestedName(WebKitDownload* download) {
    WebKitURIResponse* response = webkit_download_get_response(download);
    const char* name = response ? webkit_uri_response_get_suggested_filename(response) : nullptr;
    return name ? name : "";
}

WebView* ViewOf(WebKitDownload* download) {
    WebKitWebView* widget = webkit_download_get_web_view(download);
    if (!widget) return nullptr;
    for (WebView* view : LiveViews()) {
        if (view->widget() == widget) return view;
    }
    return nullptr;
}

void OnCreatedDestination(WebKitDownload*, gchar* destination, gpointer data) {
    static_cast<DownloadWatch*>(data)->path = DisplayPath(destination);
}

// The engine saves into the user's download folder. When that is not a folder it only says
// that the load was cancelled, which tells the user nothing, so the reason is found here and
// the engine is left to fail as it does.
gboolean OnDecideDestination(WebKitDownload*, gchar*, gpointer data) {
    auto* watch = static_cast<DownloadWatch*>(data);
    const char* folder = g_get_user_special_dir(G_USER_DIRECTORY_DOWNLOAD);
    if (!folder) folder = g_get_home_dir();
    if (folder && !g_file_test(folder, G_FILE_TEST_IS_DIR)) {
        gchar* display = g_filename_display_name(folder);
        watch->failure = std::string("the download folder ") + (display ? display : "") +
                         " is not a folder that can be written";
        g_free(display);
    }
    return FALSE;
}

void OnFailed(WebKitDownload*, GError* error, gpointer data) {
    auto* watch = static_cast<DownloadWatch*>(data);
    if (!watch->failure.empty()) return;
    watch->failure = error && error->message && *error->message ? error->message : "failed";
}

// "finished" comes after "failed" too, so it is the one place that tells the view.
void OnFinished(WebKitDownload* download, gpointer data) {
    auto* watch = static_cast<DownloadWatch*>(data);
    if (watch->failure.empty() && watch->path.empty()) {
        watch->path = DisplayPath(webkit_download_get_destination(download));
    }
    if (WebView* view = ViewOf(download)) {
        view->DownloadEnded(SuggestedName(download), watch->path, watch->failure);
    }
}

void OnDownloadStarted(WebKitWebContext*, WebKitDownload* download, gpointer) {
    auto* watch = new DownloadWatch;
    g_signal_connect(download, "decide-destination", G_CALLBACK(OnDecideDestination), watch);
    g_signal_connect(download, "created-destination", G_CALLBACK(OnCreatedDestination), watch);
    g_signal_connect(download, "failed", G_CALLBACK(OnFailed), watch);
    g_signal_connect_data(
        download, "finished", G_CALLBACK(OnFinished), watch,
        [](gpointer w, GClosure*) { delete static_cast<DownloadWatch*>(w); }, GConnectFlags(0));
}

}  // namespace

void WatchDownloads(WebKitWebContext* context) {
    g_signal_connect(context, "download-started", G_CALLBACK(OnDownloadStarted), nullptr);
}

void WebView::DownloadEnded(const std::string& suggestedName, const std::string& path,
                            const std::string& failure) {
    if (!m_frameLoadDelegate) return;
    AddRef();
    IWebDownloadDelegate* delegate = nullptr;
    if (SUCCEEDED(m_frameLoadDelegate->QueryInterface(IID_IWebDownloadDelegate,
                                                      reinterpret_cast<void**>(&delegate))) &&
        delegate) {
        BSTR name = AllocBstr(suggestedName.c_str());
        if (failure.empty()) {
            BSTR where = AllocBstr(path.c_str());
            delegate->didFinishDownload(this, name, where);
            SysFreeString(where);
        } else {
            BSTR reason = AllocBstr(failure.c_str());
            delegate->didFailDownload(this, name, reason);
            SysFreeString(reason);
        }
        SysFreeString(name);
        delegate->Release();
    }
    Release();
}

}  // namespace wk
