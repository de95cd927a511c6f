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
run_build() {
  local dir=$1; shift
  echo "=== build: $dir ($*)"
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Release "$@" >/dev/null
  cmake --build "$dir" -j "$jobs" >/dev/null
  ctest --test-dir "$dir" -j "$jobs" --output-on-failure --timeout 600 --no-tests=error
}

run_build build -DQOV_BUILD_BENCH=ON -DQOV_REFERENCE_CHECKSUMS=
reference=$PWD/build/conformance-checksums.txt
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  run_build build-asan -DQOV_SANITIZE=ON -DQOV_BUILD_BENCH=OFF -DQOV_BUILD_TOOLS=OFF \
  -DQOV_REFERENCE_CHECKSUMS="$reference"
run_build build-m32 -DCMAKE_CXX_FLAGS=-m32 -DQOV_GTEST_FROM_SOURCE=ON -DQOV_BUILD_BENCH=OFF -DQOV_BUILD_TOOLS=OFF \
  -DQOV_REFERENCE_CHECKSUMS="$reference"
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
