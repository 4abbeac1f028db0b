// Start-up time: from launching a program to its page's load event, for the real program and
// for a bare WebKitGTK window on the same page, alternating in one run under the current
// display. Each launch gets fresh per-user folders, as a first start after installation would.
// Prints every time, the medians and their ratio.
//
// Usage: bench_startup [runs]   (default 10; needs DISPLAY)

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/Stats.h"
#include "e2e/AppRun.h"
#include "e2e/TestSite.h"

namespace {

using bench::Median;
using e2e::AppOptions;
using e2e::AppRun;
using e2e::Clock;
using e2e::Millis;
using e2e::TestSite;

constexpr double kGoal = 1.2;

std::string PageFor(const TestSite& site, const std::string& token) {
    return "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>Start-up</title>\n"
           "<style>body { font: 14px sans-serif; margin: 2em; }</style>\n<script>\n" +
           site.ReportScript() +
           "</script></head>\n<body><h1>Start-up</h1><p>The page reports its load event.</p>\n"
           "<script>window.addEventListener('load', function () { report('" +
           token + "'); });</script>\n</body></html>\n";
}

// One launch; the time in milliseconds, or NaN when the page did not report in time.
double TimeOnce(TestSite& site, const AppOptions& options, const std::string& token) {
    AppRun run(options);
    run.WritePage("index.html", PageFor(site, token));
    const auto started = Clock::now();
    if (!run.Start()) return NAN;
    const bool loaded = site.WaitForReport(token, Millis(60000));
    const auto finished = Clock::now();
    if (!loaded) {
        std::fprintf(stderr, "no load report from %s; its stderr:\n%s\n", run.Executable().c_str(),
                     run.Stderr().c_str());
    }
    run.Kill();
    return loaded ? std::chrono::duration<double, std::milli>(finished - started).count() : NAN;
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    const char* display = std::getenv("DISPLAY");
    if (!display || !*display) {
        std::fprintf(stderr, "bench_startup: no DISPLAY (bench/startup/run.sh starts Xvfb)\n");
        return 2;
    }

    AppOptions program;  // build/trawlet with its bridge module
    AppOptions bare;
    bare.executable = BENCH_BARE_VIEW;
    bare.withBridge = false;

    TestSite site;
    int token = 0;
    auto next = [&token] { return "loaded-" + std::to_string(++token); };

    // One unmeasured launch of each, so that both find the system's files in the page cache.
    TimeOnce(site, program, next());
    TimeOnce(site, bare, next());

    std::vector<double> programTimes, bareTimes;
    std::printf("%-5s %12s %12s\n", "run", "trawlet ms", "bare ms");
    for (int i = 0; i < runs; ++i) {
        // Alternate which goes first, so that neither always follows the other.
        double p = 0, b = 0;
        if (i % 2 == 0) {
            p = TimeOnce(site, program, next());
            b = TimeOnce(site, bare, next());
        } else {
            b = TimeOnce(site, bare, next());
            p = TimeOnce(site, program, next());
        }
        programTimes.push_back(p);
        bareTimes.push_back(b);
        std::printf("%-5d %12.1f %12.1f\n", i + 1, p, b);
        std::fflush(stdout);
    }

    const double medianProgram = Median(programTimes);
    const double medianBare = Median(bareTimes);
    const double ratio = medianProgram / medianBare;
    std::printf("median launch to load: trawlet %.1f ms, bare WebKitGTK window %.1f ms\n",
                medianProgram, medianBare);
    std::printf("ratio %.3f (goal: at most %.1f) %s\n", ratio, kGoal,
                ratio <= kGoal ? "met" : "NOT met");
    return std::isnan(ratio) ? 1 : 0;
}
