#!/usr/bin/env bash
# Runs a command where 32-bit x86 programs run, whatever this machine's kernel does with
# them, and changes none of the machine's settings:
#
#   scripts/i386-namespace.sh COMMAND [ARGS...]
#   scripts/i386-namespace.sh --probe
#
# Where the kernel runs 32-bit programs itself (scripts/i386-probe.sh), COMMAND simply runs.
# Where it does not, COMMAND runs in a private user and mount namespace whose own
# binfmt_misc (one per user namespace since Linux 6.7) hands every 32-bit x86 program to the
# user-mode emulator qemu-i386: the -m32 test programs, and whatever they or COMMAND start,
# then run as they are, without an emulator named on their command lines. The emulator is
# registered with flag F (opened once, at registration), and QOV_TEST_EMULATOR=1 is set for
# the tests, which skip what such an emulator does not do the way a kernel does.
#
# QOV_I386=emulated takes the emulated way even where the kernel runs 32-bit programs
# (binfmt_misc entries come before the kernel's own ELF loader), to test that way on any
# machine; QOV_I386=native takes the kernel's way, failing where there is none.
# QOV_QEMU_I386 names another emulator than the qemu-i386 on the PATH.
#
# Inside the namespace the caller is "root", mapped to the caller's own user: files it
# creates belong to the caller as usual, but nothing needing real privileges (sudo, dpkg)
# works there.
#
# --probe prints one line, how 32-bit programs run here, and exits 0 when they do, 1 when
# they can do neither way (with the reason).
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)

usage() {
  echo "usage: $0 COMMAND [ARGS...] | $0 --probe" >&2
  exit 2
}
[ $# -ge 1 ] || usage

# Already inside such a namespace (a nested call): run as it is.
if [ -n "${QOV_I386_NAMESPACE:-}" ] && [ "$1" != --probe ]; then
  exec "$@"
fi

mode=${QOV_I386:-auto}
case $mode in
  auto | native | emulated) ;;
  *) echo "i386-namespace: QOV_I386 must be auto, native or emulated, not '$mode'" >&2; exit 2 ;;
esac

native_why=""
if [ "$mode" != emulated ]; then
  native_why=$(bash "$here/i386-probe.sh")
  probe=$?
  if [ "$probe" -eq 0 ]; then
    if [ "$1" = --probe ]; then
      echo "native: this kernel runs 32-bit x86 programs"
      exit 0
    fi
    exec "$@"
  fi
  if [ "$probe" -eq 2 ] || [ "$mode" = native ]; then
    [ "$1" = --probe ] && { echo "${native_why:-32-bit x86 programs do not run here}"; exit 1; }
    echo "i386-namespace: cannot run $1: ${native_why:-32-bit x86 programs do not run here}" >&2
    exit 1
  fi
fi

qemu=${QOV_QEMU_I386:-$(command -v qemu-i386 || command -v qemu-i386-static || true)}
if [ -z "$qemu" ]; then
  why="qemu-i386 is missing (package qemu-user)"
  [ -n "$native_why" ] && why="$native_why, and $why"
  [ "$1" = --probe ] && { echo "$why"; exit 1; }
  echo "i386-namespace: cannot run $1: $why" >&2
  exit 1
fi

# The entry's magic and mask match the ELF header of a 32-bit little-endian x86 executable
# or shared object (class 1, data 1, version 1, any OS ABI byte with its lowest bit clear,
# type 2 or 3, machine 3); the kernel decodes the \x escapes itself.
magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
entry=":qov-i386:M::$magic:$mask:$qemu:F"

# Runs as "root" of the new namespaces: mounts this namespace's binfmt_misc over the
# machine's (in this mount namespace only), registers the emulator, and runs the command.
inside='
  set -u
  dir=/proc/sys/fs/binfmt_misc
  if ! error=$(mount -t binfmt_misc binfmt_misc "$dir" 2>&1); then
    echo "i386-namespace: no binfmt_misc of its own in a user namespace (Linux 6.7 or later needed): ${error##*: }" >&2
    exit 97
  fi
  if ! error=$(printf "%s" "$QOV_I386_ENTRY" 2>&1 >"$dir/register"); then
    echo "i386-namespace: binfmt_misc refused the qemu-i386 entry: ${error##*: }" >&2
    exit 97
  fi
  unset QOV_I386_ENTRY
  [ "$1" = --probe ] && exit 0
  exec "$@"
'
export QOV_I386_ENTRY=$entry QOV_I386_NAMESPACE=1 QOV_TEST_EMULATOR=1
if [ "$1" = --probe ]; then
  if why=$(unshare --user --map-root-user --mount bash -c "$inside" bash --probe 2>&1); then
    echo "emulated: qemu-i386 in a private user namespace's binfmt_misc${native_why:+ ($native_why)}"
    exit 0
  fi
  why=${why#i386-namespace: }
  echo "${why:-unshare failed}${native_why:+; $native_why}"
  exit 1
fi
# unshare's own failure (user namespaces disabled) and the set-up's are told apart from the
# command's exit status by their message; the status is the command's.
unshare --user --map-root-user --mount bash -c "$inside" bash "$@"
