#!/usr/bin/env bash
# Builds the three plug-ins as Windows DLLs with the MinGW-w64 cross compilers, in two
# flavours: 32-bit DLLs for 32-bit hosts in build-windows-win32/, 64-bit DLLs for 64-bit
# hosts in build-windows-win64/ (QovMLAA1.dll, QovSetMatte1.dll and QovMISetMatte1.dll in
# each). Installs what a fresh Debian machine lacks for that first (scripts/setup.sh
# windows: the cross compilers, no Wine). The DLLs only: scripts/test-windows.sh builds
# the same folders with their tests.
#
#   scripts/build-windows.sh [win32|win64]...    # both flavours when none is named
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/progress.sh
bash scripts/setup.sh windows

flavours=("$@")
[ ${#flavours[@]} -eq 0 ] && flavours=(win32 win64)
for flavour in "${flavours[@]}"; do
  case $flavour in
    win32 | win64) ;;
    *) echo "build-windows: unknown flavour '$flavour' (win32 or win64)" >&2; exit 2 ;;
  esac
  dir=build-windows-$flavour
  stage "$flavour: configuring $dir"
  # Without the tests, which would need GoogleTest's sources (and Wine to run them).
  quietly "$dir/configure.log" cmake --preset "windows-$flavour" -DQOV_BUILD_TESTS=OFF
  stage "$flavour: building the DLLs (the log is $dir/build.log)"
  build_with_progress "$dir" --target QovMLAA1 QovSetMatte1 QovMISetMatte1
  ls -l "$dir"/QovMLAA1.dll "$dir"/QovSetMatte1.dll "$dir"/QovMISetMatte1.dll
done
