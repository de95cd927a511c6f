#!/usr/bin/env bash
# The Windows stage of scripts/test.sh, for both flavours of DLLs: cross-builds the DLLs
# and their tests, checks the DLLs' export and import tables, and runs the test programs
# under Wine, headless (scripts/wine-run.sh runs each of them): the 32-bit build in
# build-windows-win32/ with a 32-bit prefix, the 64-bit build in build-windows-win64/ with
# a 64-bit prefix (Debian's wine64), each prefix inside its build tree.
#
#   scripts/test-windows.sh [REFERENCE_CHECKSUMS [win32|win64]...]
#
# With REFERENCE_CHECKSUMS (the file the native build's conformance test wrote), the DLLs'
# output must have the same bytes as that build's. Both flavours are tested unless some
# are named.
#
# Where the kernel runs no 32-bit x86 program (scripts/i386-probe.sh), 32-bit Wine cannot
# start: the 32-bit DLLs and their tests are still built, and what needs no running (the
# DLLs' file type, export and import tables) is checked.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/stage-report.sh

reference=${1:-}
[ $# -gt 0 ] && shift
flavours=("$@")
[ ${#flavours[@]} -eq 0 ] && flavours=(win32 win64)
jobs=$(nproc)

wine_prefixes=()
stop_wine() {
  # Ends each prefix's wineserver and whatever Wine processes it still has (a prefix whose
  # server has ended already is no failure).
  local prefix
  for prefix in "${wine_prefixes[@]}"; do
    if [ -d "$prefix" ]; then WINEPREFIX=$prefix timeout 60 wineserver -k 2>/dev/null || true; fi
  done
}
trap stop_wine EXIT

for flavour in "${flavours[@]}"; do
  case $flavour in
    win32)
      wine_arch=()
      bits=32
      ;;
    win64)
      wine_arch=(--win64)
      bits=64
      ;;
    *) echo "test-windows: unknown flavour '$flavour' (win32 or win64)" >&2; exit 2 ;;
  esac
  dir=build-windows-$flavour
  wine_prefix=$PWD/$dir/wine-prefix
  wine_prefixes+=("$wine_prefix")
  start=$SECONDS
  echo "=== build: $dir ($bits-bit Windows, tests under Wine)"
  cmake --preset "windows-$flavour" -DQOV_REFERENCE_CHECKSUMS="$reference" >/dev/null
  cmake --build --preset "windows-$flavour" -j "$jobs" >/dev/null
  if [ "$bits" = 32 ]; then
    why=$(bash scripts/i386-probe.sh) && probe=0 || probe=$?
    if [ "$probe" -eq 1 ]; then
      echo "=== $dir: not run, 32-bit Wine cannot start: $why; checking the DLLs' tables only"
      sh "$dir/check-dll-tables.sh"
      stage_report partly "32-bit Windows DLLs built, file type and tables checked; not run: $why"
      continue
    fi
  fi
  scripts/wine-run.sh "${wine_arch[@]}" "$wine_prefix" --start-server
  ctest --test-dir "$dir" -j "$jobs" --output-on-failure --timeout 600
  WINEPREFIX=$wine_prefix timeout 60 wineserver -k 2>/dev/null || true
  echo "=== $dir: $((SECONDS - start)) s"
  stage_report ran "$bits-bit Windows DLLs and their tests under Wine"
done
