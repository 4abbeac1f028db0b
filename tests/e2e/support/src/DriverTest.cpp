#include "e2e/DriverTest.h"

#include <algorithm>

#include "e2e/Json.h"

namespace e2e {

namespace {

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

// The optional page function, for the tests that look at the details.
constexpr const char* kDetailsScript = R"JS(
var details = [];
function addResultDetails(text) { details.push([records.length, String(text)]); }
var bodies = [];
function addResultBody(text) { bodies.push([records.length, String(text)]); }
)JS";

}  // namespace

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

std::string RecordText(std::string_view fileName, std::string_view mimeType, std::string_view size,
                       std::string_view url) {
    return "{\"fileName\":" + Quote(fileName) + ",\"mimeType\":" + Quote(mimeType) +
           ",\"size\":" + Quote(size) + ",\"url\":" + Quote(url) + "}\n";
}

std::optional<Record> ParseRecord(const std::string& text) {
    auto value = ParseJson(text);
    if (!value || !value->isObject()) return std::nullopt;
    return Record{text, JsonString(*value, "fileName"), JsonString(*value, "mimeType"),
                  JsonString(*value, "size"), JsonString(*value, "url")};
}

std::string WithoutFragment(const std::string& url) {
    return url.substr(0, url.find('#'));
}

std::string Dump(const std::vector<Record>& records) {
    std::string out;
    for (const auto& r : records) out += "  " + r.text;
    return out;
}

std::string StartSettings::ToJson() const {
    return std::string("{\"url\":") + Quote(url) +
           ",\"filterEnabled\":" + (filterEnabled ? "true" : "false") +
           ",\"useFileExtFilter\":" + (useFileExtFilter ? "true" : "false") + "," +
           Quote(useFileExtFilter ? "fileExtFilter" : "mimeFilter") + ":" + Quote(filterText) + "}";
}

StartSettings Unfiltered(std::string url) {
    StartSettings settings;
    settings.url = std::move(url);
    return settings;
}

void DriverTest::SetUp() {
    AppTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    control = std::make_unique<PageControl>(*site);
}

void DriverTest::TearDown() {
    AppTest::TearDown();
    control.reset();
}

::testing::AssertionResult DriverTest::StartDriver(const std::function<void(AppRun&)>& prepare) {
    AppRun& run = NewApp();
    if (prepare) prepare(run);
    run.WritePage("index.html", Page("<p>driver</p>", std::string(kDriverScript) +
                                                          (withDetails ? kDetailsScript : "") +
                                                          control->PollScript("main")));
    mainWindow = StartAndWaitForMainWindow(run);
    if (!mainWindow) return ::testing::AssertionFailure() << "no main window";
    if (Eval("typeof service") != std::optional<std::string>("object"))
        return ::testing::AssertionFailure() << "the driver page does not answer, or has no "
                                                "service\n"
                                             << run.Stderr();
    return ::testing::AssertionSuccess();
}

std::optional<std::string> DriverTest::Eval(const std::string& script, Millis timeout) {
    return control->Eval("main", script, timeout);
}

std::optional<std::string> DriverTest::Call(const std::string& method, const std::string& params) {
    return Eval("callService(" + Quote(method) + ", " + Quote(params) + ")");
}

std::optional<std::string> DriverTest::Start(const StartSettings& settings) {
    return Call("start", settings.ToJson());
}

const std::vector<Record>& DriverTest::Records() {
    auto answer = Eval("JSON.stringify(records.slice(" + std::to_string(m_records.size()) + "))");
    if (answer) {
        auto list = ParseJson(*answer);
        if (list && list->isArray()) {
            for (const auto& item : *list) {
                const std::string text = item.isString() ? item.asString() : std::string();
                auto record = ParseRecord(text);
                m_records.push_back(record ? *record : Record{text, {}, {}, {}, {}});
            }
        }
    }
    return m_records;
}

bool DriverTest::WaitForRecords(const std::function<bool(const std::vector<Record>&)>& condition,
                                Millis timeout) {
    return WaitUntil([&] { return condition(Records()); }, timeout, Millis(50));
}

bool DriverTest::WaitForRecordOf(const std::string& url, Millis timeout) {
    return WaitForRecords(
        [&](const std::vector<Record>& records) {
            return std::any_of(records.begin(), records.end(),
                               [&](const Record& r) { return r.url == url; });
        },
        timeout);
}

size_t DriverTest::CountRecordsOf(const std::string& url) {
    const auto& records = Records();
    return std::count_if(records.begin(), records.end(),
                         [&](const Record& r) { return r.url == url; });
}

const std::vector<Details>& DriverTest::AllDetails() {
    auto answer = Eval("JSON.stringify(details.slice(" + std::to_string(m_details.size()) + "))");
    if (answer) {
        auto list = ParseJson(*answer);
        if (list && list->isArray()) {
            for (const auto& item : *list) {
                Details d;
                d.recordsBefore = static_cast<size_t>(item[0].asUInt());
                d.text = item[1].asString();
                if (auto value = ParseJson(d.text)) d.value = *value;
                m_details.push_back(std::move(d));
            }
        }
    }
    return m_details;
}

std::vector<Details> DriverTest::AllBodies() {
    std::vector<Details> bodies;
    auto answer = Eval("JSON.stringify(bodies)");
    auto list = answer ? ParseJson(*answer) : std::nullopt;
    if (!list || !list->isArray()) return bodies;
    for (const auto& item : *list) {
        Details d;
        d.recordsBefore = static_cast<size_t>(item[0].asUInt());
        d.text = item[1].asString();
        if (auto value = ParseJson(d.text)) d.value = *value;
        bodies.push_back(std::move(d));
    }
    return bodies;
}

std::vector<std::string> DriverTest::InvalidRecords() {
    auto answer = Eval("JSON.stringify(invalid)");
    if (!answer) return {"(no answer from the driver page)"};
    auto list = ParseJson(*answer);
    if (!list) return {"(unreadable answer)"};
    return JsonStrings(*list);
}

std::vector<WindowInfo> DriverTest::OtherWindows() {
    return x->Windows([&](const WindowInfo& w) {
        return w.pid == app->Pid() && w.viewable && !w.IsDialog() && w.id != mainWindow->id;
    });
}

bool DriverTest::WaitForOtherWindows(size_t count, Millis timeout) {
    return WaitUntil([&] { return OtherWindows().size() == count; }, timeout, Millis(50));
}

std::string DriverTest::DrivenPage(const std::string& channel) const {
    return Page("<p>driven</p>", control->LoaderScript(channel));
}

}  // namespace e2e
