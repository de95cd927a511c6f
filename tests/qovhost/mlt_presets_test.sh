#!/usr/bin/env bash
# The MLT preset files of the frei0r matte edition hold the table's presets exactly: melt
# with `-filter frei0r.qov_setmatte properties=NAME`, finding the presets through
# MLT_PRESETS_PATH and the plug-in through FREI0R_PATH, gives the bytes of
# `qovhost stream QovSetMatte1 --preset NAME` for every preset. melt reads and writes the
# frames losslessly (raw video in NUT files) in a profile of their size. The transition
# frei0r.qov_misetmatte finds its presets too.
# Usage: mlt_presets_test.sh QOVHOST FREI0R_DIR MLT_PRESETS_DIR FFMPEG MELT SCRATCH_DIR
set -euo pipefail
qovhost=$1 frei0r_dir=$2 presets_dir=$3 ffmpeg=$4 melt=$5 scratch=$6
width=64 height=48 frames=2
rm -rf "$scratch" && mkdir -p "$scratch"
# One frame more for melt, which leaves out the last frame of a file that does not state its length.
"$ffmpeg" -loglevel error -nostdin -f lavfi -i "testsrc=size=${width}x$height:rate=25" -frames:v $((frames + 1)) \
  -f rawvideo -pix_fmt bgra "$scratch/in4.bgra"
head -c $((width * height * 4 * frames)) "$scratch/in4.bgra" >"$scratch/in.bgra"
"$ffmpeg" -loglevel error -nostdin -f rawvideo -pix_fmt bgra -s ${width}x$height -r 25 -i "$scratch/in4.bgra" \
  -c:v rawvideo -pix_fmt bgra "$scratch/in.nut"
printf '%s\n' description=test frame_rate_num=25 frame_rate_den=1 width=$width height=$height progressive=1 \
  sample_aspect_num=1 sample_aspect_den=1 display_aspect_num=$width display_aspect_den=$height colorspace=709 \
  >"$scratch/profile"
# melt 7.12 now and then never returns after its consumer has finished: its main loop
# sleeps on, the consumer's and the plug-in's threads gone. Such a run is cut off after a
# minute and made once more; a second hang fails the test.
melt_run() {
  local attempt status
  for attempt in 1 2; do
    status=0
    FREI0R_PATH=$frei0r_dir MLT_PRESETS_PATH=$presets_dir timeout 60 "$melt" "$@" >/dev/null 2>&1 || status=$?
    [ $status -ne 124 ] && return $status
    echo "melt did not return within a minute (attempt $attempt): $*" >&2
  done
  return 124
}
presets=$(ls "$presets_dir/filter/frei0r.qov_setmatte")
[ "$(wc -w <<<"$presets")" -eq 10 ] || { echo "expected 10 presets, found: $presets" >&2; exit 1; }
for preset in $presets; do
  "$qovhost" stream QovSetMatte1 --size ${width}x$height --preset "$preset" <"$scratch/in.bgra" >"$scratch/qovhost.bgra"
  melt_run -quiet -profile "$scratch/profile" "$scratch/in.nut" -filter frei0r.qov_setmatte properties="$preset" \
    -consumer "avformat:$scratch/melt.nut" vcodec=rawvideo pix_fmt=bgra an=1
  "$ffmpeg" -loglevel error -nostdin -y -i "$scratch/melt.nut" -frames:v $frames -f rawvideo -pix_fmt bgra "$scratch/melt.bgra"
  cmp "$scratch/qovhost.bgra" "$scratch/melt.bgra" || { echo "preset $preset: melt differs from qovhost" >&2; exit 1; }
done
# The transition's presets are found under its own type: properties=luma-key on
# frei0r.qov_misetmatte gives what the preset file's values give when set one by one.
"$ffmpeg" -loglevel error -nostdin -f lavfi -i "testsrc2=size=${width}x$height:rate=25" -frames:v $((frames + 1)) \
  -c:v rawvideo -pix_fmt bgra "$scratch/mask.nut"
transition() {  # OUTPUT PROPERTIES...
  local output=$1
  shift
  melt_run -quiet -profile "$scratch/profile" "$scratch/in.nut" -track "$scratch/mask.nut" \
    -transition frei0r.qov_misetmatte a_track=0 b_track=1 "$@" \
    -consumer "avformat:$scratch/$output.nut" vcodec=rawvideo pix_fmt=bgra an=1
  "$ffmpeg" -loglevel error -nostdin -y -i "$scratch/$output.nut" -frames:v $frames -f rawvideo -pix_fmt bgra \
    "$scratch/$output.bgra"
}
transition by-name properties=luma-key
mapfile -t values < <(grep -v '^#' "$presets_dir/transition/frei0r.qov_misetmatte/luma-key")
transition by-value "${values[@]}"
transition untouched
cmp "$scratch/by-name.bgra" "$scratch/by-value.bgra" ||
  { echo "the transition's luma-key preset differs from its values" >&2; exit 1; }
! cmp -s "$scratch/by-name.bgra" "$scratch/untouched.bgra" || { echo "the transition's preset changed nothing" >&2; exit 1; }

# The presets change the picture: the luma key and the defaults differ.
"$qovhost" stream QovSetMatte1 --size ${width}x$height --preset luma-key <"$scratch/in.bgra" >"$scratch/a.bgra"
"$qovhost" stream QovSetMatte1 --size ${width}x$height <"$scratch/in.bgra" >"$scratch/b.bgra"
! cmp -s "$scratch/a.bgra" "$scratch/b.bgra" || { echo "the luma key changed nothing" >&2; exit 1; }
rm -rf "$scratch"
echo "MLT presets: melt gives qovhost's bytes for each of the $(wc -w <<<"$presets") presets"
