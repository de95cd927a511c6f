# Progress reports for the long-running scripts (demo.sh, package.sh, build-windows.sh),
# which source this file: a line per stage, and a build's own percentage, so that a user
# sees that a minutes-long run is alive. Not a command of its own.

# stage TEXT: "<script>: TEXT" on standard error.
stage() {
  echo "$(basename "$0" .sh): $*" >&2
}

# quietly LOG COMMAND...: runs COMMAND with its output in LOG, shown when it fails.
quietly() {
  local log=$1
  shift
  mkdir -p "$(dirname "$log")"
  if ! "$@" >"$log" 2>&1; then
    echo "failed: $*; its output ($log):" >&2
    tail -n 60 "$log" >&2
    return 1
  fi
}

# build_with_progress DIR [cmake --build arguments...]: builds DIR, showing how far the
# build is: one line rewritten in place on a terminal, a line per tenth otherwise. The
# build's whole output goes to DIR/build.log, and is shown when the build fails.
build_with_progress() {
  local dir=$1
  shift
  local log=$dir/build.log
  local status=0
  cmake --build "$dir" -j "$(nproc)" "$@" >"$log" 2>&1 &
  local build=$!
  show_build_progress "$log" "$build"
  wait "$build" || status=$?
  if [ $status -ne 0 ]; then
    echo "build of $dir failed; its output ($log):" >&2
    tail -n 60 "$log" >&2
    return $status
  fi
}

# show_build_progress LOG PID: follows LOG while process PID runs and shows the highest
# percentage in it (Makefiles print "[ 45%]", Ninja "[12/80]").
show_build_progress() {
  local log=$1 pid=$2
  local shown=-1 percent
  local terminal=0
  [ -t 2 ] && terminal=1
  while :; do
    # Nothing to read yet is no failure of the script's own.
    percent=$( (grep -oE '^\[ *[0-9]+%\]|^\[[0-9]+/[0-9]+\]' "$log" 2>/dev/null || true) | tail -n 1 |
      awk -F'[][/% ]+' '{ if (NF >= 4 && $3 != "") print int(100 * $2 / $3); else print int($2) }')
    percent=${percent:-0}
    if [ "$terminal" -eq 1 ] && [ "$percent" -ne "$shown" ]; then
      printf '\r  building: %3d%%' "$percent" >&2
      shown=$percent
    elif [ "$terminal" -eq 0 ] && { [ "$shown" -lt 0 ] || [ $((percent / 10)) -gt $((shown / 10)) ]; }; then
      echo "  building: $percent%" >&2
      shown=$percent
    fi
    kill -0 "$pid" 2>/dev/null || break
    sleep 1
  done
  [ "$terminal" -eq 1 ] && printf '\n' >&2
  return 0
}
