#!/usr/bin/env bash
# Builds and runs the whole test suite, stage by stage: native optimised, AddressSanitizer +
# UndefinedBehaviorSanitizer, 32-bit x86, ThreadSanitizer (the threaded tests), and the 64-
# and 32-bit Windows DLLs under Wine (the native build writes checksums of the plug-ins'
# output; every other build must produce the same bytes); then the packages and a short run
# of every fuzz target.
#
# It installs what the machine lacks first (scripts/setup.sh --keep-going test). A package
# that cannot be had stops only the stages that need it: at the end a summary names every
# stage as ran, partly or not run, with the reason and its minutes. A stage that cannot be
# built for want of a compiler or library fails the command, as does any stage that ran
# and failed; one whose runner (Wine, a host program) cannot be installed is not run. The
# other stages go on either way, so that one run shows everything that is wrong.
#
# On a machine whose kernel runs no 32-bit x86 program (scripts/i386-probe.sh), the 32-bit
# programs run under the user-mode emulator qemu-i386, in a private user namespace (the
# machine's settings are left alone); QOV_I386=emulated takes that way on any machine.
set -euo pipefail
cd "$(dirname "$0")/.."

# Packages that scripts/setup.sh could not install, a line "PACKAGE<tab>reason" each.
QOV_SETUP_UNAVAILABLE=$(mktemp)
export QOV_SETUP_UNAVAILABLE
summary_lines=$(mktemp)
trap 'rm -f "$QOV_SETUP_UNAVAILABLE" "$summary_lines"' EXIT
setup_start=$SECONDS
bash scripts/setup.sh --keep-going test

jobs=$(nproc)
source scripts/stage-report.sh
source scripts/stages.sh
add_summary ran $((SECONDS - setup_start)) "set-up: the packages the stages need"

# A build of one of the configurations in CMakePresets.json, in build/ or build-NAME/.
run_build() {
  local preset=$1
  shift
  echo "=== build: $preset"
  cmake --preset "$preset" "$@" >/dev/null || return
  cmake --build --preset "$preset" -j "$jobs" >/dev/null || return
  ctest --preset "$preset" -j "$jobs"
}

# The 32-bit build. Where the kernel runs no 32-bit program, its tests run in a private user
# namespace whose binfmt_misc hands 32-bit programs to qemu-i386 (scripts/i386-namespace.sh),
# or, where that cannot be had, with qemu-i386 as their emulator. The emulator setting is
# given either way, so that a build folder made on one kind of machine is right on the other.
run_m32() {
  local how
  if how=$(bash scripts/i386-namespace.sh --probe); then
    echo "=== build: m32 (32-bit programs: $how)"
    cmake --preset m32 -DCMAKE_CROSSCOMPILING_EMULATOR= >/dev/null || return
    cmake --build --preset m32 -j "$jobs" >/dev/null || return
    bash scripts/i386-namespace.sh ctest --preset m32 -j "$jobs" || return
    stage_report ran "32-bit x86 build and tests ($how)"
  else
    echo "=== $how: the 32-bit build's tests run under qemu-i386 as their emulator"
    run_build m32 -DCMAKE_CROSSCOMPILING_EMULATOR=qemu-i386 || return
    stage_report ran "32-bit x86 build and tests, qemu-i386 as their emulator: $how"
  fi
}

# The native build's ffmpeg tests are built only where ffmpeg is.
run_native() {
  run_build native || return
  if ! command -v ffmpeg >/dev/null; then
    stage_report partly "native build and tests; not run, the end-to-end tests through ffmpeg: $(unavailable ffmpeg)"
  fi
}

build_packages="build-essential cmake pkg-config libpng-dev libcli11-dev nlohmann-json3-dev"
test_packages="$build_packages libgtest-dev googletest libbenchmark-dev"

# The native build writes build/conformance-checksums.txt, which the other builds compare
# their plug-ins' output with.
reference=$PWD/build/conformance-checksums.txt
run_stage "native build and tests" "$test_packages frei0r-plugins-dev libgstreamer1.0-dev libgstreamer-plugins-base1.0-dev" "" \
  run_native
# Every shell recipe of the README and docs/, on small inputs, against the native build.
run_stage "documentation recipes (README.md, docs/)" "" "ffmpeg melt gstreamer1.0-tools gstreamer1.0-plugins-good" \
  bash tests/docs/run_recipes.sh build
# The plug-ins cross-built for 64-bit ARM, their tests under qemu-aarch64 at the NEON and
# scalar levels (the slowest threaded tests left out: the native builds run them).
run_stage "64-bit ARM build and tests under qemu-aarch64" \
  "clang libc6-dev-arm64-cross libstdc++-12-dev-arm64-cross libgcc-12-dev-arm64-cross binutils-aarch64-linux-gnu googletest" \
  "qemu-user" bash scripts/test-arm64.sh "$reference"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  run_stage "AddressSanitizer + UndefinedBehaviorSanitizer build and tests" "$test_packages" "" run_build asan
run_stage "32-bit x86 build and tests" "gcc-multilib g++-multilib googletest" "qemu-user" run_m32
# The worker pool, MLAA's parallel blocks against the serial order and the threaded tests
# under GCC's ThreadSanitizer.
run_stage "ThreadSanitizer build of the threaded tests" "$test_packages" "" bash tests/reliability/tsan.sh
run_stage "64-bit Windows DLLs and their tests under Wine" "g++-mingw-w64-x86-64-posix" "wine wine64" \
  bash scripts/test-windows.sh "$reference" win64
# Debian's 32-bit Wine where it is installed, else a private copy of it (scripts/wine32-root.sh);
# where the kernel runs no 32-bit program, under qemu-i386 on a chosen subset of the tests.
run_stage "32-bit Windows DLLs and their tests under Wine" "g++-mingw-w64-i686-posix" "" \
  bash scripts/test-windows.sh "$reference" win32
# The release packages (scripts/package.sh): the Debian package installed, used by ffmpeg,
# melt and GStreamer, and removed again (as root; skipped otherwise), the Windows archive.
run_stage "package test" "dpkg-dev file help2man zip" "melt ffmpeg gstreamer1.0-tools gstreamer1.0-plugins-base gstreamer1.0-plugins-bad" \
  bash tests/package/test_package.sh
# A few seconds of every fuzz target (clang, ASan + UBSan); fuzz/run.sh without an argument
# runs each for 60 s.
run_stage "every fuzz target for 5 s" "clang libclang-rt-14-dev" "" bash fuzz/run.sh 5

print_summary
