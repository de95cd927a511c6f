#!/usr/bin/env bash
# Builds and runs the whole test suite in four builds: native optimised,
# AddressSanitizer + UndefinedBehaviorSanitizer, 32-bit x86, and the 32- and 64-bit Windows
# DLLs under Wine (the native build writes checksums of the plug-ins' output; every other
# build must produce the same bytes), with a ThreadSanitizer build of the threaded tests;
# then the packages and a short run of every fuzz target. At the end it lists which stages
# ran, and which it could not run on this machine and why.
#
# On a machine whose kernel runs no 32-bit x86 program (scripts/i386-probe.sh), the 32-bit
# build's tests run under the user-mode emulator qemu-i386, and the 32-bit Windows DLLs are
# built and their tables checked, but not run: 32-bit Wine cannot start there.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh test

# Every stage adds a line to this list (scripts/stage-report.sh), printed at the end.
QOV_STAGE_REPORT=$(mktemp)
export QOV_STAGE_REPORT
source scripts/stage-report.sh
finished=no
summary() {
  echo "=== stages"
  cat "$QOV_STAGE_REPORT"
  rm -f "$QOV_STAGE_REPORT"
  [ "$finished" = yes ] && echo "=== all test builds passed"
}
trap summary EXIT

jobs=$(nproc)
# Each build is one of the configurations in CMakePresets.json, in build/ or build-NAME/.
run_build() {
  local preset=$1
  shift
  echo "=== build: $preset"
  cmake --preset "$preset" "$@" >/dev/null
  cmake --build --preset "$preset" -j "$jobs" >/dev/null
  ctest --preset "$preset" -j "$jobs"
}

# The native build writes build/conformance-checksums.txt, which the other builds compare
# their plug-ins' output with.
run_build native
stage_report ran "native build and tests"
reference=$PWD/build/conformance-checksums.txt
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 run_build asan
stage_report ran "AddressSanitizer + UndefinedBehaviorSanitizer build and tests"
# The emulator setting is given either way, so that a build folder made on one kind of
# machine is right on the other.
if why=$(bash scripts/i386-probe.sh); then
  run_build m32 -DCMAKE_CROSSCOMPILING_EMULATOR=
  stage_report ran "32-bit x86 build and tests"
else
  [ -n "$why" ] || why="32-bit x86 programs do not run here"
  echo "=== $why: the 32-bit build's tests run under qemu-i386"
  run_build m32 -DCMAKE_CROSSCOMPILING_EMULATOR=qemu-i386
  stage_report ran "32-bit x86 build and tests, under qemu-i386: $why"
fi
# The worker pool, MLAA's parallel blocks against the serial order and the threaded tests
# under GCC's ThreadSanitizer.
bash tests/reliability/tsan.sh
stage_report ran "ThreadSanitizer build of the threaded tests"
bash scripts/test-windows.sh "$reference"
# The release packages (scripts/package.sh): the Debian package installed, used by ffmpeg,
# melt and GStreamer, and removed again (as root; skipped otherwise), the Windows archive.
bash tests/package/test_package.sh
# A few seconds of every fuzz target (clang, ASan + UBSan); fuzz/run.sh without an argument
# runs each for 60 s.
bash fuzz/run.sh 5
stage_report ran "every fuzz target for 5 s"
finished=yes
