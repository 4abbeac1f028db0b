#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks the installation there.
#
# Usage: scripts/test-install.sh [BUILD_FOLDER]   (default build, already built)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix"
if find "$prefix" -name '*_test' -o -name '*_bench' | grep .; then
  echo "test-install: tests or benchmarks were installed" >&2; exit 1
fi
./scripts/check-installed.sh "$prefix" "$build"
