#include "cookies/CookieCopy.h"

#include <algorithm>
#include <cstring>

namespace cookies {

namespace {

bool SendsCookies(const char* scheme) {
    if (scheme == nullptr) return false;
    for (const char* known : {"http", "https", "ws", "wss"}) {
        if (g_ascii_strcasecmp(scheme, known) == 0) return true;
    }
    return false;
}

}  // namespace

CookieCopy::~CookieCopy() {
    Clear();
}

void CookieCopy::Clear() {
    for (SoupCookie* cookie : m_cookies) soup_cookie_free(cookie);
    m_cookies.clear();
    m_byDomain.clear();
}

void CookieCopy::Replace(GList* cookies) {
    Clear();
    for (GList* item = cookies; item != nullptr; item = item->next) {
        Add(static_cast<SoupCookie*>(item->data));
    }
}

void CookieCopy::Add(SoupCookie* cookie) {
    if (cookie == nullptr) return;
    SoupCookie* copy = soup_cookie_copy(cookie);
    // The path test reads the path; a cookie always has one once a store took it.
    if (soup_cookie_get_path(copy) == nullptr) soup_cookie_set_path(copy, "/");
    const char* domain = soup_cookie_get_domain(copy);
    if (domain == nullptr) {
        soup_cookie_free(copy);
        return;
    }
    gchar* key = g_ascii_strdown(domain, -1);
    m_byDomain[key].push_back(m_cookies.size());
    g_free(key);
    m_cookies.push_back(copy);
}

std::string CookieCopy::HeaderFor(const std::string& url) const {
    if (m_cookies.empty() || url.empty()) return {};
    // libsoup's own flags for HTTP addresses: an empty path becomes "/", as on the wire.
    GUri* uri = g_uri_parse(url.c_str(), static_cast<GUriFlags>(SOUP_HTTP_URI_FLAGS), nullptr);
    if (uri == nullptr) return {};
    const char* host = g_uri_get_host(uri);
    if (!SendsCookies(g_uri_get_scheme(uri)) || host == nullptr || *host == '\0') {
        g_uri_unref(uri);
        return {};
    }
    // The domains whose cookies may apply to the host, as libsoup's cookie jar looks them up:
    // the host itself (host-only cookies), then it and each of its parents with a dot.
    gchar* lowered = g_ascii_strdown(host, -1);
    const std::string name = lowered;
    g_free(lowered);
    std::vector<size_t> candidates;
    auto collect = [&](const std::string& key) {
        auto found = m_byDomain.find(key);
        if (found != m_byDomain.end())
            candidates.insert(candidates.end(), found->second.begin(), found->second.end());
    };
    collect(name);
    for (size_t from = 0; from != std::string::npos;) {
        collect("." + name.substr(from));
        from = name.find('.', from);
        if (from != std::string::npos) ++from;
    }
    // In the copy's order, each once.
    std::sort(candidates.begin(), candidates.end());
    candidates.erase(std::unique(candidates.begin(), candidates.end()), candidates.end());
    // The domain, Secure, expiry and path rules are libsoup's tests.
    std::vector<SoupCookie*> applying;
    for (size_t index : candidates) {
        SoupCookie* cookie = m_cookies[index];
        if (soup_cookie_domain_matches(cookie, host) && soup_cookie_applies_to_uri(cookie, uri))
            applying.push_back(cookie);
    }
    g_uri_unref(uri);
    if (applying.empty()) return {};
    std::stable_sort(applying.begin(), applying.end(), [](SoupCookie* a, SoupCookie* b) {
        return std::strlen(soup_cookie_get_path(a)) > std::strlen(soup_cookie_get_path(b));
    });
    GSList* list = nullptr;
    for (auto it = applying.rbegin(); it != applying.rend(); ++it)
        list = g_slist_prepend(list, *it);
    char* header = soup_cookies_to_cookie_header(list);
    g_slist_free(list);
    std::string result = header != nullptr ? header : "";
    g_free(header);
    return result;
}

}  // namespace cookies
