#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, ASan + UBSan, build-fuzz/) and runs each of them for
# SECONDS seconds (default 60), starting from the seed corpus in fuzz/corpus/. Inputs the
# fuzzer finds interesting go to build-fuzz/corpus/ (the repository's seeds stay as they
# are); a crash, sanitizer report, leak or hang stops the run, leaves the input in
# build-fuzz/artifacts/ and fails the script.
#
#   bash fuzz/run.sh          # 60 s per target, six targets
#   bash fuzz/run.sh 5        # the smoke run of scripts/test.sh
#   bash fuzz/run.sh 3600     # a long run
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
build=build-fuzz

cmake --preset fuzz >/dev/null
# Only the fuzz targets: the rest of the tree is not meant to link with clang's sanitizers.
cmake --build --preset fuzz -j 2 >/dev/null
mapfile -t targets <"$build/fuzz/targets.txt"

mkdir -p "$build/artifacts"
# At most two threads per loop (the calling thread and one worker) on a shared machine.
export QOV_THREADS=2
export UBSAN_OPTIONS=print_stacktrace=1
for target in "${targets[@]}"; do
  harness=${target#fuzz_}
  harness=${harness%_Qov*}
  corpus="$build/corpus/$target"
  mkdir -p "$corpus"
  echo "=== $target: ${seconds} s"
  # -close_fd_mask=2: the plug-ins' error lines go nowhere; libFuzzer keeps its own output
  # and the sanitizers' reports.
  log="$build/artifacts/$target.log"
  status=0
  "$build/fuzz/$target" "$corpus" "fuzz/corpus/$harness" \
    -max_total_time="$seconds" -max_len=1024 -timeout=10 -rss_limit_mb=2048 -close_fd_mask=2 \
    -print_final_stats=1 -artifact_prefix="$build/artifacts/$target-" >"$log" 2>&1 || status=$?
  grep -E '^(#[0-9]+ +DONE|Done|stat::number_of_executed_units)|ERROR|SUMMARY|check failed|deadly|timeout' "$log" || true
  [ "$status" -eq 0 ] || { echo "fuzz: $target failed (exit $status); see $log"; exit 1; }
done
echo "=== fuzz targets ran clean"
