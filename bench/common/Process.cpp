#include "bench/Process.h"

#include <sys/resource.h>
#include <unistd.h>

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "e2e/Command.h"

namespace bench {

namespace {

// The fields of /proc/<pid>/stat after the command name, from the state on: state ppid pgrp
// session tty tpgid flags minflt cminflt majflt cmajflt utime stime. No value when the text
// is not one.
std::optional<std::vector<std::string>> StatFields(const std::string& stat) {
    // The command name may hold blanks and parentheses; the fields follow the last ')'.
    const size_t close = stat.rfind(')');
    if (close == std::string::npos) return std::nullopt;
    std::stringstream fields(stat.substr(close + 2));
    std::vector<std::string> f;
    for (std::string field; fields >> field && f.size() < 13;) f.push_back(field);
    if (f.size() < 13) return std::nullopt;
    return f;
}

double TicksToMs(const std::vector<std::string>& f) {
    return (std::atof(f[11].c_str()) + std::atof(f[12].c_str())) * 1000.0 /
           static_cast<double>(sysconf(_SC_CLK_TCK));
}

}  // namespace

Memory MemoryOf(pid_t pid) {
    Memory m;
    std::stringstream status(e2e::ReadFile("/proc/" + std::to_string(pid) + "/status"));
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmRSS:", 0) == 0) m.rss = std::atol(line.c_str() + 6);
        if (line.rfind("RssAnon:", 0) == 0) m.anon = std::atol(line.c_str() + 8);
    }
    return m;
}

double OwnCpuMs() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000.0 +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000.0;
}

double GroupCpuMs(pid_t group) {
    double total = 0;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator("/proc", ec)) {
        const std::string name = entry.path().filename().string();
        if (name.empty() || !std::isdigit(static_cast<unsigned char>(name[0]))) continue;
        const auto f = StatFields(e2e::ReadFile(entry.path().string() + "/stat"));
        if (!f || std::atol((*f)[2].c_str()) != group) continue;
        total += TicksToMs(*f);
    }
    return total;
}

double ProcessCpuMs(pid_t pid) {
    const auto f = StatFields(e2e::ReadFile("/proc/" + std::to_string(pid) + "/stat"));
    return f ? TicksToMs(*f) : NAN;
}

void PrintLoadAverage() {
    std::printf("load average at start: %s", e2e::ReadFile("/proc/loadavg").c_str());
}

}  // namespace bench
