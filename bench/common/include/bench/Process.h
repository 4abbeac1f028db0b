#pragma once

// Readings of processes from /proc and getrusage: memory, CPU time and the machine's load.

#include <sys/types.h>

namespace bench {

// The resident memory of a process: VmRSS and RssAnon from /proc/<pid>/status, in KiB (-1
// when not read).
struct Memory {
    long rss = -1, anon = -1;
};
Memory MemoryOf(pid_t pid);

// CPU time (user and system) of this process, in milliseconds.
double OwnCpuMs();

// CPU time (user and system) of the living processes of a process group, in milliseconds:
// a program and the engine's helper processes it started.
double GroupCpuMs(pid_t group);

// CPU time (user and system) of one process, in milliseconds; NaN when it cannot be read.
double ProcessCpuMs(pid_t pid);

// Prints "load average at start: " and /proc/loadavg: the machine may be shared, and its load
// says how much the figures can be trusted.
void PrintLoadAverage();

}  // namespace bench
