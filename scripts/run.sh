#!/usr/bin/env bash
# Builds Trawlet and starts it on the user's display.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/deps.sh
cmake -S . -B build -DTRAWLET_TESTS=OFF -DTRAWLET_BENCH=OFF
cmake --build build -j"$(nproc)"
exec ./build/trawlet
