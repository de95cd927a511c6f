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
# The 32-bit DLLs need 32-bit Wine. Where Debian's wine32:i386 is not installed (apt may
# refuse it: its i386 libraries must match the amd64 ones installed), a private copy of it
# is unpacked into build-windows-win32/wine32-root/ (scripts/wine32-root.sh). Where the
# kernel runs no 32-bit x86 program, Wine's 32-bit programs run under qemu-i386 in a
# private namespace (scripts/i386-namespace.sh; QOV_I386=emulated takes that way
# anywhere), with a qemu-i386 of version 8 or later (scripts/qemu-i386-root.sh), and
# only the tests that QOV_WIN32_EMULATED_TESTS (a ctest -R pattern) matches run there: by
# default the conformance checksums of every plug-in, the DLLs' tables and their loading
# and unloading, and the tests that hold MLAA, the composition and edge detection against
# their plain reference forms.
#
# Each flavour adds one line to the test command's list of stages (scripts/stage-report.sh):
# ran, saying which Wine and how, or partly, when the tests cannot run here: the DLLs are
# then built and what needs no running (their file type, export and import tables) is
# checked, and the line gives the reason (for a missing Wine package, apt's own). The exit
# status is non-zero only when something that ran failed.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/stage-report.sh

reference=${1:-}
[ $# -gt 0 ] && shift
flavours=("$@")
[ ${#flavours[@]} -eq 0 ] && flavours=(win32 win64)
jobs=$(nproc)
emulated_tests=${QOV_WIN32_EMULATED_TESTS:-^(conformance_check|windows_dll_tables)\$|WindowsLibrary\.|MlaaAgainstReference\.|ComposeReference\.|DetectionKernels\.}

# Why apt does not install PACKAGE here: its first unmet dependency and its error line, or
# that it could be installed but is not (scripts/setup.sh test installs it).
apt_refusal() {
  local output unmet error
  if output=$(LC_ALL=C apt-get -s -q install --no-install-recommends "$1" 2>&1) &&
    ! printf '%s\n' "$output" | grep -q '^E:'; then
    echo "$1 is not installed (apt could install it: bash scripts/setup.sh test)"
    return
  fi
  # The first unmet dependency of the package's own architecture, if any names it.
  local architecture=""
  case $1 in *:*) architecture=${1##*:} ;; esac
  unmet=$(printf '%s\n' "$output" | grep 'but it is not going to be installed\|but it is not installable' |
    { grep -m 1 ":$architecture " || true; } | sed 's/^ *//; s/  */ /g')
  error=$(printf '%s\n' "$output" | grep '^E:' | tail -n 1)
  echo "$1 is not installed, apt refuses it: ${unmet:+$unmet; }${error:-no reason given}"
}

# Every prefix started, with its server and the command (a private namespace or none) that
# its programs run in: at the end each server is ended, with whatever Wine processes it
# still has (a server that has ended already is no failure).
wine_prefixes=()
wine_servers=()
wine_wrappers=()
stop_wine() {
  local i
  for i in "${!wine_prefixes[@]}"; do
    [ -d "${wine_prefixes[$i]}" ] || continue
    WINEPREFIX=${wine_prefixes[$i]} ${wine_wrappers[$i]} timeout 60 "${wine_servers[$i]}" -k 2>/dev/null || true
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
  start=$SECONDS
  echo "=== build: $dir ($bits-bit Windows, tests under Wine)"
  cmake --preset "windows-$flavour" -DQOV_REFERENCE_CHECKSUMS="$reference" >/dev/null
  cmake --build --preset "windows-$flavour" -j "$jobs" >/dev/null

  # What runs the tests, or why nothing can: not_run is the reason.
  not_run=""
  wrapper=""  # the command that runs 32-bit programs, where the kernel does not
  ctest_filter=()
  how="under Wine"
  unset QOV_WINE32 WINESERVER QOV_QEMU_I386
  if [ "$bits" = 64 ]; then
    [ -x /usr/lib/wine/wine64 ] || not_run=$(apt_refusal wine64)
  else
    if [ -x /usr/lib/wine/wine ]; then
      how="under Debian's 32-bit Wine"
    elif copy=$(bash scripts/wine32-root.sh "$PWD/$dir/wine32-root"); then
      export QOV_WINE32=$copy
      how="under a private copy of Debian's 32-bit Wine in $dir/wine32-root ($(apt_refusal wine32:i386))"
      # The machine's own 64-bit server, of the same version, serves 32-bit programs too
      # (and runs natively where they are emulated); else the copy's 32-bit one.
      if [ -x /usr/lib/wine/wineserver64 ]; then
        export WINESERVER=/usr/lib/wine/wineserver64
      else
        export WINESERVER=${copy%/wine}/wineserver32
      fi
    else
      not_run="$(apt_refusal wine32:i386); no private copy of 32-bit Wine either: $copy"
    fi
    if [ -z "$not_run" ]; then
      if ! running=$(bash scripts/i386-namespace.sh --probe); then
        not_run="32-bit x86 programs do not run here: $running"
      elif [ "${running%%:*}" = emulated ]; then
        if emulator=$(bash scripts/qemu-i386-root.sh "$PWD/$dir/qemu-root"); then
          export QOV_QEMU_I386=$emulator
          wrapper="bash scripts/i386-namespace.sh"
          ctest_filter=(-R "$emulated_tests")
          how="$how, its 32-bit programs under $("$emulator" --version | head -n 1) registered in a private user namespace's binfmt_misc; only the tests matching $emulated_tests"
        else
          not_run="32-bit Wine needs qemu-i386 8 or later where the kernel runs no 32-bit program: $emulator"
        fi
      fi
    fi
  fi
  if [ -n "$not_run" ]; then
    echo "=== $dir: the tests cannot run: $not_run; checking the DLLs' tables only"
    sh "$dir/check-dll-tables.sh"
    stage_report partly "$bits-bit Windows DLLs built, file type and tables checked; tests not run: $not_run"
    continue
  fi

  echo "=== $dir: tests $how"
  wine_prefixes+=("$wine_prefix")
  wine_servers+=("${WINESERVER:-wineserver}")
  wine_wrappers+=("$wrapper")
  $wrapper scripts/wine-run.sh "${wine_arch[@]}" "$wine_prefix" --start-server
  $wrapper ctest --test-dir "$dir" -j "$jobs" --output-on-failure --timeout 600 "${ctest_filter[@]}"
  WINEPREFIX=$wine_prefix $wrapper timeout 60 "${WINESERVER:-wineserver}" -k 2>/dev/null || true
  echo "=== $dir: $((SECONDS - start)) s"
  stage_report ran "$bits-bit Windows DLLs and their tests $how"
done
