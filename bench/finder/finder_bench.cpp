// Per-response cost of the filter test, the file name and the size text. Capture runs all three
// for every response a scanned page receives, so each must stay well under a microsecond.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "finder/Capture.h"
#include "finder/ResourceFilter.h"
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

}  // namespace
