#!/usr/bin/env bash
# The reliability and host-interface tests under ThreadSanitizer (build-tsan/): clang with
# its own OpenMP runtime, whose Archer tool tells ThreadSanitizer how OpenMP threads
# synchronise. GCC's libgomp has no such support: under it every parallel loop is
# reported as a race (see the README, "ThreadSanitizer").
set -euo pipefail
cd "$(dirname "$0")/../.."
build=build-tsan
archer=$(clang++ -print-file-name=libarcher.so)
[ -f "$archer" ] || archer=/usr/lib/llvm-14/lib/libarcher.so

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_COMPILER=clang++ "-DCMAKE_CXX_FLAGS=-fsanitize=thread -g" \
  -DQOV_BUILD_BENCH=OFF -DQOV_BUILD_TOOLS=OFF >/dev/null
cmake --build "$build" -j 2 --target reliability_test host_interface_test >/dev/null

export TSAN_OPTIONS="suppressions=$PWD/tests/reliability/tsan.supp halt_on_error=1"
export OMP_TOOL_LIBRARIES="$archer" OMP_WAIT_POLICY=passive
"$build/tests/reliability/reliability_test"
"$build/tests/host_interface/host_interface_test"
echo "=== ThreadSanitizer: no reports"
