#include "channel/ModuleInit.h"

namespace channel {

GVariant* MakeModuleInitData(const std::string& address, const std::string& secret,
                             const std::string& pageFolder) {
    return g_variant_new(kModuleInitType, address.c_str(), secret.c_str(), pageFolder.c_str());
}

bool ParseModuleInitData(const GVariant* data, std::string& address, std::string& secret,
                         std::string& pageFolder) {
    // WebKit hands the data over as const; reading it does not change it.
    auto* variant = const_cast<GVariant*>(data);
    if (variant == nullptr || !g_variant_is_of_type(variant, G_VARIANT_TYPE(kModuleInitType)))
        return false;
    const gchar* a = nullptr;
    const gchar* s = nullptr;
    const gchar* f = nullptr;
    g_variant_get(variant, "(&s&s&s)", &a, &s, &f);
    address = a;
    secret = s;
    pageFolder = f;
    return true;
}

bool IsInPageFolder(const std::string& address, const std::string& pageFolder) {
    if (pageFolder.empty() || pageFolder[0] != '/') return false;
    if (g_ascii_strncasecmp(address.c_str(), "file:", 5) != 0) return false;
    const std::string bare = address.substr(0, address.find_first_of("?#"));
    gchar* host = nullptr;
    gchar* path = g_filename_from_uri(bare.c_str(), &host, nullptr);
    const bool localHost = host == nullptr || *host == '\0' || g_str_equal(host, "localhost");
    g_free(host);
    if (path == nullptr) return false;
    gchar* file = g_canonicalize_filename(path, "/");
    gchar* folder = g_canonicalize_filename(pageFolder.c_str(), "/");
    g_free(path);
    std::string prefix = folder;
    if (prefix.empty() || prefix.back() != '/') prefix += '/';
    const bool inside = localHost && g_str_has_prefix(file, prefix.c_str());
    g_free(file);
    g_free(folder);
    return inside;
}

}  // namespace channel
