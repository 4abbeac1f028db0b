// The script bridge end to end: the real program's page calls `service` and gets its answer
// synchronously, every frame and every reloaded page gets its own `service`, and pages of the
// scan kind never see one.

#include <gtest/gtest.h>

#include <string>

#include "e2e/Fixture.h"

namespace e2e {
namespace {

class BridgeTest : public AppTest {};

// A page helper that runs one call and reports its answer with the line feed made visible.
constexpr const char* kCallHelper = R"JS(
function callService(uri, method, params) {
  service.uri = uri; service.method = method;
  if (params !== undefined) service.params = params; else delete service.params;
  var answer = service.call();
  return String(answer).replace(/\n/g, '\\n');
}
)JS";

TEST_F(BridgeTest, CallsAnswerSynchronouslyWithTheHandlersText) {
    AppRun& run = NewApp();
    run.WritePage("index.html", Page("<p>calls</p>", std::string(kCallHelper) + R"JS(
var answers = [
  callService('com.kestovan.trawlet', 'pause', '{}'),
  callService('com.kestovan.trawlet', 'pause'),
  callService('com.kestovan.trawlet', 'stop', 'null'),
  callService('com.kestovan.trawlet', 'Pause', '{}'),
  callService('COM.kestovan.trawlet', 'stop', '{}'),
  callService('com.kestovan.trawlet', 'nothing', '{}'),
  callService('com.kestovan.trawlet', 'open', '{"url":""}'),
  callService('com.kestovan.trawlet', 'copyURL', '[1,2'),
  String(service.cancelCall()),
  String(typeof service.call)
];
report('answers:' + answers.join('|'));
)JS"));
    ASSERT_TRUE(StartAndWaitForMainWindow(run));
    auto answers = site->WaitForReportPrefix("answers:", kStartTimeout);
    ASSERT_TRUE(answers) << run.Stderr();
    EXPECT_EQ(*answers,
              "{\"returnValue\":1}\\n|{\"returnValue\":1}\\n|{\"returnValue\":1}\\n|"
              "{\"returnValue\":0}\\n|{\"returnValue\":0}\\n|{\"returnValue\":0}\\n|"
              "{\"returnValue\":0}\\n|{\"returnValue\":0}\\n|true|function");
}

TEST_F(BridgeTest, EveryFrameAndEveryReloadGetsItsOwnService) {
    AppRun& run = NewApp();
    run.WritePage("frame.html", Page("<p>frame</p>", std::string(kCallHelper) + R"JS(
report('frame:' + typeof service + ':' + (service !== parent.service) + ':' +
       callService('com.kestovan.trawlet', 'stop', '{}'));
)JS"));
    run.WritePage("index.html",
                  Page("<iframe src=\"frame.html\"></iframe>", std::string(kCallHelper) + R"JS(
var round = Number(sessionStorage.getItem('round') || '0') + 1;
sessionStorage.setItem('round', String(round));
report('main' + round + ':' + typeof service + ':' +
       callService('com.kestovan.trawlet', 'pause', '{}'));
if (round === 1) setTimeout(function () { location.reload(); }, 50);
)JS"));
    ASSERT_TRUE(StartAndWaitForMainWindow(run));
    EXPECT_TRUE(site->WaitForReport("main1:object:{\"returnValue\":1}\\n", kStartTimeout))
        << ::testing::PrintToString(site->Reports()) << run.Stderr();
    EXPECT_TRUE(site->WaitForReport("frame:object:true:{\"returnValue\":1}\\n", kStartTimeout))
        << ::testing::PrintToString(site->Reports());
    EXPECT_TRUE(site->WaitForReport("main2:object:{\"returnValue\":1}\\n", kStartTimeout))
        << ::testing::PrintToString(site->Reports()) << run.Stderr();
}

TEST_F(BridgeTest, ScannedPagesAndTheirFramesHaveNoService) {
    site->Route("/scanned.html", Response::Html(Page("<iframe src=\"/inner.html\"></iframe>",
                                                     "report('scanned:' + typeof service);")));
    site->Route("/inner.html",
                Response::Html(Page("<p>inner</p>", "report('inner:' + typeof service);")));
    AppRun& run = NewApp();
    run.WritePage("index.html",
                  Page("<p>start</p>", std::string(kCallHelper) +
                                           "report('start:' + callService("
                                           "'com.kestovan.trawlet', 'start', JSON.stringify({"
                                           "url: '" +
                                           site->Url("/scanned.html") +
                                           "', filterEnabled: false, useFileExtFilter: false, "
                                           "mimeFilter: ''})));"));
    ASSERT_TRUE(StartAndWaitForMainWindow(run));
    EXPECT_TRUE(site->WaitForReport("start:{\"returnValue\":1}\\n", kStartTimeout))
        << ::testing::PrintToString(site->Reports()) << run.Stderr();
    EXPECT_TRUE(site->WaitForReport("scanned:undefined", kStartTimeout))
        << ::testing::PrintToString(site->Reports());
    EXPECT_TRUE(site->WaitForReport("inner:undefined", kStartTimeout))
        << ::testing::PrintToString(site->Reports());
}

TEST_F(BridgeTest, HostilePageInputAnswersAndTheNextCallStillWorks) {
    AppRun& run = NewApp();
    run.WritePage("index.html", Page("<p>hostile</p>", std::string(kCallHelper) + R"JS(
var deep = ''; for (var i = 0; i < 100000; i++) deep += '[';
var big = '{"url":"' + 'x'.repeat(50 * 1024 * 1024) + '"}';
var results = [];
results.push(callService('com.kestovan.trawlet', 'stop', deep));
results.push(callService('com.kestovan.trawlet', 'nothing', big));
results.push(callService('com.kestovan.trawlet\uD800', 'stop', '{"a":"\uDC00"}'));
var nested = {}, depth = 0;
Object.defineProperty(service, 'params', { configurable: true, get: function () {
  if (depth++ === 0) nested.answer = String(service.call()).replace(/\n/g, '\\n');
  return '{}'; } });
service.uri = 'com.kestovan.trawlet'; service.method = 'pause';
results.push(String(service.call()).replace(/\n/g, '\\n'));
delete service.params;
results.push(callService('com.kestovan.trawlet', 'pause', '{}'));
results.push(nested.answer);
report('hostile:' + results.join('|'));
)JS"));
    ASSERT_TRUE(StartAndWaitForMainWindow(run));
    auto results = site->WaitForReportPrefix("hostile:", kStartTimeout);
    ASSERT_TRUE(results) << run.Stderr();
    EXPECT_EQ(*results,
              "{\"returnValue\":1}\\n|{\"returnValue\":0}\\n|{\"returnValue\":0}\\n|"
              "{\"returnValue\":1}\\n|{\"returnValue\":1}\\n|{\"returnValue\":1}\\n");
    EXPECT_TRUE(run.Running());
}

}  // namespace
}  // namespace e2e
