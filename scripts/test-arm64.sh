#!/usr/bin/env bash
# The 64-bit ARM stage of the test command: cross-builds the plug-ins, their frei0r editions
# and their tests for aarch64-linux-gnu (preset aarch64: clang with Debian's cross sysroot
# packages, in build-aarch64/) and runs them under the user-mode emulator qemu-aarch64:
#
#   scripts/test-arm64.sh [REFERENCE_CHECKSUMS]    # default: build/conformance-checksums.txt
#
# - the conformance checksums of every plug-in, both depths, at the default (NEON) level and
#   at the scalar level, must equal the native build's (REFERENCE_CHECKSUMS);
# - every other test runs at the default level, the vector kernels against the scalar
#   reference on random and adversarial frames, odd widths and every switch among them,
#   except the slowest threaded tests (bands and parallel blocks against the serial order on
#   hundreds of small frames, MLT's slices), which take minutes under the emulator and test
#   the threading rather than the instruction set; the native, 32-bit and ThreadSanitizer
#   builds run them.
#
# Where a package it needs is missing (the cross sysroot, clang, GoogleTest's sources,
# qemu-user), it says so, reports the stage as skipped and exits 0; a build or test failure
# exits non-zero. About 5 minutes on 2 idle cores, the build included.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/stage-report.sh

start=$SECONDS
minutes() { awk -v s=$((SECONDS - start)) 'BEGIN { printf "%.1f", s / 60 }'; }
name="64-bit ARM (aarch64) build and tests under qemu-aarch64"

missing=()
for package in clang libc6-dev-arm64-cross libstdc++-12-dev-arm64-cross libgcc-12-dev-arm64-cross \
  binutils-aarch64-linux-gnu googletest qemu-user; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done
why=""
if [ ${#missing[@]} -ne 0 ]; then
  why="not installed: ${missing[*]} (bash scripts/setup.sh test installs them)"
elif ! command -v qemu-aarch64 >/dev/null; then
  why="qemu-aarch64 not found (package qemu-user)"
fi
if [ -n "$why" ]; then
  echo "=== aarch64 SKIPPED: $why"
  stage_report skipped "$name: $why"
  echo "=== aarch64 stage: $(minutes) min"
  exit 0
fi

reference=$(realpath -m "${1:-build/conformance-checksums.txt}")
if [ ! -s "$reference" ]; then
  echo "=== aarch64 FAILED: no reference checksums at $reference (the native build writes them)" >&2
  exit 1
fi

# The tests left out under the emulator (see above): a ctest regular expression.
slow_threaded='^(BandPipeline\.SmallFramesInNarrowBandsEverySwitchCombination|BandPipeline\.LargeAndOddFrames|MlaaParallel\.SmallFramesEveryFlagCombination|All/Frei0rThreads\.MltSlices.*)$'

jobs=$(nproc)
echo "=== build: aarch64 (cross, clang)"
cmake --preset aarch64 -DQOV_REFERENCE_CHECKSUMS="$reference" >/dev/null
cmake --build --preset aarch64 -j "$jobs" >/dev/null
echo "=== aarch64: tests under qemu-aarch64 (conformance at the default and scalar levels)"
ctest --preset aarch64 -j "$jobs" --timeout 300 -E "$slow_threaded"
total=$(ctest --preset aarch64 -N | sed -n 's/^Total Tests: //p')
ran=$(ctest --preset aarch64 -N -E "$slow_threaded" | sed -n 's/^Total Tests: //p')

echo "=== aarch64 stage: $(minutes) min"
stage_report ran "$name: $ran of $total tests, the conformance checksums at the NEON and scalar levels equal the native build's;" \
  "left out: $((total - ran)) slow threaded tests (run natively), the GStreamer plug-in (needs arm64 GStreamer libraries)"
