#!/usr/bin/env bash
# Installs what the tests need, builds everything and runs every test: the format check,
# the unit and bridge tests, the same tests under AddressSanitizer and UBSan, the page's
# own tests under Node, and the end-to-end tests that drive the real program under Xvfb; then
# the program installed into a prefix and from its Debian package.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/deps.sh --test
JOBS="$(nproc)"

echo "== media players the end-to-end tests serve (npm, from the lockfile)"
(cd tests/e2e/players && npm ci --no-audit --no-fund)

echo "== the page's vendored libraries and their test stand-ins (npm, from the lockfile)"
(cd resources/npm && npm ci --no-audit --no-fund)

echo "== format check"
./scripts/check-format.sh

echo "== build"
cmake -S . -B build -DTRAWLET_TESTS=ON -DTRAWLET_BENCH=ON
cmake --build build -j"$JOBS"

echo "== sanitizer build of the unit tests"
cmake -S . -B build-asan -DTRAWLET_SANITIZE=ON -DTRAWLET_UNIT_ONLY=ON -DTRAWLET_BENCH=OFF
cmake --build build-asan -j"$JOBS"

echo "== page tests (node; the HAR validator from the lockfile)"
(cd tests/page && npm ci --no-audit --no-fund)
node --test tests/page/

echo "== unit tests under sanitizers"
(cd build-asan && ASAN_OPTIONS=detect_leaks=0 ctest --output-on-failure -L unit)

echo "== all tests, end to end under Xvfb"
export NO_AT_BRIDGE=1
(cd build && xvfb-run -a -s "-screen 0 1600x1000x24" dbus-run-session -- ctest --output-on-failure --timeout 600)

echo "== installed program: cmake --install into a temporary prefix"
./scripts/test-install.sh build

echo "== Debian package: built, installed, started and purged"
./scripts/test-package.sh build
