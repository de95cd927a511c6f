#!/usr/bin/env bash
# Runs one Windows program of a cross build under Wine, headless:
#
#   scripts/wine-run.sh [--win64] PREFIX PROGRAM [ARGS...]
#   scripts/wine-run.sh [--win64] PREFIX --start-server
#
# The Windows builds' CMake uses it as the emulator of their test programs, with a Wine
# prefix inside the build tree: a 32-bit prefix run by Wine's 32-bit loader, or with
# --win64 a 64-bit prefix run by its 64-bit loader (Debian's wine64). The prefix is created
# on first use. Every Wine call is bounded by a timeout (QOV_WINE_TIMEOUT seconds, 600 by
# default), the program's exit code is passed on (124 for a timeout), and carriage returns
# are stripped from its output so that it reads like any other program's.
#
# QOV_WINE32 names another 32-bit loader than Debian's (that of a private copy of 32-bit
# Wine, scripts/wine32-root.sh), and WINESERVER, which Wine itself reads too, another
# server than the one on the PATH.
set -uo pipefail

export WINEARCH=win32
wine=wine
if [ -n "${QOV_WINE32:-}" ]; then
  wine=$QOV_WINE32
  export WINELOADER=$wine
fi
if [ "${1:-}" = --win64 ]; then
  shift
  export WINEARCH=win64
  wine=/usr/lib/wine/wine64
  # Processes that Wine itself starts in this prefix use the same loader.
  export WINELOADER=$wine
fi
if [ $# -lt 2 ]; then
  echo "usage: $0 [--win64] PREFIX PROGRAM [ARGS...] | $0 [--win64] PREFIX --start-server" >&2
  exit 2
fi
prefix=$1
shift

export WINEPREFIX=$prefix
export WINEDEBUG=-all
# No Mono or Gecko install prompts, no menu entries written into the home folder, and no
# display: nothing may wait for a user.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
unset DISPLAY WAYLAND_DISPLAY
timeout_seconds=${QOV_WINE_TIMEOUT:-600}
server=${WINESERVER:-wineserver}

# The first program creates the prefix; the lock keeps parallel tests from racing for it.
#
# A wineserver that shuts down while the next program connects fails that program
# ("recvmsg: Connection reset by peer"), so the server is kept running between programs:
# for a whole test run when one is started with --start-server (and ended with
# `wineserver -k`), else for QOV_WINESERVER_LINGER seconds after the last program. Wine's
# session processes (services, explorer, ...), which live as long as the server, are
# started right after it with no output attached: started by a test program, they would
# keep its output pipes open.
mkdir -p "$(dirname "$prefix")"
(
  flock 9
  # wineboot's own server, or one ended here, must be gone before a lasting one starts.
  if [ ! -f "$prefix/system.reg" ]; then
    timeout "$timeout_seconds" "$wine" wineboot --init </dev/null >/dev/null 2>&1 9>&- || {
      echo "wine-run: could not create the Wine prefix $prefix" >&2
      exit 1
    }
    timeout 60 "$server" --wait </dev/null >/dev/null 2>&1 9>&-
  fi
  persist=--persistent="${QOV_WINESERVER_LINGER:-30}"
  if [ "$1" = --start-server ]; then
    persist=--persistent
    timeout 60 "$server" --kill </dev/null >/dev/null 2>&1 9>&-
    timeout 60 "$server" --wait </dev/null >/dev/null 2>&1 9>&-
  fi
  # Fails, changing nothing, when a server is still running.
  if timeout 60 "$server" "$persist" </dev/null >/dev/null 2>&1 9>&-; then
    timeout "$timeout_seconds" "$wine" cmd /c exit </dev/null >/dev/null 2>&1 9>&-
  fi
  exit 0
) 9>"$prefix.lock" || exit 1
[ "$1" = --start-server ] && exit 0

# The 32-bit loader now and then dies of a signal while the process exits, after the program
# has finished and reported success (seen about once in 800 runs of the test programs on
# Wine 8.0). Such a run is repeated once, saying so; a program that reported anything but
# success, or that dies the same way twice, fails as it is.
output=$(mktemp)
trap 'rm -f "$output"' EXIT
for attempt in 1 2; do
  timeout --kill-after=10 "$timeout_seconds" "$wine" "$@" 2> >(tr -d '\r' >&2) | tr -d '\r' | tee "$output"
  status=${PIPESTATUS[0]}
  wait  # for the standard error filter
  [ "$status" -eq 124 ] && echo "wine-run: $1 did not finish within $timeout_seconds s" >&2
  # 128 + n: Wine itself was killed by signal n (timeout's own 124 and 137 excluded).
  if [ "$attempt" -eq 1 ] && [ "$status" -gt 128 ] && [ "$status" -ne 137 ] &&
    grep -q '^\[  PASSED  \]' "$output" && ! grep -q '^\[  FAILED  \]' "$output"; then
    echo "wine-run: Wine died of signal $((status - 128)) after $1 reported success; running it again" >&2
    continue
  fi
  break
done
exit "$status"
