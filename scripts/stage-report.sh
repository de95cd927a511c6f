# Sourced by scripts/test.sh and its stages. `stage_report ran|partly|skipped TEXT` adds a
# line to the list of stages that the test command prints at its end, so that a stage
# that could not run on this machine, or ran only in part, says so there, with the reason.
# A stage run on its own (no QOV_STAGE_REPORT) only prints its own messages.
stage_report() {
  local what=$1
  shift
  if [ -n "${QOV_STAGE_REPORT:-}" ]; then printf '%s\t%s\n' "$what" "$*" >>"$QOV_STAGE_REPORT"; fi
}
