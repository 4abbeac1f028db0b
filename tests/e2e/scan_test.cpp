// Scanning end to end: the real program with a small driver page in place of its own, scanning
// a loopback site. The driver page runs whatever script the test hands it through the site
// (it polls a control route), records every "addResult" text and every "updateInputUrl" call,
// and answers through the site's /report. Scanned pages can be driven the same way.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
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

using ::testing::ElementsAre;
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

// Pages poll "/ctl?ch=<channel>&after=<n>" and get the next command of their channel after
// number n, as "<number>\n<script>", or an empty answer. Each page evaluates the script and
// reports "ans:<channel>:<number>:<value>". The route answers with CORS headers so that the
// driver page, which comes from a file address, may read it.
class Control {
public:
    explicit Control(TestSite& site) : m_site(site), m_shared(std::make_shared<Shared>()) {
        auto shared = m_shared;
        site.Route("/ctl", [shared](const Request& request) {
            const std::string channel = QueryValue(request.path, "ch");
            const long after = std::atol(QueryValue(request.path, "after").c_str());
            std::string body;
            {
                std::lock_guard lock(shared->mutex);
                auto& commands = shared->commands[channel];
                if (after >= 0 && static_cast<size_t>(after) < commands.size())
                    body = std::to_string(after + 1) + "\n" + commands[after];
            }
            Response response = Response::Of("text/x-control", body);
            response.headers.emplace_back("Access-Control-Allow-Origin", "*");
            return response;
        });
    }

    // Runs `script` in the page(s) polling `channel` and answers the value of its last
    // expression as text ("!exception:..." when it threw), or no value at the deadline.
    std::optional<std::string> Eval(const std::string& channel, const std::string& script,
                                    Millis timeout = kActionTimeout) {
        size_t number = 0;
        {
            std::lock_guard lock(m_shared->mutex);
            auto& commands = m_shared->commands[channel];
            commands.push_back(script);
            number = commands.size();
        }
        const std::string prefix = "ans:" + channel + ":" + std::to_string(number) + ":";
        return m_site.WaitForReportPrefix(prefix, timeout);
    }

    // The polling script for a page of `channel`; it needs report() (AppTest::Page gives it).
    std::string PollScript(const std::string& channel) const {
        return "(function () {\n"
               "  var after = 0;\n"
               "  function poll() {\n"
               "    var got = false;\n"
               "    fetch('" +
               m_site.Url("/ctl") + "?ch=" + channel +
               "&after=' + after, {cache: 'no-store'})\n"
               "      .then(function (r) { return r.text(); })\n"
               "      .then(function (text) {\n"
               "        if (!text) return;\n"
               "        got = true;\n"
               "        var nl = text.indexOf('\\n');\n"
               "        after = Number(text.slice(0, nl));\n"
               "        var answer;\n"
               "        try { answer = String((0, eval)(text.slice(nl + 1))); }\n"
               "        catch (e) { answer = '!exception:' + e; }\n"
               "        report('ans:" +
               channel +
               ":' + after + ':' + answer);\n"
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
        std::string rest = path.substr(query + 1);
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
    struct Shared {
        std::mutex mutex;
        std::map<std::string, std::vector<std::string>> commands;
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
    ::testing::AssertionResult StartDriver() {
        AppRun& run = NewApp();
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
            Eval("JSON.stringify(records.slice(" + std::to_string(m_rawRecords.size()) + "))");
        if (answer) {
            auto list = ParseJson(*answer);
            if (list && list->kind == JsonValue::Kind::Array) {
                for (auto& item : list->items) {
                    m_rawRecords.push_back(item.text);
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

    std::unique_ptr<Control> control;
    std::optional<WindowInfo> mainWindow;

private:
    std::vector<std::string> m_rawRecords;
    std::vector<Record> m_records;
};

std::string Dump(const std::vector<Record>& records) {
    std::string out;
    for (const auto& r : records) out += "  " + r.text;
    return out;
}

// ---------------------------------------------------------------------------------------
// Exploration

TEST_F(ScanTest, Explore) {
    site->Route("/x/index.html", Response::Html(Page("<img src=\"/x/a.gif\"><p>hi</p>")));
    site->Route("/x/a.gif", Response::Of("image/gif", "GIF89a"));
    ASSERT_TRUE(StartDriver());
    auto answer = Start({site->Url("/x/index.html")});
    ASSERT_TRUE(answer);
    EXPECT_EQ(*answer, kAnswer1);
    EXPECT_TRUE(WaitForRecordOf(site->Url("/x/a.gif"))) << Dump(Records());
    std::cerr << Dump(Records());
}

}  // namespace
}  // namespace e2e
