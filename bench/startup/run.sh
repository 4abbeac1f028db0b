#!/usr/bin/env bash
# Builds the start-up benchmark and runs it: launch to page load for build/trawlet against a
# bare WebKitGTK window. Uses the current display, or a private Xvfb when there is none.
#
# Usage: bench/startup/run.sh [runs]     (BUILD_DIR selects the build folder, default build)
set -euo pipefail
cd "$(dirname "$0")/../.."
BUILD="${BUILD_DIR:-build}"
RUNS="${1:-10}"
cmake -S . -B "$BUILD" -DTRAWLET_TESTS=ON -DTRAWLET_BENCH=ON >/dev/null
cmake --build "$BUILD" -j2 --target trawlet bench_startup

export NO_AT_BRIDGE=1
if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1600x1000x24" dbus-run-session -- "$BUILD/bench_startup" "$RUNS"
fi
exec "$BUILD/bench_startup" "$RUNS"
