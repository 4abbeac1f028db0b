// Per-response cost of the filter test, the file name and the size text. Capture runs all three
// for every response a scanned page receives, so each must stay well under a microsecond. Also
// the cost of a captured response with its details, and of one "cookies" call for 1,000
// addresses answered from a cookie copy (which must stay within a few ms).
#include <benchmark/benchmark.h>

#include <json/json.h>

#include <string>
#include <vector>

#include "cookies/CookieCopy.h"
#include "finder/Capture.h"
#include "finder/ResourceFilter.h"
#include "finder/ScanControl.h"
#include "finder/ScanHost.h"
#include "finder/TextUtil.h"
#include "finder/UrlUtil.h"

namespace {

const std::vector<std::string> kAddresses = {
    "http://www.example.test/",
    "http://static.example.test/assets/css/main.min.css?v=20240611",
    "https://cdn.example.test/media/videos/2024/06/clip-1080p.mp4",
    "https://img.example.test/thumbs/a/b/c/photo@2x.png",
    "http://api.example.test/v2/items/list.json?page=3&per_page=50#top",
    "https://fonts.example.test/s/roboto/v30/KFOmCnqEu92Fr1Mu4mxK.woff2",
};

const std::vector<std::u16string> kMimeTypes = {
    u"text/html", u"text/css", u"video/mp4", u"image/png", u"application/json", u"font/woff2",
};

const std::vector<std::string> kNames = {
    "", "main.min.css", "clip-1080p.mp4", "photo", "list.json", "KFOmCnqEu92Fr1Mu4mxK.woff2",
};

void BM_AcceptResourceMime(benchmark::State& state) {
    ScanState scan;
    scan.m_mimeFilter = u"video";
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(AcceptResource(scan, kMimeTypes[i], kNames[i]));
        i = (i + 1) % kMimeTypes.size();
    }
}
BENCHMARK(BM_AcceptResourceMime);

void BM_AcceptResourceExtension(benchmark::State& state) {
    ScanState scan;
    scan.m_useFileExtFilter = TRUE;
    scan.m_fileExtFilter.SetFromUtf8("*.mp4; *.flv; *.webm; *.mp3; *.ogg; *.png; *.jpg");
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(AcceptResource(scan, kMimeTypes[i], kNames[i]));
        i = (i + 1) % kNames.size();
    }
}
BENCHMARK(BM_AcceptResourceExtension);

void BM_GetFileNameFromUrlUtf8(benchmark::State& state) {
    std::string name;
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(GetFileNameFromUrlUtf8(kAddresses[i], name));
        i = (i + 1) % kAddresses.size();
    }
}
BENCHMARK(BM_GetFileNameFromUrlUtf8);

void BM_FormatSizeUtf8(benchmark::State& state) {
    const std::uint64_t sizes[] = {0, 512, 1536, 123456789, 5000, 1ull << 30};
    std::string text;
    std::size_t i = 0;
    for (auto _ : state) {
        FormatSizeUtf8(text, sizes[i]);
        benchmark::DoNotOptimize(text.data());
        i = (i + 1) % std::size(sizes);
    }
}
BENCHMARK(BM_FormatSizeUtf8);

// A main window whose page takes every record and does nothing with it: what is left is the
// finder's own cost of one captured response (name, size, filter, record, JSON text).
class QuietHost : public CScanHost {
public:
    bool CallPageFunction(const char*, const std::string& argument) override {
        benchmark::DoNotOptimize(argument.data());
        return true;
    }
    bool EnsureScanWindow() override { return true; }
    bool LoadScanUrlUtf8(const char*) override { return true; }
    void ShowScanWindow() override {}
    HWND ClipboardOwner() override { return nullptr; }
    bool ScanCookieHeaders(const std::vector<std::string>& urls,
                           std::vector<std::string>& headers) override {
        headers.assign(urls.size(), std::string());
        return true;
    }
};

void BM_CaptureResponse(benchmark::State& state) {
    QuietHost host;
    host.m_filterEnabled = FALSE;
    std::vector<std::u16string> addresses;
    for (const std::string& address : kAddresses)
        addresses.emplace_back(address.begin(), address.end());
    std::uint32_t identifier = 0;
    std::size_t i = 0;
    for (auto _ : state) {
        // A page of a few thousand resources: the table stays at that size.
        CaptureResponse(addresses[i].c_str(), host, identifier++ % 4096, kMimeTypes[i], 123456);
        i = (i + 1) % addresses.size();
    }
}
BENCHMARK(BM_CaptureResponse);

// The details of a typical response: a dozen request and response header fields.
void TypicalDetails(ResultDetails& d) {
    d.method = "GET";
    d.status = 200;
    d.statusText = "OK";
    d.requestHeaders = {
        {"Accept", "image/webp,image/avif,video/*;q=0.8,image/png,image/svg+xml,image/*;q=0.8"},
        {"Referer", "https://www.example.test/articles/2024/06/a-long-title-of-an-article.html"},
        {"User-Agent",
         "Mozilla/5.0 (X11; Linux x86_64) AppleWebKit/605.1.15 (KHTML, like Gecko) "
         "Version/60.5 Safari/605.1.15"},
        {"Sec-Fetch-Dest", "image"},
        {"Sec-Fetch-Mode", "no-cors"},
        {"Sec-Fetch-Site", "same-site"}};
    d.responseHeaders = {{"Date", "Wed, 09 Dec 2026 07:29:39 GMT"},
                         {"Content-Type", "image/png"},
                         {"Content-Length", "123456"},
                         {"Cache-Control", "max-age=31536000, public"},
                         {"ETag", "\"5f1a-60b2c3d4e5f60\""},
                         {"Server", "nginx"}};
    d.started = 1765270000123;
    d.received = 1765270000150;
}

void BM_CaptureResponseWithDetails(benchmark::State& state) {
    QuietHost host;
    host.m_filterEnabled = FALSE;
    std::vector<std::u16string> addresses;
    for (const std::string& address : kAddresses)
        addresses.emplace_back(address.begin(), address.end());
    std::uint32_t identifier = 0;
    std::size_t i = 0;
    for (auto _ : state) {
        CaptureResponse(addresses[i].c_str(), host, identifier++ % 4096, kMimeTypes[i], 123456,
                        TypicalDetails);
        i = (i + 1) % addresses.size();
    }
}
BENCHMARK(BM_CaptureResponseWithDetails);

// The main window's answer to "cookies", with the cookie copy in place of the engine layer's:
// 200 cookies on 20 hosts, some below paths, some Secure, some host-only.
class CookieHost : public QuietHost {
public:
    CookieHost() {
        for (int h = 0; h < 20; ++h) {
            const std::string host = "site" + std::to_string(h) + ".example.test";
            GUri* origin = g_uri_parse(("https://www." + host + "/").c_str(),
                                       static_cast<GUriFlags>(SOUP_HTTP_URI_FLAGS), nullptr);
            for (int c = 0; c < 10; ++c) {
                std::string header = "c" + std::to_string(c) + "=" + std::string(24, 'v');
                if (c % 3 == 0) header += "; Domain=" + host;
                if (c % 4 == 1) header += "; Path=/media";
                if (c % 5 == 2) header += "; Secure";
                if (c % 2 == 0) header += "; HttpOnly";
                SoupCookie* cookie = soup_cookie_parse(header.c_str(), origin);
                m_copy.Add(cookie);
                soup_cookie_free(cookie);
            }
            g_uri_unref(origin);
        }
    }
    bool ScanCookieHeaders(const std::vector<std::string>& urls,
                           std::vector<std::string>& headers) override {
        headers.clear();
        headers.reserve(urls.size());
        for (const std::string& url : urls) headers.push_back(m_copy.HeaderFor(url));
        return true;
    }

private:
    cookies::CookieCopy m_copy;
};

void BM_CookiesFor1000Urls(benchmark::State& state) {
    CookieHost host;
    Json::Value params(Json::objectValue);
    Json::Value& urls = params["urls"];
    for (int i = 0; i < 1000; ++i) {
        const std::string scheme = i % 2 ? "https" : "http";
        const std::string sub = i % 3 ? "www" : "img";
        urls.append(scheme + "://" + sub + ".site" + std::to_string(i % 25) +
                    ".example.test/media/clip-" + std::to_string(i) + ".mp4?token=abcdef");
    }
    for (auto _ : state) {
        Json::Value result;
        HandleServiceCall(kTrawletServiceId, u"cookies", params, &host, result);
        benchmark::DoNotOptimize(result);
    }
    state.SetLabel("one call, 1,000 addresses");
}
BENCHMARK(BM_CookiesFor1000Urls)->Unit(benchmark::kMillisecond);

}  // namespace
