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

}  // namespace

// Both contexts accept any server certificate. Every load the program makes asks for that
// (setAllowsAnyHTTPSCertificate), and the engine has no switch per request, so it is set for
// the whole context. In the scan context it is what a scan needs: the tool lists what a page
// loads, and a page served with a self-signed or expired certificate is to be listed rather
// than stop at the engine's error page. That context keeps nothing of the user's (its data
// is ephemeral), so there is nothing there for a server that is not who it says to read.
WebKitWebContext* ContextFor(WebViewContextKind kind) {
    if (kind == WebViewContextBridge) {
        if (!g_bridgeContext) {
            WebKitWebsiteDataManager* manager = MakePersistentDataManager();
            webkit_website_data_manager_set_tls_errors_policy(manager,
                                                              WEBKIT_TLS_ERRORS_POLICY_IGNORE);
            g_bridgeContext = webkit_web_context_new_with_website_data_manager(manager);
            g_object_unref(manager);
            if (!g_moduleDirectory.empty()) {
                webkit_web_context_set_web_extensions_directory(g_bridgeContext,
                                                                g_moduleDirectory.c_str());
                if (g_moduleData) {
                    webkit_web_context_set_web_extensions_initialization_user_data(g_bridgeContext,
                                                                                   g_moduleData);
                }
            }
        }
        return g_bridgeContext;
    }
    if (!g_scanContext) {
        // Scanned pages keep nothing between runs of the program.
        WebKitWebsiteDataManager* manager = webkit_website_data_manager_new_ephemeral();
        webkit_website_data_manager_set_tls_errors_policy(manager, WEBKIT_TLS_ERRORS_POLICY_IGNORE);
        g_scanContext = webkit_web_context_new_with_website_data_manager(manager);
        g_object_unref(manager);
        // The service answers for the scan session's cookies from a copy kept from its start.
        WatchCookies(g_scanContext);
    }
    return g_scanContext;
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
