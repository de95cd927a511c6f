#!/usr/bin/env bash
# Finds a qemu-i386 that runs 32-bit Wine, making a private copy of one where the
# machine's is too old, without touching the machine's package state:
#
#   scripts/qemu-i386-root.sh DIR
#
# Wine reserves its address space with mmap(MAP_FIXED_NOREPLACE) probes. QEMU 7.2 (Debian
# 12's qemu-user) takes that flag for a mere hint and answers each probe with the result of
# a search of the whole reserved guest space, and Wine, refused, halves the area and asks
# again: 20 000 probes in the first 30 s and no window of Wine's reached after 400 s.
# QEMU 8 and later honour the flag, and Wine then starts in under a minute.
#
# The machine's qemu-i386 is used where it is version 8 or later. Otherwise qemu-user is
# downloaded with apt-get from the backports suite of the machine's Debian release, through
# an apt configuration of DIR's own (scripts/private-apt.sh), and unpacked into DIR with
# dpkg -x: its programs are statically linked. An
# unchanged DIR is used again.
#
# Prints the emulator's path on standard output; on failure prints the reason on standard
# output, one line with apt's own message, and exits 1.
set -uo pipefail

if [ $# -ne 1 ]; then
  echo "usage: $0 DIR" >&2
  exit 2
fi
root=$(realpath -m "$1")

# The major version of a qemu-i386, or nothing.
major_version() {
  "$1" --version 2>/dev/null | sed -n 's/^qemu-i386 version \([0-9]*\)\..*/\1/p'
}
system=$(command -v qemu-i386 || true)
if [ -n "$system" ] && [ "$(major_version "$system")" -ge 8 ] 2>/dev/null; then
  echo "$system"
  exit 0
fi
emulator=$root/usr/bin/qemu-i386
if [ -x "$emulator" ] && [ -f "$root/.qov-qemu-root" ]; then
  echo "$emulator"
  exit 0
fi

source "$(dirname "$0")/private-apt.sh"
codename=$(debian_codename) || { echo "$codename"; exit 1; }
private_apt_unpack "$root" "$(dpkg --print-architecture)" "$codename-backports" "qemu-user/$codename-backports" || exit 1
version=$(major_version "$emulator")
if [ -z "$version" ] || [ "$version" -lt 8 ]; then
  echo "qemu-user of $codename-backports has no qemu-i386 of version 8 or later (${version:-none})"
  exit 1
fi
# Only the one emulator is kept of the package's many.
mv "$emulator" "$root/qemu-i386" && rm -rf "$root/usr" &&
  mkdir -p "$root/usr/bin" && mv "$root/qemu-i386" "$emulator" || exit 1
touch "$root/.qov-qemu-root"
echo "$emulator"
