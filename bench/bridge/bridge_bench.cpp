// Call round trips: the program's synchronous `service.call` of "pause" in its real main window
// against WebKitGTK's own script message handler with a reply in a bare window, the same number
// of each in one run. Both are timed in the page and the times go to the loopback site's report
// endpoint; this program prints the medians, the 99th percentiles and the ratio of the medians.
//
// performance.now() ticks in whole milliseconds unless the page is cross-origin isolated, while
// a round trip takes a fraction of that. The program's page cannot be isolated (it is a file,
// and only its own page folder gets the service), so neither page is, and each call starts on a
// tick edge and is followed by a spin to the next edge: the number of spins, times the
// calibrated cost of one, gives the part of the last tick that the call did not use.
//
// Usage: bench_bridge [calls] [rounds]   (default 10000 calls, 1 round; needs DISPLAY)

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "bench/Process.h"
#include "bench/Stats.h"
#include "e2e/AppRun.h"
#include "e2e/Command.h"
#include "e2e/TestSite.h"

namespace {

using bench::Mean;
using bench::Percentile;
using e2e::AppOptions;
using e2e::AppRun;
using e2e::Millis;
using e2e::Response;
using e2e::TestSite;

constexpr double kMedianGoal = 0.5;  // ours at most half of the engine's
constexpr double kP99GoalMs = 1.0;

// The timing code shared by both pages. KIND selects how one round trip is made; `sample`
// answers the time of one round trip in milliseconds.
constexpr const char* kTimingScript = R"JS(
var ANSWER = '{"returnValue":1}\n';
var now = performance.now.bind(performance);
var C = 0;     // milliseconds per spin step, from calibrate()
var TICK = 0;  // the clock's step in milliseconds
function nextEdge() { var t = now(), u; while ((u = now()) === t) {} return u; }
function spinToEdge() { var t = now(), u, n = 0; while ((u = now()) === t) n++; return [u, n]; }
function median(a) { a = a.slice().sort(function (x, y) { return x - y; }); return a[a.length >> 1]; }
// After an edge, one full tick holds the read that found the edge, the first read of the spin
// and n more reads.
function calibrate(ticks) {
  var per = [], steps = [];
  for (var i = 0; i < ticks; i++) {
    var a = nextEdge(), r = spinToEdge();
    steps.push(r[0] - a);
    per.push((r[0] - a) / (r[1] + 2));
  }
  TICK = Math.min.apply(null, steps);
  C = median(per);
}
var wrong = 0;
// What the method reads for a call that does nothing: the floor under every figure.
function floorSample() { var t0 = nextEdge(); var r = spinToEdge(); return (r[0] - t0) - (r[1] + 1) * C; }
var sample;
var raw;  // one round trip, untimed
if (KIND === 'trawlet') {
  raw = function () {
    service.uri = 'com.kestovan.trawlet'; service.method = 'pause'; service.params = '{}';
    if (service.call() !== ANSWER) wrong++;
  };
  sample = function () {
    service.uri = 'com.kestovan.trawlet'; service.method = 'pause'; service.params = '{}';
    var t0 = nextEdge();
    var answer = service.call();
    var r = spinToEdge();
    if (answer !== ANSWER) wrong++;
    return (r[0] - t0) - (r[1] + 1) * C;
  };
} else {
  var envelope = JSON.stringify({uri: 'com.kestovan.trawlet', method: 'pause', params: '{}'});
  var handler = window.webkit.messageHandlers.trawlet;
  raw = async function () { if (await handler.postMessage(envelope) !== ANSWER) wrong++; };
  sample = async function () {
    var t0 = nextEdge();
    var answer = await handler.postMessage(envelope);
    var r = spinToEdge();
    if (answer !== ANSWER) wrong++;
    return (r[0] - t0) - (r[1] + 1) * C;
  };
}
async function runAll() {
  try {
    calibrate(200);
    for (var i = 0; i < WARMUP; i++) { var w = sample(); if (typeof w !== 'number') await w; }
    var floor = [];
    var times = [];
    while (times.length < CALLS) {
      // Recalibrated often: the cost of a spin step changes as the engine optimises and with
      // whatever else the machine runs at the time. Each block also reads a few empty calls.
      calibrate(30);
      for (var f = 0; f < 10; f++) floor.push(floorSample());
      for (var k = 0; k < 100 && times.length < CALLS; k++) {
        var v = sample();
        if (typeof v !== 'number') v = await v;
        times.push(v);
      }
    }
    // A cross-check of the method: calls back to back, timed only as a whole.
    var b0 = now();
    for (var j = 0; j < BATCH; j++) { var x = raw(); if (x) await x; }
    var batchMean = (now() - b0) / BATCH;
    report('result:' + KIND + ':' + TICK + ':' + C + ':' + self.crossOriginIsolated + ':' + wrong +
           ':' + median(floor) + ':' + batchMean +
           ':' + times.map(function (t) { return t.toFixed(5); }).join(','));
  } catch (e) {
    report('result:' + KIND + ':error:' + e);
  }
}
setTimeout(runAll, 100);
)JS";

std::string BenchPage(const TestSite& site, const std::string& kind, int calls) {
    return "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>Calls</title>\n<script>\n" +
           site.ReportScript() + "var KIND = '" + kind + "', CALLS = " + std::to_string(calls) +
           ", WARMUP = 500, BATCH = 2000;\n" + kTimingScript +
           "</script></head>\n<body><h1>Calls</h1><p>" + kind + "</p></body></html>\n";
}

struct Series {
    std::vector<double> times;  // milliseconds
    double tick = NAN;
    double spin = NAN;
    bool isolated = false;
    long wrong = 0;
    double floor = NAN;  // what an empty call reads, milliseconds
    double batch = NAN;  // mean of calls made back to back, milliseconds
    bool ok = false;
};

// Parses "result:<kind>:<tick>:<spin>:<isolated>:<wrong>:<floor>:<batch>:<t1>,<t2>,..."
// (without the prefix).
Series Parse(const std::string& text) {
    Series s;
    std::vector<std::string> fields;
    std::stringstream in(text);
    for (std::string field; std::getline(in, field, ':');) fields.push_back(field);
    if (fields.size() != 7 || fields[0] == "error") return s;
    s.tick = std::atof(fields[0].c_str());
    s.spin = std::atof(fields[1].c_str());
    s.isolated = fields[2] == "true";
    s.wrong = std::atol(fields[3].c_str());
    s.floor = std::atof(fields[4].c_str());
    s.batch = std::atof(fields[5].c_str());
    std::stringstream list(fields[6]);
    for (std::string t; std::getline(list, t, ',');) s.times.push_back(std::atof(t.c_str()));
    s.ok = !s.times.empty();
    return s;
}

Series RunOnce(TestSite& site, const std::string& kind, int calls) {
    const std::string path = "/bridge/" + kind + ".html";
    AppOptions options;
    if (kind == "engine") {
        site.Route(path, Response::Html(BenchPage(site, kind, calls)));
        options.executable = BENCH_ENGINE_VIEW;
        options.withBridge = false;
        options.arguments = {site.Url(path)};
    }
    AppRun run(options);
    // The program has its service only in its own page folder, so its bench page is that
    // folder's index.html. Neither page is cross-origin isolated (a file cannot be), so both
    // read the same coarse clock.
    if (kind != "engine") run.WritePage("index.html", BenchPage(site, kind, calls));
    if (!run.Start()) {
        std::fprintf(stderr, "cannot start %s\n", run.Executable().c_str());
        return {};
    }
    const std::string prefix = "result:" + kind + ":";
    auto result = site.WaitForReportPrefix(prefix, Millis(600000));
    if (!result) {
        std::fprintf(stderr, "no result from %s; its stderr:\n%s\n", kind.c_str(),
                     run.Stderr().c_str());
        return {};
    }
    Series s = Parse(*result);
    if (!s.ok)
        std::fprintf(stderr, "%s failed: %s\n", kind.c_str(), result->substr(0, 300).c_str());
    run.Kill();
    site.ClearRecords();
    return s;
}

void Print(const char* name, const Series& s) {
    const auto over =
        std::count_if(s.times.begin(), s.times.end(), [](double t) { return t >= 1; });
    std::printf(
        "%-34s n=%-6zu median %7.1f us  p90 %7.1f us  p99 %7.1f us  max %8.1f us  "
        "1 ms or more: %.2f%%\n",
        name, s.times.size(), 1000 * Percentile(s.times, 50), 1000 * Percentile(s.times, 90),
        1000 * Percentile(s.times, 99), 1000 * Percentile(s.times, 100),
        s.times.empty() ? 0.0
                        : 100.0 * static_cast<double>(over) / static_cast<double>(s.times.size()));
}

}  // namespace

int main(int argc, char** argv) {
    const int calls = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10000;
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 1;
    const char* display = std::getenv("DISPLAY");
    if (!display || !*display) {
        std::fprintf(stderr, "bench_bridge: no DISPLAY (bench/bridge/run.sh starts Xvfb)\n");
        return 2;
    }

    bench::PrintLoadAverage();
    TestSite site;
    Series ours, engine;
    for (int round = 0; round < rounds; ++round) {
        // Alternate which goes first, so that neither always follows the other.
        const bool oursFirst = round % 2 == 0;
        for (int i = 0; i < 2; ++i) {
            const bool isOurs = (i == 0) == oursFirst;
            Series s = RunOnce(site, isOurs ? "trawlet" : "engine", calls);
            if (!s.ok) return 1;
            Series& into = isOurs ? ours : engine;
            into.times.insert(into.times.end(), s.times.begin(), s.times.end());
            into.tick = s.tick;
            into.spin = s.spin;
            into.isolated = s.isolated;
            into.wrong += s.wrong;
            into.floor = s.floor;
            into.batch = s.batch;
            into.ok = true;
            std::printf(
                "round %d %-8s clock step %.3f ms (isolated: %s), spin step %.3f us, "
                "empty call reads %.2f us, wrong answers %ld\n"
                "        mean of the timed calls %.1f us, of %d calls back to back %.1f us\n",
                round + 1, isOurs ? "trawlet" : "engine", s.tick, s.isolated ? "yes" : "no",
                1000 * s.spin, 1000 * s.floor, s.wrong, 1000 * Mean(s.times), 2000, 1000 * s.batch);
            std::fflush(stdout);
        }
    }

    Print("trawlet service.call (sync)", ours);
    Print("engine message handler with reply", engine);
    const double medianOurs = Percentile(ours.times, 50);
    const double medianEngine = Percentile(engine.times, 50);
    const double ratio = medianOurs / medianEngine;
    const double p99 = Percentile(ours.times, 99);
    std::printf("ratio of medians trawlet/engine %.3f (goal: at most %.2f) %s\n", ratio,
                kMedianGoal, ratio <= kMedianGoal ? "met" : "NOT met");
    std::printf("trawlet p99 %.3f ms (goal: under %.1f ms) %s\n", p99, kP99GoalMs,
                p99 < kP99GoalMs ? "met" : "NOT met");
    return ours.wrong + engine.wrong == 0 ? 0 : 1;
}
