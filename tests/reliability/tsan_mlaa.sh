#!/usr/bin/env bash
# MLAA split over threads (tests/antialias/mlaa_parallel_test) under GCC's ThreadSanitizer
# (build-tsan-gcc/). The test's pool is made of plain standard-library threads, which
# ThreadSanitizer follows without help; no OpenMP team is started, so no suppressions
# are needed.
set -euo pipefail
cd "$(dirname "$0")/../.."
build=build-tsan-gcc

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_COMPILER=g++ "-DCMAKE_CXX_FLAGS=-fsanitize=thread -g" \
  -DQOV_BUILD_BENCH=OFF -DQOV_BUILD_TOOLS=OFF >/dev/null
cmake --build "$build" -j 2 --target mlaa_parallel_test >/dev/null

TSAN_OPTIONS="halt_on_error=1" "$build/tests/antialias/mlaa_parallel_test"
echo "=== ThreadSanitizer (MLAA in parallel): no reports"
