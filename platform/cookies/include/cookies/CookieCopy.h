// A copy of a cookie store that tells, without asking the store, the Cookie header a request
// would carry. The scan session's cookies live in the engine's network process; asking it
// for each address would be a round trip per address, so the engine layer keeps this copy
// current as the cookies change and the service answers from it.
#pragma once

#include <libsoup/soup.h>

#include <string>
#include <unordered_map>
#include <vector>

namespace cookies {

class CookieCopy {
public:
    CookieCopy() = default;
    ~CookieCopy();
    CookieCopy(const CookieCopy&) = delete;
    CookieCopy& operator=(const CookieCopy&) = delete;

    // Replaces every cookie of the copy by a copy of each cookie in `cookies` (a list of
    // SoupCookie*, left as it is), in the list's order.
    void Replace(GList* cookies);
    // Adds a copy of `cookie` after the others.
    void Add(SoupCookie* cookie);
    void Clear();
    size_t Count() const { return m_cookies.size(); }

    // The Cookie header value a request to `url` would carry now: the cookies whose domain,
    // path and Secure flag (https and wss only) apply to it and that have not expired,
    // HttpOnly ones included, longer paths first and otherwise in the copy's order. "" when no
    // cookie applies, and for text that is not an http, https, ws or wss address with a host.
    // FIXME: SameSite is not looked at (the answer is that of a same-site request), and
    // cookies of equal path length keep the copy's order, not the order of their creation.
    std::string HeaderFor(const std::string& url) const;

private:
    std::vector<SoupCookie*> m_cookies;
    // The places in m_cookies of the cookies of each domain (lower case, as stored: a leading
    // dot for a domain cookie), so that an address is only tested against its own host's.
    std::unordered_map<std::string, std::vector<size_t>> m_byDomain;
};

}  // namespace cookies
