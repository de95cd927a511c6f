#!/usr/bin/env bash
# qovhost stream between two ffmpeg processes, as in the README: a generated clip is
# decoded to raw frames, antialiased, and encoded again; the result must have every frame.
# Usage: ffmpeg_pipeline_test.sh QOVHOST PLUGIN FFMPEG SCRATCH_DIR
set -euo pipefail
qovhost=$1 plugin=$2 ffmpeg=$3 scratch=$4
size=96x64
frames=12
rm -rf "$scratch" && mkdir -p "$scratch"
"$ffmpeg" -loglevel error -f lavfi -i "testsrc=size=$size:rate=24" -frames:v $frames -c:v ffv1 "$scratch/in.mkv"
"$ffmpeg" -loglevel error -i "$scratch/in.mkv" -f rawvideo -pix_fmt bgra - |
  "$qovhost" stream "$plugin" --size $size |
  "$ffmpeg" -loglevel error -f rawvideo -pix_fmt bgra -s $size -i - -c:v ffv1 "$scratch/out.mkv"
# Decoded again, the output holds exactly as many frames as the input.
bytes=$("$ffmpeg" -loglevel error -i "$scratch/out.mkv" -f rawvideo -pix_fmt bgra - | wc -c)
expected=$((96 * 64 * 4 * frames))
[ "$bytes" -eq "$expected" ] || { echo "got $bytes bytes of frames, expected $expected" >&2; exit 1; }
# A 24-bit pipeline as well.
"$ffmpeg" -loglevel error -i "$scratch/in.mkv" -f rawvideo -pix_fmt bgr24 - |
  "$qovhost" stream "$plugin" --size $size --depth 24 --set Strength=0.5 > "$scratch/out24.raw"
bytes=$(wc -c < "$scratch/out24.raw")
[ "$bytes" -eq $((96 * 64 * 3 * frames)) ] || { echo "24-bit: got $bytes bytes" >&2; exit 1; }
rm -rf "$scratch"
echo "ffmpeg pipeline: $frames frames of $size through $(basename "$plugin") at 32 and 24 bits"
