// What a scanned page and a web site shown in the main window may reach: a scanned page runs
// as a browser runs it (no local files, cross-origin reads under CORS) while its requests are
// still listed, and `service` exists only in the program's own page and its own frames, each
// frame's calls answering for the envelope they set.

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "e2e/Fixture.h"

namespace e2e {
namespace {

class TrustTest : public AppTest {};

constexpr const char* kCallHelper = R"JS(
function callService(method, params) {
  service.uri = 'com.kestovan.trawlet'; service.method = method;
  service.params = JSON.stringify(params === undefined ? {} : params);
  return String(service.call()).replace(/\n/g, '\\n');
}
)JS";

std::string StartParams(const std::string& url) {
    return "{url: '" + url + "', filterEnabled: false, useFileExtFilter: false, mimeFilter: ''}";
}

bool AnyReportContains(const TestSite& site, const std::string& text) {
    for (const auto& report : site.Reports())
        if (report.find(text) != std::string::npos) return true;
    return false;
}

TEST_F(TrustTest, AScannedPageReadsNeitherLocalFilesNorOtherSitesAnswersButIsListed) {
    constexpr const char* kFileSecret = "file-secret-5512";
    constexpr const char* kSiteSecret = "other-secret-8731";
    TestSite other;  // another origin: a different port
    other.Route("/private.txt", Response::Of("text/plain", kSiteSecret));

    AppRun& run = NewApp();
    const std::string secretPath = run.Root() + "/secret.txt";
    std::ofstream(secretPath) << kFileSecret;
    const std::string fileUrl = "file://" + secretPath;

    site->Route("/hostile.html", Response::Html(Page("<p>hostile</p>", R"JS(
function xhr(name, url) {
  return new Promise(function (done) {
    try {
      var request = new XMLHttpRequest();
      request.open('GET', url);
      request.onload = function () { done(name + ':read:' + request.responseText); };
      request.onerror = function () { done(name + ':refused'); };
      request.send();
    } catch (e) { done(name + ':refused'); }
  });
}
function read(name, url) {
  return fetch(url).then(function (r) { return r.text(); })
                   .then(function (t) { return name + ':read:' + t; },
                         function () { return name + ':refused'; });
}
Promise.all([xhr('file', ')JS" + fileUrl + R"JS('),
             read('filefetch', ')JS" + fileUrl + R"JS('),
             xhr('cors', ')JS" + other.Url("/private.txt?xhr") + R"JS('),
             read('corsfetch', ')JS" + other.Url("/private.txt?fetch") + R"JS(')])
  .then(function (results) { results.forEach(report); report('hostile:done'); });
)JS")));

    run.WritePage("index.html", Page("<p>main</p>", std::string(kCallHelper) + R"JS(
function addResult(text) { report('rec:' + JSON.parse(text).url); }
fetch(')JS" + other.Url("/private.txt?main") + R"JS(').then(function (r) { return r.text(); })
  .then(function (t) { report('main:read:' + t); }, function () { report('main:refused'); })
  .then(function () { report('start:' + callService('start', )JS" +
                                                        StartParams(site->Url("/hostile.html")) +
                                                        R"JS()); });
)JS"));
    ASSERT_TRUE(StartAndWaitForMainWindow(run));
    // The program's own page keeps what its preferences give it.
    EXPECT_TRUE(site->WaitForReport(std::string("main:read:") + kSiteSecret, kStartTimeout))
        << ::testing::PrintToString(site->Reports()) << run.Stderr();
    EXPECT_TRUE(site->WaitForReport("start:{\"returnValue\":1}\\n", kStartTimeout))
        << ::testing::PrintToString(site->Reports());
    ASSERT_TRUE(site->WaitForReport("hostile:done", kStartTimeout))
        << ::testing::PrintToString(site->Reports()) << run.Stderr();

    for (const char* refused :
         {"file:refused", "filefetch:refused", "cors:refused", "corsfetch:refused"}) {
        EXPECT_TRUE(site->WaitForReport(refused)) << ::testing::PrintToString(site->Reports());
    }
    EXPECT_FALSE(AnyReportContains(*site, kFileSecret))
        << ::testing::PrintToString(site->Reports());
    // The other site did answer the scanned page, so those requests are listed like any other.
    // A file address never becomes a request: the engine refuses it before any load starts.
    for (const char* path : {"/private.txt?xhr", "/private.txt?fetch"}) {
        EXPECT_TRUE(other.WaitForPath(path)) << path;
        EXPECT_TRUE(site->WaitForReport("rec:" + other.Url(path)))
            << path << "\n"
            << ::testing::PrintToString(site->Reports());
    }
    int siteSecretReports = 0;
    for (const auto& report : site->Reports())
        if (report.find(kSiteSecret) != std::string::npos) ++siteSecretReports;
    EXPECT_EQ(siteSecretReports, 1) << "only the main page may read the other site's answer\n"
                                    << ::testing::PrintToString(site->Reports());
}

TEST_F(TrustTest, OnlyThePagesOwnFramesHaveServiceAndEachCallAnswersForItsOwnEnvelope) {
    TestSite other;
    other.Route("/web.html",
                Response::Html(Page("<p>web</p>", "report('web:' + typeof service);")));
    site->Route("/scanned.html", Response::Html(Page("<p>scanned</p>")));

    AppRun& run = NewApp();
    run.WritePage("own.html", Page("<p>own</p>", std::string(kCallHelper) +
                                                     "report('own:' + typeof service + ':' + "
                                                     "callService('stop'));"));
    run.WritePage("index.html",
                  Page("<iframe src=\"" + other.Url("/web.html") +
                           "\"></iframe><iframe src=\"own.html\"></iframe>"
                           "<iframe srcdoc=\"<script>parent.report('srcdoc:' + typeof "
                           "service)</script>\"></iframe>",
                       std::string(kCallHelper) + R"JS(
// The frames' window objects are made while this script runs and after it: the calls before
// and after them must read this frame's envelope.
report('before:' + callService('pause'));
window.addEventListener('load', function () {
  report('after:' + callService('pause'));
  report('start:' + callService('start', )JS" +
                           StartParams(site->Url("/scanned.html")) +
                           R"JS());
});
)JS"));
    ASSERT_TRUE(StartAndWaitForMainWindow(run));
    for (const char* expected :
         {"before:{\"returnValue\":1}\\n", "web:undefined", "own:object:{\"returnValue\":1}\\n",
          "srcdoc:object", "after:{\"returnValue\":1}\\n", "start:{\"returnValue\":1}\\n"}) {
        EXPECT_TRUE(site->WaitForReport(expected, kStartTimeout))
            << expected << "\n"
            << ::testing::PrintToString(site->Reports()) << run.Stderr();
    }
    EXPECT_TRUE(site->WaitForPath("/scanned.html")) << "the start did not start the scan";
}

TEST_F(TrustTest, AWebSiteTheMainWindowWasMadeToShowHasNoService) {
    TestSite other;
    other.Route("/away.html", Response::Html(Page("<p>away</p>", R"JS(
report('away:' + typeof service);
)JS")));
    AppRun& run = NewApp();
    run.WritePage("index.html", Page("<p>main</p>",
                                     // Away only once the report went out: leaving
                                     // earlier may cancel it.
                                     "report('main:' + typeof service).then(function () {"
                                     "location.href = '" +
                                         other.Url("/away.html") + "'; });"));
    ASSERT_TRUE(StartAndWaitForMainWindow(run));
    EXPECT_TRUE(site->WaitForReport("main:object", kStartTimeout))
        << ::testing::PrintToString(site->Reports()) << run.Stderr();
    EXPECT_TRUE(site->WaitForReport("away:undefined", kStartTimeout))
        << ::testing::PrintToString(site->Reports()) << run.Stderr();
}

}  // namespace
}  // namespace e2e
