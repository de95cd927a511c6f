#!/usr/bin/env bash
# The main job: builds qovhost and the plug-ins, and runs `qovhost demo`, which antialiases
# the bundled scene with QovMLAA1, prints PSNR against the scene's supersampled ground truth
# and the time per frame, and writes the pictures into qov-demo/ (or the directory given).
# Each stage says what it does, and the build shows its percentage.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/progress.sh

stage "[1/4] checking for the compiler, CMake and libraries (scripts/setup.sh demo)"
bash scripts/setup.sh demo
stage "[2/4] configuring the build in build/"
quietly build/configure.log cmake -S . -B build -DCMAKE_BUILD_TYPE=Release
stage "[3/4] building qovhost and the plug-ins (a few minutes; the log is build/build.log)"
build_with_progress build --target qovhost
outdir=${1:-qov-demo}
stage "[4/4] running build/qovhost demo $outdir"
build/qovhost demo "$outdir"
echo "look at $outdir/comparison.png (before and after, with enlarged close-ups) and $outdir/thin-lines.png"
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && command -v xdg-open >/dev/null; then
  xdg-open "$outdir/comparison.png" >/dev/null 2>&1 &
fi
