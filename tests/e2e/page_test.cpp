// The real user-interface page in the real program, driven the way a person drives it: clicks
// at the places where the page's controls are and key presses, through the X server. The page
// is the built one (build/Html), copied into the run's folder with one test-only script added
// to the copy: a probe that tells the test where elements are and what the page shows (the
// scan state, the counts, the rows in sight, the fields) when the test asks through the site.
// The probe never clicks, types or calls the program itself.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "e2e/Fixture.h"

namespace fs = std::filesystem;

namespace e2e {
namespace {

using ::testing::ElementsAreArray;
using ::testing::HasSubstr;
using ::testing::UnorderedElementsAreArray;

// ---------------------------------------------------------------------------------------
// A small JSON reader for the probe's answers and the page's JSON export.

struct Json {
    enum class Kind { Null, Bool, Number, String, Array, Object } kind = Kind::Null;
    bool boolean = false;
    double number = 0;
    std::string text;
    std::vector<Json> items;
    std::vector<std::pair<std::string, Json>> members;

    const Json& operator[](std::string_view key) const {
        static const Json kNull;
        for (const auto& [name, value] : members) {
            if (name == key) return value;
        }
        return kNull;
    }
    std::string Str(std::string_view key) const { return (*this)[key].text; }
    double Num(std::string_view key) const { return (*this)[key].number; }
    bool Bool(std::string_view key) const { return (*this)[key].boolean; }
};

class JsonReader {
public:
    explicit JsonReader(std::string_view text) : m_text(text) {}

    std::optional<Json> ReadAll() {
        Json value;
        if (!Read(value, 0)) return std::nullopt;
        Blanks();
        if (m_at != m_text.size()) return std::nullopt;
        return value;
    }

private:
    void Blanks() {
        while (m_at < m_text.size() &&
               std::string_view(" \t\r\n").find(m_text[m_at]) != std::string_view::npos)
            ++m_at;
    }
    bool Eat(char c) {
        Blanks();
        if (m_at < m_text.size() && m_text[m_at] == c) return ++m_at, true;
        return false;
    }
    bool Word(std::string_view word) {
        if (m_text.substr(m_at, word.size()) != word) return false;
        m_at += word.size();
        return true;
    }
    bool Read(Json& value, int depth) {
        if (depth > 64) return false;
        Blanks();
        if (m_at >= m_text.size()) return false;
        const char c = m_text[m_at];
        if (c == '"') return value.kind = Json::Kind::String, String(value.text);
        if (c == '[' || c == '{') {
            const bool object = c == '{';
            value.kind = object ? Json::Kind::Object : Json::Kind::Array;
            ++m_at;
            if (Eat(object ? '}' : ']')) return true;
            do {
                std::string key;
                if (object) {
                    Blanks();
                    if (m_at >= m_text.size() || m_text[m_at] != '"' || !String(key) || !Eat(':'))
                        return false;
                }
                Json item;
                if (!Read(item, depth + 1)) return false;
                if (object)
                    value.members.emplace_back(std::move(key), std::move(item));
                else
                    value.items.push_back(std::move(item));
            } while (Eat(','));
            return Eat(object ? '}' : ']');
        }
        if (Word("true")) return value.kind = Json::Kind::Bool, value.boolean = true, true;
        if (Word("false")) return value.kind = Json::Kind::Bool, true;
        if (Word("null")) return true;
        const size_t start = m_at;
        while (m_at < m_text.size() &&
               std::string_view("+-0123456789.eE").find(m_text[m_at]) != std::string_view::npos)
            ++m_at;
        if (m_at == start) return false;
        value.kind = Json::Kind::Number;
        value.number = std::stod(std::string(m_text.substr(start, m_at - start)));
        return true;
    }
    static void Utf8(std::string& out, unsigned code) {
        if (code < 0x80) {
            out += static_cast<char>(code);
        } else if (code < 0x800) {
            out += static_cast<char>(0xC0 | (code >> 6));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            out += static_cast<char>(0xE0 | (code >> 12));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (code >> 18));
            out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        }
    }
    bool Hex4(unsigned& code) {
        if (m_at + 4 > m_text.size()) return false;
        code = 0;
        for (int i = 0; i < 4; ++i) {
            const char h = m_text[m_at++];
            code <<= 4;
            if (h >= '0' && h <= '9')
                code |= h - '0';
            else if (h >= 'a' && h <= 'f')
                code |= h - 'a' + 10;
            else if (h >= 'A' && h <= 'F')
                code |= h - 'A' + 10;
            else
                return false;
        }
        return true;
    }
    bool String(std::string& out) {
        ++m_at;
        while (m_at < m_text.size()) {
            const char c = m_text[m_at++];
            if (c == '"') return true;
            if (c != '\\') {
                out += c;
                continue;
            }
            if (m_at >= m_text.size()) return false;
            const char e = m_text[m_at++];
            static const std::string_view kFrom = "\"\\/bfnrt", kTo = "\"\\/\b\f\n\r\t";
            if (const size_t k = kFrom.find(e); k != std::string_view::npos) {
                out += kTo[k];
            } else if (e == 'u') {
                unsigned code = 0;
                if (!Hex4(code)) return false;
                if (code >= 0xD800 && code < 0xDC00 && m_text.substr(m_at, 2) == "\\u") {
                    m_at += 2;
                    unsigned low = 0;
                    if (!Hex4(low)) return false;
                    code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
                }
                Utf8(out, code);
            } else {
                return false;
            }
        }
        return false;
    }

    std::string_view m_text;
    size_t m_at = 0;
};

std::optional<Json> ParseJson(std::string_view text) {
    return JsonReader(text).ReadAll();
}

// A JavaScript string literal for any text.
std::string JsString(std::string_view text) {
    std::string out = "'";
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\'' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20) {
            static const char kHex[] = "0123456789abcdef";
            out += "\\x";
            out += kHex[byte >> 4];
            out += kHex[byte & 15];
        } else {
            out += c;
        }
    }
    return out + "'";
}

// ---------------------------------------------------------------------------------------
// Texts the page produces, read back independently of the page's own code.

// Bytes behind a size text as the program writes them (1024-based units, "unknown" for
// none): -1 when the text is not a size.
double SizeBytes(const std::string& text) {
    static const std::map<std::string, double> kUnits = {
        {"B", 1}, {"KB", 1024}, {"MB", 1024.0 * 1024}, {"GB", 1024.0 * 1024 * 1024}};
    size_t digits = 0;
    while (digits < text.size() &&
           (std::isdigit(static_cast<unsigned char>(text[digits])) || text[digits] == '.'))
        ++digits;
    if (digits == 0) return -1;
    auto unit = kUnits.find(text.substr(digits));
    if (unit == kUnits.end()) return -1;
    return std::stod(text.substr(0, digits)) * unit->second;
}

// RFC 4180: records of fields, CRLF (or LF) between records, quoted fields may hold
// commas, quotation marks (doubled) and line breaks. No value when the text is malformed.
std::optional<std::vector<std::vector<std::string>>> ParseCsv(const std::string& text) {
    std::vector<std::vector<std::string>> records;
    std::vector<std::string> record;
    std::string field;
    size_t i = 0;
    bool fieldStarted = false;
    auto endField = [&] {
        record.push_back(std::move(field));
        field.clear();
        fieldStarted = false;
    };
    while (i < text.size()) {
        const char c = text[i];
        if (c == '"' && !fieldStarted && field.empty()) {
            fieldStarted = true;
            ++i;
            for (;;) {
                if (i >= text.size()) return std::nullopt;
                if (text[i] == '"') {
                    if (i + 1 < text.size() && text[i + 1] == '"') {
                        field += '"';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                field += text[i++];
            }
            // After the closing quotation mark only a separator may follow.
            if (i < text.size() && text[i] != ',' && text[i] != '\r' && text[i] != '\n')
                return std::nullopt;
            continue;
        }
        if (c == ',') {
            endField();
            ++i;
        } else if (c == '\r' || c == '\n') {
            endField();
            records.push_back(std::move(record));
            record.clear();
            i += (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ? 2 : 1;
        } else if (c == '"') {
            return std::nullopt;  // a quotation mark inside an unquoted field
        } else {
            fieldStarted = true;
            field += c;
            ++i;
        }
    }
    if (fieldStarted || !record.empty()) {
        endField();
        records.push_back(std::move(record));
    }
    return records;
}

// The words a POSIX shell makes of a command line that starts with `program`: the line is
// run by /bin/sh with `program` defined as a function that prints its arguments, so the
// shell's own quoting rules decide and nothing is downloaded.
std::optional<std::vector<std::string>> ShellWords(const std::string& program,
                                                   const std::string& commandLine) {
    const std::string script =
        program + "() { for word in \"$@\"; do printf '%s\\0' \"$word\"; done; }\n" + commandLine;
    CommandResult r = RunCommand({"sh", "-c", script}, Millis(5000));
    if (!r.Ok()) return std::nullopt;
    std::vector<std::string> words;
    size_t start = 0;
    for (size_t end; (end = r.out.find('\0', start)) != std::string::npos; start = end + 1)
        words.push_back(r.out.substr(start, end - start));
    return words;
}

// ---------------------------------------------------------------------------------------
// Asking the page

// The probe polls "/ctl?ch=<channel>" and gets the next command of its channel that no page
// got yet, as "<number>\n<script>", or an empty answer; it evaluates the script and reports
// "ans:<channel>:<number>:<value>".
class Control {
public:
    explicit Control(TestSite& site) : m_site(site), m_shared(std::make_shared<Shared>()) {
        auto shared = m_shared;
        site.Route("/ctl", [shared](const Request& request) {
            const std::string channel = QueryValue(request.path, "ch");
            std::string body;
            {
                std::lock_guard lock(shared->mutex);
                auto& queue = shared->channels[channel];
                if (queue.delivered < queue.commands.size()) {
                    body = std::to_string(queue.delivered + 1) + "\n" +
                           queue.commands[queue.delivered];
                    ++queue.delivered;
                }
            }
            Response response = Response::Of("text/x-control", body);
            response.headers.emplace_back("Access-Control-Allow-Origin", "*");
            response.headers.emplace_back("Cache-Control", "no-store");
            return response;
        });
    }

    std::optional<std::string> Eval(const std::string& channel, const std::string& script,
                                    Millis timeout = kActionTimeout) {
        size_t number = 0;
        {
            std::lock_guard lock(m_shared->mutex);
            auto& queue = m_shared->channels[channel];
            queue.commands.push_back(script);
            number = queue.commands.size();
        }
        return m_site.WaitForReportPrefix("ans:" + channel + ":" + std::to_string(number) + ":",
                                          timeout);
    }

    // The polling loop, for a page that has report() (from the site's ReportScript()).
    std::string PollScript(const std::string& channel) const {
        return "(function () {\n"
               "  function poll() {\n"
               "    var got = false;\n"
               "    fetch(" +
               JsString(m_site.Url("/ctl") + "?ch=" + channel) +
               ", {cache: 'no-store'})\n"
               "      .then(function (r) { return r.text(); })\n"
               "      .then(function (text) {\n"
               "        if (!text) return;\n"
               "        got = true;\n"
               "        var nl = text.indexOf('\\n'), answer;\n"
               "        try { answer = String((0, eval)(text.slice(nl + 1))); }\n"
               "        catch (e) { answer = '!exception:' + e; }\n"
               "        report('ans:" +
               channel +
               ":' + text.slice(0, nl) + ':' + answer);\n"
               "      })\n"
               "      .catch(function () {})\n"
               "      .then(function () { setTimeout(poll, got ? 0 : 15); });\n"
               "  }\n"
               "  poll();\n"
               "})();\n";
    }

    static std::string QueryValue(const std::string& path, const std::string& name) {
        const size_t query = path.find('?');
        if (query == std::string::npos) return {};
        std::istringstream pairs(path.substr(query + 1));
        for (std::string pair; std::getline(pairs, pair, '&');) {
            if (pair.compare(0, name.size() + 1, name + "=") == 0)
                return pair.substr(name.size() + 1);
        }
        return {};
    }

private:
    struct Queue {
        std::vector<std::string> commands;
        size_t delivered = 0;
    };
    struct Shared {
        std::mutex mutex;
        std::map<std::string, Queue> channels;
    };
    TestSite& m_site;
    std::shared_ptr<Shared> m_shared;
};

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

struct Box {
    int x = 0, y = 0, width = 0, height = 0;
    int CenterX() const { return x + width / 2; }
    int CenterY() const { return y + height / 2; }
};

// [left, top, width, height] as the probe writes it.
Box BoxOf(const Json& json) {
    const auto& b = json.items;
    if (b.size() != 4) return {};
    return {static_cast<int>(b[0].number), static_cast<int>(b[1].number),
            static_cast<int>(b[2].number), static_cast<int>(b[3].number)};
}

// One row in sight, as the probe reads it.
struct Row {
    std::string url, kind, group, name, badge, type, size, hits;
    bool selected = false;
    Box box;
    Box copyBox;  // the row's own Copy button
    Box openBox;  // and its Open button
};

// The page as the probe sees it.
struct PageState {
    Json raw;
    std::vector<Row> rows;

    std::string S(std::string_view key) const { return raw.Str(key); }
    int N(std::string_view key) const { return static_cast<int>(raw.Num(key)); }
    std::vector<std::string> Urls() const {
        std::vector<std::string> urls;
        for (const auto& r : rows) urls.push_back(r.url);
        return urls;
    }
    const Row* Find(std::string_view urlPart) const {
        for (const auto& r : rows) {
            if (r.url.find(urlPart) != std::string::npos) return &r;
        }
        return nullptr;
    }
    std::vector<std::string> Results() const {
        std::vector<std::string> urls;
        for (const auto& item : raw["results"].items) urls.push_back(item.text);
        return urls;
    }
    std::vector<std::string> Strings(std::string_view key) const {
        std::vector<std::string> out;
        for (const auto& item : raw[key].items) out.push_back(item.text);
        return out;
    }
};

std::ostream& operator<<(std::ostream& os, const PageState& s) {
    os << "state=" << s.S("state") << " count=" << s.N("count") << " total=" << s.N("total")
       << " selected=" << s.N("selected") << " focus=" << s.S("focus") << " message=\""
       << s.S("message") << "\" notice=\"" << s.S("notice") << "\"\n";
    for (const auto& r : s.rows)
        os << "  [" << (r.selected ? 'x' : ' ') << "] " << r.kind << " " << r.badge << " " << r.name
           << " | " << r.size << " | " << r.hits << " | " << r.url << "\n";
    return os;
}

// ---------------------------------------------------------------------------------------
// The scanned site

// A 1x1 GIF, padded with zero bytes after its end to `size` bytes.
std::string Gif(size_t size = 43) {
    static const unsigned char kGif[] = {
        0x47, 0x49, 0x46, 0x38, 0x39, 0x61, 0x01, 0x00, 0x01, 0x00, 0x80, 0x00, 0x00, 0xff, 0xff,
        0xff, 0x00, 0x00, 0x00, 0x21, 0xf9, 0x04, 0x01, 0x00, 0x00, 0x00, 0x00, 0x2c, 0x00, 0x00,
        0x00, 0x00, 0x01, 0x00, 0x01, 0x00, 0x00, 0x02, 0x02, 0x44, 0x01, 0x00, 0x3b};
    std::string gif(reinterpret_cast<const char*>(kGif), sizeof kGif);
    if (gif.size() < size) gif.append(size - gif.size(), '\0');
    return gif;
}

// Pads a text with a trailing comment to exactly `size` bytes.
std::string Padded(std::string text, size_t size, std::string_view open, std::string_view close) {
    const size_t frame = open.size() + close.size();
    if (text.size() + frame <= size)
        text +=
            std::string(open) + std::string(size - text.size() - frame, ' ') + std::string(close);
    return text;
}

// The hostile image: its address holds a quote, &, $ and a comma, which a shell command
// and a CSV field must both quote.
constexpr const char* kHostilePath = "/site/img/it's&$x,y.gif";
constexpr const char* kHostileQuery = "?a=1&b=$HOME";

// The site a scan fills the list from: a page with images of very different sizes, a style
// sheet, a script, a WAV file, one address fetched three times with different fragments,
// and an HLS playlist whose segments the script fetches.
void AddScanSite(TestSite& site) {
    const std::string index = Padded(
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
    const std::string script = Padded(
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
               Response::Of("text/css", Padded("h1 { color: #345; }\n", 700, "/*", "*/")));
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

// Every address of the scan site (paths with their query, no fragment) with how often the
// list must have seen it at least.
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

// The rows the folded list shows for the scan site: 11 addresses and one segment group.
constexpr int kScanSiteRows = 12;

// ---------------------------------------------------------------------------------------
// The fixture

class PageTest : public AppTest {
protected:
    void SetUp() override {
        AppTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        // The main window (1100 x 760) must be wholly on the screen to be clicked anywhere,
        // with room to its right for the scan window.
        CommandResult geometry = RunCommand({"xdotool", "getdisplaygeometry"});
        int width = 0, height = 0;
        ASSERT_TRUE(geometry.Ok() &&
                    std::sscanf(geometry.out.c_str(), "%d %d", &width, &height) == 2);
        ASSERT_TRUE(width >= 1500 && height >= 800)
            << "the screen is " << width << "x" << height
            << "; run under xvfb-run -s \"-screen 0 1600x1000x24\"";
        control = std::make_unique<Control>(*site);
    }
    void TearDown() override {
        AppTest::TearDown();
        control.reset();
    }

    // A fresh run with the built page and the probe in its Html folder, and a download folder
    // of its own named in its XDG user folders.
    AppRun& NewPageApp() {
        AppRun& run = NewApp();
        CopyBuiltPage(run);
        downloads = run.Home() + "/Downloads";
        fs::create_directories(downloads);
        WriteFile(run.ConfigHome() + "/user-dirs.dirs", "XDG_DOWNLOAD_DIR=\"$HOME/Downloads\"\n");
        return run;
    }

    // The page the program ships, copied below the run's Html folder, with the probe added to
    // the copy only.
    void CopyBuiltPage(AppRun& run) {
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

    // (Re)writes the probe so that it listens on a channel of its own: a page of an earlier
    // run of the program can never take a command meant for this one.
    void WriteProbe(AppRun& run) {
        channel = "main" + std::to_string(++m_runs);
        run.WritePage("e2e-probe.js", "'use strict';\n" + site->ReportScript() + kProbeFunctions +
                                          control->PollScript(channel));
    }

    // Starts the run and waits until its page is loaded and the probe answers.
    ::testing::AssertionResult Launch(AppRun& run) {
        WriteProbe(run);
        mainWindow = StartAndWaitForMainWindow(run);
        if (!mainWindow) return ::testing::AssertionFailure() << "no main window";
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

    std::optional<std::string> Eval(const std::string& script, Millis timeout = kActionTimeout) {
        return control->Eval(channel, script, timeout);
    }

    std::optional<PageState> State() {
        auto text = Eval("e2eProbe.state()");
        if (!text) return std::nullopt;
        auto json = ParseJson(*text);
        if (!json) {
            ADD_FAILURE() << "unreadable state: " << *text;
            return std::nullopt;
        }
        PageState state{*json, {}};
        for (const auto& r : (*json)["rows"].items) {
            Row row;
            row.url = r.Str("url");
            row.kind = r.Str("kind");
            row.group = r.Str("group");
            row.name = r.Str("name");
            row.badge = r.Str("badge");
            row.type = r.Str("type");
            row.size = r.Str("size");
            row.hits = r.Str("hits");
            row.selected = r.Bool("selected");
            row.box = BoxOf(r["box"]);
            row.copyBox = BoxOf(r["copyBox"]);
            row.openBox = BoxOf(r["openBox"]);
            state.rows.push_back(std::move(row));
        }
        return state;
    }

    // Polls the page until `condition` holds; the last state read is kept in `last`.
    bool WaitForState(const std::function<bool(const PageState&)>& condition,
                      Millis timeout = kActionTimeout) {
        return WaitUntil(
            [&] {
                auto s = State();
                if (!s) return false;
                last = std::move(*s);
                return condition(last);
            },
            timeout, Millis(50));
    }

    std::optional<Box> Rect(const std::string& selector) {
        auto text = Eval("e2eProbe.rect(" + JsString(selector) + ")");
        if (!text) return std::nullopt;
        auto json = ParseJson(*text);
        if (!json || json->items.size() != 4) return std::nullopt;
        return BoxOf(*json);
    }

    // Waits until what the page last changed has been painted.
    void Painted() {
        const size_t before = CountReports("painted");
        ASSERT_EQ(Eval("e2eProbe.painted()"), "waiting");
        ASSERT_TRUE(WaitUntil([&] { return CountReports("painted") > before; }, kActionTimeout));
    }
    size_t CountReports(const std::string& text) {
        const auto reports = site->Reports();
        return std::count(reports.begin(), reports.end(), text);
    }

    // Mouse button 1 at a point of the main window, with modifier keys held ("shift",
    // "ctrl") when given.
    void ClickAt(int cx, int cy, const std::string& modifier = {}) {
        KeepScanWindowsAside();
        std::vector<std::string> argv = {"xdotool",          "mousemove",
                                         "--window",         std::to_string(mainWindow->id),
                                         std::to_string(cx), std::to_string(cy)};
        if (!modifier.empty()) argv.insert(argv.end(), {"keydown", modifier});
        argv.insert(argv.end(), {"click", "1"});
        if (!modifier.empty()) argv.insert(argv.end(), {"keyup", modifier});
        ASSERT_TRUE(RunCommand(argv).Ok()) << "xdotool click failed";
    }
    void Click(const std::string& selector, const std::string& modifier = {}) {
        auto box = Rect(selector);
        ASSERT_TRUE(box) << "no element " << selector;
        ASSERT_GT(box->width, 0) << selector << " is not shown";
        ClickAt(box->CenterX(), box->CenterY(), modifier);
    }
    void ClickRow(const Row& row, const std::string& modifier = {}) {
        // On the name cell, away from the row's buttons.
        ClickAt(row.box.x + 60, row.box.CenterY(), modifier);
    }
    // Keys go to the main window, which gets the keyboard focus first.
    void Key(const std::string& keys) {
        KeepScanWindowsAside();
        ASSERT_TRUE(x->Key(mainWindow->id, keys)) << "xdotool key " << keys << " failed";
    }
    void Type(const std::string& text) {
        KeepScanWindowsAside();
        ASSERT_TRUE(RunCommand({"xdotool", "windowfocus", "--sync", std::to_string(mainWindow->id),
                                "type", "--clearmodifiers", "--delay", "8", "--", text},
                               Millis(30000))
                        .Ok())
            << "xdotool type failed";
    }
    // Replaces the text of a field by typing, as a person does: click, select all, type.
    // The engine takes typed keys through the input method, asynchronously, so a click
    // right after typing could overtake the last keys: the field is read back first, as a
    // person looks before moving on.
    void TypeInto(const std::string& selector, const std::string& text) {
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

    // A window of the program other than the main window, its dialogs and the menus of its
    // lists (a select element's menu is a small window of its own).
    bool IsScanWindow(const WindowInfo& w) const {
        return w.pid == app->Pid() && w.viewable && !w.IsDialog() && w.id != mainWindow->id &&
               w.width >= 400 && w.height >= 300;
    }

    // The scan window opens over the main window (there is no window manager to place it);
    // it is moved to the right of it so that the main window stays in sight.
    void KeepScanWindowsAside() {
        if (!mainWindow || !app) return;
        for (const auto& w : x->Windows([&](const WindowInfo& w) {
                 return IsScanWindow(w) && w.x < mainWindow->x + mainWindow->width;
             })) {
            RunCommand({"xdotool", "windowmove", std::to_string(w.id),
                        std::to_string(mainWindow->x + mainWindow->width + 10), "0"});
        }
    }
    bool WaitForScanWindow() {
        return WaitUntil(
            [&] {
                return !x->Windows([&](const WindowInfo& w) { return IsScanWindow(w); }).empty();
            },
            kStartTimeout, Millis(50));
    }

    // Types the address of the scan site and starts with Return (or the Start button), then
    // waits until every resource of the site is in the list.
    void ScanTheSite(bool withReturn = true) {
        AddScanSite(*site);
        ASSERT_NO_FATAL_FAILURE(TypeInto("#url", site->Url("/site/index.html")));
        if (withReturn)
            ASSERT_NO_FATAL_FAILURE(Key("Return"));
        else
            ASSERT_NO_FATAL_FAILURE(Click("#start"));
        ASSERT_TRUE(WaitForState([](const PageState& s) { return s.S("state") == "running"; }))
            << last;
        ASSERT_TRUE(WaitForScanWindow());
        KeepScanWindowsAside();
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

    // Saves a picture of the main window under the artifacts folder.
    std::string ShotOfMainWindow(const std::string& name) {
        KeepScanWindowsAside();
        Painted();
        std::error_code ec;
        fs::create_directories(ArtifactsDir(), ec);
        const std::string file = ArtifactsDir() + "/" + name;
        EXPECT_TRUE(
            RunCommand({"import", "-window", std::to_string(mainWindow->id), file}, Millis(15000))
                .Ok())
            << "no screenshot " << file;
        return file;
    }

    // The colour of one pixel of a picture, as red, green and blue from 0 to 255.
    static std::optional<std::array<int, 3>> PixelAt(const std::string& file, int px, int py) {
        CommandResult r =
            RunCommand({"convert", file, "-crop",
                        "1x1+" + std::to_string(px) + "+" + std::to_string(py), "-depth", "8",
                        "-format", "%[fx:int(255*r)],%[fx:int(255*g)],%[fx:int(255*b)]", "info:"},
                       Millis(15000));
        std::array<int, 3> rgb{};
        if (!r.Ok() || std::sscanf(r.out.c_str(), "%d,%d,%d", &rgb[0], &rgb[1], &rgb[2]) != 3)
            return std::nullopt;
        return rgb;
    }

    // The clipboard once it holds something other than `previous`.
    std::optional<std::string> ClipboardChangedFrom(const std::optional<std::string>& previous) {
        std::optional<std::string> text;
        WaitUntil(
            [&] {
                text = x->ClipboardText();
                return text && text != previous;
            },
            kActionTimeout, Millis(50));
        return text != previous ? text : std::nullopt;
    }

    // Requests for the scan site's pages (the probe's polling is not counted).
    size_t CountSiteRequests() const {
        const auto requests = site->Requests();
        return std::count_if(requests.begin(), requests.end(),
                             [](const Request& r) { return r.path.rfind("/site/", 0) == 0; });
    }

    std::unique_ptr<Control> control;
    std::optional<WindowInfo> mainWindow;
    std::string channel;
    std::string downloads;
    PageState last;

private:
    int m_runs = 0;
};

// ---------------------------------------------------------------------------------------
// Tests

// The addresses behind rows in sight, as the page's copy and export give them: a segment
// group stands for its segments, in the order they arrived.
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

std::vector<Row> Selected(const PageState& s) {
    std::vector<Row> rows;
    for (const auto& r : s.rows) {
        if (r.selected) rows.push_back(r);
    }
    return rows;
}

std::string JoinLines(const std::vector<std::string>& lines) {
    std::string text;
    for (const auto& line : lines) text += (text.empty() ? "" : "\n") + line;
    return text;
}

struct StartCase {
    const char* name;
    bool withReturn;  // Return in the address field, or a click on Start
};

void PrintTo(const StartCase& c, std::ostream* os) {
    *os << c.name;
}

class ScanStartTest : public PageTest, public ::testing::WithParamInterface<StartCase> {};

TEST_P(ScanStartTest, TypedAddressScansTheSiteIntoTheList) {
    AppRun& run = NewPageApp();
    ASSERT_TRUE(Launch(run));
    ASSERT_NO_FATAL_FAILURE(ScanTheSite(GetParam().withReturn));
    const PageState s = last;

    // One row per address (fragments folded), the segments under one row.
    struct Expected {
        std::string path, kind, badge, hits;
    };
    const std::vector<Expected> expected = {
        {"/site/index.html", "document", "", "1"},
        {"/site/css/look.css", "style", "", "1"},
        {"/site/js/app.js", "script", "", "1"},
        {"/site/img/tiny.gif", "image", "", "1"},
        {"/site/img/small.png", "image", "", "1"},
        {"/site/img/photo.jpg", "image", "", "1"},
        {"/site/img/big.gif", "image", "", "1"},
        {std::string(kHostilePath) + kHostileQuery, "image", "", "1"},
        {"/site/img/dup.gif#", "image", "", "3"},
        {"/site/media/tone.wav", "audio", "", ""},
        {"/site/hls/stream.m3u8", "playlist", "HLS", "1"},
        {"/site/hls/", "video", "segments", "4"},
    };
    std::set<std::string> matched;
    for (const auto& e : expected) {
        SCOPED_TRACE(e.path);
        const std::string wanted = site->Url(e.path);
        auto row = std::find_if(s.rows.begin(), s.rows.end(), [&](const Row& r) {
            return r.url == wanted || (wanted.back() == '#' && r.url.rfind(wanted, 0) == 0);
        });
        ASSERT_NE(row, s.rows.end()) << s;
        matched.insert(row->url);
        EXPECT_EQ(row->kind, e.kind);
        EXPECT_EQ(row->badge, e.badge);
        if (!e.hits.empty()) {
            EXPECT_EQ(row->hits, e.hits);
        }
        EXPECT_EQ(row->group, e.badge == "segments" ? "segments" : "");
    }
    EXPECT_EQ(matched.size(), s.rows.size()) << s;
    auto group = std::find_if(s.rows.begin(), s.rows.end(),
                              [](const Row& r) { return r.group == "segments"; });
    ASSERT_NE(group, s.rows.end());
    EXPECT_EQ(group->url, site->Url("/site/hls/"));
    EXPECT_EQ(group->name, "4 segments");
    // 4 x 1,880 bytes, summed from the records' size texts ("1.84KB" each), so near enough.
    EXPECT_NEAR(SizeBytes(group->size), 4 * 1880, 4 * 1880 * 0.01) << group->size;

    // The counts under the list say what is folded.
    EXPECT_EQ(s.N("total"), static_cast<int>(s.Results().size()));
    EXPECT_EQ(s.N("unique"), s.N("total") - s.N("duplicates"));
    EXPECT_GE(s.N("duplicates"), 2);
    EXPECT_THAT(s.S("countText"), HasSubstr("12 rows shown of "));
    EXPECT_THAT(s.S("countText"), HasSubstr("4 segments folded"));
    EXPECT_EQ(s.S("message"), "");
    EXPECT_EQ(s.S("state"), "running");
}

INSTANTIATE_TEST_SUITE_P(Starts, ScanStartTest,
                         ::testing::Values(StartCase{"ReturnInTheAddressField", true},
                                           StartCase{"StartButton", false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(PageTest, ColumnClicksSortBySizeInBytesAndByHits) {
    AppRun& run = NewPageApp();
    ASSERT_TRUE(Launch(run));
    ASSERT_NO_FATAL_FAILURE(ScanTheSite());

    struct SortCase {
        const char* button;
        const char* column;
        std::function<double(const Row&)> key;
    };
    const std::vector<SortCase> cases = {
        {"#sort-size", "size", [](const Row& r) { return SizeBytes(r.size); }},
        {"#sort-hits", "hits", [](const Row& r) { return std::stod(r.hits); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.button);
        for (const char* order : {"ascending", "descending"}) {
            SCOPED_TRACE(order);
            ASSERT_NO_FATAL_FAILURE(Click(c.button));
            ASSERT_TRUE(WaitForState([&](const PageState& s) {
                return s.raw["headers"].Str(c.column) == order;
            })) << last;
            ASSERT_EQ(last.rows.size(), static_cast<size_t>(kScanSiteRows)) << last;
            std::vector<double> keys;
            for (const auto& r : last.rows) keys.push_back(c.key(r));
            for (double k : keys) EXPECT_GE(k, 0) << last;
            if (std::string(order) == "ascending")
                EXPECT_TRUE(std::is_sorted(keys.begin(), keys.end())) << last;
            else
                EXPECT_TRUE(std::is_sorted(keys.rbegin(), keys.rend())) << last;
        }
        // A third click goes back to arrival order.
        ASSERT_NO_FATAL_FAILURE(Click(c.button));
        ASSERT_TRUE(WaitForState([&](const PageState& s) {
            return s.raw["headers"].Str(c.column) == "none";
        })) << last;
    }
    // By bytes, not by text: text order would put 1.24MB before 19.53KB and 43B after 2.93KB.
    ASSERT_NO_FATAL_FAILURE(Click("#sort-size"));
    ASSERT_TRUE(WaitForState(
        [&](const PageState& s) { return s.raw["headers"].Str("size") == "ascending"; }));
    ASSERT_FALSE(last.rows.empty());
    EXPECT_EQ(last.rows.front().size, "43B") << last;
    EXPECT_EQ(last.rows.back().size, "1.24MB") << last;
}

TEST_F(PageTest, ViewFilterAndTypeChipsNarrowTheRows) {
    AppRun& run = NewPageApp();
    ASSERT_TRUE(Launch(run));
    ASSERT_NO_FATAL_FAILURE(ScanTheSite());
    const std::vector<Row> all = last.rows;

    // `/` in the list moves the focus to the view filter.
    ASSERT_NO_FATAL_FAILURE(ClickRow(all[0]));
    ASSERT_TRUE(WaitForState([](const PageState& s) { return s.S("focus") == "grid"; })) << last;
    ASSERT_NO_FATAL_FAILURE(Key("slash"));
    ASSERT_TRUE(WaitForState([](const PageState& s) { return s.S("focus") == "view-text"; }))
        << last;
    // So does Ctrl+F, from anywhere.
    ASSERT_NO_FATAL_FAILURE(Click("#url"));
    ASSERT_TRUE(WaitForState([](const PageState& s) { return s.S("focus") == "url"; })) << last;
    ASSERT_NO_FATAL_FAILURE(Key("ctrl+f"));
    ASSERT_TRUE(WaitForState([](const PageState& s) { return s.S("focus") == "view-text"; }))
        << last;

    auto urlsWhere = [&](const std::function<bool(const Row&)>& pred) {
        std::vector<std::string> urls;
        for (const auto& r : all) {
            if (pred(r)) urls.push_back(r.url);
        }
        return urls;
    };
    auto hasPart = [](const Row& r, const std::string& part) {
        return r.url.find(part) != std::string::npos;
    };
    struct FilterCase {
        const char* name;
        std::function<void()> act;  // from a cleared view filter
        std::vector<std::string> rows;
    };
    const std::vector<FilterCase> cases = {
        {"Word", [&] { Type("hls"); }, urlsWhere([&](auto& r) { return hasPart(r, "/hls/"); })},
        {"ExcludedWord", [&] { Type("-img"); },
         urlsWhere([&](auto& r) { return !hasPart(r, "/img/"); })},
        {"RegularExpression",
         [&] {
             Click("#view-regex");
             Click("#view-text");
             Type("\\.(css|js)$");
         },
         urlsWhere([&](auto& r) { return r.kind == "style" || r.kind == "script"; })},
        {"NegatedWord",
         [&] {
             Click("#view-not");
             Click("#view-text");
             Type("site/img");
         },
         urlsWhere([&](auto& r) { return !hasPart(r, "/img/"); })},
        {"ImageChip", [&] { Click("#chip-image"); },
         urlsWhere([](auto& r) { return r.kind == "image"; })},
        {"ImageAndAudioChips",
         [&] {
             Click("#chip-image");
             Click("#chip-audio");
         },
         urlsWhere([](auto& r) { return r.kind == "image" || r.kind == "audio"; })},
        {"PlaylistChip", [&] { Click("#chip-playlist"); },
         urlsWhere([](auto& r) { return r.badge == "HLS"; })},
        {"MinimumSize", [&] { TypeInto("#view-min", "1MB"); },
         urlsWhere([&](auto& r) { return hasPart(r, "big.gif"); })},
        {"MaximumSizeAndChip",
         [&] {
             TypeInto("#view-max", "100B");
             Click("#chip-image");
         },
         urlsWhere([&](auto& r) { return r.kind == "image" && SizeBytes(r.size) <= 100; })},
    };
    bool first = true;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (!first) {
            ASSERT_NO_FATAL_FAILURE(Click("#clear-view"));
            ASSERT_TRUE(WaitForState([&](const PageState& s) {
                return s.N("count") == kScanSiteRows && s.S("viewText").empty();
            })) << last;
            ASSERT_NO_FATAL_FAILURE(Click("#view-text"));
        }
        first = false;
        ASSERT_FALSE(c.rows.empty());
        c.act();
        ASSERT_FALSE(HasFatalFailure());
        EXPECT_TRUE(WaitForState([&](const PageState& s) {
            return s.N("count") == static_cast<int>(c.rows.size()) &&
                   s.rows.size() == c.rows.size();
        })) << last;
        EXPECT_THAT(last.Urls(), UnorderedElementsAreArray(c.rows)) << last;
        EXPECT_EQ(last.S("viewError"), "");
        EXPECT_EQ(last.N("total"), static_cast<int>(last.Results().size()))
            << "the view filter changed what is captured";
    }
    // Nothing matches: the list says so and offers to show every row.
    ASSERT_NO_FATAL_FAILURE(Click("#clear-view"));
    ASSERT_NO_FATAL_FAILURE(Click("#view-text"));
    ASSERT_NO_FATAL_FAILURE(Type("no-such-row"));
    ASSERT_TRUE(WaitForState([](const PageState& s) { return s.N("count") == 0; })) << last;
    EXPECT_THAT(last.S("empty"), HasSubstr("No row matches the view filter.")) << last;
    ASSERT_NO_FATAL_FAILURE(Click("#empty-clear-view"));
    EXPECT_TRUE(WaitForState([](const PageState& s) { return s.N("count") == kScanSiteRows; }))
        << last;
}

TEST_F(PageTest, SelectionByClicksAndKeysCopiesAddressesAndCommands) {
    AppRun& run = NewPageApp();
    ASSERT_TRUE(Launch(run));
    ASSERT_NO_FATAL_FAILURE(ScanTheSite());
    const std::vector<Row> rows = last.rows;
    ASSERT_EQ(rows.size(), static_cast<size_t>(kScanSiteRows));
    std::optional<std::string> clip = x->ClipboardText();

    auto selectedUrls = [&] { return AddressesBehind(Selected(last), *site); };
    auto waitSelected = [&](int n) {
        return WaitForState([&](const PageState& s) {
            return s.N("selected") == n && static_cast<int>(Selected(s).size()) == n;
        });
    };

    // A click selects one row; Ctrl+C copies its address.
    ASSERT_NO_FATAL_FAILURE(ClickRow(rows[1]));
    ASSERT_TRUE(waitSelected(1)) << last;
    EXPECT_EQ(Selected(last)[0].url, rows[1].url);
    ASSERT_NO_FATAL_FAILURE(Key("ctrl+c"));
    clip = ClipboardChangedFrom(clip);
    EXPECT_EQ(clip, rows[1].url);

    // Shift-click extends to a range; Ctrl+C copies one address a line.
    ASSERT_NO_FATAL_FAILURE(ClickRow(rows[4], "shift"));
    ASSERT_TRUE(waitSelected(4)) << last;
    EXPECT_THAT(selectedUrls(),
                ElementsAreArray(AddressesBehind({rows.begin() + 1, rows.begin() + 5}, *site)));
    ASSERT_NO_FATAL_FAILURE(Key("ctrl+c"));
    clip = ClipboardChangedFrom(clip);
    EXPECT_EQ(clip, JoinLines(selectedUrls()));

    // Ctrl-click adds a row; "Copy addresses" copies the selection, the segment group as
    // its segments.
    const size_t groupAt =
        std::find_if(rows.begin(), rows.end(), [](const Row& r) { return r.group == "segments"; }) -
        rows.begin();
    ASSERT_LT(groupAt, rows.size());
    ASSERT_GT(groupAt, 4u);
    ASSERT_NO_FATAL_FAILURE(ClickRow(rows[groupAt], "ctrl"));
    ASSERT_TRUE(waitSelected(5)) << last;
    ASSERT_NO_FATAL_FAILURE(Click("#act-copy"));
    clip = ClipboardChangedFrom(clip);
    const auto fiveRows = selectedUrls();
    ASSERT_EQ(fiveRows.size(), 8u);
    EXPECT_EQ(clip, JoinLines(fiveRows));

    // Ctrl-click again takes the row out.
    ASSERT_NO_FATAL_FAILURE(ClickRow(rows[groupAt], "ctrl"));
    ASSERT_TRUE(waitSelected(4)) << last;

    // Ctrl+A in the list selects every row; a curl command holds every address, each one
    // word for a POSIX shell, whatever it holds.
    ASSERT_NO_FATAL_FAILURE(Key("ctrl+a"));
    ASSERT_TRUE(waitSelected(kScanSiteRows)) << last;
    ASSERT_NO_FATAL_FAILURE(Click("#act-cmd"));
    clip = ClipboardChangedFrom(clip);
    ASSERT_TRUE(clip);
    EXPECT_EQ(clip->rfind("curl ", 0), 0u) << *clip;
    auto words = ShellWords("curl", *clip);
    ASSERT_TRUE(words) << "the shell refused the command:\n" << *clip;
    std::vector<std::string> expected = {"--location", "--globoff", "--remote-name-all"};
    for (const auto& url : AddressesBehind(last.rows, *site)) expected.push_back(url);
    EXPECT_THAT(*words, ElementsAreArray(expected)) << *clip;
    EXPECT_THAT(*clip, HasSubstr("'\\''")) << "the quote in an address is not quoted";

    // The row's own Copy button copies that row's address exactly.
    const Row* hostile = last.Find("it's");
    ASSERT_TRUE(hostile) << last;
    ASSERT_NO_FATAL_FAILURE(ClickAt(hostile->copyBox.CenterX(), hostile->copyBox.CenterY()));
    clip = ClipboardChangedFrom(clip);
    EXPECT_EQ(clip, site->Url(std::string(kHostilePath) + kHostileQuery));

    // Esc clears the selection; arrows move it, Shift+arrow extends it.
    ASSERT_NO_FATAL_FAILURE(ClickRow(rows[0]));
    ASSERT_TRUE(waitSelected(1)) << last;
    ASSERT_NO_FATAL_FAILURE(Key("Escape"));
    ASSERT_TRUE(waitSelected(0)) << last;
    ASSERT_NO_FATAL_FAILURE(Key("Down"));
    ASSERT_TRUE(waitSelected(1)) << last;
    EXPECT_EQ(Selected(last)[0].url, rows[1].url);
    ASSERT_NO_FATAL_FAILURE(Key("shift+Down"));
    ASSERT_NO_FATAL_FAILURE(Key("shift+Down"));
    ASSERT_TRUE(waitSelected(3)) << last;
    EXPECT_EQ(Selected(last).back().url, rows[3].url);

    // End and Home jump to the last and first row; Space takes the current row out of the
    // selection and puts it back.
    ASSERT_NO_FATAL_FAILURE(Key("End"));
    ASSERT_TRUE(waitSelected(1)) << last;
    EXPECT_EQ(Selected(last)[0].url, rows.back().url);
    ASSERT_NO_FATAL_FAILURE(Key("shift+Home"));
    ASSERT_TRUE(waitSelected(kScanSiteRows)) << last;
    ASSERT_NO_FATAL_FAILURE(Key("Home"));
    ASSERT_TRUE(waitSelected(1)) << last;
    EXPECT_EQ(Selected(last)[0].url, rows[0].url);
    ASSERT_NO_FATAL_FAILURE(Key("space"));
    ASSERT_TRUE(waitSelected(0)) << last;
    ASSERT_NO_FATAL_FAILURE(Key("space"));
    ASSERT_TRUE(waitSelected(1)) << last;
    EXPECT_EQ(Selected(last)[0].url, rows[0].url);
}

TEST_F(PageTest, ExportGivesCsvAndJsonOnTheClipboardAndSavesAFile) {
    AppRun& run = NewPageApp();
    ASSERT_TRUE(Launch(run));
    ASSERT_NO_FATAL_FAILURE(ScanTheSite());
    const std::vector<Row> rows = last.rows;
    const std::vector<std::string> everyAddress = AddressesBehind(rows, *site);
    ASSERT_EQ(last.S("exportFormat"), "csv");

    // Nothing selected: the export takes every row shown.
    std::optional<std::string> clip = x->ClipboardText();
    ASSERT_NO_FATAL_FAILURE(Click("#export-copy"));
    clip = ClipboardChangedFrom(clip);
    ASSERT_TRUE(clip);
    const std::string csv = *clip;
    auto table = ParseCsv(csv);
    ASSERT_TRUE(table) << "not valid CSV:\n" << csv;
    ASSERT_GE(table->size(), 1u);
    const std::vector<std::string> header = {
        "File name", "Type", "Size", "Bytes", "Kind", "Hits", "First seen", "Last seen", "Address"};
    EXPECT_THAT((*table)[0], ElementsAreArray(header));
    EXPECT_EQ(csv.find("\r\n"), csv.find('\n') - 1) << "records end with CRLF";
    std::vector<std::string> addresses;
    std::map<std::string, std::vector<std::string>> byAddress;
    for (size_t i = 1; i < table->size(); ++i) {
        const auto& record = (*table)[i];
        ASSERT_EQ(record.size(), header.size()) << "record " << i << " of\n" << csv;
        addresses.push_back(record[8]);
        byAddress[record[8].substr(0, record[8].find('#'))] = record;
    }
    EXPECT_THAT(addresses, ElementsAreArray(everyAddress)) << csv;
    const auto& hostile = byAddress[site->Url(std::string(kHostilePath) + kHostileQuery)];
    ASSERT_FALSE(hostile.empty()) << csv;
    EXPECT_EQ(hostile[3], "60");
    EXPECT_EQ(hostile[4], "image");
    const auto& dup = byAddress[site->Url("/site/img/dup.gif")];
    ASSERT_FALSE(dup.empty()) << csv;
    EXPECT_EQ(dup[5], "3");
    EXPECT_EQ(byAddress[site->Url("/site/hls/seg-2.ts")][4], "video");
    EXPECT_EQ(byAddress[site->Url("/site/hls/stream.m3u8")][4], "playlist");

    // "Save file" hands the same text to the engine's download, into the download folder.
    ASSERT_NO_FATAL_FAILURE(Click("#export-save"));
    std::string saved;
    const bool found = WaitUntil(
        [&] {
            std::error_code ec;
            for (const auto& entry : fs::directory_iterator(downloads, ec)) {
                const std::string name = entry.path().filename().string();
                if (name.rfind("trawlet-", 0) == 0 && entry.path().extension() == ".csv") {
                    saved = ReadFile(entry.path().string());
                    if (saved == csv) return true;
                }
            }
            return false;
        },
        kActionTimeout, Millis(100));
    std::string listing;
    std::error_code ec;
    for (const auto& entry : fs::recursive_directory_iterator(run.Home(), ec))
        listing += "  " + entry.path().string() + "\n";
    EXPECT_TRUE(found) << "no file with the export in " << downloads << " (" << saved.size()
                       << " bytes read); files under HOME:\n"
                       << listing << "page: " << last;
    ASSERT_TRUE(WaitForState([](const PageState& s) {
        return s.S("notice").find("Saving trawlet-") == 0;
    })) << last;

    // JSON chosen in its list (the select opens a menu; Down and Return pick the next entry).
    ASSERT_NO_FATAL_FAILURE(Click("#export-format"));
    ASSERT_NO_FATAL_FAILURE(Key("Down"));
    ASSERT_NO_FATAL_FAILURE(Key("Return"));
    ASSERT_TRUE(WaitForState([](const PageState& s) { return s.S("exportFormat") == "json"; }))
        << last;
    ASSERT_NO_FATAL_FAILURE(Click("#export-copy"));
    clip = ClipboardChangedFrom(clip);
    ASSERT_TRUE(clip);
    auto json = ParseJson(*clip);
    ASSERT_TRUE(json && json->kind == Json::Kind::Array) << *clip;
    std::vector<std::string> jsonAddresses;
    for (const auto& item : json->items) jsonAddresses.push_back(item.Str("url"));
    EXPECT_THAT(jsonAddresses, ElementsAreArray(everyAddress));
    for (const auto& item : json->items) {
        if (item.Str("url").find("big.gif") != std::string::npos) {
            EXPECT_NEAR(item.Num("bytes"), 1300000, 1300000 * 0.01);
            EXPECT_EQ(item.Str("size"), "1.24MB");
        }
        if (item.Str("url").find("stream.m3u8") != std::string::npos) {
            EXPECT_EQ(item.Str("playlist"), "HLS");
        }
    }
}

TEST_F(PageTest, PauseAndStopByButtonsAndKeysDropResponses) {
    // The scanned page loads one more image when the test asks it to.
    site->Route("/p/index.html",
                Response::Html(Page("<p>driven</p>",
                                    "function load(path) {\n"
                                    "  var image = new Image();\n"
                                    "  image.onload = image.onerror = function () {\n"
                                    "    report('loaded:' + path);\n"
                                    "  };\n"
                                    "  image.src = path;\n"
                                    "  return 'loading';\n"
                                    "}\n" +
                                        control->PollScript("scan"))));
    for (const char* name : {"first", "paused", "resumed", "stopped", "idle", "again", "after"})
        site->Route(std::string("/p/") + name + ".gif", Response::Of("image/gif", Gif()));

    AppRun& run = NewPageApp();
    ASSERT_TRUE(Launch(run));
    // Only images are captured, so the scanned page's own polling never is.
    ASSERT_NO_FATAL_FAILURE(Click("#filter-mime"));
    ASSERT_NO_FATAL_FAILURE(TypeInto("#mime-text", "image"));
    ASSERT_NO_FATAL_FAILURE(TypeInto("#url", site->Url("/p/index.html")));
    ASSERT_NO_FATAL_FAILURE(Key("Return"));
    ASSERT_TRUE(WaitForState([](const PageState& s) { return s.S("state") == "running"; })) << last;
    ASSERT_TRUE(WaitForScanWindow());
    KeepScanWindowsAside();

    auto load = [&](const std::string& path) {
        ASSERT_EQ(control->Eval("scan", "load('" + path + "')", kStartTimeout), "loading");
        ASSERT_TRUE(site->WaitForReport("loaded:" + path)) << path;
    };
    auto listed = [&](const PageState& s, const std::string& path) {
        const auto results = s.Results();
        return std::count(results.begin(), results.end(), site->Url(path)) > 0 &&
               s.Find(path) != nullptr;
    };
    auto waitListed = [&](const std::string& path) {
        return WaitForState([&](const PageState& s) { return listed(s, path); });
    };
    // A dropped response is watched for a while: the program learns of a response a little
    // after the page that loaded it.
    auto staysOut = [&](const std::string& path) {
        return StaysFalse(
            [&] {
                auto s = State();
                return s && (s->Find(path) != nullptr || [&] {
                           const auto r = s->Results();
                           return std::count(r.begin(), r.end(), site->Url(path)) > 0;
                       }());
            },
            Millis(1200), Millis(100));
    };
    auto waitState = [&](const std::string& state) {
        return WaitForState([&](const PageState& s) { return s.S("state") == state; });
    };

    ASSERT_NO_FATAL_FAILURE(load("/p/first.gif"));
    ASSERT_TRUE(waitListed("/p/first.gif")) << last;

    // The Pause button: paused, and the next response is not listed.
    ASSERT_NO_FATAL_FAILURE(Click("#pause"));
    ASSERT_TRUE(waitState("paused")) << last;
    EXPECT_EQ(last.S("pauseText"), "Resume");
    ASSERT_NO_FATAL_FAILURE(load("/p/paused.gif"));
    EXPECT_TRUE(staysOut("/p/paused.gif"));

    // Alt+P resumes.
    ASSERT_NO_FATAL_FAILURE(Key("alt+p"));
    ASSERT_TRUE(waitState("running")) << last;
    EXPECT_EQ(last.S("pauseText"), "Pause");
    ASSERT_NO_FATAL_FAILURE(load("/p/resumed.gif"));
    EXPECT_TRUE(waitListed("/p/resumed.gif")) << last;

    // Alt+S stops; Alt+P then changes nothing.
    ASSERT_NO_FATAL_FAILURE(Key("alt+s"));
    ASSERT_TRUE(waitState("idle")) << last;
    ASSERT_NO_FATAL_FAILURE(load("/p/stopped.gif"));
    EXPECT_TRUE(staysOut("/p/stopped.gif"));
    ASSERT_NO_FATAL_FAILURE(Key("alt+p"));
    ASSERT_NO_FATAL_FAILURE(load("/p/idle.gif"));
    EXPECT_TRUE(staysOut("/p/idle.gif"));
    EXPECT_EQ(State()->S("state"), "idle");

    // Return in the address field starts again with an empty list; the Stop button stops.
    ASSERT_NO_FATAL_FAILURE(Click("#url"));
    ASSERT_NO_FATAL_FAILURE(Key("Return"));
    ASSERT_TRUE(WaitForState([](const PageState& s) {
        return s.S("state") == "running" && s.N("total") == 0;
    })) << last;
    ASSERT_TRUE(WaitForScanWindow());
    ASSERT_NO_FATAL_FAILURE(load("/p/again.gif"));
    EXPECT_TRUE(waitListed("/p/again.gif")) << last;
    ASSERT_NO_FATAL_FAILURE(Click("#stop"));
    ASSERT_TRUE(waitState("idle")) << last;
    ASSERT_NO_FATAL_FAILURE(load("/p/after.gif"));
    EXPECT_TRUE(staysOut("/p/after.gif"));
    EXPECT_EQ(State()->S("message"), "");
}

TEST_F(PageTest, SettingsAndHistoryComeBackAfterARestart) {
    AppRun& run = NewPageApp();
    ASSERT_TRUE(Launch(run));
    AddScanSite(*site);
    const std::string address = site->Url("/site/index.html");
    ASSERT_NO_FATAL_FAILURE(Click("#filter-ext"));
    ASSERT_NO_FATAL_FAILURE(TypeInto("#ext-text", "*.gif; *.wav"));
    ASSERT_NO_FATAL_FAILURE(TypeInto("#url", address));
    ASSERT_NO_FATAL_FAILURE(Key("Return"));
    ASSERT_TRUE(WaitForState([](const PageState& s) { return s.S("state") == "running"; })) << last;
    // Names ending in .gif or .wav only ("it's&$x" has no extension: its name stops at the
    // comma).
    const std::vector<std::string> kept = {"tiny.gif", "big.gif", "dup.gif", "tone.wav"};
    ASSERT_TRUE(WaitForState(
        [&](const PageState& s) {
            return s.rows.size() == kept.size() &&
                   std::all_of(kept.begin(), kept.end(),
                               [&](const std::string& n) { return s.Find(n) != nullptr; }) &&
                   s.Find("dup.gif")->hits == "3";
        },
        kStartTimeout))
        << last;
    const std::vector<std::string> rowsBefore = last.Urls();
    // Largest first, an order that arrival never gives.
    ASSERT_NO_FATAL_FAILURE(Click("#sort-size"));
    ASSERT_NO_FATAL_FAILURE(Click("#sort-size"));
    ASSERT_NO_FATAL_FAILURE(Click("#stop"));
    ASSERT_TRUE(WaitForState([](const PageState& s) {
        return s.S("state") == "idle" && s.raw["history"].items.size() == 1 &&
               s.raw["headers"].Str("size") == "descending";
    })) << last;
    ASSERT_TRUE(x->CloseWindow(mainWindow->id));
    ASSERT_EQ(run.WaitForExit(), std::optional<int>(0)) << run.Stderr();

    ASSERT_TRUE(Launch(run));
    ASSERT_TRUE(WaitForState([](const PageState& s) { return s.rows.size() == 4; })) << last;
    const PageState s = last;
    EXPECT_EQ(s.S("url"), address);
    EXPECT_EQ(s.S("filterKind"), "ext");
    EXPECT_EQ(s.S("ext"), "*.gif; *.wav");
    EXPECT_EQ(s.S("state"), "idle");
    EXPECT_EQ(s.raw["headers"].Str("size"), "descending");
    const auto history = s.Strings("history");
    ASSERT_EQ(history.size(), 1u) << s;
    EXPECT_THAT(history[0], HasSubstr(address));
    EXPECT_THAT(history[0], HasSubstr("4 addresses"));
    // The last scan is shown again, sorted as it was.
    EXPECT_THAT(s.Urls(), UnorderedElementsAreArray(rowsBefore));
    ASSERT_EQ(s.rows.size(), 4u);
    EXPECT_EQ(s.rows.front().size, "1.24MB") << s;
    EXPECT_EQ(s.rows.back().size, "43B") << s;
    EXPECT_EQ(s.Find("dup.gif")->hits, "3");
    const auto keys = s.Strings("storage");
    EXPECT_THAT(keys, ::testing::Contains("trawlet.settings.v1"));
    EXPECT_THAT(keys, ::testing::Contains("trawlet.history.v1"));
    EXPECT_THAT(keys, ::testing::Contains(::testing::StartsWith("trawlet.scan.v1.")));
}

TEST_F(PageTest, ReturnOnARowAndItsOpenButtonHandTheAddressToTheDefaultProgram) {
    AppRun& run = NewPageApp();
    run.RegisterDefaultHandler();
    ASSERT_TRUE(Launch(run));
    ASSERT_NO_FATAL_FAILURE(ScanTheSite());
    const Row* tiny = last.Find("tiny.gif");
    const Row* big = last.Find("big.gif");
    ASSERT_TRUE(tiny && big) << last;
    const std::string tinyUrl = tiny->url, bigUrl = big->url;
    const Box bigOpen = big->openBox;

    ASSERT_NO_FATAL_FAILURE(ClickRow(*tiny));
    ASSERT_TRUE(WaitForState([](const PageState& s) { return s.S("focus") == "grid"; })) << last;
    ASSERT_NO_FATAL_FAILURE(Key("Return"));
    EXPECT_EQ(run.WaitForHandlerCall(), tinyUrl);
    ASSERT_NO_FATAL_FAILURE(ClickAt(bigOpen.CenterX(), bigOpen.CenterY()));
    EXPECT_EQ(run.WaitForHandlerCall(), bigUrl);
    EXPECT_TRUE(WaitForState([](const PageState& s) {
        return s.S("notice") == "Opened 1 address." && s.S("message").empty();
    })) << last;
    EXPECT_EQ(run.HandlerCalls().size(), 2u);
}

// Input the page refuses before it asks the program: it says what is wrong, puts the cursor
// where the fix goes, and nothing is loaded.
struct WrongInputCase {
    const char* name;
    const char* filter;   // the radio button to click: "#filter-off", "#filter-mime", ...
    const char* field;    // the filter text field to fill, or "" for none
    const char* text;     // typed into it ("" leaves it empty)
    const char* address;  // typed into the address field; "site" for the site's address
    const char* message;  // how the message starts
    const char* focus;    // the field that has the focus afterwards
};

TEST_F(PageTest, WrongInputSaysWhatIsWrongAndStartsNothing) {
    AppRun& run = NewPageApp();
    ASSERT_TRUE(Launch(run));
    AddScanSite(*site);
    const std::vector<WrongInputCase> cases = {
        {"NoAddress", "#filter-off", "", "", "", "Type the address of the page to scan", "url"},
        {"BlankAddress", "#filter-off", "", "", "   ", "Type the address of the page to scan",
         "url"},
        {"EmptyMimeText", "#filter-mime", "#mime-text", "", "site",
         "Type a piece of MIME type to keep", "mime-text"},
        {"SeveralMimeTypes", "#filter-mime", "#mime-text", "video, audio", "site",
         "The MIME filter takes one piece of text", "mime-text"},
        {"EmptyExtensionList", "#filter-ext", "#ext-text", " ; ", "site",
         "Type at least one file extension", "ext-text"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_NO_FATAL_FAILURE(Click(c.filter));
        if (*c.field) {
            ASSERT_NO_FATAL_FAILURE(TypeInto(c.field, c.text));
        }
        const std::string address =
            std::string(c.address) == "site" ? site->Url("/site/index.html") : c.address;
        ASSERT_NO_FATAL_FAILURE(TypeInto("#url", address));
        ASSERT_NO_FATAL_FAILURE(Key("Return"));
        EXPECT_TRUE(WaitForState([&](const PageState& s) {
            return s.S("message").rfind(c.message, 0) == 0 && s.S("focus") == c.focus;
        })) << last;
        EXPECT_EQ(last.S("state"), "idle");
    }
    EXPECT_EQ(CountSiteRequests(), 0u) << "the page asked for a scan";
    EXPECT_TRUE(x->Windows([&](const WindowInfo& w) { return IsScanWindow(w); }).empty());

    // Corrected input starts, and the message goes away.
    ASSERT_NO_FATAL_FAILURE(TypeInto("#ext-text", "gif"));
    ASSERT_NO_FATAL_FAILURE(Click("#url"));
    ASSERT_NO_FATAL_FAILURE(Key("Return"));
    EXPECT_TRUE(WaitForState(
        [](const PageState& s) {
            return s.S("state") == "running" && s.S("message").empty() && s.N("count") > 0;
        },
        kStartTimeout))
        << last;
}

// Closing the main window tears its page down without "pagehide" (nor "beforeunload" or
// "visibilitychange"), so the page writes what it keeps as it changes: a setting changed just
// before closing, and the rows of a running scan, must both be there after a restart.
TEST_F(PageTest, CloseRightAfterAChangeKeepsIt) {
    AppRun& run = NewPageApp();
    ASSERT_TRUE(Launch(run));
    AddScanSite(*site);
    const std::string address = site->Url("/site/index.html");
    ASSERT_NO_FATAL_FAILURE(TypeInto("#url", address));
    ASSERT_NO_FATAL_FAILURE(Key("Return"));
    ASSERT_TRUE(WaitForState([](const PageState& s) { return s.N("count") >= 3; })) << last;
    ASSERT_NO_FATAL_FAILURE(Click("#sort-hits"));
    // Closed as soon as the page shows the new order.
    ASSERT_TRUE(WaitForState([](const PageState& s) {
        return s.raw["headers"].Str("hits") == "ascending";
    })) << last;
    ASSERT_TRUE(x->CloseWindow(mainWindow->id));
    ASSERT_EQ(run.WaitForExit(), std::optional<int>(0)) << run.Stderr();

    ASSERT_TRUE(Launch(run));
    EXPECT_TRUE(WaitForState([](const PageState& s) {
        return s.raw["headers"].Str("hits") == "ascending" && s.Strings("history").size() == 1 &&
               s.N("count") >= 3;
    })) << last;
}

// A scanned page that fetches an image of its own address (a query that counts up) `perSecond`
// times a second, ten at a time, for as long as it is open.
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

TEST_F(PageTest, ClosingDuringAScanKeepsTheRowsReceivedUpToThen) {
    AddStreamSite(*site, 50);
    AppRun& run = NewPageApp();
    ASSERT_TRUE(Launch(run));
    ASSERT_NO_FATAL_FAILURE(TypeInto("#url", site->Url("/stream/index.html")));
    ASSERT_NO_FATAL_FAILURE(Key("Return"));
    ASSERT_TRUE(WaitForState([](const PageState& s) { return s.N("count") >= 60; }, kStartTimeout))
        << last;
    // The rows on screen at this moment, closed at once.
    const int shown = last.N("count");
    ASSERT_TRUE(x->CloseWindow(mainWindow->id));
    ASSERT_EQ(run.WaitForExit(), std::optional<int>(0)) << run.Stderr();

    ASSERT_TRUE(Launch(run));
    ASSERT_TRUE(WaitForState([](const PageState& s) { return s.Strings("history").size() == 1; }))
        << last;
    EXPECT_GE(last.N("count"), shown) << last.Strings("history")[0];
    EXPECT_EQ(last.S("state"), "idle");
}

// Records keep coming while "stop" runs (the program hands over what it queued before its
// answer): the page must still say the scan stopped, every time.
TEST_F(PageTest, StopUnderAFastStreamOfRecordsSaysStopped) {
    AddStreamSite(*site, 500);
    AppRun& run = NewPageApp();
    ASSERT_TRUE(Launch(run));
    ASSERT_NO_FATAL_FAILURE(TypeInto("#url", site->Url("/stream/index.html")));
    auto streaming = [](const PageState& s) {
        return s.S("state") == "running" && s.N("total") >= 200;
    };
    for (int round = 0; round < 4; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        // On a loaded machine a key can arrive while the page is still busy with the previous
        // round's records; a start that did not take is pressed once more.
        bool started = false;
        for (int attempt = 0; attempt < 2 && !started; ++attempt) {
            ASSERT_NO_FATAL_FAILURE(Click("#url"));
            ASSERT_NO_FATAL_FAILURE(Key("Return"));
            started = WaitForState(streaming, kStartTimeout);
        }
        ASSERT_TRUE(started) << last;
        ASSERT_NO_FATAL_FAILURE(Click("#stop"));
        ASSERT_TRUE(WaitForState([](const PageState& s) { return s.S("state") == "idle"; }))
            << last;
        EXPECT_TRUE(StaysFalse(
            [&] {
                auto s = State();
                return s && s->S("state") != "idle";
            },
            Millis(1500), Millis(50)))
            << "the page went back to \"" << State()->S("statusText") << "\"";
    }
}

TEST_F(PageTest, ScreenshotsOfTheEmptyPageAndAFullListInLightAndDarkTheme) {
    AppRun& run = NewPageApp();
    ASSERT_TRUE(Launch(run));
    auto s = State();
    ASSERT_TRUE(s);
    EXPECT_FALSE(s->raw.Bool("systemDark"));
    EXPECT_EQ(s->S("background"), "rgb(255, 255, 255)");
    ShotOfMainWindow("page-empty.png");

    ASSERT_NO_FATAL_FAILURE(ScanTheSite());
    const std::vector<Row> rows = last.rows;
    // Two rows selected, so that the selection's colours are seen too.
    ASSERT_NO_FATAL_FAILURE(ClickRow(rows[2]));
    ASSERT_NO_FATAL_FAILURE(ClickRow(rows[4], "ctrl"));
    ASSERT_TRUE(WaitForState([](const PageState& s) { return s.N("selected") == 2; })) << last;
    ShotOfMainWindow("page-full-light.png");

    ASSERT_NO_FATAL_FAILURE(Click("#theme"));
    ASSERT_NO_FATAL_FAILURE(Key("Down"));
    ASSERT_NO_FATAL_FAILURE(Key("Down"));
    ASSERT_NO_FATAL_FAILURE(Key("Return"));
    ASSERT_TRUE(WaitForState([](const PageState& s) {
        return s.S("theme") == "dark" && s.S("dataTheme") == "dark";
    })) << last;
    EXPECT_EQ(last.S("background"), "rgb(27, 28, 31)");
    const std::string dark = ShotOfMainWindow("page-full-dark.png");
    // Unchecked boxes and radio buttons are dark too, not the engine's light ones.
    for (const char* control : {"#view-regex", "#view-not", "#filter-mime"}) {
        auto box = Rect(control);
        ASSERT_TRUE(box && box->width > 0) << control;
        auto rgb = PixelAt(dark, box->CenterX(), box->CenterY());
        ASSERT_TRUE(rgb) << control;
        EXPECT_LT(*std::max_element(rgb->begin(), rgb->end()), 100)
            << control << " is drawn light: " << (*rgb)[0] << "," << (*rgb)[1] << "," << (*rgb)[2];
    }

    // "Capture" stands beside its first choice.
    auto label = Rect("#capture-label");
    auto first = Rect("#filter-off");
    ASSERT_TRUE(label && first);
    EXPECT_LE(std::abs(label->CenterY() - first->CenterY()), 4)
        << "Capture at y " << label->y << ", its first choice at y " << first->y;
    EXPECT_LT(label->x, first->x);
}

TEST_F(PageTest, DarkSystemThemeGivesTheDarkPage) {
    AppRun& run = NewPageApp();
    run.SetEnv("GTK_THEME=Adwaita:dark");
    ASSERT_TRUE(Launch(run));
    auto s = State();
    ASSERT_TRUE(s);
    EXPECT_EQ(s->S("theme"), "system");
    EXPECT_TRUE(s->raw.Bool("systemDark")) << "the page does not see a dark preference";
    EXPECT_EQ(s->S("background"), "rgb(27, 28, 31)");
    ShotOfMainWindow("page-empty-system-dark.png");
}

}  // namespace
}  // namespace e2e
