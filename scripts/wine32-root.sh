#!/usr/bin/env bash
# Makes a private copy of Debian's 32-bit Wine in a folder, for a machine where the
# package wine32:i386 cannot be installed (its i386 libraries then fail to match the amd64
# ones installed, for one), without touching the machine's package state:
#
#   scripts/wine32-root.sh DIR
#
# Downloads wine32:i386 and libwine:i386, of the version of the machine's own 64-bit Wine
# (libwine:amd64) where there is one, and libz-mingw-w64, with apt-get download through an
# apt configuration of DIR's own (scripts/private-apt.sh: the machine's i386 package lists,
# or their absence, do not matter), and unpacks them into DIR with dpkg -x. Nothing else
# is needed: the loader and the Unix
# halves of Wine's libraries need only the C library, which the machine's own 32-bit
# runtime gives (libc6-i386, which gcc-multilib brings); the libraries they open only
# when asked (sound, X11, GStreamer, printing...) are left out, and so are fonts. Debian's
# libwine installs zlib1.dll from libz-mingw-w64 as a Wine builtin in its postinst, so
# that is done here the same way.
#
# The loader finds its libraries relative to its own file, so it runs from DIR as it is:
# on success the script prints the loader's path, DIR/usr/lib/wine/wine, on standard
# output. An unchanged DIR of the same version is used again. On failure it prints the
# reason on standard output, one line with apt's own message, and exits 1.
set -uo pipefail

if [ $# -ne 1 ]; then
  echo "usage: $0 DIR" >&2
  exit 2
fi
root=$(realpath -m "$1")
loader=$root/usr/lib/wine/wine

version=$(dpkg-query -W -f='${Version}' libwine:amd64 2>/dev/null || true)
packages=(wine32:i386 libwine:i386)
if [ -n "$version" ]; then packages=("wine32:i386=$version" "libwine:i386=$version"); fi
packages+=(libz-mingw-w64)
stamp="${packages[*]}"
if [ -x "$loader" ] && [ "$(cat "$root/.qov-wine32-root" 2>/dev/null)" = "$stamp" ]; then
  echo "$loader"
  exit 0
fi

source "$(dirname "$0")/private-apt.sh"
codename=$(debian_codename) || { echo "$codename"; exit 1; }
private_apt_unpack "$root" i386 "$codename $codename-updates $codename-security" "${packages[@]}" || exit 1

# Debian's libwine postinst: zlib1.dll is marked as a Wine builtin in its DOS header's
# reserved words (bytes 64 to 95), then placed beside Wine's own 32-bit DLLs.
zlib=$root/usr/i686-w64-mingw32/lib/zlib1.dll
windows_dir=$root/usr/lib/i386-linux-gnu/wine/i386-windows
if [ ! -f "$zlib" ] || [ ! -d "$windows_dir" ] || [ ! -x "$loader" ]; then
  echo "the unpacked packages lack $zlib, $windows_dir or $loader"
  exit 1
fi
{
  head -c 64 "$zlib"
  printf 'Wine builtin DLL'
  head -c 16 /dev/zero
  tail -c +97 "$zlib"
} >"$windows_dir/zlib1.dll"
echo "$stamp" >"$root/.qov-wine32-root"
echo "$loader"
