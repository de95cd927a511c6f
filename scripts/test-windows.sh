#!/usr/bin/env bash
# The Windows stage of scripts/test.sh: cross-builds the DLLs and their tests, checks the
# DLLs' export and import tables, and runs the test programs under Wine, headless, in a
# 32-bit prefix inside the build tree (scripts/wine-run.sh runs each of them).
#
#   scripts/test-windows.sh [REFERENCE_CHECKSUMS]
#
# With REFERENCE_CHECKSUMS (the file the native build's conformance test wrote), the DLLs'
# output must have the same bytes as that build's.
set -euo pipefail
cd "$(dirname "$0")/.."

dir=build-windows
reference=${1:-}
jobs=$(nproc)
wine_prefix=$PWD/$dir/wine-prefix

stop_wine() {
  # Ends the prefix's wineserver and whatever Wine processes it still has.
  [ -d "$wine_prefix" ] && WINEPREFIX=$wine_prefix timeout 60 wineserver -k 2>/dev/null
  return 0
}
trap stop_wine EXIT

echo "=== build: $dir (32-bit Windows, tests under Wine)"
cmake -S . -B "$dir" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake -DCMAKE_BUILD_TYPE=Release \
  -DQOV_BUILD_TESTS=ON -DQOV_BUILD_BENCH=OFF -DQOV_BUILD_TOOLS=OFF \
  -DQOV_REFERENCE_CHECKSUMS="$reference" >/dev/null
cmake --build "$dir" -j "$jobs" >/dev/null
scripts/wine-run.sh "$wine_prefix" --start-server
ctest --test-dir "$dir" -j "$jobs" --output-on-failure --timeout 600
