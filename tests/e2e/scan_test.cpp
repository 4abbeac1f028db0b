// Scanning end to end: the real program with a small driver page in place of its own, scanning
// a loopback site. The driver page runs whatever script the test hands it through the site
// (it polls a control route), records every "addResult" text and every "updateInputUrl" call,
// and answers through the site's /report. Scanned pages can be driven the same way.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "e2e/Fixture.h"

namespace e2e {
namespace {

using ::testing::IsEmpty;

// ---------------------------------------------------------------------------------------
// A small JSON reader: the test reads the page's answers and the records with it, so that it
// does not rely on the program's own JSON library.

struct JsonValue {
    enum class Kind { Null, Bool, Number, String, Array, Object } kind = Kind::Null;
    bool boolean = false;
    double number = 0;
    std::string text;
    std::vector<JsonValue> items;
    std::vector<std::pair<std::string, JsonValue>> members;  // in the order written

    const JsonValue* Member(std::string_view key) const {
        for (const auto& [name, value] : members) {
            if (name == key) return &value;
        }
        return nullptr;
    }
    std::string String(std::string_view key) const {
        const JsonValue* value = Member(key);
        return value && value->kind == Kind::String ? value->text : std::string();
    }
};

class JsonReader {
public:
    explicit JsonReader(std::string_view text) : m_text(text) {}

    // The whole text as one value; no value when it is not exactly one valid JSON value.
    std::optional<JsonValue> ReadAll() {
        JsonValue value;
        if (!Read(value, 0)) return std::nullopt;
        SkipBlanks();
        if (m_at != m_text.size()) return std::nullopt;
        return value;
    }

private:
    void SkipBlanks() {
        while (m_at < m_text.size() && (m_text[m_at] == ' ' || m_text[m_at] == '\n' ||
                                        m_text[m_at] == '\r' || m_text[m_at] == '\t'))
            ++m_at;
    }
    bool Literal(std::string_view word) {
        if (m_text.substr(m_at, word.size()) != word) return false;
        m_at += word.size();
        return true;
    }
    bool Read(JsonValue& value, int depth) {
        if (depth > 64) return false;
        SkipBlanks();
        if (m_at >= m_text.size()) return false;
        const char c = m_text[m_at];
        if (c == '"') {
            value.kind = JsonValue::Kind::String;
            return ReadString(value.text);
        }
        if (c == '{') {
            value.kind = JsonValue::Kind::Object;
            ++m_at;
            SkipBlanks();
            if (m_at < m_text.size() && m_text[m_at] == '}') return ++m_at, true;
            for (;;) {
                SkipBlanks();
                std::string key;
                if (m_at >= m_text.size() || m_text[m_at] != '"' || !ReadString(key)) return false;
                SkipBlanks();
                if (m_at >= m_text.size() || m_text[m_at++] != ':') return false;
                JsonValue member;
                if (!Read(member, depth + 1)) return false;
                value.members.emplace_back(std::move(key), std::move(member));
                SkipBlanks();
                if (m_at >= m_text.size()) return false;
                if (m_text[m_at] == '}') return ++m_at, true;
                if (m_text[m_at++] != ',') return false;
            }
        }
        if (c == '[') {
            value.kind = JsonValue::Kind::Array;
            ++m_at;
            SkipBlanks();
            if (m_at < m_text.size() && m_text[m_at] == ']') return ++m_at, true;
            for (;;) {
                JsonValue item;
                if (!Read(item, depth + 1)) return false;
                value.items.push_back(std::move(item));
                SkipBlanks();
                if (m_at >= m_text.size()) return false;
                if (m_text[m_at] == ']') return ++m_at, true;
                if (m_text[m_at++] != ',') return false;
            }
        }
        if (Literal("true")) return value.kind = JsonValue::Kind::Bool, value.boolean = true, true;
        if (Literal("false")) return value.kind = JsonValue::Kind::Bool, true;
        if (Literal("null")) return true;
        const size_t start = m_at;
        while (m_at < m_text.size() &&
               std::string_view("+-0123456789.eE").find(m_text[m_at]) != std::string_view::npos)
            ++m_at;
        if (m_at == start) return false;
        value.kind = JsonValue::Kind::Number;
        value.number = std::stod(std::string(m_text.substr(start, m_at - start)));
        return true;
    }
    static void AppendUtf8(std::string& out, unsigned code) {
        if (code < 0x80) {
            out.push_back(static_cast<char>(code));
        } else if (code < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (code >> 6)));
            out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
        } else if (code < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (code >> 12)));
            out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (code >> 18)));
            out.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
        }
    }
    bool ReadHex4(unsigned& code) {
        if (m_at + 4 > m_text.size()) return false;
        code = 0;
        for (int i = 0; i < 4; ++i) {
            const char h = m_text[m_at++];
            code <<= 4;
            if (h >= '0' && h <= '9') {
                code |= h - '0';
            } else if (h >= 'a' && h <= 'f') {
                code |= h - 'a' + 10;
            } else if (h >= 'A' && h <= 'F') {
                code |= h - 'A' + 10;
            } else {
                return false;
            }
        }
        return true;
    }
    bool ReadString(std::string& out) {
        ++m_at;  // the opening quotation mark
        while (m_at < m_text.size()) {
            const char c = m_text[m_at++];
            if (c == '"') return true;
            if (static_cast<unsigned char>(c) < 0x20) return false;
            if (c != '\\') {
                out.push_back(c);
                continue;
            }
            if (m_at >= m_text.size()) return false;
            const char e = m_text[m_at++];
            switch (e) {
                case '"':
                case '\\':
                case '/':
                    out.push_back(e);
                    break;
                case 'b':
                    out.push_back('\b');
                    break;
                case 'f':
                    out.push_back('\f');
                    break;
                case 'n':
                    out.push_back('\n');
                    break;
                case 'r':
                    out.push_back('\r');
                    break;
                case 't':
                    out.push_back('\t');
                    break;
                case 'u': {
                    unsigned code = 0;
                    if (!ReadHex4(code)) return false;
                    // A surrogate pair is one character; a lone surrogate is kept as it is.
                    if (code >= 0xD800 && code < 0xDC00 && m_text.substr(m_at, 2) == "\\u") {
                        const size_t back = m_at;
                        m_at += 2;
                        unsigned low = 0;
                        if (ReadHex4(low) && low >= 0xDC00 && low < 0xE000) {
                            code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
                        } else {
                            m_at = back;
                        }
                    }
                    AppendUtf8(out, code);
                    break;
                }
                default:
                    return false;
            }
        }
        return false;
    }

    std::string_view m_text;
    size_t m_at = 0;
};

std::optional<JsonValue> ParseJson(std::string_view text) {
    return JsonReader(text).ReadAll();
}

// A JSON string as the records write it: quotation mark and backslash escaped, the five short
// escapes, other control bytes as \u00XX in upper case, everything else unchanged.
std::string Quote(std::string_view text) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out = "\"";
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\b':
                out += "\\b";
                break;
            case '\f':
                out += "\\f";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (byte < 0x20) {
                    out += "\\u00";
                    out.push_back(kHex[byte >> 4]);
                    out.push_back(kHex[byte & 0xF]);
                } else {
                    out.push_back(c);
                }
        }
    }
    return out + "\"";
}

// The exact text of one record as "addResult" receives it.
std::string RecordText(std::string_view fileName, std::string_view mimeType, std::string_view size,
                       std::string_view url) {
    return "{\"fileName\":" + Quote(fileName) + ",\"mimeType\":" + Quote(mimeType) +
           ",\"size\":" + Quote(size) + ",\"url\":" + Quote(url) + "}\n";
}

// A record as the test reads it back.
struct Record {
    std::string text;  // exactly as "addResult" received it
    std::string fileName, mimeType, size, url;
};

std::optional<Record> ParseRecord(const std::string& text) {
    auto value = ParseJson(text);
    if (!value || value->kind != JsonValue::Kind::Object) return std::nullopt;
    return Record{text, value->String("fileName"), value->String("mimeType"), value->String("size"),
                  value->String("url")};
}

// An address without its fragment, as a server sees it.
std::string WithoutFragment(const std::string& url) {
    return url.substr(0, url.find('#'));
}

// ---------------------------------------------------------------------------------------
// Driving pages through the site

// Pages poll "/ctl?ch=<channel>" and get the next command of their channel that no page got
// yet, as "<number>\n<script>", or an empty answer. So a page that is loaded again does not
// run old commands again. The page evaluates the script and reports
// "ans:<channel>:<number>:<value>". The route answers with CORS headers so that the driver
// page, which comes from a file address, may read it.
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
            return response;
        });
    }

    // Runs `script` in the page polling `channel` and answers the value of its last
    // expression as text ("!exception:..." when it threw), or no value at the deadline.
    std::optional<std::string> Eval(const std::string& channel, const std::string& script,
                                    Millis timeout = kActionTimeout) {
        size_t number = 0;
        {
            std::lock_guard lock(m_shared->mutex);
            auto& queue = m_shared->channels[channel];
            queue.commands.push_back(script);
            number = queue.commands.size();
        }
        const std::string prefix = "ans:" + channel + ":" + std::to_string(number) + ":";
        return m_site.WaitForReportPrefix(prefix, timeout);
    }

    // The polling script for a page of `channel`; it needs report() (AppTest::Page gives it).
    std::string PollScript(const std::string& channel) const {
        return "(function () {\n"
               "  function poll() {\n"
               "    var got = false;\n"
               "    fetch('" +
               m_site.Url("/ctl") + "?ch=" + channel +
               "', {cache: 'no-store'})\n"
               "      .then(function (r) { return r.text(); })\n"
               "      .then(function (text) {\n"
               "        if (!text) return;\n"
               "        got = true;\n"
               "        var nl = text.indexOf('\\n');\n"
               "        var number = text.slice(0, nl), answer;\n"
               "        try { answer = String((0, eval)(text.slice(nl + 1))); }\n"
               "        catch (e) { answer = '!exception:' + e; }\n"
               "        report('ans:" +
               channel +
               ":' + number + ':' + answer);\n"
               "      })\n"
               "      .catch(function () {})\n"
               "      .then(function () { setTimeout(poll, got ? 0 : 10); });\n"
               "  }\n"
               "  poll();\n"
               "})();\n";
    }

    static std::string QueryValue(const std::string& path, const std::string& name) {
        const size_t query = path.find('?');
        if (query == std::string::npos) return {};
        const std::string rest = path.substr(query + 1);
        size_t at = 0;
        while (at <= rest.size()) {
            size_t end = rest.find('&', at);
            if (end == std::string::npos) end = rest.size();
            const std::string pair = rest.substr(at, end - at);
            if (pair.compare(0, name.size() + 1, name + "=") == 0)
                return pair.substr(name.size() + 1);
            at = end + 1;
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

// The driver page's own script: the page functions the program calls, and callService().
constexpr const char* kDriverScript = R"JS(
var records = [], invalid = [], updates = [], inCall = false;
function addResult(text) {
  records.push(text);
  var ok = typeof text === 'string' && text.charAt(text.length - 1) === '\n';
  try {
    var o = JSON.parse(text);
    ok = ok && o !== null && typeof o === 'object' && Object.keys(o).join() === 'fileName,mimeType,size,url';
  } catch (e) { ok = false; }
  if (!ok) invalid.push(String(text));
}
function updateInputUrl(text) { updates.push((inCall ? 'in:' : 'out:') + text); }
function callService(method, params) {
  service.uri = 'com.kestovan.trawlet';
  service.method = method;
  service.params = typeof params === 'string' ? params : JSON.stringify(params);
  inCall = true;
  try { return String(service.call()); } finally { inCall = false; }
}
)JS";

constexpr const char* kAnswer1 = "{\"returnValue\":1}\n";
constexpr const char* kAnswer0 = "{\"returnValue\":0}\n";

// The settings of a "start" call, written as JSON.
struct StartSettings {
    std::string url;
    bool filterEnabled = false;
    bool useFileExtFilter = false;
    std::string filterText;  // "mimeFilter" or "fileExtFilter", as selected

    std::string Json() const {
        return std::string("{\"url\":") + Quote(url) +
               ",\"filterEnabled\":" + (filterEnabled ? "true" : "false") +
               ",\"useFileExtFilter\":" + (useFileExtFilter ? "true" : "false") + "," +
               Quote(useFileExtFilter ? "fileExtFilter" : "mimeFilter") + ":" + Quote(filterText) +
               "}";
    }
};

// A start that reports every response.
StartSettings Unfiltered(std::string url) {
    StartSettings settings;
    settings.url = std::move(url);
    return settings;
}

class ScanTest : public AppTest {
protected:
    void SetUp() override {
        AppTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        control = std::make_unique<Control>(*site);
    }
    void TearDown() override {
        AppTest::TearDown();
        control.reset();
    }

    // Starts the program with the driver page and waits until the page answers.
    // `prepare` runs on the new run before it starts.
    ::testing::AssertionResult StartDriver(const std::function<void(AppRun&)>& prepare = {}) {
        AppRun& run = NewApp();
        if (prepare) prepare(run);
        run.WritePage("index.html", Page("<p>driver</p>",
                                         std::string(kDriverScript) + control->PollScript("main")));
        mainWindow = StartAndWaitForMainWindow(run);
        if (!mainWindow) return ::testing::AssertionFailure() << "no main window";
        if (Eval("typeof service") != std::optional<std::string>("object"))
            return ::testing::AssertionFailure() << "the driver page does not answer, or has no "
                                                    "service\n"
                                                 << run.Stderr();
        return ::testing::AssertionSuccess();
    }

    std::optional<std::string> Eval(const std::string& script, Millis timeout = kStartTimeout) {
        return control->Eval("main", script, timeout);
    }

    // One service call from the driver page; its answer text.
    std::optional<std::string> Call(const std::string& method, const std::string& params) {
        return Eval("callService(" + Quote(method) + ", " + Quote(params) + ")");
    }
    std::optional<std::string> Start(const StartSettings& settings) {
        return Call("start", settings.Json());
    }

    // Every record the driver page has received so far, in order (fetched incrementally).
    const std::vector<Record>& Records() {
        auto answer =
            Eval("JSON.stringify(records.slice(" + std::to_string(m_records.size()) + "))");
        if (answer) {
            auto list = ParseJson(*answer);
            if (list && list->kind == JsonValue::Kind::Array) {
                for (auto& item : list->items) {
                    auto record = ParseRecord(item.text);
                    m_records.push_back(record ? *record : Record{item.text, {}, {}, {}, {}});
                }
            }
        }
        return m_records;
    }
    // Waits until `condition` holds for the records received so far.
    bool WaitForRecords(const std::function<bool(const std::vector<Record>&)>& condition,
                        Millis timeout = kActionTimeout) {
        return WaitUntil([&] { return condition(Records()); }, timeout, Millis(50));
    }
    bool WaitForRecordOf(const std::string& url, Millis timeout = kActionTimeout) {
        return WaitForRecords(
            [&](const std::vector<Record>& records) {
                return std::any_of(records.begin(), records.end(),
                                   [&](const Record& r) { return r.url == url; });
            },
            timeout);
    }
    size_t CountRecordsOf(const std::string& url) {
        const auto& records = Records();
        return std::count_if(records.begin(), records.end(),
                             [&](const Record& r) { return r.url == url; });
    }

    // The page's texts that did not parse as a record object.
    std::vector<std::string> InvalidRecords() {
        auto answer = Eval("JSON.stringify(invalid)");
        std::vector<std::string> texts;
        if (!answer) return {"(no answer from the driver page)"};
        auto list = ParseJson(*answer);
        if (!list) return {"(unreadable answer)"};
        for (auto& item : list->items) texts.push_back(item.text);
        return texts;
    }

    // Viewable windows of the program other than the main window.
    std::vector<WindowInfo> OtherWindows() {
        return x->Windows([&](const WindowInfo& w) {
            return w.pid == app->Pid() && w.viewable && !w.IsDialog() && w.id != mainWindow->id;
        });
    }
    bool WaitForOtherWindows(size_t count, Millis timeout = kActionTimeout) {
        return WaitUntil([&] { return OtherWindows().size() == count; }, timeout, Millis(50));
    }

    // A scanned page that the test drives through `channel`: load(path) makes it load one
    // more image and report "loaded:<path>" when that is done.
    std::string DrivenPage(const std::string& channel) const {
        return Page("<p>driven</p>",
                    "function load(path) {\n"
                    "  var image = new Image();\n"
                    "  image.onload = image.onerror = function () { report('loaded:' + path); };\n"
                    "  image.src = path;\n"
                    "  return 'loading';\n"
                    "}\n" +
                        control->PollScript(channel));
    }

    std::unique_ptr<Control> control;
    std::optional<WindowInfo> mainWindow;

private:
    std::vector<Record> m_records;
};

std::string Dump(const std::vector<Record>& records) {
    std::string out;
    for (const auto& r : records) out += "  " + r.text;
    return out;
}

// ---------------------------------------------------------------------------------------
// Site helpers

// A 1x1 GIF, padded with zero bytes after its end to `size` bytes (decoders ignore them).
std::string Gif(size_t size = 43) {
    static const unsigned char kGif[] = {
        0x47, 0x49, 0x46, 0x38, 0x39, 0x61, 0x01, 0x00, 0x01, 0x00, 0x80, 0x00, 0x00, 0xff, 0xff,
        0xff, 0x00, 0x00, 0x00, 0x21, 0xf9, 0x04, 0x01, 0x00, 0x00, 0x00, 0x00, 0x2c, 0x00, 0x00,
        0x00, 0x00, 0x01, 0x00, 0x01, 0x00, 0x00, 0x02, 0x02, 0x44, 0x01, 0x00, 0x3b};
    std::string gif(reinterpret_cast<const char*>(kGif), sizeof kGif);
    if (gif.size() < size) gif.append(size - gif.size(), '\0');
    return gif;
}

// Appends a comment of blanks so that the text is exactly `size` bytes long, which gives the
// resource a size text that the test can state (4096 bytes are "4KB").
std::string PadTo(std::string text, size_t size, std::string_view open, std::string_view close) {
    const size_t frame = open.size() + close.size();
    if (text.size() + frame > size) {
        ADD_FAILURE() << "the text is longer than " << size << " bytes";
        return text;
    }
    return text + std::string(open) + std::string(size - text.size() - frame, ' ') +
           std::string(close);
}
std::string PadHtml(std::string text, size_t size) {
    return PadTo(std::move(text), size, "<!--", "-->");
}

// ---------------------------------------------------------------------------------------
// Filter off: everything the site answered for the scan is reported, once per load, and each
// record is exactly what the engine gave.

// One resource of the full site.
struct SiteEntry {
    std::string route;   // the site's route (the path as written in the page, no query)
    std::string target;  // the address's path as the engine writes it: percent-encoded,
                         // with query and fragment
    Response response;
    std::string fileName, mimeType, size;  // the record expected for it
};

std::vector<SiteEntry> FullSite() {
    const std::string index = PadHtml(
        "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>full site</title>\n"
        "<link rel=\"stylesheet\" href=\"/scan/css/style.css\">\n"
        "<link rel=\"stylesheet\" href=\"/scan/css/empty.css\">\n"
        "</head><body>\n"
        "<p class=\"fancy\">text in a downloaded font</p>\n"
        "<img src=\"/scan/img/plain.gif\">\n"
        "<img src=\"/scan/img/moved.gif\">\n"
        "<img src=\"/scan/img/missing.gif\">\n"
        "<img src=\"/scan/img/nomime.gif\">\n"
        "<img src=\"/scan/img/q.gif?size=small&amp;v=2#frag\">\n"
        "<img src=\"/scan/img/déjà vu.gif\">\n"
        "<img src=\"/scan/img/get.gif?path=dir/clip.mp4\">\n"
        "<img src=\"/scan/img/esc.gif?back=\\slash|{}\">\n"
        "<audio src=\"/scan/media/tone.wav\" preload=\"auto\"></audio>\n"
        "<iframe src=\"/scan/frame.html\"></iframe>\n"
        // The link covers the whole view, so that a click anywhere in the window opens it.
        "<a href=\"/scan/blank.html\" target=\"_blank\" style=\"position:fixed; left:0; top:0; "
        "width:100%; height:100%; z-index:10\">new window</a>\n"
        "<script src=\"/scan/js/app.js\"></script>\n"
        "<script src=\"/scan/js/chunked.js\"></script>\n"
        "</body></html>\n",
        4096);
    const std::string style = PadTo(
        "@font-face { font-family: Fancy; src: url(/scan/fonts/fancy.woff); }\n"
        ".fancy { font-family: Fancy; }\n"
        "body { background-image: url(/scan/img/bg.gif); }\n",
        2048, "/*", "*/");
    const std::string script = PadTo(
        "fetch('/scan/api/data.json?x=1&y=a%2Fb');\n"
        "var xhr = new XMLHttpRequest(); xhr.open('GET', '/scan/api/xhr.txt'); xhr.send();\n"
        "fetch('/scan/dir/');\n",
        1024, "/*", "*/");
    const std::string frame = PadHtml("<!DOCTYPE html><img src=\"/scan/img/in-frame.gif\">", 1024);
    // The page that the link opens asks for one more window itself, without a user gesture.
    const std::string blank = PadHtml(
        "<!DOCTYPE html><img src=\"/scan/img/from-blank.gif\">"
        "<script>window.open('/scan/opened.html');</script>",
        1024);
    const std::string opened =
        PadHtml("<!DOCTYPE html><img src=\"/scan/img/from-opened.gif\">", 1024);
    const std::string wav = MakeWav(500, 8000);  // 8,044 bytes

    auto gif = [](size_t size = 43) { return Response::Of("image/gif", Gif(size)); };
    return {
        {"/scan/index.html", "/scan/index.html", Response::Html(index), "index.html", "text/html",
         "4KB"},
        {"/scan/css/style.css", "/scan/css/style.css", Response::Of("text/css", style), "style.css",
         "text/css", "2KB"},
        {"/scan/css/empty.css", "/scan/css/empty.css", Response::Empty("text/css"), "empty.css",
         "text/css", "0B"},
        {"/scan/fonts/fancy.woff", "/scan/fonts/fancy.woff",
         Response::Of("font/woff", std::string(100, 'w')), "fancy.woff", "font/woff", "100B"},
        {"/scan/img/bg.gif", "/scan/img/bg.gif", gif(1536), "bg.gif", "image/gif", "1.50KB"},
        {"/scan/img/plain.gif", "/scan/img/plain.gif", gif(), "plain.gif", "image/gif", "43B"},
        // The redirect itself is a response of the site and is reported. The engine hands it
        // over without its headers: no Content-Length (so "unknown") and, as it carries no
        // Content-Type, the engine's default type.
        {"/scan/img/moved.gif", "/scan/img/moved.gif", Response::Redirect("/scan/img/target.gif"),
         "moved.gif", "text/plain", "unknown"},
        {"/scan/img/target.gif", "/scan/img/target.gif", gif(), "target.gif", "image/gif", "43B"},
        {"/scan/img/missing.gif", "/scan/img/missing.gif", Response::NotFound(), "missing.gif",
         "text/plain", "9B"},
        // No Content-Type: the engine sniffs the type from the content, so the response has
        // one and is reported with it.
        {"/scan/img/nomime.gif", "/scan/img/nomime.gif", Response::WithoutContentType(Gif()),
         "nomime.gif", "image/gif", "43B"},
        // The fragment stays in the reported address; the site never sees it.
        {"/scan/img/q.gif", "/scan/img/q.gif?size=small&v=2#frag", gif(), "q.gif", "image/gif",
         "43B"},
        {"/scan/img/déjà vu.gif", "/scan/img/d%C3%A9j%C3%A0%20vu.gif", gif(2048),
         "d%C3%A9j%C3%A0%20vu.gif", "image/gif", "2KB"},
        {"/scan/img/get.gif", "/scan/img/get.gif?path=dir/clip.mp4", gif(), "clip.mp4", "image/gif",
         "43B"},
        // A backslash in a query stays a backslash, so the record must escape it.
        {"/scan/img/esc.gif", "/scan/img/esc.gif?back=\\slash|{}", gif(), "esc.gif", "image/gif",
         "43B"},
        {"/scan/media/tone.wav", "/scan/media/tone.wav", Response::Of("audio/wav", wav), "tone.wav",
         "audio/wav", "7.86KB"},
        {"/scan/frame.html", "/scan/frame.html", Response::Html(frame), "frame.html", "text/html",
         "1KB"},
        {"/scan/img/in-frame.gif", "/scan/img/in-frame.gif", gif(), "in-frame.gif", "image/gif",
         "43B"},
        {"/scan/js/app.js", "/scan/js/app.js", Response::Of("text/javascript", script), "app.js",
         "text/javascript", "1KB"},
        {"/scan/api/data.json", "/scan/api/data.json?x=1&y=a%2Fb",
         Response::Of("application/json", "{}"), "data.json", "application/json", "2B"},
        {"/scan/api/xhr.txt", "/scan/api/xhr.txt", Response::Of("text/plain", "xhr"), "xhr.txt",
         "text/plain", "3B"},
        // An address ending in a slash below the first level has an empty name.
        {"/scan/dir/", "/scan/dir/", Response::Of("text/plain", "listing"), "", "text/plain", "7B"},
        {"/scan/js/chunked.js", "/scan/js/chunked.js",
         Response::Chunked("text/javascript", {"var a = 1;\n", "var b = 2;\n"}), "chunked.js",
         "text/javascript", "unknown"},
        {"/scan/blank.html", "/scan/blank.html", Response::Html(blank), "blank.html", "text/html",
         "1KB"},
        {"/scan/img/from-blank.gif", "/scan/img/from-blank.gif", gif(), "from-blank.gif",
         "image/gif", "43B"},
        {"/scan/opened.html", "/scan/opened.html", Response::Html(opened), "opened.html",
         "text/html", "1KB"},
        {"/scan/img/from-opened.gif", "/scan/img/from-opened.gif", gif(), "from-opened.gif",
         "image/gif", "43B"},
    };
}

// The addresses the site answered, as "<origin><path>", without the driver page's polling.
std::multiset<std::string> AnsweredAddresses(const TestSite& site) {
    std::multiset<std::string> answered;
    for (const auto& request : site.Requests()) {
        if (request.path.rfind("/ctl", 0) == 0) continue;
        answered.insert(site.Origin() + request.path);
    }
    return answered;
}

std::multiset<std::string> ReportedAddresses(const std::vector<Record>& records) {
    std::multiset<std::string> reported;
    for (const auto& record : records) reported.insert(WithoutFragment(record.url));
    return reported;
}

std::string Lines(const std::multiset<std::string>& texts) {
    std::string out;
    for (const auto& text : texts) out += "  " + text + "\n";
    return out;
}

TEST_F(ScanTest, FilterOffReportsEveryResponseOfTheScanAndItsPopupsOnceAndExactly) {
    const auto entries = FullSite();
    for (const auto& entry : entries) site->Route(entry.route, entry.response);
    ASSERT_TRUE(StartDriver());
    site->ClearRecords();

    EXPECT_EQ(Start(Unfiltered(site->Url("/scan/index.html"))), kAnswer1);
    auto scanWindows = [&] { return OtherWindows(); };
    ASSERT_TRUE(WaitForOtherWindows(1));
    const WindowInfo scanWindow = scanWindows().front();
    EXPECT_EQ(scanWindow.title, kMainTitle);

    // The link covers the scanned page; a real click (a user gesture) opens it. The page has
    // loaded its last resource by the time the frame's image has been answered.
    ASSERT_TRUE(site->WaitForPath("/scan/img/in-frame.gif", kStartTimeout));
    ASSERT_TRUE(WaitUntil(
        [&] {
            x->Click(scanWindow.id, scanWindow.width / 2, scanWindow.height / 2);
            return site->WaitForPath("/scan/blank.html", Millis(2000)).has_value();
        },
        kActionTimeout, Millis(0)))
        << "the link with target _blank did not open";

    // Every answered address is reported, the popups' too, and nothing else.
    const bool complete = WaitForRecords(
        [&](const std::vector<Record>& records) {
            return site->CountPath("/scan/img/from-opened.gif") > 0 &&
                   ReportedAddresses(records) == AnsweredAddresses(*site);
        },
        kStartTimeout);
    const auto& records = Records();
    EXPECT_TRUE(complete) << "answered:\n"
                          << Lines(AnsweredAddresses(*site)) << "reported:\n"
                          << Lines(ReportedAddresses(records));

    // Each entry's record, exactly as the page received it, once.
    for (const auto& entry : entries) {
        const std::string url = site->Origin() + entry.target;
        const std::string expected = RecordText(entry.fileName, entry.mimeType, entry.size, url);
        const auto count = std::count_if(records.begin(), records.end(),
                                         [&](const Record& r) { return r.text == expected; });
        EXPECT_EQ(count, 1) << "expected once: " << expected << "records:\n" << Dump(records);
    }
    EXPECT_THAT(InvalidRecords(), IsEmpty());

    // Nothing more arrives later (a response reported twice would).
    const size_t settled = records.size();
    EXPECT_TRUE(StaysFalse([&] { return Records().size() != settled; }, Millis(1000)))
        << Dump(Records());

    // The scan window, the link's window and the window that page opened (each time, should
    // a slow machine have needed a second click), all titled like their opener.
    auto windows = OtherWindows();
    EXPECT_EQ(windows.size(), 1 + 2 * site->CountPath("/scan/blank.html"));
    for (const auto& w : windows) EXPECT_EQ(w.title, kMainTitle);
}

// ---------------------------------------------------------------------------------------
// Filters

// The filter site: one page at the site's root (its file name is "unknown") with resources of
// chosen types and names. It fetches a marker when it has loaded.
struct FilterResource {
    const char* path;
    const char* type;
};
constexpr FilterResource kFilterResources[] = {
    {"/f/clip.mp4", "video/mp4"}, {"/f/movie.flv", "video/x-flv"}, {"/f/sound.m4a", "audio/mp4"},
    {"/f/CLIP.MP4", "Video/MP4"}, {"/f/noext", "image/gif"},       {"/f/pic.gif", "image/gif"},
    {"/f/get.php", "text/plain"},  // requested with ?file=a/b.mp4, so named b.mp4
};
constexpr const char* kFilterMarker = "/f/done.marker";

void AddFilterSite(TestSite& site) {
    std::string page = "<!DOCTYPE html><html><body>\n";
    for (const auto& resource : kFilterResources) {
        const std::string path =
            std::string(resource.path) +
            (std::string(resource.path) == "/f/get.php" ? "?file=a/b.mp4" : "");
        page += "<img src=\"" + path + "\">\n";
        site.Route(resource.path, Response::Of(resource.type, Gif()));
    }
    page += "<script>window.addEventListener('load', function () { fetch('" +
            std::string(kFilterMarker) + "'); });</script>\n</body></html>\n";
    site.Route("/", Response::Html(page));
    site.Route(kFilterMarker, Response::Of("text/x-marker", "done"));
}

struct FilterStep {
    bool useFileExtFilter;
    const char* text;
};

struct FilterCase {
    const char* name;
    std::vector<FilterStep> steps;   // each a "start" of the same page; the last one counts
    std::set<std::string> expected;  // paths reported after the last start ("/" is the page)
};

void PrintTo(const FilterCase& c, std::ostream* os) {
    *os << c.name;
}

class FilterTest : public ScanTest, public ::testing::WithParamInterface<FilterCase> {};

TEST_P(FilterTest, OnlyMatchingResponsesAreReported) {
    const FilterCase& c = GetParam();
    AddFilterSite(*site);
    ASSERT_TRUE(StartDriver());

    size_t from = 0;
    for (size_t i = 0; i < c.steps.size(); ++i) {
        from = Records().size();
        const auto before = site->CountPath(kFilterMarker);
        ASSERT_EQ(Start({site->Url("/"), true, c.steps[i].useFileExtFilter, c.steps[i].text}),
                  kAnswer1);
        ASSERT_TRUE(
            WaitUntil([&] { return site->CountPath(kFilterMarker) > before; }, kStartTimeout))
            << "the page did not finish loading";
    }

    auto paths = [&](const std::vector<Record>& records) {
        std::set<std::string> seen;
        for (size_t i = from; i < records.size(); ++i) {
            std::string path = records[i].url.substr(site->Origin().size());
            seen.insert(path.substr(0, path.find('?')));
        }
        return seen;
    };
    EXPECT_TRUE(WaitForRecords([&](const auto& records) { return paths(records) == c.expected; }))
        << "reported:\n"
        << Dump(Records());
    // Nothing else comes later.
    EXPECT_TRUE(StaysFalse([&] { return paths(Records()) != c.expected; }, Millis(1000)))
        << Dump(Records());
    EXPECT_THAT(InvalidRecords(), IsEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Filters, FilterTest,
    ::testing::Values(
        FilterCase{"MimeVideo", {{false, "video"}}, {"/f/clip.mp4", "/f/movie.flv"}},
        FilterCase{"MimeMp4", {{false, "mp4"}}, {"/f/clip.mp4", "/f/sound.m4a"}},
        // The text is not a list: no type contains all of it.
        FilterCase{"MimeTwoTypesIsOneText", {{false, "video/mp4;video/x-flv"}}, {}},
        FilterCase{"ExtensionsWithWildcards",
                   {{true, "*.mp4;*.flv"}},
                   {"/f/clip.mp4", "/f/movie.flv", "/f/get.php"}},
        // The trailing separator admits names without an extension, "unknown" among them.
        FilterCase{"ExtensionsTrailingSeparator",
                   {{true, ".mp4;"}},
                   {"/", "/f/clip.mp4", "/f/noext", "/f/get.php"}},
        FilterCase{"ExtensionsCaseSensitive", {{true, ".MP4"}}, {"/f/CLIP.MP4"}},
        FilterCase{"EmptyMimeTextKeepsThePrevious",
                   {{false, "video"}, {false, ""}},
                   {"/f/clip.mp4", "/f/movie.flv"}},
        FilterCase{
            "EmptyExtensionTextKeepsThePrevious", {{true, ".MP4"}, {true, ""}}, {"/f/CLIP.MP4"}},
        // Each start changes only the filter it selects.
        FilterCase{"MimeStartLeavesTheExtensionsAlone",
                   {{true, ".flv"}, {false, "audio"}, {true, ""}},
                   {"/f/movie.flv"}}),
    [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------------------
// Pause, stop and start

TEST_F(ScanTest, PauseAndStopDropResponsesAndNothingIsReplayed) {
    site->Route("/p/index.html", Response::Html(DrivenPage("scan")));
    for (const char* name : {"before", "paused", "resumed", "stopped", "idle", "restarted"})
        site->Route(std::string("/p/") + name + ".gif", Response::Of("image/gif", Gif()));
    ASSERT_TRUE(StartDriver());
    // Only images are reported, so the scanned page's own polling never is.
    ASSERT_EQ(Start({site->Url("/p/index.html"), true, false, "image/"}), kAnswer1);

    auto load = [&](const std::string& path) {
        ASSERT_EQ(control->Eval("scan", "load('" + path + "')", kStartTimeout), "loading");
        ASSERT_TRUE(site->WaitForReport("loaded:" + path)) << path;
    };
    auto reported = [&](const std::string& path) { return CountRecordsOf(site->Url(path)); };
    // The program learns of a response a little later than the page that loaded it, and in
    // the order of the responses. So a dropped response is watched for a while before the
    // state changes again; a response that came late would then show up as a record before
    // the next one, never silently.
    auto staysUnreported = [&](const std::string& path) {
        return StaysFalse([&] { return reported(path) > 0; }, Millis(1000));
    };

    ASSERT_NO_FATAL_FAILURE(load("/p/before.gif"));
    EXPECT_TRUE(WaitForRecordOf(site->Url("/p/before.gif")));

    // Paused: the response is lost, and resuming does not bring it back.
    EXPECT_EQ(Call("pause", "{}"), kAnswer1);
    ASSERT_NO_FATAL_FAILURE(load("/p/paused.gif"));
    EXPECT_TRUE(staysUnreported("/p/paused.gif"));
    EXPECT_EQ(Call("pause", "{}"), kAnswer1);
    ASSERT_NO_FATAL_FAILURE(load("/p/resumed.gif"));
    EXPECT_TRUE(WaitForRecordOf(site->Url("/p/resumed.gif")));
    EXPECT_EQ(reported("/p/paused.gif"), 0u);

    // Stopped: Idle, so a "pause" now does not resume anything either.
    EXPECT_EQ(Call("stop", "{}"), kAnswer1);
    ASSERT_NO_FATAL_FAILURE(load("/p/stopped.gif"));
    EXPECT_TRUE(staysUnreported("/p/stopped.gif"));
    EXPECT_EQ(Call("pause", "{}"), kAnswer1);
    ASSERT_NO_FATAL_FAILURE(load("/p/idle.gif"));
    EXPECT_TRUE(staysUnreported("/p/idle.gif"));

    // A new start loads the page again and reports again.
    ASSERT_EQ(Start({site->Url("/p/index.html"), true, false, "image/"}), kAnswer1);
    ASSERT_NO_FATAL_FAILURE(load("/p/restarted.gif"));
    EXPECT_TRUE(WaitForRecordOf(site->Url("/p/restarted.gif")));
    EXPECT_EQ(reported("/p/paused.gif"), 0u);
    EXPECT_EQ(reported("/p/stopped.gif"), 0u);
    EXPECT_EQ(reported("/p/idle.gif"), 0u);
    EXPECT_EQ(reported("/p/before.gif"), 1u);
    EXPECT_EQ(reported("/p/resumed.gif"), 1u);
}

struct CompletionCase {
    const char* name;
    const char* typed;     // with {origin-host} for 127.0.0.1:<port>
    const char* expected;  // the update the page gets ("" for none), same placeholder
    const char* host;      // the Host header the site sees
};

void PrintTo(const CompletionCase& c, std::ostream* os) {
    *os << c.name;
}

class CompletionTest : public ScanTest, public ::testing::WithParamInterface<CompletionCase> {};

std::string Expand(std::string text, const TestSite& site) {
    const std::string port = std::to_string(site.Port());
    for (size_t at; (at = text.find("{port}")) != std::string::npos;) text.replace(at, 6, port);
    return text;
}

TEST_P(CompletionTest, CompletedAddressGoesToThePageBeforeTheCallReturns) {
    const CompletionCase& c = GetParam();
    site->Route("/u/page.html", Response::Html("<!DOCTYPE html><p>completed</p>"));
    ASSERT_TRUE(StartDriver());

    ASSERT_EQ(Start(Unfiltered(Expand(c.typed, *site))), kAnswer1);
    const std::string expected = *c.expected ? "in:" + Expand(c.expected, *site) : "";
    // "in:" marks a call made while the page was still inside service.call().
    EXPECT_EQ(Eval("updates.join('\\n')"), expected);

    auto request = site->WaitForRequest(
        [](const Request& r) { return r.path.rfind("/u/page.html", 0) == 0; }, kStartTimeout);
    ASSERT_TRUE(request) << "the completed address was not loaded";
    EXPECT_EQ(request->Header("Host"), Expand(c.host, *site));
    EXPECT_TRUE(WaitForRecords([&](const auto& records) {
        return std::any_of(records.begin(), records.end(), [&](const Record& r) {
            return r.url.find("/u/page.html") != std::string::npos;
        });
    }));
}

INSTANTIATE_TEST_SUITE_P(
    Addresses, CompletionTest,
    ::testing::Values(
        CompletionCase{"BareHost", "127.0.0.1:{port}/u/page.html?via=bare",
                       "http://127.0.0.1:{port}/u/page.html?via=bare", "127.0.0.1:{port}"},
        // *.localhost names resolve to the loopback address without asking any name server.
        CompletionCase{"WwwHost", "www.localhost:{port}/u/page.html?via=www",
                       "http://www.localhost:{port}/u/page.html?via=www", "www.localhost:{port}"},
        CompletionCase{"FullAddress", "http://127.0.0.1:{port}/u/page.html?via=http", "",
                       "127.0.0.1:{port}"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ScanTest, WrongCallsAnswerZeroAndChangeNothing) {
    site->Route("/w/index.html", Response::Html(DrivenPage("scan")));
    site->Route("/w/other.html", Response::Html("<p>must not load</p>"));
    site->Route("/w/after.gif", Response::Of("image/gif", Gif()));
    site->Route("/w/after.txt", Response::Of("text/plain", "text"));
    ASSERT_TRUE(StartDriver());
    ASSERT_EQ(Start({site->Url("/w/index.html"), true, false, "image/"}), kAnswer1);
    ASSERT_EQ(control->Eval("scan", "'ready'", kStartTimeout), "ready");

    const std::string other = Quote(site->Url("/w/other.html"));
    const std::vector<std::string> wrong = {
        "{\"url\":" + other +
            ",\"filterEnabled\":1,\"useFileExtFilter\":false,\"mimeFilter\":\"\"}",
        "{\"url\":" + other +
            ",\"filterEnabled\":false,\"useFileExtFilter\":\"false\",\"mimeFilter\":\"\"}",
        "{\"url\":" + other +
            ",\"filterEnabled\":false,\"useFileExtFilter\":0,\"fileExtFilter\":\".txt\"}",
        "{\"url\":5,\"filterEnabled\":false,\"useFileExtFilter\":false,\"mimeFilter\":\"\"}",
        "{\"filterEnabled\":false,\"useFileExtFilter\":false,\"mimeFilter\":\"\"}",
        "{\"url\":" + other + ",\"useFileExtFilter\":false,\"mimeFilter\":\"text\"}",
        // The selected filter text must be a string.
        "{\"url\":" + other +
            ",\"filterEnabled\":true,\"useFileExtFilter\":false,\"mimeFilter\":7}",
        "{\"url\":" + other +
            ",\"filterEnabled\":true,\"useFileExtFilter\":true,\"mimeFilter\":\"text\"}",
        "[" + other + ",false,false,\"\"]",
        "3",
        "null",
        "{\"url\":",
    };
    for (const auto& params : wrong) EXPECT_EQ(Call("start", params), kAnswer0) << params;
    // Nor does a "stop" that differs in case, or that goes to another service.
    EXPECT_EQ(Call("Stop", "{}"), kAnswer0);
    EXPECT_EQ(Eval("service.uri = 'COM.kestovan.trawlet'; service.method = 'stop';"
                   "service.params = '{}'; String(service.call())"),
              kAnswer0);

    // Still Running with the image filter on the first page: only the image is reported.
    // The program learns of responses in order: once the image is reported, the text, loaded
    // before it, has been seen and dropped.
    ASSERT_EQ(control->Eval("scan", "load('/w/after.txt')", kStartTimeout), "loading");
    ASSERT_TRUE(site->WaitForReport("loaded:/w/after.txt"));
    ASSERT_EQ(control->Eval("scan", "load('/w/after.gif')", kStartTimeout), "loading");
    EXPECT_TRUE(WaitForRecordOf(site->Url("/w/after.gif")));
    EXPECT_EQ(CountRecordsOf(site->Url("/w/after.txt")), 0u);
    EXPECT_EQ(site->CountPath("/w/other.html"), 0u);
    EXPECT_EQ(Eval("updates.length"), "0");
}

// ---------------------------------------------------------------------------------------
// Windows

TEST_F(ScanTest, ClosedScanWindowIsMadeAgainByTheNextStart) {
    site->Route("/c/one.html", Response::Html("<!DOCTYPE html><img src=\"/c/one.gif\">"));
    site->Route("/c/two.html", Response::Html("<!DOCTYPE html><img src=\"/c/two.gif\">"));
    site->Route("/c/one.gif", Response::Of("image/gif", Gif()));
    site->Route("/c/two.gif", Response::Of("image/gif", Gif()));
    ASSERT_TRUE(StartDriver());

    ASSERT_EQ(Start(Unfiltered(site->Url("/c/one.html"))), kAnswer1);
    ASSERT_TRUE(WaitForOtherWindows(1));
    const WindowInfo first = OtherWindows().front();
    EXPECT_TRUE(WaitForRecordOf(site->Url("/c/one.gif")));

    ASSERT_TRUE(x->CloseWindow(first.id));
    ASSERT_TRUE(WaitUntil([&] { return !x->IsShown(first.id); }, kActionTimeout));
    EXPECT_TRUE(app->Running());

    ASSERT_EQ(Start(Unfiltered(site->Url("/c/two.html"))), kAnswer1);
    ASSERT_TRUE(WaitForOtherWindows(1)) << "no new scan window";
    const WindowInfo second = OtherWindows().front();
    EXPECT_NE(second.id, first.id);
    EXPECT_EQ(second.title, kMainTitle);
    EXPECT_TRUE(WaitForRecordOf(site->Url("/c/two.gif"))) << Dump(Records());
    EXPECT_EQ(CountRecordsOf(site->Url("/c/one.gif")), 1u);
}

TEST_F(ScanTest, ClosingTheMainWindowTearsDownEveryWindowAndEndsWithZero) {
    site->Route("/t/index.html",
                Response::Html("<!DOCTYPE html><p>opener</p><script>"
                               "window.open('/t/a.html'); window.open('/t/b.html');</script>"));
    site->Route("/t/a.html", Response::Html("<!DOCTYPE html><p>a</p>"));
    site->Route("/t/b.html", Response::Html("<!DOCTYPE html><p>b</p>"));
    ASSERT_TRUE(StartDriver());

    ASSERT_EQ(Start(Unfiltered(site->Url("/t/index.html"))), kAnswer1);
    ASSERT_TRUE(WaitForOtherWindows(3)) << OtherWindows().size() << " other windows";
    EXPECT_TRUE(WaitForRecordOf(site->Url("/t/a.html")));
    EXPECT_TRUE(WaitForRecordOf(site->Url("/t/b.html")));

    ASSERT_TRUE(x->CloseWindow(mainWindow->id));
    EXPECT_EQ(app->WaitForExit(kStartTimeout), std::optional<int>(0)) << app->Stderr();
    EXPECT_TRUE(WaitUntil(
        [&] {
            return x
                ->Windows([&](const WindowInfo& w) { return w.pid == app->Pid() && w.viewable; })
                .empty();
        },
        kActionTimeout));
}

// ---------------------------------------------------------------------------------------
// Open and copy

TEST_F(ScanTest, CopyPutsTheExactAddressOnTheClipboard) {
    ASSERT_TRUE(StartDriver());
    const std::string address = "http://127.0.0.1/déjà vu/ünïcödé €.mp4?q=日本&x=\"'<>\\";
    EXPECT_EQ(Call("copyURL", "{\"url\":" + Quote(address) + "}"), kAnswer1);
    EXPECT_EQ(x->ClipboardText(), address);

    // Copying again leaves that one text.
    EXPECT_EQ(Call("copyURL", "{\"url\":" + Quote(address) + "}"), kAnswer1);
    EXPECT_EQ(x->ClipboardText(), address);
}

TEST_F(ScanTest, OpenHandsTheAddressToTheDefaultHandler) {
    ASSERT_TRUE(StartDriver([](AppRun& run) { run.RegisterDefaultHandler(); }));

    const std::string address = site->Url("/o/ünïcödé.mp4?q=1");
    EXPECT_EQ(Call("open", "{\"url\":" + Quote(address) + "}"), kAnswer1);
    auto call = app->WaitForHandlerCall();
    ASSERT_TRUE(call) << "the default handler was not called";
    EXPECT_EQ(*call, address);
    // The program hands the address on; it does not load it.
    EXPECT_EQ(site->CountPath("/o/%C3%BCn%C3%AFc%C3%B6d%C3%A9.mp4?q=1"), 0u);
}

struct EmptyAddressCase {
    const char* method;
    const char* params;
};

TEST_F(ScanTest, OpenAndCopyWithoutAnAddressAnswerZero) {
    ASSERT_TRUE(StartDriver([](AppRun& run) { run.RegisterDefaultHandler(); }));
    // Something known on the clipboard, which must stay.
    ASSERT_EQ(Call("copyURL", "{\"url\":\"kept\"}"), kAnswer1);

    const EmptyAddressCase cases[] = {
        {"open", "{\"url\":\"\"}"}, {"copyURL", "{\"url\":\"\"}"}, {"open", "{}"},
        {"copyURL", "{}"},          {"open", "{\"url\":5}"},       {"copyURL", "{\"url\":null}"},
        {"open", "[\"http://x\"]"}, {"copyURL", "\"kept\""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Call(c.method, c.params), kAnswer0) << c.method << " " << c.params;
    EXPECT_EQ(x->ClipboardText(), "kept");
    EXPECT_TRUE(StaysFalse([&] { return !app->HandlerCalls().empty(); }, Millis(500)));
}

// ---------------------------------------------------------------------------------------
// Hostile pages

TEST_F(ScanTest, ThousandsOfResourcesAreEachReportedOnce) {
    constexpr int kCount = 5000;
    site->Route("/m/index.html",
                Response::Html("<!DOCTYPE html><script>"
                               "for (var i = 0; i < " +
                               std::to_string(kCount) +
                               "; i++) { var image = new Image(); image.src = '/m/r.gif?' + i; }"
                               "</script>"));
    site->Route("/m/r.gif", Response::Of("image/gif", Gif()));
    ASSERT_TRUE(StartDriver());
    ASSERT_EQ(Start({site->Url("/m/index.html"), true, true, "*.gif"}), kAnswer1);

    auto count = [&](const std::vector<Record>& records) {
        std::set<std::string> seen;
        for (const auto& r : records) seen.insert(r.url);
        return std::pair(records.size(), seen.size());
    };
    EXPECT_TRUE(WaitForRecords(
        [&](const auto& records) { return count(records).first >= static_cast<size_t>(kCount); },
        Millis(120000)))
        << Records().size() << " records";
    EXPECT_EQ(count(Records()), std::pair(size_t{kCount}, size_t{kCount}));
    EXPECT_THAT(InvalidRecords(), IsEmpty());
    EXPECT_EQ(Call("nothing", "{}"), kAnswer0);
    EXPECT_TRUE(app->Running());
}

TEST_F(ScanTest, HostileAddressesTypesAndEndlessResponsesGiveValidRecords) {
    // The site's server drops requests whose head exceeds 64 KB, so the 1 MB address carries
    // its length in the fragment, which the engine keeps in the reported address but never
    // sends; the query stays just below the server's limit.
    const std::string longFragment(1 << 20, 'f');
    const std::string longQuery(60 * 1024, 'q');
    site->Route("/h/index.html",
                Response::Html("<!DOCTYPE html><body><script>\n"
                               "var image = new Image();\n"
                               "image.src = '/h/long.gif?" +
                               longQuery + "#" + longFragment +
                               "';\n"
                               "['/h/:?#[]@*+,;=', '/h/;;;', '/h/@', '/h/%2F%3F%23', '/h///', "
                               "'/h/a.b c', '/h/name.'].forEach(function (path) {\n"
                               "  fetch(path);\n"
                               "});\n"
                               "fetch('/h/control-type');\n"
                               "fetch('/h/quote-type');\n"
                               "fetch('/h/endless');\n"
                               "</script></body>"));
    site->Route("/h/long.gif", Response::Of("image/gif", Gif()));
    // The names made of delimiters have no routes: the site answers them with 404 texts.
    site->Route("/h/control-type", Response::Of(std::string("text/x\x01\x1f\x7fy"), "x"));
    site->Route("/h/quote-type", Response::Of("text/x\"y\\z", "x"));
    site->Route("/h/endless", Response::NeverEnding("video/mp4", std::string(4096, 'v')));
    ASSERT_TRUE(StartDriver());
    ASSERT_EQ(Start(Unfiltered(site->Url("/h/index.html"))), kAnswer1);

    ASSERT_TRUE(site->WaitForPath("/h/endless", kStartTimeout));
    EXPECT_TRUE(WaitForRecordOf(site->Url("/h/endless"))) << Dump(Records());
    EXPECT_TRUE(WaitForRecords(
        [&](const auto& records) {
            return std::any_of(records.begin(), records.end(), [](const Record& r) {
                return r.url.find("/h/long.gif?") != std::string::npos;
            });
        },
        kStartTimeout));

    const auto& records = Records();
    EXPECT_THAT(InvalidRecords(), IsEmpty());
    for (const auto& r : records) {
        ASSERT_TRUE(ParseRecord(r.text)) << r.text.substr(0, 200);
        if (r.url == site->Url("/h/endless")) {
            EXPECT_EQ(r.size, "unknown");
        }
        if (r.url.find("/h/long.gif?") != std::string::npos) {
            EXPECT_EQ(r.url, site->Url("/h/long.gif?" + longQuery + "#" + longFragment));
        }
        // The record is exactly its fields written again.
        EXPECT_EQ(r.text, RecordText(r.fileName, r.mimeType, r.size, r.url))
            << r.text.substr(0, 200);
    }
    // Names made of delimiters, and the escaping of the types as the engine passed them on
    // (the DEL byte of the control-type header does not get that far: the HTTP stack or the
    // engine drops it).
    const std::map<std::string, std::string> names = {{"/h/:?#[]@*+,;=", ""},
                                                      {"/h/;;;", ""},
                                                      {"/h/@", ""},
                                                      {"/h/%2F%3F%23", "%2F%3F%23"},
                                                      {"/h///", ""},
                                                      {"/h/a.b%20c", "a.b%20c"},
                                                      {"/h/name.", "name."},
                                                      {"/h/control-type", "control-type"},
                                                      {"/h/quote-type", "quote-type"}};
    for (const auto& [path, name] : names) {
        auto found = std::find_if(records.begin(), records.end(),
                                  [&](const Record& r) { return r.url == site->Url(path); });
        ASSERT_NE(found, records.end()) << path << " was not reported";
        EXPECT_EQ(found->fileName, name) << path;
        if (path == "/h/quote-type") {
            EXPECT_EQ(found->text, RecordText("quote-type", "text/x\"y\\z", "1B", found->url));
            EXPECT_NE(found->text.find(R"("mimeType":"text/x\"y\\z")"), std::string::npos);
        }
        if (path == "/h/control-type") {
            EXPECT_NE(found->text.find(R"("mimeType":"text/x\u0001\u001F)"), std::string::npos)
                << found->text;
        }
    }

    // The endless response does not hold anything up.
    EXPECT_EQ(Call("pause", "{}"), kAnswer1);
    EXPECT_EQ(Call("nothing", "{}"), kAnswer0);
    EXPECT_TRUE(app->Running());
}

TEST_F(ScanTest, PopupsInALoopAreAllWatchedAndTheProgramStaysResponsive) {
    constexpr int kPopups = 30;
    site->Route(
        "/l/index.html",
        Response::Html("<!DOCTYPE html><script>for (var i = 0; i < " + std::to_string(kPopups) +
                       "; i++) window.open('/l/popup.html?' + i);</script>"));
    site->Route("/l/popup.html", Response::Html("<!DOCTYPE html><img src=\"/l/img.gif\">"));
    site->Route("/l/img.gif", Response::Of("image/gif", Gif()));
    ASSERT_TRUE(StartDriver());
    ASSERT_EQ(Start(Unfiltered(site->Url("/l/index.html"))), kAnswer1);

    EXPECT_TRUE(WaitForRecords(
        [&](const auto& records) {
            return std::count_if(records.begin(), records.end(), [&](const Record& r) {
                       return r.url.find("/l/popup.html?") != std::string::npos;
                   }) == kPopups;
        },
        Millis(90000)))
        << Dump(Records());
    EXPECT_TRUE(WaitForOtherWindows(kPopups + 1, kStartTimeout)) << OtherWindows().size();
    EXPECT_THAT(InvalidRecords(), IsEmpty());
    EXPECT_EQ(Call("nothing", "{}"), kAnswer0);

    // Closing the main window still ends everything cleanly.
    ASSERT_TRUE(x->CloseWindow(mainWindow->id));
    EXPECT_EQ(app->WaitForExit(kStartTimeout), std::optional<int>(0)) << app->Stderr();
}

}  // namespace
}  // namespace e2e
