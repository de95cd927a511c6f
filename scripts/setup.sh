#!/usr/bin/env bash
# Installs what a fresh Debian machine lacks to build and test Qov. Safe to run again:
# only missing packages are installed. Needs root (or sudo) on a machine that lacks any.
set -euo pipefail

packages=(
  build-essential cmake pkg-config
  libgtest-dev googletest libbenchmark-dev
  gcc-multilib g++-multilib
  libpng-dev libcli11-dev nlohmann-json3-dev
  ffmpeg frei0r-plugins-dev
  clang libclang-rt-14-dev
  # The 32-bit Windows DLLs: the cross compiler (its posix variant has std::thread) and Wine
  # with its 32-bit half to run their tests.
  g++-mingw-w64-i686-posix wine wine32:i386
)

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
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $sudo dpkg --add-architecture i386
fi
$sudo apt-get -o DPkg::Lock::Timeout=600 update -qq
$sudo apt-get -o DPkg::Lock::Timeout=600 install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
