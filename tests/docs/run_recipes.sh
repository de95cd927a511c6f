#!/usr/bin/env bash
# Runs every shell recipe of README.md and docs/**/*.md against a build tree, so that a recipe
# that rots fails the test.
#
#   tests/docs/run_recipes.sh [BUILD_DIR]            # default: build
#   tests/docs/run_recipes.sh --package [BUILD_DIR]  # only the recipes that need the package,
#                                                    # while it is installed
#
# A recipe is a fenced code block marked sh (or bash, shell). A comment on the line just
# before it may mark it:
#   <!-- recipe: not run: REASON -->   never run here; listed as not run, with the reason
#   <!-- recipe: needs package -->     run only while the Debian package "qov" is installed,
#                                      without the build tree's settings
# Each document's recipes run in order in a temporary folder of their own, holding small
# inputs (in.png, colour.png, mask.png, in.mp4, A.mp4, B.mp4, in854x480.mp4) and a link
# "build" to the build tree, with the build tree first in PATH and FREI0R_PATH and
# GST_PLUGIN_PATH naming its plug-ins. Screens and cameras are replaced by fakesink and
# videotestsrc, and GStreamer's endless sources stop after a few frames. A recipe passes when
# it exits 0 within a minute and every file it names as output (.png, .mp4, .mov, .webm, .mkv;
# %0Nd patterns too) that was not there before exists and is not empty; an H.264 output must
# be yuv420p. Every link from a document to another file must lead to one, and README.md
# keeps to 200 lines. One line per recipe, then "N passed, N failed, N skipped"; the exit
# status is non-zero when anything failed.
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
package_only=no
if [ "${1:-}" = --package ]; then
  package_only=yes
  shift
fi
build=$(cd "${1:-$root/build}" 2>/dev/null && pwd) || {
  echo "run_recipes: no build folder ${1:-$root/build}" >&2
  exit 2
}
if [ ! -x "$build/qovhost" ]; then
  echo "run_recipes: $build/qovhost is missing: build qovhost and the plug-ins first" >&2
  exit 2
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export GST_REGISTRY=$work/gst-registry.bin
passed=0
failed=0
skipped=0

# Small inputs, made once: the demo scene (1280x720) and its antialiased version as pictures,
# and a few frames of it as clips.
make_inputs() {
  local in=$work/inputs
  mkdir -p "$in"
  "$build/qovhost" demo "$in/demo" >/dev/null || return
  cp "$in/demo/input.png" "$in/in.png"
  cp "$in/demo/output.png" "$in/colour.png"
  cp "$in/demo/visualize.png" "$in/mask.png"
  command -v ffmpeg >/dev/null || return 0
  local enc=(-v error -frames:v 5 -r 25 -c:v libx264 -pix_fmt yuv420p)
  ffmpeg -loop 1 -i "$in/in.png" "${enc[@]}" "$in/in.mp4" &&
    cp "$in/in.mp4" "$in/A.mp4" &&
    ffmpeg -loop 1 -i "$in/mask.png" "${enc[@]}" "$in/B.mp4" &&
    ffmpeg -loop 1 -i "$in/in.png" -vf scale=854:480 "${enc[@]}" "$in/in854x480.mp4"
}
if ! make_inputs; then
  echo "run_recipes: could not make the inputs" >&2
  exit 2
fi

installed=no
if dpkg-query -W -f='${Status}' qov 2>/dev/null | grep -q "install ok installed"; then
  installed=yes
fi

# Splits a document into its shell recipes: DIR/NNN.sh, with DIR/NNN.line (the block's first
# line number) and DIR/NNN.mark (the marker comment's text, if any).
extract() {
  awk -v dir="$2" '
    /^```/ && !inside {
      lang = substr($0, 4); sub(/[ \t].*/, "", lang)
      inside = 1
      shell = (lang == "sh" || lang == "bash" || lang == "shell")
      if (shell) {
        n++; file = sprintf("%s/%03d", dir, n)
        print NR + 1 > (file ".line"); close(file ".line")
        printf "%s", prev_mark > (file ".mark"); close(file ".mark")
        printf "" > (file ".sh")
      }
      next
    }
    /^```/ && inside { inside = 0; if (shell) close(file ".sh"); prev_mark = ""; next }
    inside { if (shell) print >> (file ".sh"); next }
    /^<!-- recipe:.*-->[ \t]*$/ { m = $0; sub(/^<!-- recipe:[ \t]*/, "", m); sub(/[ \t]*-->.*$/, "", m); prev_mark = m; next }
    { prev_mark = "" }
  ' "$1"
}

# The programs a recipe starts, of those that may be missing on a machine.
missing_programs() {
  local prog missing=()
  for prog in ffmpeg ffprobe melt gst-launch-1.0 gst-inspect-1.0 man pd valgrind file; do
    if grep -qE "(^|[|;&(\` ])$prog( |$)" "$1" && ! command -v "$prog" >/dev/null; then
      missing+=("$prog")
    fi
  done
  echo "${missing[*]}"
}

# The recipe as it runs here: no screen, no camera, sources that end.
adapt() {
  sed -e 's/\bautovideosink\b/fakesink/g; s/\bxvimagesink\b/fakesink/g; s/\bximagesink\b/fakesink/g' \
    -e 's/\bv4l2src\b/videotestsrc/g' \
    -e 's/\bvideotestsrc\b/videotestsrc num-buffers=10/g' \
    -e 's/\bimagefreeze\b/imagefreeze num-buffers=10/g' "$1"
}

# The files a recipe names as its outputs: picture and video names that are not there yet.
named_outputs() {
  grep -oE '[A-Za-z0-9_./%-]+\.(png|mp4|mov|webm|mkv)\b' "$1" | sort -u | while read -r name; do
    case $name in /* | build/*) continue ;; esac
    [ -e "$2/$name" ] || echo "$name"
  done
}

# check_output DIR NAME: prints what is wrong with an output, nothing when it is fine.
check_output() {
  local dir=$1 name=$2 files=()
  if [[ $name == *%* ]]; then
    local glob
    glob=$(sed -E 's/%0?[0-9]*d/*/g' <<<"$name")
    # shellcheck disable=SC2206
    files=($dir/$glob)
    [ -e "${files[0]}" ] || { echo "$name: no file written"; return; }
  else
    files=("$dir/$name")
    [ -e "${files[0]}" ] || { echo "$name: not written"; return; }
  fi
  local f codec
  for f in "${files[@]}"; do
    [ -s "$f" ] || { echo "${f#"$dir"/}: empty"; return; }
  done
  case $name in
    *.mp4 | *.mov | *.mkv)
      command -v ffprobe >/dev/null || return
      codec=$(ffprobe -v error -select_streams v:0 -show_entries stream=codec_name,pix_fmt \
        -of csv=p=0 "${files[0]}")
      if [[ $codec == h264,* && $codec != h264,yuv420p ]]; then
        echo "$name: H.264 in ${codec#h264,}, which browsers do not play (-pix_fmt yuv420p)"
      fi
      ;;
  esac
}

report() { # STATUS WHERE FIRST_LINE [DETAIL]
  printf '%-7s %s  %s%s\n' "$1" "$2" "$3" "${4:+  ($4)}"
}

cd "$root" || exit 2
docs=(README.md)
while IFS= read -r f; do docs+=("$f"); done < <(find docs -name '*.md' 2>/dev/null | sort)

for doc in "${docs[@]}"; do
  blocks=$work/blocks/$doc
  mkdir -p "$blocks"
  extract "$doc" "$blocks"
  compgen -G "$blocks/*.sh" >/dev/null || continue
  dir=$work/run/$doc
  mkdir -p "$dir"
  cp "$work"/inputs/*.png "$dir/"
  cp "$work"/inputs/*.mp4 "$dir/" 2>/dev/null
  ln -s "$build" "$dir/build"
  for recipe in "$blocks"/*.sh; do
    base=${recipe%.sh}
    where="$doc:$(cat "$base.line")"
    first=$(grep -m1 -vE '^[[:space:]]*(#|$)' "$recipe" | cut -c1-70)
    mark=$(cat "$base.mark")
    env_mode=build
    case $mark in
      "not run:"*)
        [ "$package_only" = no ] || continue
        report "skip" "$where" "$first" "not run: ${mark#not run: }"
        skipped=$((skipped + 1))
        continue
        ;;
      "needs package")
        if [ "$installed" = no ]; then
          report "skip" "$where" "$first" "needs the installed qov package"
          skipped=$((skipped + 1))
          continue
        fi
        env_mode=package
        ;;
      "") [ "$package_only" = no ] || continue ;;
      *)
        report "FAIL" "$where" "$first" "unknown marker: $mark"
        failed=$((failed + 1))
        continue
        ;;
    esac
    absent=$(missing_programs "$recipe")
    if [ -n "$absent" ]; then
      report "skip" "$where" "$first" "not installed: $absent"
      skipped=$((skipped + 1))
      continue
    fi
    adapt "$recipe" >"$base.run"
    outputs=$(named_outputs "$recipe" "$dir")
    if [ "$env_mode" = package ]; then
      (cd "$dir" && env -u FREI0R_PATH -u GST_PLUGIN_PATH GST_REGISTRY="$work/gst-registry-package.bin" \
        timeout 60 bash -eo pipefail "$base.run" </dev/null >"$base.log" 2>&1)
    else
      (cd "$dir" && PATH="$build:$PATH" FREI0R_PATH="$build/frei0r-1" GST_PLUGIN_PATH="$build/gstreamer-1.0" \
        timeout 60 bash -eo pipefail "$base.run" </dev/null >"$base.log" 2>&1)
    fi
    status=$?
    problems=""
    if [ "$status" -ne 0 ]; then
      problems="exit status $status"
    else
      for name in $outputs; do
        p=$(check_output "$dir" "$name")
        [ -n "$p" ] && problems="${problems:+$problems; }$p"
      done
    fi
    if [ -z "$problems" ]; then
      report "pass" "$where" "$first"
      passed=$((passed + 1))
    else
      report "FAIL" "$where" "$first" "$problems"
      sed 's/^/        | /' "$base.log" | tail -n 15
      failed=$((failed + 1))
    fi
  done
done

if [ "$package_only" = yes ]; then
  [ "$installed" = yes ] || echo "run_recipes: the qov package is not installed" >&2
  echo "$passed passed, $failed failed, $skipped skipped"
  [ "$failed" -eq 0 ] && [ "$installed" = yes ]
  exit
fi

# Links from one document to another (or to a picture) must lead to a file; what stands in
# backquotes is code, not a link.
links=0
for doc in "${docs[@]}"; do
  # shellcheck disable=SC2016
  while IFS=: read -r line target; do
    target=${target%%#*}
    [ -n "$target" ] || continue
    links=$((links + 1))
    if [ ! -e "$(dirname "$doc")/$target" ]; then
      report "FAIL" "$doc:$line" "link to $target" "no such file"
      failed=$((failed + 1))
    fi
  done < <(sed 's/`[^`]*`//g' "$doc" | grep -noE '\]\([^)#:]*(#[^)]*)?\)' | sed -E 's/\]\((.*)\)$/\1/')
done
echo "links: $links checked"
# The README is what a new user reads first: it stays short, and the rest lives in docs/.
readme_lines=$(wc -l <README.md)
if [ "$readme_lines" -gt 200 ]; then
  report "FAIL" "README.md" "$readme_lines lines" "at most 200: move the rest into docs/"
  failed=$((failed + 1))
fi
echo "$passed passed, $failed failed, $skipped skipped"
[ "$failed" -eq 0 ]
