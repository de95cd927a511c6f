#!/usr/bin/env bash
# The test command's own machinery, on a day a package mirror fails:
# - scripts/setup.sh, with apt-get and dpkg-query stood in for: an index that fails to
#   download is a warning, the packages that can be had are installed, and the one that
#   cannot is named with apt's reason (--keep-going) or fails the command (without it);
# - scripts/stages.sh: a stage that fails half-way fails, whatever it printed; a stage whose
#   runner cannot be installed is "not run" and one whose compiler cannot is FAILED, each
#   with the reason; the lines a stage reports itself stand in the summary; the summary's
#   status is false exactly when a stage failed.
set -uo pipefail
cd "$(dirname "$0")/../.."
# Run from scripts/test.sh, this inherits the real list of packages that could not be
# installed: the stand-in failures below must not land in it.
unset QOV_SETUP_UNAVAILABLE
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
passes=0
failures=0
check() { # check DESCRIPTION COMMAND...
  if "${@:2}"; then
    echo "ok $1"
    passes=$((passes + 1))
  else
    echo "FAILED: $1"
    failures=$((failures + 1))
  fi
}

# --- setup.sh against a stand-in package system in which wine64 cannot be installed.
mkdir -p "$work/bin"
touch "$work/installed"
cat >"$work/bin/dpkg-query" <<'STUB'
#!/bin/sh
package=$(eval echo "\${$#}")
grep -qx "$package" "$QOV_FAKE_INSTALLED" && printf 'install ok installed' && exit 0
exit 1
STUB
cat >"$work/bin/apt-get" <<'STUB'
#!/bin/bash
args=()
while [ $# -gt 0 ]; do
  case $1 in -o) shift 2 ;; -*) shift ;; *) args+=("$1"); shift ;; esac
done
case ${args[0]} in
  update)
    echo "E: Failed to fetch http://mirror/dists/x/binary-i386/Packages.xz  File has unexpected size (1 != 2). Mirror sync in progress?"
    exit 100 ;;
  install)
    for package in "${args[@]:1}"; do
      if [ "$package" = wine64 ]; then
        echo " wine64 : Depends: libwine (= 8.0) but it is not going to be installed"
        echo "E: Unable to correct problems, you have held broken packages."
        exit 100
      fi
    done
    printf '%s\n' "${args[@]:1}" | sed 's/^/Setting up /'
    printf '%s\n' "${args[@]:1}" >>"$QOV_FAKE_INSTALLED" ;;
esac
STUB
printf '#!/bin/sh\nexec "$@"\n' >"$work/bin/sudo"
chmod +x "$work/bin/"*
export QOV_FAKE_INSTALLED=$work/installed

QOV_SETUP_UNAVAILABLE=$work/unavailable PATH=$work/bin:$PATH bash scripts/setup.sh --keep-going test 2>"$work/setup.err"
check "setup --keep-going succeeds without wine64" [ $? -eq 0 ]
check "setup warns of the index it could not read" grep -q 'warning: some package lists could not be read' "$work/setup.err"
check "setup installed the other packages" grep -qx melt "$work/installed"
check "setup did not claim wine64" bash -c "! grep -qx wine64 '$work/installed'"
check "setup names wine64 with apt's reason" grep -q $'^wine64\tE: Unable to correct problems.*unmet: wine64 : Depends: libwine' "$work/unavailable"
check "setup names nothing else" [ "$(wc -l <"$work/unavailable")" -eq 1 ]
: >"$work/installed"
PATH=$work/bin:$PATH bash scripts/setup.sh test 2>/dev/null
check "setup without --keep-going fails when a package cannot be had" [ $? -eq 1 ]

# --- stages.sh
summary_lines=$work/summary
: >"$summary_lines"
QOV_SETUP_UNAVAILABLE=$work/unavailable
printf 'g++-mingw-w64-i686-posix\tno candidate\n' >>"$QOV_SETUP_UNAVAILABLE"
source scripts/stage-report.sh
source scripts/stages.sh
passing() { echo "passing stage"; }
fails_half_way() { false; echo "a stage goes on after a failed command" >"$work/went-on"; }
reports_itself() { stage_report partly "half of it: no screen"; stage_report skipped "the rest: needs root"; }
run_stage "passes" "cmake" "" passing >/dev/null
run_stage "fails half way" "" "" fails_half_way >/dev/null
run_stage "reports itself" "" "" reports_itself >/dev/null
run_stage "needs Wine" "" "wine wine64" passing >/dev/null
run_stage "needs a compiler" "g++-mingw-w64-i686-posix" "" passing >/dev/null
print_summary >"$work/printed"
check "the summary is false when a stage failed" [ $? -ne 0 ]
check "a failed command fails its stage" [ ! -e "$work/went-on" ]
summary=$(sed 's/  *[0-9.]* min  /|/' "$work/printed")
expected="=== stages
ran|passes
FAILED|fails half way (exit status 1)
partly|half of it: no screen
not run|the rest: needs root
not run|needs Wine: wine64 could not be installed (E: Unable to correct problems, you have held broken packages. unmet: wine64 : Depends: libwine (= 8.0) but it is not going to be installed)
FAILED|needs a compiler: cannot build: g++-mingw-w64-i686-posix could not be installed (no candidate)
stages: 2 passed, 2 failed, 2 skipped"
check "the summary names every stage with its status and reason" [ "$summary" = "$expected" ]
[ "$summary" = "$expected" ] || diff <(echo "$expected") <(echo "$summary")

: >"$summary_lines"
passed=0 failed=0 skipped=0
run_stage "passes" "" "" passing >/dev/null
print_summary >/dev/null
check "the summary is true when every stage that ran passed" [ $? -eq 0 ]

echo "$passes passed, $failures failed"
[ "$failures" -eq 0 ]
