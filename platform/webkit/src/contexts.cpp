// The web contexts views run in, and the settings each view gets from the standard
// preferences.
#include "contexts.h"

#include <string>

#include "cookies.h"
#include "internal.h"

namespace wk {
namespace {

WebKitWebContext* g_bridgeContext = nullptr;
WebKitWebContext* g_scanContext = nullptr;
std::string g_moduleDirectory;
GVariant* g_moduleData = nullptr;

WebKitWebsiteDataManager* MakePersistentDataManager() {
    const Preferences& prefs = StandardPreferenceValues();
    std::string data = std::string(g_get_user_data_dir()) + "/trawlet/webkit";
    std::string cache = std::string(g_get_user_cache_dir()) + "/trawlet/webkit";
    if (prefs.localStoragePath.empty()) {
        return webkit_website_data_manager_new("base-data-directory", data.c_str(),
                                               "base-cache-directory", cache.c_str(), nullptr);
    }
    return webkit_website_data_manager_new(
        "base-data-directory", data.c_str(), "base-cache-directory", cache.c_str(),
        "local-storage-directory", prefs.localStoragePath.c_str(), nullptr);
}

WebKitWebContext* MakeBridgeContext() {
    WebKitWebsiteDataManager* manager = MakePersistentDataManager();
    webkit_website_data_manager_set_tls_errors_policy(manager, WEBKIT_TLS_ERRORS_POLICY_IGNORE);
    WebKitWebContext* context = webkit_web_context_new_with_website_data_manager(manager);
    g_object_unref(manager);
    // The program's page saves its exports as downloads and wants to say where they went; a
    // scanned page's downloads are left to the engine as before.
    WatchDownloads(context);
    if (!g_moduleDirectory.empty()) {
        webkit_web_context_set_web_extensions_directory(context, g_moduleDirectory.c_str());
        if (g_moduleData)
            webkit_web_context_set_web_extensions_initialization_user_data(context, g_moduleData);
    }
    return context;
}

WebKitWebContext* MakeScanContext() {
    // Scanned pages keep nothing between runs of the program.
    WebKitWebsiteDataManager* manager = webkit_website_data_manager_new_ephemeral();
    webkit_website_data_manager_set_tls_errors_policy(manager, WEBKIT_TLS_ERRORS_POLICY_IGNORE);
    WebKitWebContext* context = webkit_web_context_new_with_website_data_manager(manager);
    g_object_unref(manager);
    // Anything that needs the context's network process starts it now, while no persistent
    // data manager exists (see ContextFor). Looking up an address literal costs nothing.
    webkit_web_context_prefetch_dns(context, "127.0.0.1");
    // The service answers for the scan session's cookies from a copy kept from its start.
    WatchCookies(context);
    return context;
}

}  // namespace

// Both contexts accept any server certificate. Every load the program makes asks for that
// (setAllowsAnyHTTPSCertificate), and the engine has no switch per request, so it is set for
// the whole context. In the scan context it is what a scan needs: the tool lists what a page
// loads, and a page served with a self-signed or expired certificate is to be listed rather
// than stop at the engine's error page. That context keeps nothing of the user's (its data
// is ephemeral), so there is nothing there for a server that is not who it says to read.
//
// The scan context is always made first, whichever view asks first. The engine gives every
// persistent data manager a network process of its own, but puts an ephemeral one into the
// network process of the first persistent manager that exists when it starts one. Made after
// the bridge context, the scan context would share the network process of the program's own
// page, which also keeps that page's local storage; a scanned page that starts a few hundred
// thousand loads keeps that process busy for minutes (the HTTP library files each queued
// request by a walk along its whole queue), and the program's page would wait as long for
// its own loads. Made first, scans have a network process to themselves.
// FIXME: should the scan context's network process end (a crash), the engine may put its
// next one into the bridge context's.
WebKitWebContext* ContextFor(WebViewContextKind kind) {
    if (!g_scanContext) g_scanContext = MakeScanContext();
    if (kind != WebViewContextBridge) return g_scanContext;
    if (!g_bridgeContext) g_bridgeContext = MakeBridgeContext();
    return g_bridgeContext;
}

bool IsBridgeContext(WebKitWebContext* context) {
    return context == g_bridgeContext;
}

void ApplyStandardPreferences(WebKitWebView* view) {
    const Preferences& prefs = StandardPreferenceValues();
    WebKitSettings* settings = webkit_web_view_get_settings(view);
    webkit_settings_set_enable_html5_local_storage(settings, prefs.localStorage);
    // The shared preferences (web security off) are meant for the program's own page: a local
    // file in the bridge context that reports to wherever the user points it, so its reads of
    // other origins and of local files must not be refused. A scanned page is a stranger's
    // code: every view of the scan context runs as a browser would run it, with cross-origin
    // reads under CORS and no access to local files, whatever the shared preferences say.
    const bool ownPage = IsBridgeContext(webkit_web_view_get_context(view));
    const bool relaxed = ownPage && !prefs.webSecurity;
    webkit_settings_set_disable_web_security(settings, relaxed);
    webkit_settings_set_allow_file_access_from_file_urls(settings, relaxed);
    webkit_settings_set_allow_universal_access_from_file_urls(settings, relaxed);
    // Pages may open windows without a user gesture, so that a scanned page's popups open
    // and are watched.
    webkit_settings_set_javascript_can_open_windows_automatically(settings, TRUE);
}

void ShutDownContexts() {
    StopWatchingCookies();
    if (g_bridgeContext) g_object_unref(g_bridgeContext);
    if (g_scanContext) g_object_unref(g_scanContext);
    g_bridgeContext = nullptr;
    g_scanContext = nullptr;
}

void SetBridgeModule(const char* directory, GVariant* data) {
    g_moduleDirectory = directory ? directory : "";
    if (g_moduleData) g_variant_unref(g_moduleData);
    g_moduleData = data ? g_variant_ref_sink(data) : nullptr;
}

}  // namespace wk

void shutDownWebKit() {
    wk::ShutDownContexts();
}

void WebKitSetBridgeModule(const char* directory, _GVariant* initializationData) {
    wk::SetBridgeModule(directory, initializationData);
}
