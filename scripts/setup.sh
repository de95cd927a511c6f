#!/usr/bin/env bash
# Installs what a fresh Debian machine lacks for one of Qov's commands:
#
#   scripts/setup.sh demo   # the compiler, CMake and qovhost's libraries (scripts/demo.sh)
#   scripts/setup.sh test   # that and everything the test builds use (scripts/test.sh)
#
# Safe to run again: only missing packages are installed, so a machine that has them all
# is left alone. Needs root (or sudo) on a machine that lacks any.
set -euo pipefail

# One package group per line; the test command installs both lists.
demo_packages=(
  build-essential cmake pkg-config
  libpng-dev libcli11-dev nlohmann-json3-dev
)
test_packages=(
  libgtest-dev googletest libbenchmark-dev
  # The 32-bit x86 build, and the emulator its tests run under where the kernel runs no
  # 32-bit program (scripts/i386-probe.sh).
  gcc-multilib g++-multilib qemu-user
  ffmpeg frei0r-plugins-dev
  # The fuzz targets and the ThreadSanitizer runs: clang with its runtimes.
  clang libclang-rt-14-dev
  # The 32-bit Windows DLLs: the cross compiler (its posix variant has std::thread) and Wine
  # with its 32-bit half to run their tests.
  g++-mingw-w64-i686-posix wine wine32:i386
  # The 64-bit Windows DLLs: the x86-64 cross compiler, and the 64-bit Wine loader that
  # runs their tests in a 64-bit prefix.
  g++-mingw-w64-x86-64-posix wine64
  # The packaging test (tests/package/): CPack's dependency scan (dpkg-shlibdeps), the
  # release archive, and the frei0r hosts that must find the installed plug-ins.
  dpkg-dev zip melt gstreamer1.0-tools gstreamer1.0-plugins-base gstreamer1.0-plugins-bad
  # The GStreamer plug-in (gst/) and its tests: GStreamer's headers, base and video
  # libraries, and its check library; the package is built with them.
  libgstreamer1.0-dev libgstreamer-plugins-base1.0-dev
)

case "${1:-}" in
  demo) packages=("${demo_packages[@]}") ;;
  test) packages=("${demo_packages[@]}" "${test_packages[@]}") ;;
  *)
    echo "usage: scripts/setup.sh demo|test" >&2
    exit 2
    ;;
esac

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "setup: installing ${missing[*]}" >&2
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
# Packages of another architecture (wine32:i386) need that architecture first.
for package in "${missing[@]}"; do
  case "$package" in
    *:*)
      architecture=${package##*:}
      if ! dpkg --print-foreign-architectures | grep -qx "$architecture"; then
        $sudo dpkg --add-architecture "$architecture"
      fi
      ;;
  esac
done
$sudo apt-get -o DPkg::Lock::Timeout=600 update -qq
$sudo apt-get -o DPkg::Lock::Timeout=600 install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
