#!/usr/bin/env bash
# Builds the call benchmark and runs it: round trips of the program's service.call against
# WebKitGTK's script message handler with a reply. Uses the current display, or a private Xvfb
# when there is none.
#
# Usage: bench/bridge/run.sh [calls] [rounds]   (BUILD_DIR selects the build folder, default build)
set -euo pipefail
cd "$(dirname "$0")/../.."
BUILD="${BUILD_DIR:-build}"
CALLS="${1:-10000}"
ROUNDS="${2:-1}"
cmake -S . -B "$BUILD" -DTRAWLET_TESTS=ON -DTRAWLET_BENCH=ON >/dev/null
cmake --build "$BUILD" -j2 --target trawlet trawletbridge trawlet_html bench_bridge

export NO_AT_BRIDGE=1
if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1600x1000x24" dbus-run-session -- \
    "$BUILD/bench_bridge" "$CALLS" "$ROUNDS"
fi
exec "$BUILD/bench_bridge" "$CALLS" "$ROUNDS"
