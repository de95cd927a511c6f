#!/usr/bin/env bash
# The main job: builds qovhost and the plug-ins, and runs `qovhost demo`, which antialiases
# the bundled scene with QovMLAA1, prints PSNR against the scene's supersampled ground truth
# and the time per frame, and writes the pictures into qov-demo/ (or the directory given).
# The build also makes the frei0r editions in build/frei0r-1/ (for ffmpeg and melt with
# FREI0R_PATH=$PWD/build/frei0r-1) with their MLT presets, and the GStreamer plug-in in
# build/gstreamer-1.0/ (GST_PLUGIN_PATH), where their development headers are installed.
# Each stage says what it does, and the build shows its percentage.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/progress.sh
# The build folder: build/ unless QOV_BUILD_DIR names another.
build=${QOV_BUILD_DIR:-build}

stage "[1/4] checking for the compiler, CMake and libraries (scripts/setup.sh demo)"
bash scripts/setup.sh demo
stage "[2/4] configuring the build in $build/"
quietly "$build/configure.log" cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release
# The editions that this machine has the headers for: their targets exist in the build.
targets=(qovhost)
available=$(cmake --build "$build" --target help 2>/dev/null || true)
for target in frei0r_QovMLAA1 frei0r_QovSetMatte1 frei0r_QovMISetMatte1 qov_mlt_preset_files gstqov; do
  if grep -qw -- "$target" <<<"$available"; then targets+=("$target"); fi
done
stage "[3/4] building qovhost, the plug-ins and their frei0r and GStreamer editions (a few minutes; the log is $build/build.log)"
build_with_progress "$build" --target "${targets[@]}"
if [[ " ${targets[*]} " != *" frei0r_QovMLAA1 "* ]]; then
  echo "note: frei0r.h was not found, so $build/frei0r-1/ (the plug-ins for ffmpeg and melt) was not made;" \
    "install it (sudo apt-get install frei0r-plugins-dev) and run scripts/demo.sh again" >&2
fi
outdir=${1:-qov-demo}
stage "[4/4] running $build/qovhost demo $outdir"
"$build/qovhost" demo "$outdir"
echo "look at $outdir/comparison.png (before and after, with enlarged close-ups) and $outdir/thin-lines.png"
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && command -v xdg-open >/dev/null; then
  xdg-open "$outdir/comparison.png" >/dev/null 2>&1 &
fi
