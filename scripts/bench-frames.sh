#!/usr/bin/env bash
# Builds bench_frames and runs it: every row of the plug-ins' speed targets (whole frame
# calls through plugMain at 1920x1080 and 3840x2160) on an idle machine and while a child
# process keeps one core busy, with the plug-ins' default threads and with QOV_THREADS=1,
# each as a ratio to a memcpy of the same frame in the same run; a summary table comes last.
# The photographs of QovMLAA1's rows are unpacked first (scripts/photographs.sh).
#
#   bash scripts/bench-frames.sh                 # the whole table (about a minute on a quiet machine)
#   bash scripts/bench-frames.sh --quick         # the 32-bit code 3 and 16 rows only
#   bash scripts/bench-frames.sh --full          # every row at 3840x2160 as well
#   bash scripts/bench-frames.sh --benchmark_filter='^idle/' --benchmark_repetitions=3
#
# Arguments go to the program (Google Benchmark's flags too). QOV_BENCH_BUILD names the
# build directory (build by default).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh test
dir=${QOV_BENCH_BUILD:-build}
cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Release -DQOV_BUILD_BENCH=ON >/dev/null
cmake --build "$dir" -j "$(nproc)" --target bench_frames >/dev/null
QOV_PHOTOGRAPHS=$(bash scripts/photographs.sh "$dir/photographs")
export QOV_PHOTOGRAPHS
exec "$dir/bench/bench_frames" "$@"
