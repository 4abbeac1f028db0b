#include "channel/ModuleInit.h"

namespace channel {

GVariant* MakeModuleInitData(const std::string& address, const std::string& secret) {
    return g_variant_new(kModuleInitType, address.c_str(), secret.c_str());
}

bool ParseModuleInitData(const GVariant* data, std::string& address, std::string& secret) {
    // WebKit hands the data over as const; reading it does not change it.
    auto* variant = const_cast<GVariant*>(data);
    if (variant == nullptr || !g_variant_is_of_type(variant, G_VARIANT_TYPE(kModuleInitType)))
        return false;
    const gchar* a = nullptr;
    const gchar* s = nullptr;
    g_variant_get(variant, "(&s&s)", &a, &s);
    address = a;
    secret = s;
    return true;
}

}  // namespace channel
