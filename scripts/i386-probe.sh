#!/usr/bin/env bash
# Tells whether this machine's kernel runs 32-bit x86 programs: some x86-64 kernels are
# built or booted without that support, and then every -m32 program (and Wine's 32-bit
# loader) fails with "Exec format error".
#
#   scripts/i386-probe.sh
#
# Builds a program that does nothing with gcc -m32 and runs it. Exit status 0: 32-bit
# programs run here. 1: they do not; the reason is printed on standard output, one line.
# 2: no 32-bit program could be built (the multilib compilers are missing).
set -uo pipefail

dir=$(mktemp -d) || exit 2
trap 'rm -rf "$dir"' EXIT
echo 'int main(void) { return 0; }' >"$dir/probe.c"
if ! gcc -m32 "$dir/probe.c" -o "$dir/probe" 2>/dev/null; then
  echo "gcc -m32 cannot build a program (gcc-multilib missing)"
  exit 2
fi
if error=$("$dir/probe" 2>&1); then
  exit 0
fi
# bash reports the failed exec as "...: cannot execute binary file: Exec format error".
echo "this kernel runs no 32-bit x86 program (${error##*: })"
exit 1
