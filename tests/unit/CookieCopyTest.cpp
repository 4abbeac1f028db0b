// The scan session's cookie copy: which of its cookies a request to an address carries, and in
// which order, by libsoup's rules.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cookies/CookieCopy.h"

namespace {

// One cookie as a server set it: the address that answered and its Set-Cookie value.
struct SetCookie {
    const char* origin;
    const char* header;
};

void AddAll(cookies::CookieCopy& copy, const std::vector<SetCookie>& set) {
    for (const SetCookie& s : set) {
        GUri* origin = g_uri_parse(s.origin, static_cast<GUriFlags>(SOUP_HTTP_URI_FLAGS), nullptr);
        ASSERT_NE(origin, nullptr) << s.origin;
        SoupCookie* cookie = soup_cookie_parse(s.header, origin);
        g_uri_unref(origin);
        ASSERT_NE(cookie, nullptr) << s.header;
        copy.Add(cookie);
        soup_cookie_free(cookie);
    }
}

struct MatchCase {
    const char* what;
    std::vector<SetCookie> set;
    const char* url;
    const char* header;
};

const char kLocal[] = "http://127.0.0.1:8080/page.html";
const char kSecureOrigin[] = "https://www.example.test/";

const std::vector<MatchCase> kMatches = {
    {"host-only, any port", {{kLocal, "a=1"}}, "http://127.0.0.1:9/x.png", "a=1"},
    {"host-only, other host", {{kLocal, "a=1"}}, "http://localhost:8080/x.png", ""},
    {"host-only, subdomain", {{"http://example.test/", "a=1"}}, "http://www.example.test/", ""},
    {"domain, subdomain",
     {{"http://www.example.test/", "a=1; Domain=example.test"}},
     "http://img.example.test/x",
     "a=1"},
    {"domain, itself",
     {{"http://www.example.test/", "a=1; Domain=.example.test"}},
     "http://example.test/",
     "a=1"},
    {"domain, a name ending alike",
     {{"http://www.example.test/", "a=1; Domain=example.test"}},
     "http://badexample.test/",
     ""},
    {"path, itself", {{kLocal, "a=1; Path=/dir"}}, "http://127.0.0.1/dir", "a=1"},
    {"path, below", {{kLocal, "a=1; Path=/dir"}}, "http://127.0.0.1/dir/x?q=1", "a=1"},
    {"path, a name starting alike", {{kLocal, "a=1; Path=/dir"}}, "http://127.0.0.1/directory", ""},
    {"path, above", {{kLocal, "a=1; Path=/dir"}}, "http://127.0.0.1/", ""},
    {"default path is the folder",
     {{"http://127.0.0.1/a/b.html", "a=1"}},
     "http://127.0.0.1/c",
     ""},
    {"no path in the address", {{kLocal, "a=1; Path=/"}}, "http://127.0.0.1", "a=1"},
    {"secure, https", {{kSecureOrigin, "a=1; Secure"}}, "https://www.example.test/x", "a=1"},
    {"secure, wss", {{kSecureOrigin, "a=1; Secure"}}, "wss://www.example.test/x", "a=1"},
    {"secure, http", {{kSecureOrigin, "a=1; Secure"}}, "http://www.example.test/x", ""},
    {"HttpOnly included", {{kLocal, "a=1; HttpOnly"}}, "http://127.0.0.1/", "a=1"},
    {"expired", {{kLocal, "a=1; Expires=Thu, 01 Jan 1970 00:00:10 GMT"}}, "http://127.0.0.1/", ""},
    {"not yet expired", {{kLocal, "a=1; Max-Age=3600"}}, "http://127.0.0.1/", "a=1"},
    {"longer path first",
     {{kLocal, "a=1; Path=/"}, {kLocal, "b=2; Path=/dir/sub"}, {kLocal, "c=3; Path=/dir"}},
     "http://127.0.0.1/dir/sub/x",
     "b=2; c=3; a=1"},
    {"equal paths in the copy's order",
     {{kLocal, "z=1"}, {kLocal, "a=2"}, {kLocal, "m=3"}},
     "http://127.0.0.1/",
     "z=1; a=2; m=3"},
    {"value as set", {{kLocal, "q=\"x y\"; Path=/"}}, "http://127.0.0.1/", "q=\"x y\""},
    {"case of scheme and host", {{kLocal, "a=1"}}, "HTTP://127.0.0.1/", "a=1"},
    {"empty text", {{kLocal, "a=1"}}, "", ""},
    {"not an address", {{kLocal, "a=1"}}, "127.0.0.1/", ""},
    {"no host", {{kLocal, "a=1"}}, "http:///x", ""},
    {"file address", {{"http://localhost/", "a=1"}}, "file://localhost/x", ""},
    {"data address", {{kLocal, "a=1"}}, "data:text/plain,a=1", ""},
    {"no cookies", {}, "http://127.0.0.1/", ""},
};

TEST(CookieCopyTest, HeaderForAnAddress) {
    for (const MatchCase& c : kMatches) {
        cookies::CookieCopy copy;
        ASSERT_NO_FATAL_FAILURE(AddAll(copy, c.set)) << c.what;
        EXPECT_EQ(c.header, copy.HeaderFor(c.url)) << c.what;
    }
}

TEST(CookieCopyTest, ReplaceTakesTheNewListOnly) {
    cookies::CookieCopy copy;
    AddAll(copy, {{kLocal, "old=1"}});
    GUri* origin = g_uri_parse(kLocal, static_cast<GUriFlags>(SOUP_HTTP_URI_FLAGS), nullptr);
    GList* list = nullptr;
    list = g_list_append(list, soup_cookie_parse("a=1", origin));
    list = g_list_append(list, soup_cookie_parse("b=2", origin));
    g_uri_unref(origin);
    copy.Replace(list);
    // The list stays the caller's.
    g_list_free_full(list, reinterpret_cast<GDestroyNotify>(soup_cookie_free));
    EXPECT_EQ(2u, copy.Count());
    EXPECT_EQ("a=1; b=2", copy.HeaderFor("http://127.0.0.1/"));
    copy.Replace(nullptr);
    EXPECT_EQ(0u, copy.Count());
    EXPECT_EQ("", copy.HeaderFor("http://127.0.0.1/"));
}

}  // namespace
