#!/usr/bin/env bash
# The main job: builds qovhost and the plug-ins, and runs `qovhost demo`, which antialiases
# the bundled scene with QovMLAA1, prints PSNR against the scene's supersampled ground truth
# and the time per frame, and writes the pictures into qov-demo/ (or the directory given).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh demo
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j "$(nproc)" --target qovhost >/dev/null
outdir=${1:-qov-demo}
build/qovhost demo "$outdir"
echo "look at $outdir/comparison.png: before and after, with enlarged close-ups"
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && command -v xdg-open >/dev/null; then
  xdg-open "$outdir/comparison.png" >/dev/null 2>&1 &
fi
