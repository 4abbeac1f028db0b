// Scan speed: a loopback page with 2,000 resources (images, style sheets, scripts), loaded in
// the program's scan window with capture on and every record delivered to the main page, and
// the same page in a bare WebKitGTK view with nothing watching. Both programs stay up for the
// whole run and take turns, round by round, after one unmeasured round each.
//
// - The program: its main page (a minimal test page) starts each scan with service.call and
//   counts the records "addResult" receives. A round lasts from just before "start" until the
//   last of the page's records has reached the main page and the scanned page has had its
//   load event, whichever comes later.
// - The bare view: from asking the view to load the address until it reports the load
//   finished.
//
// The program's UI process memory is read after the warm-up and again once at least 20,000
// results have reached the main page (the timed rounds, then further scans of the same page if
// needed), and the growth is printed per 10,000 results. One page of 20,000 resources would be
// the more direct test, but the engine itself needs minutes for it on a small machine.
//
// With "details" as the fourth argument the main page also defines "addResultDetails" (it keeps
// every details text, as it keeps the records), and a round lasts until the details of its
// last record have arrived.
//
// Usage: bench_scan [rounds] [resources] [memory-results] [details]
//        (default 10, 2000, 20000, no details; needs DISPLAY)

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "BareLoader.h"
#include "bench/Process.h"
#include "bench/Stats.h"
#include "e2e/AppRun.h"
#include "e2e/PageControl.h"
#include "e2e/TestSite.h"

namespace {

using e2e::AppRun;
using e2e::Millis;
using e2e::PageControl;
using e2e::QueryValue;
using e2e::Request;
using e2e::Response;
using e2e::TestSite;

constexpr double kGoal = 1.10;
constexpr Millis kRoundTimeout{180000};

// A 1x1 transparent PNG.
const unsigned char kPixel[] = {
    0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a, 0x00, 0x00, 0x00, 0x0d, 0x49, 0x48,
    0x44, 0x52, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x08, 0x06, 0x00, 0x00,
    0x00, 0x1f, 0x15, 0xc4, 0x89, 0x00, 0x00, 0x00, 0x0d, 0x49, 0x44, 0x41, 0x54, 0x78,
    0x9c, 0x63, 0x00, 0x01, 0x00, 0x00, 0x05, 0x00, 0x01, 0x0d, 0x0a, 0x2d, 0xb4, 0x00,
    0x00, 0x00, 0x00, 0x49, 0x45, 0x4e, 0x44, 0xae, 0x42, 0x60, 0x82};

// How a page of n resources is made up: a tenth style sheets, a tenth scripts, the rest images.
struct Mix {
    int sheets, scripts, images;
};
Mix MixOf(int n) {
    const int sheets = n / 10, scripts = n / 10;
    return {sheets, scripts, n - sheets - scripts};
}

// The scanned page: every resource carries the round's tag in its query, so that the main
// page can tell this round's records from any other, and no cache can answer for the site.
std::string ScanPage(const TestSite& site, int n, const std::string& tag) {
    const Mix mix = MixOf(n);
    const std::string q = "?r=" + tag;
    std::string page;
    page.reserve(static_cast<size_t>(n) * 48 + 1024);
    page += "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>Scan</title>\n<script>\n";
    page += site.ReportScript();
    page += "window.addEventListener('load', function () { report('load:" + tag +
            ":' + Date.now()); });\n</script>\n";
    for (int i = 0; i < mix.sheets; ++i)
        page += "<link rel=\"stylesheet\" href=\"/res/" + std::to_string(i) + ".css" + q + "\">\n";
    page += "</head><body>\n";
    for (int i = 0; i < mix.images; ++i)
        page +=
            "<img src=\"/res/" + std::to_string(i) + ".png" + q + "\" width=\"4\" height=\"4\">";
    page += "\n";
    for (int i = 0; i < mix.scripts; ++i)
        page += "<script async src=\"/res/" + std::to_string(i) + ".js" + q + "\"></script>\n";
    page += "</body></html>\n";
    return page;
}

// The program's main page: "addResult" keeps every record and counts this round's;
// startScan() starts a scan with service.call and settles when the round is over. The page
// takes its commands through the site (e2e::PageControl), asking a few dozen times a second
// while idle and not at all during a round.
std::string MainPage(const TestSite& site, const PageControl& control, bool withDetails) {
    const std::string details = R"JS(
var details = [];
function addResultDetails(json) {
  details.push(json);
  if (tag !== null && json.indexOf(tag) >= 0 && ++count === target) finishRound(Date.now());
}
)JS";
    return "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>Scan bench</title>\n"
           "<script>\n" +
           site.ReportScript() + "var SITE = " + e2e::JsString(site.Origin()) + ";\n" +
           "var WITH_DETAILS = " + (withDetails ? "true" : "false") + ";\n" +
           (withDetails ? details : std::string()) + R"JS(
var records = [], total = 0, tag = null, target = 0, count = 0, round = null, started = 0;
var finish = null, guard = null, mine = [];
function finishRound(outcome) {
  clearTimeout(guard);
  report('done:' + round + ':' + started + ':' + outcome + ':' + count + ':' + total);
  // The round's records, checked once its time is taken: each is valid JSON with the four
  // text members, and no address comes twice.
  var invalid = 0, seen = new Set();
  mine.forEach(function (text) {
    try {
      var r = JSON.parse(text);
      if (['fileName', 'mimeType', 'size', 'url'].some(function (k) { return typeof r[k] !== 'string'; }))
        invalid++;
      else seen.add(r.url);
    } catch (e) { invalid++; }
  });
  report('check:' + round + ':' + invalid + ':' + seen.size);
  tag = null;
  var f = finish; finish = null; if (f) f();
}
function addResult(json) {
  records.push(json);
  total++;
  if (tag !== null && json.indexOf(tag) >= 0) {
    mine.push(json);
    if (!WITH_DETAILS && ++count === target) finishRound(Date.now());
  }
}
function startScan(id, n) {
  return new Promise(function (resolve) {
    finish = resolve;
    round = id; tag = 'r=' + id + '_'; target = n + 1; count = 0; mine = [];
    guard = setTimeout(function () { finishRound('timeout'); }, 170000);
    service.uri = 'com.kestovan.trawlet'; service.method = 'start';
    service.params = JSON.stringify({url: SITE + '/scan.html?n=' + n + '&r=' + id + '_',
                                     filterEnabled: false, useFileExtFilter: false,
                                     mimeFilter: ''});
    started = Date.now();
    var answer = String(service.call());
    if (answer.indexOf('"returnValue":1') < 0) finishRound('refused');
  });
}
)JS" + control.PollScript("main", Millis(30)) +
           "</script></head>\n<body><h1>Scan bench</h1></body></html>\n";
}

struct ScanOutcome {
    double ms = NAN;
    long records = 0;     // this round's records the main page received
    long total = 0;       // all records the main page has received so far
    long invalid = 0;     // records that are not valid JSON with four text members
    long duplicates = 0;  // records of an address reported before in the same round
};

// Scan `number` in the program: starts it in the main page and waits for the main page's
// count and the scanned page's load event.
ScanOutcome ScanInProgram(TestSite& site, PageControl& control, int number, int resources,
                          AppRun& run) {
    const std::string id = std::to_string(number);
    ScanOutcome outcome;
    if (!control.Eval("main", "startScan('" + id + "', " + std::to_string(resources) + ")",
                      kRoundTimeout)) {
        std::fprintf(stderr, "scan %s did not end; the program's stderr:\n%s\n", id.c_str(),
                     run.Stderr().c_str());
        return outcome;
    }
    auto done = site.WaitForReportPrefix("done:" + id + ":", kRoundTimeout);
    if (!done) {
        std::fprintf(stderr, "no end of scan %s; the program's stderr:\n%s\n", id.c_str(),
                     run.Stderr().c_str());
        return outcome;
    }
    // started:finished-or-problem:records:total
    std::vector<std::string> fields;
    std::stringstream in(*done);
    for (std::string f; std::getline(in, f, ':');) fields.push_back(f);
    if (fields.size() != 4) return outcome;
    outcome.records = std::atol(fields[2].c_str());
    outcome.total = std::atol(fields[3].c_str());
    const double started = std::atof(fields[0].c_str());
    const double finished = std::atof(fields[1].c_str());
    if (finished == 0) {
        std::fprintf(stderr, "scan %s ended with \"%s\" after %ld of %d records\n", id.c_str(),
                     fields[1].c_str(), outcome.records, resources + 1);
        return outcome;
    }
    auto loaded = site.WaitForReportPrefix("load:" + id + "_:", kRoundTimeout);
    if (!loaded) {
        std::fprintf(stderr, "no load event from the scanned page of round %s\n", id.c_str());
        return outcome;
    }
    outcome.ms = std::max(finished, std::atof(loaded->c_str())) - started;
    if (auto check = site.WaitForReportPrefix("check:" + id + ":", kRoundTimeout)) {
        long unique = 0;
        std::sscanf(check->c_str(), "%ld:%ld", &outcome.invalid, &unique);
        outcome.duplicates = outcome.records - outcome.invalid - unique;
    }
    return outcome;
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    const int resources = argc > 2 ? std::max(1, std::atoi(argv[2])) : 2000;
    const long memoryResults = argc > 3 ? std::max(0, std::atoi(argv[3])) : 20000;
    const bool withDetails = argc > 4 && std::string(argv[4]) == "details";
    const char* display = std::getenv("DISPLAY");
    if (!display || !*display) {
        std::fprintf(stderr, "bench_scan: no DISPLAY (bench/scan/run.sh starts Xvfb)\n");
        return 2;
    }
    bench::PrintLoadAverage();

    TestSite site;
    const std::string pixel(reinterpret_cast<const char*>(kPixel), sizeof kPixel);
    const Mix most = MixOf(resources);
    for (int i = 0; i < most.images; ++i)
        site.Route("/res/" + std::to_string(i) + ".png", Response::Of("image/png", pixel));
    for (int i = 0; i < most.sheets; ++i)
        site.Route("/res/" + std::to_string(i) + ".css",
                   Response::Of("text/css", ".c" + std::to_string(i) + " { color: #123; }\n"));
    for (int i = 0; i < most.scripts; ++i)
        site.Route("/res/" + std::to_string(i) + ".js",
                   Response::Of("text/javascript", "window.n = (window.n || 0) + 1;\n"));
    site.Route("/scan.html", [&site](const Request& request) {
        const int n = std::atoi(QueryValue(request.path, "n").c_str());
        return Response::Html(ScanPage(site, n, QueryValue(request.path, "r")));
    });
    PageControl control(site);

    AppRun program;
    program.WritePage("index.html", MainPage(site, control, withDetails));
    std::printf("main page %s \"addResultDetails\"\n", withDetails ? "with" : "without");
    if (!program.Start() || control.Eval("main", "typeof startScan", Millis(60000)) != "function") {
        std::fprintf(stderr, "the program's main page did not start; its stderr:\n%s\n",
                     program.Stderr().c_str());
        return 1;
    }
    BareLoader bare(BENCH_BARE_LOADER);
    if (!bare.Start()) {
        std::fprintf(stderr, "cannot start %s\n", BENCH_BARE_LOADER);
        return 1;
    }

    int programRound = 0;
    auto scanProgram = [&] {
        return ScanInProgram(site, control, ++programRound, resources, program);
    };
    int bareRound = 0;
    auto loadBare = [&] {
        const std::string tag = "b" + std::to_string(++bareRound) + "_";
        return bare.Load(site.Url("/scan.html?n=" + std::to_string(resources) + "&r=" + tag),
                         kRoundTimeout);
    };

    // The first round of each starts the web processes and fills the system's caches.
    const ScanOutcome warm = scanProgram();
    const double warmBare = loadBare();
    std::printf("warm-up   trawlet %9.1f ms (%ld records)   bare %9.1f ms\n", warm.ms, warm.records,
                warmBare);
    if (std::isnan(warm.ms) || std::isnan(warmBare)) return 1;
    site.ClearRecords();

    const bench::Memory before = bench::MemoryOf(program.Pid());
    const long totalBefore = warm.total;
    long totalAfter = totalBefore;
    std::vector<double> programTimes, bareTimes;
    long invalid = warm.invalid, duplicates = warm.duplicates;
    // Beside the times: the CPU time each program's processes used in the round (the program:
    // its UI process, its main page's and its scan window's web processes and its network
    // process; the bare view: its UI, web and network processes), and the site's.
    std::printf("%-5s %10s %8s %10s %8s %13s %11s %13s %9s\n", "round", "trawlet ms", "records",
                "bare ms", "ratio", "trawlet CPU", "(UI proc)", "bare CPU", "site CPU");
    for (int round = 0; round < rounds; ++round) {
        // Alternate which goes first, so that neither always follows the other.
        const double cpuStart = bench::OwnCpuMs();
        const double programCpuStart = bench::GroupCpuMs(program.Pid());
        const double uiCpuStart = bench::ProcessCpuMs(program.Pid());
        const double bareCpuStart = bench::GroupCpuMs(bare.Pid());
        ScanOutcome p;
        double b = NAN;
        if (round % 2 == 0) {
            p = scanProgram();
            b = loadBare();
        } else {
            b = loadBare();
            p = scanProgram();
        }
        const double cpu = bench::OwnCpuMs() - cpuStart;
        const double programCpu = bench::GroupCpuMs(program.Pid()) - programCpuStart;
        const double uiCpu = bench::ProcessCpuMs(program.Pid()) - uiCpuStart;
        const double bareCpu = bench::GroupCpuMs(bare.Pid()) - bareCpuStart;
        if (p.total > 0) totalAfter = p.total;
        invalid += p.invalid;
        duplicates += p.duplicates;
        programTimes.push_back(p.ms);
        bareTimes.push_back(b);
        std::printf("%-5d %10.1f %8ld %10.1f %8.3f %10.0f ms %8.0f ms %10.0f ms %6.0f ms\n",
                    round + 1, p.ms, p.records, b, p.ms / b, programCpu, uiCpu, bareCpu, cpu);
        std::fflush(stdout);
        site.ClearRecords();
    }

    std::printf("records checked in the main page: %ld not valid, %ld repeated addresses\n",
                invalid, duplicates);
    const double medianProgram = bench::Median(programTimes);
    const double medianBare = bench::Median(bareTimes);
    const double ratio = medianProgram / medianBare;
    std::printf(
        "median start to loaded, %d resources: trawlet %.1f ms, bare WebKitGTK view %.1f "
        "ms\n",
        resources, medianProgram, medianBare);
    std::printf("ratio %.3f (goal: at most %.2f) %s\n", ratio, kGoal,
                ratio <= kGoal ? "met" : "NOT met");

    // Memory: the results of the timed rounds, topped up with further scans in the program
    // until enough have been delivered, against the memory right after the warm-up.
    long delivered = totalAfter - totalBefore;
    while (delivered < memoryResults) {
        const ScanOutcome more = scanProgram();
        site.ClearRecords();
        if (more.total <= 0) return 1;
        delivered = more.total - totalBefore;
    }
    const bench::Memory after = bench::MemoryOf(program.Pid());
    auto perTenThousand = [delivered](long kib) {
        return delivered > 0 ? static_cast<double>(kib) * 10000.0 / static_cast<double>(delivered)
                             : NAN;
    };
    std::printf(
        "UI process memory over %ld results: VmRSS %ld -> %ld KiB, RssAnon %ld -> %ld KiB; "
        "growth per 10,000 results: VmRSS %+.0f KiB, RssAnon %+.0f KiB\n",
        delivered, before.rss, after.rss, before.anon, after.anon,
        perTenThousand(after.rss - before.rss), perTenThousand(after.anon - before.anon));
    program.Kill();
    return std::isnan(ratio) ? 1 : 0;
}
