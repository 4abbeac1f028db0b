// Interface identifiers, text helpers, requests, responses, errors, preferences and the
// notification center.
#include <glib.h>
#include <glib/gstdio.h>

#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "com.h"
#include "internal.h"
#include "webkitcom/WebKit.h"
#include "win32/text.h"

// Identifiers of our own making: the interfaces here are this layer's, not a binary ABI.
#define TRAWLET_GUID(name, n) \
    const GUID name = {       \
        0x7a3e0000u + (n), 0x5c1d, 0x4b2a, {0x9e, 0x61, 0x2f, 0x0b, 0x8d, 0x44, 0x10, (n)}}

const IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID IID_IDispatch = {0x00020400, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
TRAWLET_GUID(IID_IWebView, 1);
TRAWLET_GUID(IID_IWebViewPrivate, 2);
TRAWLET_GUID(IID_IWebPreferences, 3);
TRAWLET_GUID(IID_IWebPreferencesPrivate, 4);
TRAWLET_GUID(IID_IWebNotificationCenter, 5);
TRAWLET_GUID(IID_IWebNotificationObserver, 6);
TRAWLET_GUID(IID_IWebNotification, 7);
TRAWLET_GUID(IID_IWebMutableURLRequest, 8);
TRAWLET_GUID(IID_IWebURLRequest, 9);
TRAWLET_GUID(IID_IWebURLResponse, 10);
TRAWLET_GUID(IID_IWebFrame, 11);
TRAWLET_GUID(IID_IWebError, 12);
TRAWLET_GUID(IID_IWebFrameLoadDelegate, 13);
TRAWLET_GUID(IID_IWebUIDelegate, 14);
TRAWLET_GUID(IID_IWebPolicyDelegate, 15);
TRAWLET_GUID(IID_IWebResourceLoadDelegate, 16);
TRAWLET_GUID(IID_IWebFrameLoadDelegatePrivate, 17);
TRAWLET_GUID(IID_IWebUIDelegatePrivate, 18);
TRAWLET_GUID(IID_IWebScriptDialogAnswer, 19);
TRAWLET_GUID(IID_IWebDownloadDelegate, 20);
TRAWLET_GUID(IID_IWebHTTPHeaderFields, 21);
TRAWLET_GUID(IID_IWebHTTPURLResponse, 22);
TRAWLET_GUID(IID_IWebURLResponsePrivate, 23);
TRAWLET_GUID(IID_IWebCookieManager, 24);
TRAWLET_GUID(IID_IWebResourceBodyHandler, 25);
TRAWLET_GUID(CLSID_WebView, 32);
TRAWLET_GUID(CLSID_WebPreferences, 33);
TRAWLET_GUID(CLSID_WebNotificationCenter, 34);
TRAWLET_GUID(CLSID_WebMutableURLRequest, 35);
TRAWLET_GUID(CLSID_WebCookieManager, 36);

namespace wk {

BSTR AllocBstr(const char* utf8) {
    std::u16string wide = ToUtf16(utf8);
    return SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
}

// ---- Header fields --------------------------------------------------------------------------

class HeaderFields : public ComObject<IWebHTTPHeaderFields, &IID_IWebHTTPHeaderFields> {
public:
    // The fields of `headers` (may be null: none), in their order.
    explicit HeaderFields(SoupMessageHeaders* headers) {
        if (!headers) return;
        SoupMessageHeadersIter iter;
        const char* name = nullptr;
        const char* value = nullptr;
        soup_message_headers_iter_init(&iter, headers);
        while (soup_message_headers_iter_next(&iter, &name, &value))
            m_fields.emplace_back(name ? name : "", value ? value : "");
    }
    HRESULT count(UINT* result) override {
        if (!result) return E_POINTER;
        *result = static_cast<UINT>(m_fields.size());
        return S_OK;
    }
    HRESULT fieldAt(UINT index, BSTR* name, BSTR* value) override {
        if (!name || !value) return E_POINTER;
        if (index >= m_fields.size()) return E_INVALIDARG;
        *name = AllocBstr(m_fields[index].first.c_str());
        *value = AllocBstr(m_fields[index].second.c_str());
        return S_OK;
    }

private:
    std::vector<std::pair<std::string, std::string>> m_fields;
};

// A reference to `headers` that lives as long as the object holding it.
class HeldHeaders {
public:
    explicit HeldHeaders(SoupMessageHeaders* headers)
        : m_headers(headers ? soup_message_headers_ref(headers) : nullptr) {}
    ~HeldHeaders() {
        if (m_headers) soup_message_headers_unref(m_headers);
    }
    HeldHeaders(const HeldHeaders&) = delete;
    HeldHeaders& operator=(const HeldHeaders&) = delete;
    HRESULT Fields(IWebHTTPHeaderFields** result) const {
        if (!result) return E_POINTER;
        *result = new HeaderFields(m_headers);
        return S_OK;
    }

private:
    SoupMessageHeaders* m_headers;
};

// ---- Requests -------------------------------------------------------------------------------

class Request : public ComObject<IWebMutableURLRequest, &IID_IWebMutableURLRequest> {
public:
    HRESULT QueryInterface(REFIID riid, void** object) override {
        if (object && IsEqualGUID(riid, IID_IWebURLRequest)) {
            *object = static_cast<IWebURLRequest*>(this);
            AddRef();
            return S_OK;
        }
        return ComObject::QueryInterface(riid, object);
    }
    HRESULT URL(BSTR* result) override {
        if (!result) return E_POINTER;
        *result = AllocBstr(m_url.c_str());
        return S_OK;
    }
    HRESULT HTTPMethod(BSTR* result) override {
        if (!result) return E_POINTER;
        *result = AllocBstr(m_method.c_str());
        return S_OK;
    }
    HRESULT allHTTPHeaderFields(IWebHTTPHeaderFields** result) override {
        return m_headers ? m_headers->Fields(result) : HeldHeaders(nullptr).Fields(result);
    }
    HRESULT initWithURL(BSTR url, int, double timeout) override {
        m_url = ToUtf8(url);
        m_timeout = timeout;
        return S_OK;
    }
    HRESULT setHTTPMethod(BSTR method) override {
        m_method = ToUtf8(method);
        return S_OK;
    }
    HRESULT setAllowsAnyHTTPSCertificate() override {
        // Every data manager of this layer ignores TLS errors, so there is nothing per request.
        return S_OK;
    }

    std::string m_url;
    std::string m_method = "GET";
    double m_timeout = 60;
    // The engine's own fields of a request it made; none on a request of the program.
    std::unique_ptr<HeldHeaders> m_headers;
};

IWebURLRequest* MakeRequest(const char* url) {
    auto* request = new Request;
    request->m_url = url ? url : "";
    return request;
}

IWebURLRequest* MakeRequest(WebKitURIRequest* engineRequest) {
    auto* request = new Request;
    if (!engineRequest) {
        request->m_method.clear();
        return request;
    }
    const char* uri = webkit_uri_request_get_uri(engineRequest);
    const char* method = webkit_uri_request_get_http_method(engineRequest);
    request->m_url = uri ? uri : "";
    request->m_method = method ? method : "";
    request->m_headers =
        std::make_unique<HeldHeaders>(webkit_uri_request_get_http_headers(engineRequest));
    return request;
}

std::string RequestUrl(IWebURLRequest* request) {
    BSTR url = nullptr;
    if (!request || FAILED(request->URL(&url))) return {};
    std::string result = ToUtf8(url);
    SysFreeString(url);
    return result;
}

// ---- Responses and errors -------------------------------------------------------------------

class Response : public ComObject<IWebHTTPURLResponse, &IID_IWebHTTPURLResponse>,
                 public IWebURLResponsePrivate {
public:
    Response(std::string url, std::string mime, bool hasMime, INT64 length, int status,
             SoupMessageHeaders* headers, const ResponseLoad* load)
        : m_url(std::move(url)),
          m_mime(std::move(mime)),
          m_hasMime(hasMime),
          m_length(length),
          m_status(status),
          m_headers(headers) {
        if (load) {
            m_request = load->request;
            if (m_request) m_request->AddRef();
            m_requestTime = load->requestTime;
            m_responseTime = load->responseTime;
            m_redirect = load->redirect;
            m_redirectUrl = load->redirectUrl;
            m_identifier = load->identifier;
            if (load->resource) m_resource = WEBKIT_WEB_RESOURCE(g_object_ref(load->resource));
        }
    }
    ~Response() override {
        if (m_request) m_request->Release();
        if (m_resource) g_object_unref(m_resource);
    }

    HRESULT QueryInterface(REFIID riid, void** object) override {
        if (object && IsEqualGUID(riid, IID_IWebURLResponse)) {
            *object = static_cast<IWebURLResponse*>(this);
            AddRef();
            return S_OK;
        }
        if (object && IsEqualGUID(riid, IID_IWebURLResponsePrivate)) {
            *object = static_cast<IWebURLResponsePrivate*>(this);
            AddRef();
            return S_OK;
        }
        return ComObject::QueryInterface(riid, object);
    }
    ULONG AddRef() override { return ComObject::AddRef(); }
    ULONG Release() override { return ComObject::Release(); }

    // ---- IWebURLResponse ----

    HRESULT expectedContentLength(INT64* result) override {
        if (!result) return E_POINTER;
        *result = m_length;
        return S_OK;
    }
    HRESULT MIMEType(BSTR* result) override {
        if (!result) return E_POINTER;
        // A response without a type gives no string at all, unlike one with an empty type.
        *result = m_hasMime ? AllocBstr(m_mime.c_str()) : nullptr;
        if (m_hasMime && !*result) *result = SysAllocString(u"");
        return S_OK;
    }
    HRESULT URL(BSTR* result) override {
        if (!result) return E_POINTER;
        *result = AllocBstr(m_url.c_str());
        if (!*result) *result = SysAllocString(u"");
        return S_OK;
    }

    // ---- IWebHTTPURLResponse ----

    HRESULT statusCode(int* result) override {
        if (!result) return E_POINTER;
        *result = m_status;
        return S_OK;
    }
    HRESULT localizedStringForStatusCode(int statusCode, BSTR* result) override {
        if (!result) return E_POINTER;
        *result = AllocBstr(StatusPhrase(statusCode).c_str());
        if (!*result) *result = SysAllocString(u"");
        return S_OK;
    }
    HRESULT allHeaderFields(IWebHTTPHeaderFields** result) override {
        return m_headers.Fields(result);
    }

    // ---- IWebURLResponsePrivate ----

    HRESULT request(IWebURLRequest** result) override {
        if (!result) return E_POINTER;
        *result = m_request;
        if (m_request) m_request->AddRef();
        return m_request ? S_OK : E_FAIL;
    }
    HRESULT requestTime(INT64* result) override {
        if (!result) return E_POINTER;
        *result = m_requestTime;
        return S_OK;
    }
    HRESULT responseTime(INT64* result) override {
        if (!result) return E_POINTER;
        *result = m_responseTime;
        return S_OK;
    }
    HRESULT redirectURL(BSTR* result) override {
        if (!result) return E_POINTER;
        *result = m_redirect ? AllocBstr(m_redirectUrl.c_str()) : nullptr;
        if (m_redirect && !*result) *result = SysAllocString(u"");
        return S_OK;
    }
    HRESULT readBody(UINT limit, IWebResourceBodyHandler* handler) override {
        if (!handler) return E_POINTER;
        if (!m_resource) return E_FAIL;
        ReadBodyWhenFinished(m_resource, m_identifier, limit, handler);
        return S_OK;
    }

private:
    std::string m_url;
    std::string m_mime;
    bool m_hasMime;
    INT64 m_length;
    int m_status;
    HeldHeaders m_headers;
    IWebURLRequest* m_request = nullptr;
    INT64 m_requestTime = 0;
    INT64 m_responseTime = 0;
    bool m_redirect = false;
    std::string m_redirectUrl;
    unsigned long m_identifier = 0;
    WebKitWebResource* m_resource = nullptr;
};

std::string StatusPhrase(int statusCode) {
    if (statusCode < 100 || statusCode > 999) return {};
    // libsoup answers "Unknown Error" for a code it has no phrase for.
    const char* phrase = soup_status_get_phrase(static_cast<guint>(statusCode));
    if (!phrase || std::string_view(phrase) == "Unknown Error") return {};
    return phrase;
}

IWebURLResponse* MakeResponse(const std::string& url, const std::string& mime, bool hasMime,
                              INT64 length, int status, SoupMessageHeaders* headers,
                              const ResponseLoad* load) {
    return static_cast<IWebURLResponse*>(
        new Response(url, mime, hasMime, length, status, headers, load));
}

class Error : public ComObject<IWebError, &IID_IWebError> {
public:
    Error(int code, std::string description, std::string url)
        : m_code(code), m_description(std::move(description)), m_url(std::move(url)) {}
    HRESULT code(int* result) override {
        if (!result) return E_POINTER;
        *result = m_code;
        return S_OK;
    }
    HRESULT localizedDescription(BSTR* result) override {
        if (!result) return E_POINTER;
        *result = AllocBstr(m_description.c_str());
        return S_OK;
    }
    HRESULT failingURL(BSTR* result) override {
        if (!result) return E_POINTER;
        *result = AllocBstr(m_url.c_str());
        return S_OK;
    }

private:
    int m_code;
    std::string m_description;
    std::string m_url;
};

IWebError* MakeError(int code, const char* description, const char* url) {
    return new Error(code, description ? description : "", url ? url : "");
}

// ---- Preferences ----------------------------------------------------------------------------

// The standard preferences are shared by every view and persisted in a small key file in the
// user's configuration folder, so that a stored local storage path survives a restart.
Preferences& StandardPreferenceValues() {
    static Preferences values = [] {
        Preferences p;
        p.file = std::string(g_get_user_config_dir()) + "/trawlet/webkit-preferences.ini";
        GKeyFile* file = g_key_file_new();
        if (g_key_file_load_from_file(file, p.file.c_str(), G_KEY_FILE_NONE, nullptr)) {
            GError* error = nullptr;
            gboolean value = g_key_file_get_boolean(file, "WebKit", "WebSecurityEnabled", &error);
            if (!error) p.webSecurity = value;
            g_clear_error(&error);
            value = g_key_file_get_boolean(file, "WebKit", "LocalStorageEnabled", &error);
            if (!error) p.localStorage = value;
            g_clear_error(&error);
            gchar* path =
                g_key_file_get_string(file, "WebKit", "LocalStorageDatabasePath", nullptr);
            if (path) p.localStoragePath = path;
            g_free(path);
        }
        g_key_file_free(file);
        return p;
    }();
    return values;
}

static bool SavePreferences(const Preferences& p) {
    GKeyFile* file = g_key_file_new();
    g_key_file_set_boolean(file, "WebKit", "WebSecurityEnabled", p.webSecurity);
    g_key_file_set_boolean(file, "WebKit", "LocalStorageEnabled", p.localStorage);
    g_key_file_set_string(file, "WebKit", "LocalStorageDatabasePath", p.localStoragePath.c_str());
    gchar* folder = g_path_get_dirname(p.file.c_str());
    g_mkdir_with_parents(folder, 0700);
    g_free(folder);
    gboolean saved = g_key_file_save_to_file(file, p.file.c_str(), nullptr);
    g_key_file_free(file);
    return saved;
}

class PreferencesObject : public ComObject<IWebPreferences, &IID_IWebPreferences>,
                          public IWebPreferencesPrivate {
public:
    HRESULT QueryInterface(REFIID riid, void** object) override {
        if (object && IsEqualGUID(riid, IID_IWebPreferencesPrivate)) {
            *object = static_cast<IWebPreferencesPrivate*>(this);
            AddRef();
            return S_OK;
        }
        return ComObject::QueryInterface(riid, object);
    }
    ULONG AddRef() override { return ComObject::AddRef(); }
    ULONG Release() override { return ComObject::Release(); }

    HRESULT standardPreferences(IWebPreferences** result) override {
        if (!result) return E_POINTER;
        static PreferencesObject* standard = [] {
            auto* p = new PreferencesObject;
            p->AddRef();  // The standard preferences live as long as the process.
            return p;
        }();
        standard->AddRef();
        *result = standard;
        return S_OK;
    }
    HRESULT isWebSecurityEnabled(BOOL* enabled) override {
        if (!enabled) return E_POINTER;
        *enabled = StandardPreferenceValues().webSecurity ? TRUE : FALSE;
        return S_OK;
    }
    HRESULT setWebSecurityEnabled(BOOL enabled) override {
        StandardPreferenceValues().webSecurity = enabled != FALSE;
        return SavePreferences(StandardPreferenceValues()) ? S_OK : E_FAIL;
    }
    HRESULT localStorageEnabled(BOOL* enabled) override {
        if (!enabled) return E_POINTER;
        *enabled = StandardPreferenceValues().localStorage ? TRUE : FALSE;
        return S_OK;
    }
    HRESULT setLocalStorageEnabled(BOOL enabled) override {
        StandardPreferenceValues().localStorage = enabled != FALSE;
        return SavePreferences(StandardPreferenceValues()) ? S_OK : E_FAIL;
    }
    HRESULT localStorageDatabasePath(BSTR* path) override {
        if (!path) return E_POINTER;
        *path = AllocBstr(StandardPreferenceValues().localStoragePath.c_str());
        return S_OK;
    }
    HRESULT setLocalStorageDatabasePath(BSTR path) override {
        StandardPreferenceValues().localStoragePath = ToUtf8(path);
        return SavePreferences(StandardPreferenceValues()) ? S_OK : E_FAIL;
    }
};

IUnknown* MakePreferences() {
    return static_cast<IWebPreferences*>(new PreferencesObject);
}

// ---- Notification center --------------------------------------------------------------------

class Notification : public ComObject<IWebNotification, &IID_IWebNotification> {
public:
    Notification(BSTR name, IUnknown* object) : m_name(SysAllocString(name)), m_object(object) {
        if (m_object) m_object->AddRef();
    }
    ~Notification() override {
        SysFreeString(m_name);
        if (m_object) m_object->Release();
    }
    HRESULT name(BSTR* result) override {
        if (!result) return E_POINTER;
        *result = SysAllocString(m_name);
        return S_OK;
    }
    HRESULT getObject(IUnknown** result) override {
        if (!result) return E_POINTER;
        *result = m_object;
        if (m_object) m_object->AddRef();
        return S_OK;
    }

private:
    BSTR m_name;
    IUnknown* m_object;
};

class NotificationCenter : public ComObject<IWebNotificationCenter, &IID_IWebNotificationCenter> {
public:
    HRESULT defaultCenter(IWebNotificationCenter** center) override {
        if (!center) return E_POINTER;
        static NotificationCenter* shared = [] {
            auto* c = new NotificationCenter;
            c->AddRef();
            return c;
        }();
        shared->AddRef();
        *center = shared;
        return S_OK;
    }
    HRESULT addObserver(IWebNotificationObserver* observer, BSTR name,
                        IUnknown* anObject) override {
        if (!observer) return E_POINTER;
        // The center holds observers weakly: they are embedded in their windows, which
        // outlive every notification about their views.
        m_observers.push_back({observer, name ? std::u16string(name) : std::u16string(), anObject});
        return S_OK;
    }
    HRESULT removeObserver(IWebNotificationObserver* observer, BSTR name,
                           IUnknown* anObject) override {
        std::u16string wanted = name ? std::u16string(name) : std::u16string();
        for (auto it = m_observers.begin(); it != m_observers.end();) {
            if (it->observer == observer && (wanted.empty() || it->name == wanted) &&
                (!anObject || it->object == anObject)) {
                it = m_observers.erase(it);
            } else {
                ++it;
            }
        }
        return S_OK;
    }
    HRESULT postNotificationName(BSTR name, IUnknown* anObject) override {
        std::u16string posted = name ? std::u16string(name) : std::u16string();
        // Observers may register more while being told, so walk a copy.
        auto observers = m_observers;
        for (const auto& entry : observers) {
            if (!entry.name.empty() && entry.name != posted) continue;
            if (entry.object && entry.object != anObject) continue;
            auto* notification = new Notification(name, anObject);
            entry.observer->onNotification(notification);
            notification->Release();
        }
        return S_OK;
    }

private:
    struct Entry {
        IWebNotificationObserver* observer;
        std::u16string name;
        IUnknown* object;
    };
    std::vector<Entry> m_observers;
};

IUnknown* MakeNotificationCenter() {
    return new NotificationCenter;
}

void PostNotification(const char16_t* name, IUnknown* object) {
    IWebNotificationCenter* center = nullptr;
    NotificationCenter factory;
    factory.AddRef();  // Never deleted through Release: it lives on the stack.
    if (FAILED(factory.defaultCenter(&center)) || !center) return;
    BSTR bname = SysAllocString(name);
    center->postNotificationName(bname, object);
    SysFreeString(bname);
    center->Release();
}

}  // namespace wk
