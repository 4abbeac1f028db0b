// What a scan reports: every response of the scanned page and of the windows it opens, once
// and exactly as the engine gave it, also for thousands of resources and for hostile
// addresses, types and responses that never end.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "scan/ScanTest.h"

namespace e2e {
namespace {

using ::testing::IsEmpty;

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
        if (PageControl::IsControlRequest(request)) continue;
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

}  // namespace
}  // namespace e2e
