#!/usr/bin/env bash
# Builds the scan benchmark and runs it: a loopback page with 2,000 resources in the program's
# scan window against a bare WebKitGTK view, and the UI process's memory growth per result.
# Uses the current display, or a private Xvfb when there is none.
#
# Usage: bench/scan/run.sh [rounds] [resources] [memory-results]
#        (BUILD_DIR selects the build folder, default build)
set -euo pipefail
cd "$(dirname "$0")/../.."
BUILD="${BUILD_DIR:-build}"
cmake -S . -B "$BUILD" -DTRAWLET_TESTS=ON -DTRAWLET_BENCH=ON >/dev/null
cmake --build "$BUILD" -j2 --target trawlet trawletbridge trawlet_html bench_scan

export NO_AT_BRIDGE=1
if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1600x1000x24" dbus-run-session -- "$BUILD/bench_scan" "$@"
fi
exec "$BUILD/bench_scan" "$@"
