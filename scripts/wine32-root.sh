#!/usr/bin/env bash
# Makes a private copy of Debian's 32-bit Wine in a folder, for a machine where the
# package wine32:i386 cannot be installed (its i386 libraries then fail to match the amd64
# ones installed, for one), without touching the machine's package state:
#
#   scripts/wine32-root.sh DIR
#
# Downloads wine32:i386 and libwine:i386, of the version of the machine's own 64-bit Wine
# (libwine:amd64) where there is one, and libz-mingw-w64, with apt-get download, and
# unpacks them into DIR with dpkg -x. Nothing else is needed: the loader and the Unix
# halves of Wine's libraries need only the C library, which the machine's own 32-bit
# runtime gives (libc6-i386, which gcc-multilib brings); the libraries they open only
# when asked (sound, X11, GStreamer, printing...) are left out, and so are fonts. Debian's
# libwine installs zlib1.dll from libz-mingw-w64 as a Wine builtin in its postinst, so
# that is done here the same way.
#
# The loader finds its libraries relative to its own file, so it runs from DIR as it is:
# on success the script prints the loader's path, DIR/usr/lib/wine/wine, on standard
# output. An unchanged DIR of the same version is used again. On failure it prints the
# reason on standard output, one line with apt's own message, and exits 1. The 32-bit
# architecture must be known to apt (dpkg --add-architecture i386 and apt-get update, as
# scripts/setup.sh does).
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

rm -rf "$root"
mkdir -p "$root/.debs" || exit 1
# A download that fails is tried once more; apt's last error line is the reason given.
# (apt's note that it downloads as root rather than as its own user, into a folder that
# user cannot write, is no error.)
for attempt in 1 2; do
  if output=$(cd "$root/.debs" && apt-get download -q "${packages[@]}" 2>&1); then
    break
  fi
  if [ "$attempt" -eq 2 ]; then
    reason=$(printf '%s\n' "$output" | grep -E '^(E|W): ' | grep -v 'unsandboxed' | tail -n 1)
    echo "apt-get download ${packages[*]} failed: ${reason:-$(printf '%s\n' "$output" | tail -n 1)}"
    exit 1
  fi
  sleep 5
done
for deb in "$root"/.debs/*.deb; do
  if ! error=$(dpkg -x "$deb" "$root" 2>&1); then
    echo "dpkg -x $(basename "$deb") failed: $error"
    exit 1
  fi
done

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
rm -rf "$root/.debs"
echo "$stamp" >"$root/.qov-wine32-root"
echo "$loader"
