// The scan service: method table, settings checks, filters, address completion, states, and
// the open and copy commands.
#include <gtest/gtest.h>

#include <json/json.h>

#include <string>
#include <vector>

#include "FakeDesktop.h"
#include "FakeScanHost.h"
#include "TestText.h"
#include "finder/ScanControl.h"

namespace {

Json::Value Parse(const std::string& text) {
    Json::Value value;
    Json::Reader reader;
    EXPECT_TRUE(reader.parse(text, value)) << text;
    return value;
}

int Call(FakeScanHost* host, const std::u16string& method, const std::string& params,
         Json::Value* resultOut = nullptr, const std::u16string& uri = kTrawletServiceId) {
    Json::Value result;
    int outcome = HandleServiceCall(uri, method, params.empty() ? Json::Value() : Parse(params),
                                    host, result);
    EXPECT_TRUE(result.isObject());
    EXPECT_EQ(outcome, result["returnValue"].asInt());
    EXPECT_TRUE(result["returnValue"].isInt());
    if (resultOut != nullptr) *resultOut = result;
    return outcome;
}

const char kGoodStart[] =
    R"({"url":"http://host/","filterEnabled":true,"useFileExtFilter":false,"mimeFilter":"video"})";

struct Snapshot {
    BOOL running, paused, filterEnabled, useFileExtFilter;
    std::u16string mimeFilter;
    ExtensionFilter::ExtensionSet extensions;
    bool operator==(const Snapshot&) const = default;
};

Snapshot Take(const FakeScanHost& host) {
    return {host.m_running,          host.m_paused,     host.m_filterEnabled,
            host.m_useFileExtFilter, host.m_mimeFilter, host.m_fileExtFilter.Extensions()};
}

// ---- The method table ----

struct MethodCase {
    const char* what;
    std::u16string uri;
    std::u16string method;
    std::string params;
    bool withHost;
    int outcome;
    bool runningAfter;
};

const MethodCase kMethods[] = {
    {"start", kTrawletServiceId, u"start", kGoodStart, true, 1, true},
    {"start without host", kTrawletServiceId, u"start", kGoodStart, false, 0, false},
    {"method case differs", kTrawletServiceId, u"Start", kGoodStart, true, 0, false},
    {"service id case differs", u"com.kestovan.Trawlet", u"start", kGoodStart, true, 0, false},
    {"foreign service", u"com.example.other", u"start", kGoodStart, true, 0, false},
    {"empty service id", u"", u"start", kGoodStart, true, 0, false},
    {"unknown method", kTrawletServiceId, u"resume", "{}", true, 0, false},
    {"empty method", kTrawletServiceId, u"", "{}", true, 0, false},
    {"pause before start", kTrawletServiceId, u"pause", "", true, 1, false},
    {"stop before start", kTrawletServiceId, u"stop", "", true, 1, false},
    {"pause without host", kTrawletServiceId, u"pause", "", false, 0, false},
    {"stop without host", kTrawletServiceId, u"stop", "", false, 0, false},
    {"open empty url", kTrawletServiceId, u"open", R"({"url":""})", true, 0, false},
    {"open without host", kTrawletServiceId, u"open", R"({"url":""})", false, 0, false},
    {"copy without host", kTrawletServiceId, u"copyURL", R"({"url":"http://h/"})", false, 0, false},
    {"copy", kTrawletServiceId, u"copyURL", R"({"url":"http://h/"})", true, 1, false},
    {"copy case differs", kTrawletServiceId, u"copyUrl", R"({"url":"http://h/"})", true, 0, false},
};

TEST(HandleServiceCallTest, MethodTable) {
    for (const MethodCase& c : kMethods) {
        FakeDesktop desktop;
        FakeScanHost host;
        Json::Value result;
        EXPECT_EQ(c.outcome, Call(c.withHost ? &host : nullptr, c.method, c.params, &result, c.uri))
            << c.what;
        EXPECT_EQ(Json::Value(c.outcome), result["returnValue"]) << c.what;
        EXPECT_EQ(1u, result.size()) << c.what << ": only \"returnValue\"";
        EXPECT_EQ(c.runningAfter, host.m_running == TRUE) << c.what;
    }
}

TEST(HandleServiceCallTest, ResultBecomesAnObject) {
    FakeScanHost host;
    const Json::Value starts[] = {Json::Value(), Json::Value(Json::arrayValue), Json::Value(7),
                                  Json::Value("text")};
    for (const Json::Value& start : starts) {
        Json::Value result = start;
        EXPECT_EQ(1, HandleServiceCall(kTrawletServiceId, u"pause", Json::Value(), &host, result));
        ASSERT_TRUE(result.isObject());
        EXPECT_EQ(Json::Value(1), result["returnValue"]);
    }
    Json::Value result;
    EXPECT_EQ(0, HandleServiceCall(u"x", u"pause", Json::Value(), &host, result));
    EXPECT_EQ("{\"returnValue\":0}\n", Json::FastWriter().write(result));
}

TEST(HandleServiceCallTest, ForeignServiceDoesNotStopTheScan) {
    FakeScanHost host;
    ASSERT_EQ(1, Call(&host, u"start", kGoodStart));
    EXPECT_EQ(0, Call(&host, u"stop", "", nullptr, u"com.example.other"));
    EXPECT_EQ(0, Call(&host, u"pause", "", nullptr, u"com.kestovan.trawlet "));
    EXPECT_TRUE(host.m_running);
    EXPECT_FALSE(host.m_paused);
}

TEST(HandleServiceCallTest, StateAnswersWithoutChangingIt) {
    struct Case {
        const char* what;
        BOOL running, paused;
        const char* answer;
    } cases[] = {
        {"idle", FALSE, FALSE, "{\"paused\":false,\"returnValue\":1,\"running\":false}\n"},
        {"running", TRUE, FALSE, "{\"paused\":false,\"returnValue\":1,\"running\":true}\n"},
        {"paused", TRUE, TRUE, "{\"paused\":true,\"returnValue\":1,\"running\":true}\n"},
    };
    for (const Case& c : cases) {
        FakeScanHost host;
        host.m_running = c.running;
        host.m_paused = c.paused;
        Json::Value result;
        EXPECT_EQ(1, HandleServiceCall(kTrawletServiceId, u"state", Json::Value(), &host, result))
            << c.what;
        EXPECT_EQ(c.answer, Json::FastWriter().write(result)) << c.what;
        EXPECT_EQ(c.running, host.m_running) << c.what;
        EXPECT_EQ(c.paused, host.m_paused) << c.what;
    }
    Json::Value result;
    EXPECT_EQ(0, HandleServiceCall(kTrawletServiceId, u"state", Json::Value(), nullptr, result));
}

// ---- Cookies ----

TEST(HandleServiceCallTest, CookiesAnswerOneHeaderPerAddressInOrderOrNothing) {
    struct Case {
        const char* what;
        std::string params;
        bool known;          // the host has a copy of the cookies to answer from
        const char* answer;  // the whole answer, as the service writes it
    };
    std::string many = R"({"urls":[)";
    for (size_t i = 0; i <= kMaxCookieUrls; ++i) many += i == 0 ? "\"a\"" : ",\"a\"";
    many += "]}";
    const Case cases[] = {
        {"in order, repeated, none",
         R"({"urls":["http://b/","http://a/x","http://c/","http://a/x"]})", true,
         "{\"cookies\":[\"b=2\",\"a=1; s=\\\"q\\\"\",\"\",\"a=1; s=\\\"q\\\"\"],"
         "\"returnValue\":1}\n"},
        {"no addresses", R"({"urls":[]})", true, "{\"cookies\":[],\"returnValue\":1}\n"},
        {"not an address", R"({"urls":["", "no address"]})", true,
         "{\"cookies\":[\"\",\"\"],\"returnValue\":1}\n"},
        {"no copy", R"({"urls":["http://b/"]})", false, "{\"returnValue\":0}\n"},
        {"no params", "null", true, "{\"returnValue\":0}\n"},
        {"urls missing", R"({"url":["http://b/"]})", true, "{\"returnValue\":0}\n"},
        {"urls a string", R"({"urls":"http://b/"})", true, "{\"returnValue\":0}\n"},
        {"urls an object", R"({"urls":{"0":"http://b/"}})", true, "{\"returnValue\":0}\n"},
        {"an address not a string", R"({"urls":["http://b/",7]})", true, "{\"returnValue\":0}\n"},
        {"an address null", R"({"urls":[null]})", true, "{\"returnValue\":0}\n"},
        {"params an array", R"([["http://b/"]])", true, "{\"returnValue\":0}\n"},
        {"too many addresses", many, true, "{\"returnValue\":0}\n"},
    };
    for (const Case& c : cases) {
        FakeScanHost host;
        host.cookiesKnown = c.known;
        host.cookieHeaders = {{"http://a/x", "a=1; s=\"q\""}, {"http://b/", "b=2"}};
        Json::Value result;
        HandleServiceCall(kTrawletServiceId, u"cookies", Parse(c.params), &host, result);
        EXPECT_EQ(c.answer, Json::FastWriter().write(result)) << c.what;
    }
    Json::Value result;
    EXPECT_EQ(0, HandleServiceCall(kTrawletServiceId, u"cookies", Parse(R"({"urls":[]})"), nullptr,
                                   result));
}

// ---- States ----

struct Step {
    const char16_t* method;
    bool running;
    bool paused;
};

struct TransitionCase {
    const char* what;
    std::vector<Step> steps;
};

const TransitionCase kTransitions[] = {
    {"pause toggles", {{u"start", true, false}, {u"pause", true, true}, {u"pause", true, false}}},
    {"stop while paused",
     {{u"start", true, false}, {u"pause", true, true}, {u"stop", false, false}}},
    {"pause after stop",
     {{u"start", true, false}, {u"stop", false, false}, {u"pause", false, false}}},
    {"idle stays idle",
     {{u"pause", false, false}, {u"stop", false, false}, {u"pause", false, false}}},
    {"start resumes", {{u"start", true, false}, {u"pause", true, true}, {u"start", true, false}}},
    {"start again", {{u"start", true, false}, {u"stop", false, false}, {u"start", true, false}}},
};

TEST(HandleServiceCallTest, Transitions) {
    for (const TransitionCase& c : kTransitions) {
        FakeScanHost host;
        for (const Step& step : c.steps) {
            EXPECT_EQ(1, Call(&host, step.method,
                              std::u16string(step.method) == u"start" ? kGoodStart : ""))
                << c.what;
            EXPECT_EQ(step.running, host.m_running == TRUE)
                << c.what << " after " << Narrow(step.method);
            EXPECT_EQ(step.paused, host.m_paused == TRUE)
                << c.what << " after " << Narrow(step.method);
        }
    }
}

// ---- Settings of "start" ----

struct BadStartCase {
    const char* what;
    std::string params;
};

const BadStartCase kBadStarts[] = {
    {"null params", "null"},
    {"array params", R"(["http://host/", true, false, ""])"},
    {"string params", R"("http://host/")"},
    {"number params", "5"},
    {"empty object", "{}"},
    {"url missing", R"({"filterEnabled":true,"useFileExtFilter":false,"mimeFilter":""})"},
    {"url number", R"({"url":5,"filterEnabled":true,"useFileExtFilter":false,"mimeFilter":""})"},
    {"url null", R"({"url":null,"filterEnabled":true,"useFileExtFilter":false,"mimeFilter":""})"},
    {"filterEnabled number",
     R"({"url":"h","filterEnabled":1,"useFileExtFilter":false,"mimeFilter":""})"},
    {"filterEnabled string",
     R"({"url":"h","filterEnabled":"true","useFileExtFilter":false,"mimeFilter":""})"},
    {"filterEnabled missing", R"({"url":"h","useFileExtFilter":false,"mimeFilter":""})"},
    {"useFileExtFilter number",
     R"({"url":"h","filterEnabled":false,"useFileExtFilter":0,"mimeFilter":""})"},
    {"useFileExtFilter missing", R"({"url":"h","filterEnabled":false,"mimeFilter":""})"},
    {"mimeFilter missing", R"({"url":"h","filterEnabled":false,"useFileExtFilter":false})"},
    {"mimeFilter number",
     R"({"url":"h","filterEnabled":false,"useFileExtFilter":false,"mimeFilter":3})"},
    {"mimeFilter selected, only fileExtFilter given",
     R"({"url":"h","filterEnabled":false,"useFileExtFilter":false,"fileExtFilter":".mp4"})"},
    {"fileExtFilter missing", R"({"url":"h","filterEnabled":false,"useFileExtFilter":true})"},
    {"fileExtFilter boolean",
     R"({"url":"h","filterEnabled":false,"useFileExtFilter":true,"fileExtFilter":true})"},
    {"fileExtFilter array",
     R"({"url":"h","filterEnabled":false,"useFileExtFilter":true,"fileExtFilter":[".mp4"]})"},
};

TEST(HandleStartTest, WrongSettingsChangeNothing) {
    for (const BadStartCase& c : kBadStarts) {
        FakeScanHost host;
        // A scan that is Paused with filters set, so that any change would show.
        host.m_running = TRUE;
        host.m_paused = TRUE;
        host.m_filterEnabled = TRUE;
        host.m_mimeFilter = u"audio";
        ASSERT_TRUE(host.m_fileExtFilter.SetFromUtf8(".ogg"));
        const Snapshot before = Take(host);
        EXPECT_EQ(0, Call(&host, u"start", c.params)) << c.what;
        EXPECT_TRUE(before == Take(host)) << c.what;
        EXPECT_TRUE(host.log.empty()) << c.what << ": " << (host.log.empty() ? "" : host.log[0]);
    }
}

struct GoodStartCase {
    const char* what;
    std::string params;
};

// The selected filter's text is required; the other one may be anything or absent.
const GoodStartCase kGoodStarts[] = {
    {"mime, no extension member",
     R"({"url":"h","filterEnabled":true,"useFileExtFilter":false,"mimeFilter":"v"})"},
    {"mime, extension member of another type",
     R"({"url":"h","filterEnabled":true,"useFileExtFilter":false,"mimeFilter":"v","fileExtFilter":7})"},
    {"extension, mime member of another type",
     R"({"url":"h","filterEnabled":true,"useFileExtFilter":true,"fileExtFilter":".a","mimeFilter":null})"},
    {"other members ignored",
     R"({"url":"h","filterEnabled":false,"useFileExtFilter":false,"mimeFilter":"","x":[1]})"},
};

TEST(HandleStartTest, OnlyTheSelectedFilterIsRequired) {
    for (const GoodStartCase& c : kGoodStarts) {
        FakeScanHost host;
        EXPECT_EQ(1, Call(&host, u"start", c.params)) << c.what;
    }
}

TEST(HandleStartTest, FiltersKeepWhatEarlierStartsSet) {
    FakeScanHost host;
    using Set = ExtensionFilter::ExtensionSet;
    ASSERT_EQ(
        1,
        Call(
            &host, u"start",
            R"({"url":"h","filterEnabled":true,"useFileExtFilter":true,"fileExtFilter":"*.mp4; *.flv","mimeFilter":"ignored"})"));
    EXPECT_EQ(Set({u".flv", u".mp4"}), host.m_fileExtFilter.Extensions());
    EXPECT_EQ(u"", host.m_mimeFilter);
    EXPECT_TRUE(host.m_useFileExtFilter);

    ASSERT_EQ(
        1,
        Call(&host, u"start",
             R"({"url":"h","filterEnabled":false,"useFileExtFilter":false,"mimeFilter":"video"})"));
    EXPECT_EQ(u"video", host.m_mimeFilter);
    EXPECT_EQ(Set({u".flv", u".mp4"}), host.m_fileExtFilter.Extensions());
    EXPECT_FALSE(host.m_filterEnabled);
    EXPECT_FALSE(host.m_useFileExtFilter);

    // Empty texts leave the selected filter as it was.
    ASSERT_EQ(1,
              Call(&host, u"start",
                   R"({"url":"h","filterEnabled":true,"useFileExtFilter":false,"mimeFilter":""})"));
    EXPECT_EQ(u"video", host.m_mimeFilter);
    ASSERT_EQ(
        1, Call(&host, u"start",
                R"({"url":"h","filterEnabled":true,"useFileExtFilter":true,"fileExtFilter":""})"));
    EXPECT_EQ(Set({u".flv", u".mp4"}), host.m_fileExtFilter.Extensions());

    ASSERT_EQ(
        1,
        Call(
            &host, u"start",
            R"({"url":"h","filterEnabled":true,"useFileExtFilter":true,"fileExtFilter":".mp4;"})"));
    EXPECT_EQ(Set({u"", u".mp4"}), host.m_fileExtFilter.Extensions());
    ASSERT_EQ(
        1,
        Call(
            &host, u"start",
            R"({"url":"h","filterEnabled":true,"useFileExtFilter":false,"mimeFilter":"\u00fcber"})"));
    EXPECT_EQ(u"\u00FCber", host.m_mimeFilter);
}

struct AddressCase {
    std::string url;  // as JSON text
    int outcome;
    std::vector<std::string> log;
};

const AddressCase kAddresses[] = {
    {R"("www.host")",
     1,
     {"ensure", "page updateInputUrl http://www.host", "load www.host", "show"}},
    {R"("host")", 1, {"ensure", "page updateInputUrl http://host", "load host", "show"}},
    {R"("host:8080/a")",
     1,
     {"ensure", "page updateInputUrl http://host:8080/a", "load host:8080/a", "show"}},
    {R"("http://host/")", 1, {"ensure", "load http://host/", "show"}},
    {R"("WWW.host/?a=b://c")", 1, {"ensure", "load WWW.host/?a=b://c", "show"}},
    {R"("/tmp/page.html")",
     1,
     {"ensure", "page updateInputUrl http:///tmp/page.html", "load /tmp/page.html", "show"}},
    {R"("")", 0, {"ensure", "load "}},
    {R"("h\u00fc")",
     1,
     {"ensure", "page updateInputUrl http://h\xC3\xBC", "load h\xC3\xBC", "show"}},
};

TEST(HandleStartTest, TellsThePageTheCompletedAddressBeforeLoading) {
    for (const AddressCase& c : kAddresses) {
        FakeScanHost host;
        std::string params = R"({"url":)" + c.url +
                             R"(,"filterEnabled":false,"useFileExtFilter":false,"mimeFilter":""})";
        EXPECT_EQ(c.outcome, Call(&host, u"start", params)) << c.url;
        EXPECT_EQ(c.log, host.log) << c.url;
        EXPECT_EQ(c.outcome == 1, host.m_running == TRUE) << c.url;
    }
}

TEST(HandleStartTest, PageWithoutUpdateFunctionDoesNotStopTheStart) {
    FakeScanHost host;
    host.pageAnswers = false;
    EXPECT_EQ(
        1,
        Call(
            &host, u"start",
            R"({"url":"www.host","filterEnabled":true,"useFileExtFilter":false,"mimeFilter":""})"));
    EXPECT_TRUE(host.m_running);
}

struct FailingWindowCase {
    const char* what;
    bool creates;
    bool accepts;
    std::vector<std::string> log;
};

const FailingWindowCase kFailingWindows[] = {
    {"window cannot be created", false, true, {"ensure"}},
    {"loader refuses", true, false, {"ensure", "page updateInputUrl http://host", "load host"}},
};

TEST(HandleStartTest, FailureKeepsTheStateButAppliesTheSettings) {
    for (const FailingWindowCase& c : kFailingWindows) {
        FakeScanHost host;
        host.m_running = TRUE;
        host.m_paused = TRUE;
        host.windowCreates = c.creates;
        host.loaderAccepts = c.accepts;
        EXPECT_EQ(
            0,
            Call(
                &host, u"start",
                R"({"url":"host","filterEnabled":false,"useFileExtFilter":true,"fileExtFilter":".mp3"})"))
            << c.what;
        EXPECT_EQ(c.log, host.log) << c.what;
        EXPECT_TRUE(host.m_running && host.m_paused) << c.what << ": state unchanged";
        EXPECT_FALSE(host.m_filterEnabled) << c.what;
        EXPECT_TRUE(host.m_useFileExtFilter) << c.what;
        EXPECT_EQ(ExtensionFilter::ExtensionSet({u".mp3"}), host.m_fileExtFilter.Extensions());
    }
}

// ---- open and copyURL ----

struct CopyCase {
    const char* what;
    std::string params;
    int outcome;
    std::u16string text;  // on the clipboard afterwards
};

const CopyCase kCopies[] = {
    {"ascii", R"({"url":"http://host/a.mp4"})", 1, u"http://host/a.mp4"},
    {"non-ascii", R"({"url":"http://h\u00f6st/\u65e5\ud83d\ude00.mp4"})", 1,
     u"http://h\u00F6st/\u65E5\U0001F600.mp4"},
    {"no scheme, unchanged", R"({"url":"www.host"})", 1, u"www.host"},
    {"empty", R"({"url":""})", 0, u""},
    {"missing", R"({"href":"http://h/"})", 0, u""},
    {"number", R"({"url":5})", 0, u""},
    {"null params", "null", 0, u""},
    {"array params", R"(["http://h/"])", 0, u""},
};

TEST(CopyUrlTest, PutsExactlyTheTextOnTheClipboard) {
    for (const CopyCase& c : kCopies) {
        FakeDesktop desktop;
        FakeScanHost host;
        EXPECT_EQ(c.outcome, Call(&host, u"copyURL", c.params)) << c.what;
        EXPECT_EQ(c.text, desktop.text) << c.what;
        EXPECT_EQ(c.outcome, desktop.entriesSet) << c.what;
        if (c.outcome == 1) {
            EXPECT_EQ(host.ClipboardOwner(), desktop.lastOwner) << c.what;
        }
        EXPECT_TRUE(desktop.opened.empty()) << c.what;
    }
}

TEST(CopyUrlTest, ALaterCopyReplacesTheText) {
    FakeDesktop desktop;
    FakeScanHost host;
    ASSERT_EQ(1, Call(&host, u"copyURL", R"({"url":"http://host/a"})"));
    ASSERT_EQ(1, Call(&host, u"copyURL", R"({"url":"http://host/b"})"));
    EXPECT_TRUE(desktop.hasText);
    EXPECT_EQ(u"http://host/b", desktop.text);
}

TEST(CopyUrlTest, ARefusedCopyAnswersZero) {
    {
        FakeDesktop desktop;
        desktop.refuseCopy = true;
        FakeScanHost host;
        EXPECT_EQ(0, Call(&host, u"copyURL", R"({"url":"http://host/a"})"));
        EXPECT_FALSE(desktop.hasText);
    }
    // Without a windowing layer there is no clipboard at all.
    FakeScanHost host;
    EXPECT_EQ(0, Call(&host, u"copyURL", R"({"url":"http://host/a"})"));
}

struct OpenCase {
    const char* what;
    std::string params;
    bool refuse;
    int outcome;
    std::vector<std::u16string> opened;
};

TEST(OpenTest, HandsTheAddressToTheDefaultHandler) {
    const OpenCase cases[] = {
        {"address", R"({"url":"http://host/a.mp4"})", false, 1, {u"http://host/a.mp4"}},
        {"non-ascii, unchanged",
         R"({"url":"h\u00f6st/\ud83d\ude00"})",
         false,
         1,
         {u"h\u00F6st/\U0001F600"}},
        {"handler refuses", R"({"url":"http://host/"})", true, 0, {u"http://host/"}},
        {"empty", R"({"url":""})", false, 0, {}},
        {"not a string", R"({"url":7})", false, 0, {}},
        {"array params", R"(["http://host/"])", false, 0, {}},
    };
    for (const OpenCase& c : cases) {
        FakeDesktop desktop;
        desktop.refuseOpen = c.refuse;
        EXPECT_EQ(c.outcome, Call(nullptr, u"open", c.params)) << c.what << ": needs no host";
        EXPECT_EQ(c.opened, desktop.opened) << c.what;
        EXPECT_FALSE(desktop.hasText) << c.what;
    }
}

TEST(OpenTest, NothingToOpenAnswersZero) {
    // The base desktop's shell, with only answers that launch nothing: its success path is
    // covered end to end.
    const std::string cases[] = {
        R"({"url":""})",
        R"({"url":7})",
        R"({})",
        "null",
        R"(["x"])",
        R"({"url":"/nonexistent-trawlet-unit/file.mp4"})",
        R"({"url":"relative-trawlet-unit-missing.mp4"})",
    };
    for (const std::string& params : cases) {
        FakeScanHost host;
        EXPECT_EQ(0, Call(&host, u"open", params)) << params;
    }
}

}  // namespace
