#!/usr/bin/env bash
# Installs what a fresh Debian machine lacks for one or more of Qov's commands:
#
#   scripts/setup.sh demo      # the compiler, CMake and qovhost's libraries (scripts/demo.sh)
#   scripts/setup.sh deb       # that, and what the Debian package is made with (scripts/package.sh deb)
#   scripts/setup.sh windows   # CMake, the MinGW-w64 cross compilers and zip (scripts/package.sh windows,
#                              # scripts/build-windows.sh)
#   scripts/setup.sh deb-arm64 # that, and the 64-bit ARM cross tools (scripts/package.sh deb-arm64)
#   scripts/setup.sh test      # all of the above and everything the test builds use (scripts/test.sh)
#   scripts/setup.sh --keep-going test
#
# Each target installs the package groups below that it names in `groups_of`; a new need
# is one more package in its group, or one more group. Safe to run again: only missing
# packages are installed, so a machine that has them all is left alone. Needs root (or
# sudo) on a machine that lacks any.
#
# A package index that fails to download (a mirror in the middle of a sync) is a warning:
# the lists apt has are used. Every download is tried twice. When the packages cannot all
# be installed together, each is installed on its own, so that one that cannot be had
# stops only itself. Without --keep-going such a package fails the command; with it, the
# command succeeds and, where QOV_SETUP_UNAVAILABLE names a file, appends a line
# "PACKAGE<tab>apt's reason" to it for each, so that the caller can leave out only what
# needs them (scripts/test.sh does).
set -euo pipefail

# Building the plug-ins, qovhost, the frei0r editions (their header) and the GStreamer
# plug-in (gst/: GStreamer's headers, base and video libraries and check library).
build_packages=(
  build-essential cmake pkg-config
  libpng-dev libcli11-dev nlohmann-json3-dev
  frei0r-plugins-dev libgstreamer1.0-dev libgstreamer-plugins-base1.0-dev
)
# The Debian package: CPack's dependency scan
# (dpkg-shlibdeps, and `file`, which CPack uses to find the programs and libraries to
# scan), and the manual pages, which help2man makes from qovhost's help.
deb_packages=(
  dpkg-dev file help2man
)
# The Windows DLLs and their archive: CMake and make (which CMake only recommends), the
# cross compilers (their posix variants have std::thread) and zip. No Wine: that only runs
# the tests.
windows_packages=(
  cmake make g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix zip
)
# The 64-bit ARM cross build (scripts/test-arm64.sh, scripts/package.sh deb-arm64): clang
# with Debian's cross sysroot, and qemu-aarch64 (qemu-user) for its tests. Not
# g++-aarch64-linux-gnu: installing it removes gcc-multilib, which the 32-bit build needs.
arm64_packages=(
  clang libc6-dev-arm64-cross libstdc++-12-dev-arm64-cross libgcc-12-dev-arm64-cross binutils-aarch64-linux-gnu
)
test_packages=(
  libgtest-dev googletest libbenchmark-dev
  # The 32-bit x86 build, and the emulator its tests run under where the kernel runs no
  # 32-bit program (scripts/i386-probe.sh).
  gcc-multilib g++-multilib qemu-user
  ffmpeg
  # The fuzz targets and the ThreadSanitizer runs: clang with its runtimes.
  clang libclang-rt-14-dev
  # Wine, and its 64-bit loader that runs the 64-bit DLLs' tests in a 64-bit prefix. The
  # 32-bit DLLs' tests run a private copy of Debian's 32-bit Wine (scripts/wine32-root.sh),
  # so that the machine needs no i386 packages.
  wine wine64
  # The packaging test (tests/package/): the frei0r hosts that must find the installed
  # plug-ins.
  melt gstreamer1.0-tools gstreamer1.0-plugins-base gstreamer1.0-plugins-bad
  # The documents' GStreamer recipes (tests/docs/run_recipes.sh): PNG, still frames, file
  # sinks, VP8 and the MP4 demuxer.
  gstreamer1.0-plugins-good
)

# The groups each target installs.
groups_of() {
  case $1 in
    demo) echo build ;;
    deb) echo build deb ;;
    windows) echo windows ;;
    deb-arm64) echo build deb arm64 ;;
    test) echo build deb windows arm64 test ;;
    *) return 1 ;;
  esac
}

keep_going=no
if [ "${1:-}" = --keep-going ]; then
  keep_going=yes
  shift
fi
if [ $# -eq 0 ]; then
  echo "usage: scripts/setup.sh [--keep-going] demo|deb|deb-arm64|windows|test..." >&2
  exit 2
fi
packages=()
for target in "$@"; do
  if ! groups=$(groups_of "$target"); then
    echo "setup: unknown target '$target' (demo, deb, deb-arm64, windows or test)" >&2
    exit 2
  fi
  for group in $groups; do
    declare -n group_packages="${group}_packages"
    packages+=("${group_packages[@]}")
    unset -n group_packages
  done
done

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    case " ${missing[*]-} " in
      *" $package "*) ;;
      *) missing+=("$package") ;;
    esac
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
# apt-get with a lock wait, and one more try of every download that fails.
apt() {
  $sudo apt-get -o DPkg::Lock::Timeout=600 -o Acquire::Retries=1 "$@"
}
log=$(mktemp)
trap 'rm -f "$log"' EXIT

echo "setup: reading the package lists" >&2
update_ok=no
for attempt in 1 2; do
  if apt update -qq >"$log" 2>&1; then
    update_ok=yes
    break
  fi
  [ "$attempt" -eq 1 ] && echo "setup: reading the package lists failed; trying once more" >&2
done
if [ "$update_ok" = no ]; then
  echo "setup: warning: some package lists could not be read; going on with the lists apt has:" >&2
  grep -E '^(E|W):' "$log" | sed 's/^/setup:   /' >&2 || true
fi

# install PACKAGES...: installs them in one apt-get call, with a line for each package as
# it is set up, so that a long installation shows it is alive; apt-get's output is left
# in $log.
install() {
  apt install -y -q --no-install-recommends "$@" 2>&1 |
    tee "$log" | { grep --line-buffered '^Setting up ' || true; } | sed -u 's/^Setting up \([^ ]*\).*/setup: set up \1/' >&2
}

# apt's reason for a failed installation, on one line: its errors, then the first unmet
# dependencies it names.
reason() {
  local errors unmet
  errors=$(grep -E '^E:' "$log" | head -n 2 | tr '\n' ' ')
  unmet=$(grep -E '^ [^ ].* : (Depends|PreDepends|Breaks|Conflicts):' "$log" | sed 's/^ *//' | head -n 3 | tr '\n' ';')
  [ -n "$unmet" ] && unmet="unmet: ${unmet%;}"
  echo "$errors$unmet" | sed 's/  */ /g; s/ $//'
}

echo "setup: downloading and installing (a few minutes on a fresh machine)" >&2
if install "${missing[@]}"; then
  exit 0
fi
# Installed one at a time, the packages that can be had are set up, and the others are named.
echo "setup: the packages could not be installed together; installing them one at a time" >&2
unavailable=()
for package in "${missing[@]}"; do
  if dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then continue; fi
  if install "$package"; then continue; fi
  why=$(reason)
  [ -n "$why" ] || why="apt-get install failed: $(tail -n 1 "$log")"
  echo "setup: cannot install $package: $why" >&2
  unavailable+=("$package")
  if [ -n "${QOV_SETUP_UNAVAILABLE:-}" ]; then printf '%s\t%s\n' "$package" "$why" >>"$QOV_SETUP_UNAVAILABLE"; fi
done
[ ${#unavailable[@]} -eq 0 ] && exit 0
if [ "$keep_going" = yes ]; then
  echo "setup: going on without ${unavailable[*]}" >&2
  exit 0
fi
echo "setup: could not install ${unavailable[*]}" >&2
exit 1
