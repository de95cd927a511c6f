#!/usr/bin/env bash
# Builds and runs the whole test suite in four builds: native optimised,
# AddressSanitizer + UndefinedBehaviorSanitizer, 32-bit x86, and the 32- and 64-bit Windows
# DLLs under Wine (the native build writes checksums of the plug-ins' output; every other
# build must produce the same bytes), with a ThreadSanitizer build of the threaded tests;
# then the packages and a short run of every fuzz target.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh test

jobs=$(nproc)
# Each build is one of the configurations in CMakePresets.json, in build/ or build-NAME/.
run_build() {
  local preset=$1
  echo "=== build: $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs" >/dev/null
  ctest --preset "$preset" -j "$jobs"
}

# The native build writes build/conformance-checksums.txt, which the other builds compare
# their plug-ins' output with.
run_build native
reference=$PWD/build/conformance-checksums.txt
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 run_build asan
run_build m32
# The worker pool, MLAA's parallel blocks against the serial order and the threaded tests
# under GCC's ThreadSanitizer.
bash tests/reliability/tsan.sh
bash scripts/test-windows.sh "$reference"
# The release packages (scripts/package.sh): the Debian package installed, used by ffmpeg,
# melt and GStreamer, and removed again (as root; skipped otherwise), the Windows archive.
bash tests/package/test_package.sh
# A few seconds of every fuzz target (clang, ASan + UBSan); fuzz/run.sh without an argument
# runs each for 60 s.
bash fuzz/run.sh 5
echo "=== all test builds passed"
