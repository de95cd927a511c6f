# Sourced by scripts/test.sh: runs its stages and keeps the summary it prints at the end.
#
#   run_stage NAME "BUILD_PACKAGES" "RUN_PACKAGES" COMMAND...
#   print_summary     # the lines, and "stages: N passed, N failed, N skipped"; false if any failed
#
# QOV_SETUP_UNAVAILABLE names the file in which scripts/setup.sh --keep-going listed the
# packages it could not install, and summary_lines the file that collects the summary.
passed=0
failed=0
skipped=0

# add_summary STATUS SECONDS TEXT: one line of the closing summary.
add_summary() {
  printf '%-8s %5.1f min  %s\n' "$1" "$(awk -v s="$2" 'BEGIN { print s / 60 }')" "$3" >>"$summary_lines"
}
# unavailable PACKAGES...: "PACKAGE (apt's reason); ..." for each of them that could not be
# installed; nothing when all are there.
unavailable() {
  local package why
  for package in "$@"; do
    why=$(awk -F'\t' -v p="$package" '$1 == p { print $2; exit }' "$QOV_SETUP_UNAVAILABLE")
    [ -n "$why" ] && printf '%s could not be installed (%s); ' "$package" "$why"
  done
  return 0
}

# run_stage NAME "BUILD_PACKAGES" "RUN_PACKAGES" COMMAND...: runs one stage and adds its
# line (or the lines it reported itself, through scripts/stage-report.sh) to the summary.
# A stage does not run when one of its packages could not be installed. Missing compilers,
# libraries and tools that build are a failure: every machine of ours must have them. A
# missing program that only runs what was built (Wine, a host) makes the stage "not run",
# with apt's reason.
run_stage() {
  local name=$1 build_needs=$2 run_needs=$3
  shift 3
  local missing
  # shellcheck disable=SC2086
  missing=$(unavailable $build_needs)
  if [ -n "$missing" ]; then
    echo "=== $name: cannot build: ${missing%; }"
    add_summary FAILED 0 "$name: cannot build: ${missing%; }"
    failed=$((failed + 1))
    return 0
  fi
  # shellcheck disable=SC2086
  missing=$(unavailable $run_needs)
  if [ -n "$missing" ]; then
    echo "=== $name: not run: ${missing%; }"
    add_summary "not run" 0 "$name: ${missing%; }"
    skipped=$((skipped + 1))
    return 0
  fi
  local start=$SECONDS status=0 report
  report=$(mktemp)
  # In the background, so that `set -e` holds inside the stage as it does in a script.
  (QOV_STAGE_REPORT=$report; export QOV_STAGE_REPORT; set -e; "$@") &
  wait $! || status=$?
  local seconds=$((SECONDS - start))
  if [ "$status" -ne 0 ]; then
    add_summary FAILED "$seconds" "$name (exit status $status)"
    failed=$((failed + 1))
  elif [ -s "$report" ]; then
    # The stage's own lines: ran, partly, or skipped (not run) with the reason.
    local what text
    while IFS=$'\t' read -r what text; do
      case $what in
        skipped) what="not run"; skipped=$((skipped + 1)) ;;
        *) passed=$((passed + 1)) ;;
      esac
      add_summary "$what" "$seconds" "$text"
    done <"$report"
  else
    add_summary ran "$seconds" "$name"
    passed=$((passed + 1))
  fi
  rm -f "$report"
}

print_summary() {
  echo "=== stages"
  cat "$summary_lines"
  echo "stages: $passed passed, $failed failed, $skipped skipped"
  [ "$failed" -eq 0 ]
}
