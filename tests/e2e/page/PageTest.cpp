#include "page/PageTest.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>

namespace fs = std::filesystem;

namespace e2e {

namespace {

// What the probe knows how to read. Rows are the row elements in the list, in list order.
constexpr const char* kProbeFunctions = R"JS(
window.e2eProbe = (function () {
  'use strict';
  var $ = function (id) { return document.getElementById(id); };
  function text(el) { return el ? el.textContent : ''; }
  function rows() {
    var out = [];
    var els = document.querySelectorAll('#results .row');
    for (var i = 0; i < els.length; i++) {
      var el = els[i];
      if (el.hidden || el.dataset.url === undefined) continue;
      var badge = el.querySelector('.c-name .badge');
      var r = el.getBoundingClientRect();
      var c = el.querySelector('.copy').getBoundingClientRect();
      var o = el.querySelector('.open').getBoundingClientRect();
      out.push({
        index: Number(el.getAttribute('aria-rowindex')),
        url: el.dataset.url,
        kind: el.dataset.kind || '',
        group: el.dataset.group || '',
        name: text(el.querySelector('.c-name .text')),
        badge: badge && !badge.hidden ? badge.textContent : '',
        type: text(el.querySelector('.c-type')),
        size: text(el.querySelector('.c-size')),
        hits: text(el.querySelector('.c-hits')),
        selected: el.getAttribute('aria-selected') === 'true',
        box: [Math.round(r.left), Math.round(r.top), Math.round(r.width), Math.round(r.height)],
        copyBox: [Math.round(c.left), Math.round(c.top), Math.round(c.width), Math.round(c.height)],
        openBox: [Math.round(o.left), Math.round(o.top), Math.round(o.width), Math.round(o.height)]
      });
    }
    out.sort(function (a, b) { return a.index - b.index; });
    return out;
  }
  function filterKind() {
    var checked = document.querySelector('input[name=filter]:checked');
    return checked ? checked.value : '';
  }
  function state() {
    var count = $('count');
    var storageKeys = [];
    try { for (var i = 0; i < localStorage.length; i++) storageKeys.push(localStorage.key(i)); }
    catch (e) { storageKeys.push('!' + e); }
    var history = [];
    var items = document.querySelectorAll('#history-list li .what');
    for (var k = 0; k < items.length; k++) history.push(items[k].textContent);
    var headers = {};
    var sorts = document.querySelectorAll('#grid-head .hc[data-col]');
    for (var h = 0; h < sorts.length; h++) headers[sorts[h].dataset.col] = sorts[h].getAttribute('aria-sort');
    return JSON.stringify({
      state: $('status').dataset.state,
      statusText: $('status').textContent,
      pauseText: $('pause').textContent,
      count: Number(count.dataset.count), total: Number(count.dataset.total),
      unique: Number(count.dataset.unique), selected: Number(count.dataset.selected),
      duplicates: Number(count.dataset.duplicates || 0),
      countText: count.textContent,
      focus: document.activeElement ? document.activeElement.id : '',
      message: $('message').textContent, notice: $('notice').textContent,
      viewError: $('view-error').textContent, viewText: $('view-text').value,
      url: $('url').value, filterKind: filterKind(), mime: $('mime-text').value, ext: $('ext-text').value,
      cmdTool: $('cmd-tool').value, exportFormat: $('export-format').value,
      theme: $('theme').value, dataTheme: document.documentElement.dataset.theme || '',
      systemDark: window.matchMedia('(prefers-color-scheme: dark)').matches,
      background: getComputedStyle(document.body).backgroundColor,
      empty: $('empty').hidden ? '' : text($('empty')),
      headers: headers,
      history: history,
      storage: storageKeys,
      results: (window.trawletResults || []).map(function (r) { return r.url; }),
      rows: rows()
    });
  }
  function rect(selector) {
    var el = document.querySelector(selector);
    if (!el) return 'null';
    var r = el.getBoundingClientRect();
    return JSON.stringify([Math.round(r.left), Math.round(r.top), Math.round(r.width), Math.round(r.height)]);
  }
  // Resolves after two frames, so that what the page changed is on screen.
  function painted() {
    requestAnimationFrame(function () { requestAnimationFrame(function () { report('painted'); }); });
    return 'waiting';
  }
  return { state: state, rect: rect, painted: painted };
})();
)JS";

// [left, top, width, height] as the probe writes it.
Box BoxOf(const Json::Value& json) {
    if (!json.isArray() || json.size() != 4) return {};
    auto at = [&](Json::ArrayIndex i) { return json[i].isNumeric() ? json[i].asInt() : 0; };
    return {at(0), at(1), at(2), at(3)};
}

}  // namespace

std::vector<std::string> PageState::Urls() const {
    std::vector<std::string> urls;
    for (const auto& r : rows) urls.push_back(r.url);
    return urls;
}

const Row* PageState::Find(std::string_view urlPart) const {
    for (const auto& r : rows) {
        if (r.url.find(urlPart) != std::string::npos) return &r;
    }
    return nullptr;
}

std::ostream& operator<<(std::ostream& os, const PageState& s) {
    os << "state=" << s.S("state") << " count=" << s.N("count") << " total=" << s.N("total")
       << " selected=" << s.N("selected") << " focus=" << s.S("focus") << " message=\""
       << s.S("message") << "\" notice=\"" << s.S("notice") << "\"\n";
    for (const auto& r : s.rows)
        os << "  [" << (r.selected ? 'x' : ' ') << "] " << r.kind << " " << r.badge << " " << r.name
           << " | " << r.size << " | " << r.hits << " | " << r.url << "\n";
    return os;
}

std::vector<Row> Selected(const PageState& s) {
    std::vector<Row> rows;
    for (const auto& r : s.rows) {
        if (r.selected) rows.push_back(r);
    }
    return rows;
}

// ---------------------------------------------------------------------------------------
// The scanned sites

void AddScanSite(TestSite& site) {
    const std::string index = PadTo(
        "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>media page</title>\n"
        "<link rel=\"stylesheet\" href=\"/site/css/look.css\">\n"
        "</head><body><h1>Media page</h1>\n"
        "<img src=\"/site/img/tiny.gif\">\n"
        "<img src=\"/site/img/small.png\">\n"
        "<img src=\"/site/img/photo.jpg\">\n"
        "<img src=\"/site/img/big.gif\">\n"
        "<img src=\"/site/img/it's&amp;$x,y.gif?a=1&amp;b=$HOME\">\n"
        "<audio src=\"/site/media/tone.wav\" preload=\"auto\"></audio>\n"
        "<script src=\"/site/js/app.js\"></script>\n"
        "</body></html>\n",
        3000, "<!--", "-->");
    // One after the other, so that the segments arrive in their order.
    const std::string script = PadTo(
        "(async function () {\n"
        "  for (const f of ['one', 'two', 'three'])\n"
        "    await fetch('/site/img/dup.gif#' + f, {cache: 'no-store'});\n"
        "  await fetch('/site/hls/stream.m3u8', {cache: 'no-store'});\n"
        "  for (let i = 0; i < 4; i++)\n"
        "    await fetch('/site/hls/seg-' + i + '.ts', {cache: 'no-store'});\n"
        "})();\n",
        900, "/*", "*/");
    const std::string playlist =
        "#EXTM3U\n#EXT-X-TARGETDURATION:2\n#EXTINF:2,\nseg-0.ts\n#EXTINF:2,\nseg-1.ts\n"
        "#EXTINF:2,\nseg-2.ts\n#EXTINF:2,\nseg-3.ts\n#EXT-X-ENDLIST\n";
    site.Route("/site/index.html", Response::Html(index));
    site.Route("/site/css/look.css",
               Response::Of("text/css", PadTo("h1 { color: #345; }\n", 700, "/*", "*/")));
    site.Route("/site/js/app.js", Response::Of("text/javascript", script));
    site.Route("/site/img/tiny.gif", Response::Of("image/gif", Gif(43)));
    site.Route("/site/img/small.png", Response::Of("image/png", Gif(1536)));
    site.Route("/site/img/photo.jpg", Response::Of("image/jpeg", Gif(20000)));
    site.Route("/site/img/big.gif", Response::Of("image/gif", Gif(1300000)));
    site.Route(kHostilePath, Response::Of("image/gif", Gif(60)));
    site.Route("/site/img/dup.gif", Response::Of("image/gif", Gif(500)));
    site.Route("/site/media/tone.wav", Response::Of("audio/wav", MakeWav(500, 8000)));
    site.Route("/site/hls/stream.m3u8", Response::Of("application/vnd.apple.mpegurl", playlist));
    for (int i = 0; i < 4; ++i)
        site.Route("/site/hls/seg-" + std::to_string(i) + ".ts",
                   Response::Of("video/mp2t", std::string(1880, 'G')));
}

std::vector<std::pair<std::string, int>> ScanSiteHits() {
    return {{"/site/index.html", 1},      {"/site/css/look.css", 1},
            {"/site/js/app.js", 1},       {"/site/img/tiny.gif", 1},
            {"/site/img/small.png", 1},   {"/site/img/photo.jpg", 1},
            {"/site/img/big.gif", 1},     {std::string(kHostilePath) + kHostileQuery, 1},
            {"/site/media/tone.wav", 1},  {"/site/img/dup.gif", 3},
            {"/site/hls/stream.m3u8", 1}, {"/site/hls/seg-0.ts", 1},
            {"/site/hls/seg-1.ts", 1},    {"/site/hls/seg-2.ts", 1},
            {"/site/hls/seg-3.ts", 1}};
}

std::vector<std::string> AddressesBehind(const std::vector<Row>& rows, const TestSite& site) {
    std::vector<std::string> urls;
    for (const auto& r : rows) {
        if (r.group == "segments") {
            for (int i = 0; i < 4; ++i)
                urls.push_back(site.Url("/site/hls/seg-" + std::to_string(i) + ".ts"));
        } else {
            urls.push_back(r.url);
        }
    }
    return urls;
}

void AddStreamSite(TestSite& site, int perSecond) {
    site.Route("/stream/index.html",
               Response::Html("<!DOCTYPE html><html><body><p>stream</p><script>\n"
                              "var n = 0;\n"
                              "setInterval(function () {\n"
                              "  for (var i = 0; i < 10; i++)\n"
                              "    fetch('/stream/r.gif?n=' + (n++), {cache: 'no-store'});\n"
                              "}, " +
                              std::to_string(10000 / perSecond) +
                              ");\n"
                              "</script></body></html>\n"));
    site.Route("/stream/r.gif", Response::Of("image/gif", Gif()));
}

// ---------------------------------------------------------------------------------------
// The fixture

void PageTest::SetUp() {
    AppTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    // The main window (1100 x 760) must be wholly on the screen to be clicked anywhere,
    // with room to its right for the scan window.
    CommandResult geometry = RunCommand({"xdotool", "getdisplaygeometry"});
    int width = 0, height = 0;
    ASSERT_TRUE(geometry.Ok() && std::sscanf(geometry.out.c_str(), "%d %d", &width, &height) == 2);
    ASSERT_TRUE(width >= 1500 && height >= 800)
        << "the screen is " << width << "x" << height
        << "; run under xvfb-run -s \"-screen 0 1600x1000x24\"";
    control = std::make_unique<PageControl>(*site);
}

void PageTest::TearDown() {
    AppTest::TearDown();
    control.reset();
}

AppRun& PageTest::NewPageApp() {
    AppRun& run = NewApp();
    CopyBuiltPage(run);
    downloads = run.Home() + "/Downloads";
    fs::create_directories(downloads);
    WriteFile(run.ConfigHome() + "/user-dirs.dirs", "XDG_DOWNLOAD_DIR=\"$HOME/Downloads\"\n");
    return run;
}

void PageTest::CopyBuiltPage(AppRun& run) {
    const std::string built = BuildDir() + "/Html";
    ASSERT_TRUE(PathExists(built + "/index.html")) << "no page at " << built;
    std::error_code ec;
    fs::copy(built, run.HtmlDir(),
             fs::copy_options::recursive | fs::copy_options::overwrite_existing, ec);
    ASSERT_FALSE(ec) << ec.message();
    std::string index = ReadFile(run.HtmlDir() + "/index.html");
    const size_t end = index.rfind("</body>");
    ASSERT_NE(end, std::string::npos);
    index.insert(end, "<script src=\"e2e-probe.js\"></script>\n");
    run.WritePage("index.html", index);
}

void PageTest::WriteProbe(AppRun& run) {
    channel = "main" + std::to_string(++m_runs);
    run.WritePage("e2e-probe.js", "'use strict';\n" + site->ReportScript() + kProbeFunctions +
                                      control->PollScript(channel));
}

::testing::AssertionResult PageTest::Launch(AppRun& run) {
    WriteProbe(run);
    mainWindow = StartAndWaitForMainWindow(run);
    if (!mainWindow) return ::testing::AssertionFailure() << "no main window";
    return Attach(run);
}

::testing::AssertionResult PageTest::Attach(AppRun& run) {
    if (!mainWindow || mainWindow->pid != run.Pid()) {
        mainWindow = x->WaitForMainWindow(run.Pid(), kMainTitle, kStartTimeout);
        if (!mainWindow)
            return ::testing::AssertionFailure() << "no main window of pid " << run.Pid() << "\n"
                                                 << run.Stderr();
    }
    auto ready = Eval(
        "document.readyState === 'complete' && window.trawletApp ? 'ready' : "
        "document.readyState",
        kStartTimeout);
    if (!WaitUntil(
            [&] {
                return ready == std::optional<std::string>("ready") ||
                       (ready = Eval("document.readyState === 'complete' && "
                                     "window.trawletApp ? 'ready' : 'not yet'")) == "ready";
            },
            kStartTimeout, Millis(100)))
        return ::testing::AssertionFailure()
               << "the page does not answer (last: " << ready.value_or("nothing") << ")\n"
               << run.Stderr();
    return ::testing::AssertionSuccess();
}

std::optional<std::string> PageTest::Eval(const std::string& script, Millis timeout) {
    return control->Eval(channel, script, timeout);
}

std::optional<PageState> PageTest::State() {
    auto text = Eval("e2eProbe.state()");
    if (!text) return std::nullopt;
    auto json = ParseJson(*text);
    if (!json) {
        ADD_FAILURE() << "unreadable state: " << *text;
        return std::nullopt;
    }
    PageState state{*json, {}};
    for (const auto& r : JsonMember(*json, "rows")) {
        Row row;
        row.url = JsonString(r, "url");
        row.kind = JsonString(r, "kind");
        row.group = JsonString(r, "group");
        row.name = JsonString(r, "name");
        row.badge = JsonString(r, "badge");
        row.type = JsonString(r, "type");
        row.size = JsonString(r, "size");
        row.hits = JsonString(r, "hits");
        row.selected = JsonBool(r, "selected");
        row.box = BoxOf(JsonMember(r, "box"));
        row.copyBox = BoxOf(JsonMember(r, "copyBox"));
        row.openBox = BoxOf(JsonMember(r, "openBox"));
        state.rows.push_back(std::move(row));
    }
    return state;
}

bool PageTest::WaitForState(const std::function<bool(const PageState&)>& condition,
                            Millis timeout) {
    return WaitUntil(
        [&] {
            auto s = State();
            if (!s) return false;
            last = std::move(*s);
            return condition(last);
        },
        timeout, Millis(50));
}

std::optional<Box> PageTest::Rect(const std::string& selector) {
    auto text = Eval("e2eProbe.rect(" + JsString(selector) + ")");
    if (!text) return std::nullopt;
    auto json = ParseJson(*text);
    if (!json || !json->isArray() || json->size() != 4) return std::nullopt;
    return BoxOf(*json);
}

void PageTest::Painted() {
    const size_t before = CountReports("painted");
    ASSERT_EQ(Eval("e2eProbe.painted()"), "waiting");
    ASSERT_TRUE(WaitUntil([&] { return CountReports("painted") > before; }, kActionTimeout));
}

size_t PageTest::CountReports(const std::string& text) {
    const auto reports = site->Reports();
    return std::count(reports.begin(), reports.end(), text);
}

void PageTest::ClickAt(int cx, int cy, const std::string& modifier) {
    KeepScanWindowsAside();
    std::vector<std::string> argv = {"xdotool",          "mousemove",
                                     "--window",         std::to_string(mainWindow->id),
                                     std::to_string(cx), std::to_string(cy)};
    if (!modifier.empty()) argv.insert(argv.end(), {"keydown", modifier});
    argv.insert(argv.end(), {"click", "1"});
    if (!modifier.empty()) argv.insert(argv.end(), {"keyup", modifier});
    ASSERT_TRUE(RunCommand(argv).Ok()) << "xdotool click failed";
}

void PageTest::Click(const std::string& selector, const std::string& modifier) {
    auto box = Rect(selector);
    ASSERT_TRUE(box) << "no element " << selector;
    ASSERT_GT(box->width, 0) << selector << " is not shown";
    ClickAt(box->CenterX(), box->CenterY(), modifier);
}

void PageTest::ClickRow(const Row& row, const std::string& modifier) {
    // On the name cell, away from the row's buttons.
    ClickAt(row.box.x + 60, row.box.CenterY(), modifier);
}

void PageTest::Key(const std::string& keys) {
    KeepScanWindowsAside();
    ASSERT_TRUE(x->Key(mainWindow->id, keys)) << "xdotool key " << keys << " failed";
}

void PageTest::Type(const std::string& text) {
    KeepScanWindowsAside();
    ASSERT_TRUE(RunCommand({"xdotool", "windowfocus", "--sync", std::to_string(mainWindow->id),
                            "type", "--clearmodifiers", "--delay", "8", "--", text},
                           Millis(30000))
                    .Ok())
        << "xdotool type failed";
}

void PageTest::TypeInto(const std::string& selector, const std::string& text) {
    // The engine takes typed keys through the input method, asynchronously, so a click right
    // after typing could overtake the last keys: the field is read back first, as a person
    // looks before moving on.
    ASSERT_NO_FATAL_FAILURE(Click(selector));
    ASSERT_NO_FATAL_FAILURE(Key("ctrl+a"));
    if (text.empty())
        ASSERT_NO_FATAL_FAILURE(Key("BackSpace"));
    else
        ASSERT_NO_FATAL_FAILURE(Type(text));
    const std::string read = "document.querySelector(" + JsString(selector) + ").value";
    ASSERT_TRUE(WaitUntil([&] { return Eval(read) == text; }, kActionTimeout, Millis(50)))
        << selector << " holds \"" << Eval(read).value_or("?") << "\", not \"" << text << "\"";
}

bool PageTest::IsScanWindow(const WindowInfo& w) const {
    return w.pid == app->Pid() && w.viewable && !w.IsDialog() && w.id != mainWindow->id &&
           w.width >= 400 && w.height >= 300;
}

void PageTest::KeepScanWindowsAside() {
    if (!mainWindow || !app) return;
    for (const auto& w : x->Windows([&](const WindowInfo& w) {
             return IsScanWindow(w) && w.x < mainWindow->x + mainWindow->width;
         })) {
        RunCommand({"xdotool", "windowmove", std::to_string(w.id),
                    std::to_string(mainWindow->x + mainWindow->width + 10), "0"});
    }
}

bool PageTest::WaitForScanWindow() {
    return WaitUntil(
        [&] { return !x->Windows([&](const WindowInfo& w) { return IsScanWindow(w); }).empty(); },
        kStartTimeout, Millis(50));
}

void PageTest::StartScan(const std::string& url, bool withReturn) {
    ASSERT_NO_FATAL_FAILURE(TypeInto("#url", url));
    if (withReturn)
        ASSERT_NO_FATAL_FAILURE(Key("Return"));
    else
        ASSERT_NO_FATAL_FAILURE(Click("#start"));
    ASSERT_TRUE(WaitForState([](const PageState& s) { return s.S("state") == "running"; })) << last;
    ASSERT_TRUE(WaitForScanWindow());
    KeepScanWindowsAside();
}

void PageTest::ScanTheSite(bool withReturn) {
    AddScanSite(*site);
    ASSERT_NO_FATAL_FAILURE(StartScan(site->Url("/site/index.html"), withReturn));
    const auto expected = ScanSiteHits();
    const bool complete = WaitForState(
        [&](const PageState& s) {
            const auto results = s.Results();
            for (const auto& [path, hits] : expected) {
                const std::string url = site->Url(path);
                const auto n = std::count_if(results.begin(), results.end(), [&](auto& r) {
                    return r.substr(0, r.find('#')) == url;
                });
                if (n < hits) return false;
            }
            // Records are listed once per frame: the list has caught up when it counts
            // every record received.
            return s.N("total") == static_cast<int>(results.size()) &&
                   s.N("count") == kScanSiteRows &&
                   s.rows.size() == static_cast<size_t>(kScanSiteRows);
        },
        kStartTimeout);
    ASSERT_TRUE(complete) << "the list did not fill:\n"
                          << last << "records: " << ::testing::PrintToString(last.Results());
}

std::string PageTest::ShotOfMainWindow(const std::string& name) {
    KeepScanWindowsAside();
    Painted();
    std::error_code ec;
    fs::create_directories(ArtifactsDir(), ec);
    const std::string file = ArtifactsDir() + "/" + name;
    EXPECT_TRUE(
        RunCommand({"import", "-window", std::to_string(mainWindow->id), file}, Millis(15000)).Ok())
        << "no screenshot " << file;
    return file;
}

std::optional<std::array<int, 3>> PageTest::PixelAt(const std::string& file, int px, int py) {
    CommandResult r = RunCommand(
        {"convert", file, "-crop", "1x1+" + std::to_string(px) + "+" + std::to_string(py), "-depth",
         "8", "-format", "%[fx:int(255*r)],%[fx:int(255*g)],%[fx:int(255*b)]", "info:"},
        Millis(15000));
    std::array<int, 3> rgb{};
    if (!r.Ok() || std::sscanf(r.out.c_str(), "%d,%d,%d", &rgb[0], &rgb[1], &rgb[2]) != 3)
        return std::nullopt;
    return rgb;
}

std::optional<std::string> PageTest::ClipboardChangedFrom(
    const std::optional<std::string>& previous) {
    std::optional<std::string> text;
    WaitUntil(
        [&] {
            text = x->ClipboardText();
            return text && text != previous;
        },
        kActionTimeout, Millis(50));
    return text != previous ? text : std::nullopt;
}

size_t PageTest::CountSiteRequests() const {
    const auto requests = site->Requests();
    return std::count_if(requests.begin(), requests.end(),
                         [](const Request& r) { return r.path.rfind("/site/", 0) == 0; });
}

}  // namespace e2e
