#!/usr/bin/env bash
# Builds the Debian package of Trawlet with CPack (the package's configuration is in
# packaging/CMakeLists.txt) and prints the package's path.
#
# Usage: scripts/package.sh [BUILD_FOLDER]
#   Without a folder: a release build of the program alone in build-package/. With one: that
#   folder (configured already, as scripts/test.sh's build is) is brought up to date and used.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-package}
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DTRAWLET_TESTS=OFF -DTRAWLET_BENCH=OFF >&2
fi
cmake --build "$build" -j"$(nproc)" >&2
rm -f "$build"/trawlet_*.deb
(cd "$build" && cpack -G DEB >&2)
ls "$PWD/$build"/trawlet_*.deb
