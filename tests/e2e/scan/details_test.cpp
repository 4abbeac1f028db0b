// What a scan tells a page beyond the records: the details that follow each record when the
// page has "addResultDetails" (and nothing new for a page without it), and the scan session's
// cookies through the "cookies" method.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>

#include <strings.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "e2e/Processes.h"
#include "scan/ScanTest.h"

namespace e2e {
namespace {

using ::testing::IsEmpty;

// The largest playlist body the page gets (2 MB).
constexpr size_t kMaxBody = 2 * 1024 * 1024;

// A scanned page with the kinds of loads the details tell apart: a document, an image, a
// script behind a redirect, a POST, a resource that is not there, and a window it opens.
struct DetailsSite {
    explicit DetailsSite(TestSite& site) : site(site) {
        site.Route("/d/index.html",
                   Response::Html(PadHtml("<!DOCTYPE html><img src=\"/d/pic.gif\">"
                                          "<script src=\"/d/old.js\"></script><script>"
                                          "fetch('/d/post.txt', {method: 'POST', body: 'x'});"
                                          "fetch('/d/missing.txt');"
                                          "window.open('/d/popup.html');</script>",
                                          1024)));
        site.Route("/d/pic.gif", Response::Of("image/gif", Gif()));
        site.Route("/d/old.js", Response::Redirect("/d/new.js"));
        site.Route("/d/new.js", Response::Of("text/javascript", "var moved = 1;"));
        site.Route("/d/post.txt", Response::Of("text/plain", "posted"));
        site.Route("/d/missing.txt", Response::NotFound());
        site.Route("/d/popup.html",
                   Response::Html(PadHtml("<!DOCTYPE html><img src=\"/d/in-popup.gif\">", 1024)));
        site.Route("/d/in-popup.gif", Response::Of("image/gif", Gif()));
    }

    // One load: its record's type and size, and its expected details.
    struct Expected {
        std::string path;
        const char* mimeType;
        const char* size;
        const char* method;
        int status;
        const char* destination;
        std::string referer;  // "" for none
        int window;
        std::string redirectTo;  // "" unless a redirect
    };
    std::vector<Expected> Loads() const {
        const std::string page = site.Url("/d/index.html");
        const std::string popup = site.Url("/d/popup.html");
        // The redirect carries no Content-Type or Content-Length (see capture_test).
        return {
            {"/d/index.html", "text/html", "1KB", "GET", 200, "document", "", 0, ""},
            {"/d/pic.gif", "image/gif", "43B", "GET", 200, "image", page, 0, ""},
            {"/d/old.js", "text/plain", "unknown", "GET", 302, "script", page, 0,
             site.Url("/d/new.js")},
            {"/d/new.js", "text/javascript", "14B", "GET", 200, "script", page, 0, ""},
            {"/d/post.txt", "text/plain", "6B", "POST", 200, "empty", page, 0, ""},
            {"/d/missing.txt", "text/plain", "9B", "GET", 404, "empty", page, 0, ""},
            {"/d/popup.html", "text/html", "1KB", "GET", 200, "document", page, 1, ""},
            {"/d/in-popup.gif", "image/gif", "43B", "GET", 200, "image", popup, 1, ""},
        };
    }

    bool AllReported(const std::vector<Record>& records) const {
        for (const auto& load : Loads()) {
            const std::string url = site.Url(load.path);
            if (std::none_of(records.begin(), records.end(),
                             [&](const Record& r) { return r.url == url; }))
                return false;
        }
        return true;
    }

    TestSite& site;
};

// The value of the first [name, value] pair of that name (any case), or "".
std::string HeaderOf(const Json::Value& fields, const std::string& name) {
    if (!fields.isArray()) return {};
    for (const auto& field : fields) {
        if (field.isArray() && field.size() == 2 && field[0].isString() &&
            strcasecmp(field[0].asCString(), name.c_str()) == 0)
            return field[1].asString();
    }
    return {};
}

TEST_F(ScanTest, EachRecordIsFollowedByItsDetails) {
    DetailsSite scanned(*site);
    withDetails = true;
    ASSERT_TRUE(StartDriver());
    ASSERT_EQ(Start(Unfiltered(site->Url("/d/index.html"))), kAnswer1);
    ASSERT_TRUE(WaitForRecords([&](const auto& records) { return scanned.AllReported(records); },
                               kStartTimeout))
        << Dump(Records());
    ASSERT_TRUE(WaitUntil([&] { return AllDetails().size() >= Records().size(); }, kActionTimeout))
        << AllDetails().size() << " details for " << Records().size() << " records";

    const auto& records = Records();
    const auto& details = AllDetails();
    ASSERT_EQ(details.size(), records.size());
    std::set<std::string> keys;
    for (size_t i = 0; i < details.size(); ++i) {
        SCOPED_TRACE(details[i].text);
        // Right after its record, and about it.
        EXPECT_EQ(details[i].recordsBefore, i + 1);
        const Json::Value& d = details[i].value;
        ASSERT_TRUE(d.isObject());
        EXPECT_EQ(JsonString(d, "url"), records[i].url);
        for (const auto& name : d.getMemberNames()) keys.insert(name);
        EXPECT_TRUE(d["id"].isUInt());
        EXPECT_TRUE(d["started"].isInt64() && d["received"].isInt64());
        EXPECT_LE(d["started"].asInt64(), d["received"].asInt64());
    }
    EXPECT_EQ(keys, (std::set<std::string>{"id", "url", "method", "status", "statusText",
                                           "requestHeaders", "responseHeaders", "length", "started",
                                           "received", "window", "destination", "redirect",
                                           "redirectTo"}));

    std::map<std::string, const Json::Value*> byUrl;
    for (const auto& d : details) byUrl[JsonString(d.value, "url")] = &d.value;
    for (const auto& load : scanned.Loads()) {
        SCOPED_TRACE(load.path);
        ASSERT_EQ(byUrl.count(site->Url(load.path)), 1u);
        const Json::Value& d = *byUrl[site->Url(load.path)];
        EXPECT_EQ(JsonString(d, "method"), load.method);
        EXPECT_EQ(d["status"].asInt(), load.status);
        EXPECT_EQ(JsonString(d, "destination"), load.destination);
        EXPECT_EQ(HeaderOf(d["requestHeaders"], "Referer"), load.referer);
        EXPECT_EQ(d["window"].asInt(), load.window);
        EXPECT_EQ(d["redirect"].asBool(), !load.redirectTo.empty());
        if (load.redirectTo.empty()) {
            EXPECT_TRUE(d["redirectTo"].isNull());
            EXPECT_EQ(HeaderOf(d["responseHeaders"], "Content-Length"),
                      d["length"].isNull() ? "" : std::to_string(d["length"].asInt64()));
        } else {
            EXPECT_EQ(JsonString(d, "redirectTo"), load.redirectTo);
            EXPECT_EQ(HeaderOf(d["responseHeaders"], "Location"), "/d/new.js");
        }
        // What the server got is what the details say was sent.
        auto answered = site->WaitForPath(load.path);
        ASSERT_TRUE(answered);
        EXPECT_EQ(HeaderOf(d["requestHeaders"], "User-Agent"), answered->Header("User-Agent"));
    }
    // A redirect and the load it leads to share their load's id.
    EXPECT_EQ((*byUrl[site->Url("/d/old.js")])["id"], (*byUrl[site->Url("/d/new.js")])["id"]);
    EXPECT_EQ(JsonString(*byUrl[site->Url("/d/pic.gif")], "statusText"), "OK");
}

TEST_F(ScanTest, PageWithoutDetailsGetsTheSameRecordsAsBefore) {
    DetailsSite scanned(*site);
    ASSERT_TRUE(StartDriver());
    ASSERT_EQ(Eval("typeof addResultDetails"), "undefined");
    ASSERT_EQ(Start(Unfiltered(site->Url("/d/index.html"))), kAnswer1);
    ASSERT_TRUE(WaitForRecords([&](const auto& records) { return scanned.AllReported(records); },
                               kStartTimeout))
        << Dump(Records());
    const size_t settled = Records().size();
    EXPECT_TRUE(StaysFalse([&] { return Records().size() != settled; }, Millis(1000)));

    // One record for each load the site answered, exactly as records always were.
    std::map<std::string, std::string> recordOf;
    for (const auto& load : scanned.Loads()) {
        const std::string name = load.path.substr(load.path.rfind('/') + 1);
        recordOf[load.path] = RecordText(name, load.mimeType, load.size, site->Url(load.path));
    }
    std::multiset<std::string> expected;
    for (const auto& request : site->Requests()) {
        if (PageControl::IsControlRequest(request)) continue;
        ASSERT_EQ(recordOf.count(request.path), 1u) << request.path;
        expected.insert(recordOf[request.path]);
    }
    std::multiset<std::string> got;
    for (const auto& r : Records()) got.insert(r.text);
    EXPECT_EQ(got, expected) << Dump(Records());
    EXPECT_THAT(InvalidRecords(), IsEmpty());
    EXPECT_TRUE(app->Running());
}

TEST_F(ScanTest, PageLoadedAgainGetsEachRecordWithItsDetails) {
    DetailsSite scanned(*site);
    withDetails = true;
    ASSERT_TRUE(StartDriver());
    ASSERT_EQ(Start(Unfiltered(site->Url("/d/index.html"))), kAnswer1);
    ASSERT_TRUE(WaitForRecords([&](const auto& records) { return scanned.AllReported(records); },
                               kStartTimeout));
    const size_t settled = Records().size();
    EXPECT_TRUE(StaysFalse([&] { return Records().size() != settled; }, Millis(1000)));
    ASSERT_TRUE(WaitUntil([&] { return AllDetails().size() == settled; }, kActionTimeout));
    const std::vector<Record> records = Records();
    const std::vector<Details> details = AllDetails();

    const auto page = WaitForPageProcess(app->Pid());
    ASSERT_TRUE(page);
    ASSERT_EQ(kill(*page, SIGKILL), 0);
    ASSERT_TRUE(WaitForPageProcess(app->Pid(), {*page})) << "the page was not loaded again";
    ForgetReceived();
    ASSERT_TRUE(
        WaitUntil([&] { return Records().size() >= settled && AllDetails().size() >= settled; },
                  kStartTimeout))
        << Records().size() << " records, " << AllDetails().size() << " details";
    ASSERT_EQ(Records().size(), settled);
    ASSERT_EQ(AllDetails().size(), settled);
    for (size_t i = 0; i < settled; ++i) {
        EXPECT_EQ(Records()[i].text, records[i].text);
        EXPECT_EQ(AllDetails()[i].text, details[i].text);
        EXPECT_EQ(AllDetails()[i].recordsBefore, i + 1);
    }
}

TEST_F(ScanTest, PlaylistBodiesFollowTheirRecordsOnceLoaded) {
    const std::string hls = "#EXTM3U\n#EXT-X-TARGETDURATION:2\n#EXTINF:2,\nseg0.ts\n";
    const std::string dash =
        "<?xml version=\"1.0\"?><MPD xmlns=\"urn:mpeg:dash:schema:mpd:2011\"/>";
    const std::string big = "#EXTM3U\n" + std::string(kMaxBody + 10, '#');
    // The engine hands over a body only while the page's memory cache still holds it: always
    // for a style sheet the document holds, never for a fetch(), by chance for an
    // XMLHttpRequest (see docs/ARCHITECTURE.md). So the bodies here are loaded as style sheets.
    site->Route("/b/live.m3u8", Response::Of("application/vnd.apple.mpegurl", hls));
    site->Route("/b/manifest.mpd", Response::Of("text/plain", dash));
    site->Route("/b/big.m3u8", Response::Of("application/x-mpegurl", big));
    site->Route("/b/moved.m3u8", Response::Redirect("/b/live.m3u8?again"));
    site->Route("/b/seg0.ts", Response::Of("video/mp2t", std::string(188, 'G')));
    site->Route("/b/fetched.m3u8", Response::Of("application/vnd.apple.mpegurl", hls));
    std::string links;
    for (const char* path :
         {"/b/live.m3u8", "/b/manifest.mpd", "/b/big.m3u8", "/b/moved.m3u8", "/b/seg0.ts"})
        links += std::string("<link rel=\"stylesheet\" href=\"") + path + "\">";
    site->Route("/b/index.html",
                Response::Html("<!DOCTYPE html><html><head>" + links +
                               "</head><body><script>fetch('/b/fetched.m3u8');</script></body>"
                               "</html>"));
    withDetails = true;
    ASSERT_TRUE(StartDriver());
    ASSERT_EQ(Start(Unfiltered(site->Url("/b/index.html"))), kAnswer1);
    // Five playlists are loaded: the redirect's target is one too, the redirect is not.
    ASSERT_TRUE(WaitUntil([&] { return AllBodies().size() >= 5; }, kStartTimeout))
        << AllBodies().size() << " bodies\n"
        << Dump(Records());
    EXPECT_TRUE(StaysFalse([&] { return AllBodies().size() > 5; }, Millis(1000)));

    std::map<std::string, Json::Value> byUrl;
    const auto bodies = AllBodies();
    for (const auto& body : bodies) {
        SCOPED_TRACE(body.text.substr(0, 200));
        const std::string url = JsonString(body.value, "url");
        EXPECT_EQ(byUrl.count(url), 0u);
        byUrl[url] = body.value;
        // After its record and its details, with the same id.
        const auto& records = Records();
        size_t place = 0;
        while (place < records.size() && records[place].url != url) ++place;
        ASSERT_LT(place, records.size());
        EXPECT_GT(body.recordsBefore, place);
        const auto& details = AllDetails();
        ASSERT_GT(details.size(), place);
        EXPECT_EQ(body.value["id"], details[place].value["id"]);
    }
    EXPECT_EQ(JsonString(byUrl[site->Url("/b/live.m3u8")], "body"), hls);
    EXPECT_EQ(JsonString(byUrl[site->Url("/b/manifest.mpd")], "body"), dash);
    const Json::Value& large = byUrl[site->Url("/b/big.m3u8")];
    EXPECT_TRUE(large["body"].isNull());
    EXPECT_TRUE(JsonBool(large, "tooLarge"));
    // Nor does the engine find the body of a load that was redirected.
    for (const char* path : {"/b/fetched.m3u8", "/b/live.m3u8?again"}) {
        const Json::Value& unkept = byUrl[site->Url(path)];
        EXPECT_TRUE(unkept["body"].isNull()) << path;
        EXPECT_EQ(JsonString(unkept, "error"), "the engine kept no copy of this body") << path;
    }
}

// The Cookie header values, each split into its cookies and sorted: cookies of equal path
// length come in no fixed order.
std::vector<std::set<std::string>> CookieSets(const std::string& answer) {
    std::vector<std::set<std::string>> sets;
    auto value = ParseJson(answer);
    if (!value || JsonNumber(*value, "returnValue") != 1) return sets;
    for (const std::string& header : JsonStrings(JsonMember(*value, "cookies"))) {
        std::set<std::string> cookies;
        size_t start = 0;
        while (start < header.size()) {
            size_t end = header.find("; ", start);
            if (end == std::string::npos) end = header.size();
            cookies.insert(header.substr(start, end - start));
            start = end + 2;
        }
        sets.push_back(cookies);
    }
    return sets;
}

TEST_F(ScanTest, CookiesAreThoseTheScanSessionWouldSend) {
    TestSite other;
    Response page = Response::Html(
        "<!DOCTYPE html><script>document.cookie = 'dom=2; path=/c';</script><p>cookies</p>");
    page.headers = {{"Set-Cookie", "sess=1; Path=/c; HttpOnly"}};
    site->Route("/c/index.html", page);
    ASSERT_TRUE(StartDriver());
    ASSERT_EQ(Call("cookies", R"({"urls":[]})"), "{\"cookies\":[],\"returnValue\":1}\n");
    ASSERT_EQ(Start(Unfiltered(site->Url("/c/index.html"))), kAnswer1);

    // A path outside the cookies' one, the host under another name, a site on another port
    // (cookies do not tell ports apart), no address.
    const std::string localhost = "http://localhost:" + std::to_string(site->Port()) + "/c/x";
    const std::vector<std::string> urls = {site->Url("/c/x"), site->Url("/other/x"), localhost,
                                           other.Url("/c/x"), "not an address"};
    std::string params = "{\"urls\":[";
    for (size_t i = 0; i < urls.size(); ++i) params += (i ? "," : "") + Quote(urls[i]);
    params += "]}";
    const std::vector<std::set<std::string>> expected = {
        {"sess=1", "dom=2"}, {}, {}, {"sess=1", "dom=2"}, {}};
    std::string answer;
    EXPECT_TRUE(WaitUntil(
        [&] {
            answer = Call("cookies", params).value_or("");
            return CookieSets(answer) == expected;
        },
        kActionTimeout))
        << answer;

    // Parameters the method does not take.
    EXPECT_EQ(Call("cookies", "{}"), kAnswer0);
    EXPECT_EQ(Call("cookies", R"({"urls":"http://127.0.0.1/"})"), kAnswer0);
    EXPECT_EQ(Call("cookies", R"({"urls":[1]})"), kAnswer0);
}

}  // namespace
}  // namespace e2e
