#!/usr/bin/env bash
# The release packages as a user gets them (part of scripts/test.sh; needs root for dpkg):
#
# - scripts/package.sh makes both; the .deb holds exactly the expected files, carries the
#   project version, and declares a dependency on the package of every shared library
#   that its programs and plug-ins link; the Windows archive holds win32/ and win64/ with
#   the three DLLs each, of the right machine type, and README.txt.
# - The package's changelog, qovhost --version, its manual page and the GStreamer plug-in
#   carry the project version; the copyright file says that no licence has been granted;
#   the manual pages cite no build-tree path.
# - Installed with dpkg -i, with no FREI0R_PATH and an empty home folder: ffmpeg's frei0r
#   filter, melt's frei0r.qov_mlaa and GStreamer's frei0r-filter-qov-mlaa find the plug-in
#   and give the same bytes as the installed qovhost with the installed FreeFrame
#   plug-in (melt with threads=2 those of qovhost on each half of the frame);
#   `qovhost info QovMLAA1` finds the plug-in by name, and `qovhost list` shows the
#   package's FreeFrame folder only. melt finds the MLT presets of qov_setmatte, and
#   GStreamer's qovsetmatte takes preset=luma-key: both give qovhost --preset's bytes.
# - Installed, GStreamer finds the plug-in qov with nothing set: gst-inspect-1.0 lists its
#   three elements and their properties, qovmlaa gives qovhost's bytes, and a live pipeline
#   with compositor after qovmisetmatte runs to its end.
# - dpkg -r leaves none of the package's files or folders behind, and GStreamer no longer
#   lists the elements.
# - The arm64 package (scripts/package.sh deb-arm64, cross-built; where the cross tools are
#   installed): architecture arm64 and the project version, exactly the FreeFrame plug-ins,
#   their frei0r editions and the documents, in the amd64 package's folders; AArch64
#   libraries exporting their hosts' entry points; Depends names the package of every
#   library they link, libc6 at least at the newest C library version they use. It is not
#   installed: this machine runs no arm64 package.
set -euo pipefail
cd "$(dirname "$0")/../.."
source scripts/stage-report.sh

if [ "$(id -u)" -ne 0 ]; then
  echo "=== package test SKIPPED: installing a package (dpkg -i) needs root; run as root to test it"
  stage_report skipped "package test: installing a package (dpkg -i) needs root"
  exit 0
fi
if dpkg-query -W -f='${Status}' qov 2>/dev/null | grep -q "install ok installed"; then
  echo "=== package test SKIPPED: a qov package is installed already; remove it (dpkg -r qov) to test"
  stage_report skipped "package test: a qov package is installed already"
  exit 0
fi

start=$SECONDS
failures=0
fail() {
  echo "FAILED: $*"
  failures=$((failures + 1))
}

work=$(mktemp -d)
installed=0
cleanup() {
  if [ $installed -eq 1 ]; then dpkg -r qov >/dev/null 2>&1 || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

echo "=== package: scripts/package.sh"
bash scripts/package.sh deb windows
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build-package/CMakeCache.txt)
deb=dist/qov_${version}_$(dpkg --print-architecture).deb
zip=dist/qov-$version-windows.zip
[ -f "$deb" ] || { echo "FAILED: $deb was not made"; exit 1; }
[ -f "$zip" ] || { echo "FAILED: $zip was not made"; exit 1; }

# --- The Debian package's contents and control fields.
expected_files="./usr/bin/qovhost
./usr/lib/freeframe/QovMISetMatte1.so
./usr/lib/freeframe/QovMLAA1.so
./usr/lib/freeframe/QovSetMatte1.so
./usr/lib/frei0r-1/qov_misetmatte.so
./usr/lib/frei0r-1/qov_mlaa.so
./usr/lib/frei0r-1/qov_setmatte.so
./usr/share/doc/qov/README.md
./usr/share/doc/qov/changelog.gz
./usr/share/doc/qov/copyright
./usr/share/doc/qov/examples/qov_mlaa.pd
./usr/share/man/man1/qovhost-apply.1.gz
./usr/share/man/man1/qovhost-bench.1.gz
./usr/share/man/man1/qovhost-demo.1.gz
./usr/share/man/man1/qovhost-info.1.gz
./usr/share/man/man1/qovhost-list.1.gz
./usr/share/man/man1/qovhost-stream.1.gz
./usr/share/man/man1/qovhost.1.gz"
# The MLT presets of the frei0r matte editions, one file a preset.
presets="alpha-from-alpha alpha-from-blue alpha-from-green alpha-from-red defaults inverse-luma-key luma-key
threshold-blue threshold-green threshold-red"
for preset in $presets; do
  expected_files+=$'\n'"./usr/share/mlt-7/presets/filter/frei0r.qov_setmatte/$preset"
  expected_files+=$'\n'"./usr/share/mlt-7/presets/transition/frei0r.qov_misetmatte/$preset"
done
# The GStreamer plug-in, in GStreamer's own plug-in folder.
gst_plugin=$(pkg-config --variable=pluginsdir gstreamer-1.0)/libgstqov.so
expected_files=$(printf '%s\n.%s\n' "$expected_files" "$gst_plugin" | sort)
files=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $NF}' | sort)
[ "$files" = "$expected_files" ] || fail "the package holds
$files
expected
$expected_files"
[ "$(dpkg-deb -f "$deb" Package)" = qov ] || fail "package name $(dpkg-deb -f "$deb" Package)"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "version $(dpkg-deb -f "$deb" Version), expected $version"

# The version in one place: the package's changelog, qovhost, its manual page and the
# GStreamer plug-in carry the project's. No licence is named: none has been granted yet.
dpkg-deb -x "$deb" "$work/unpacked"
changelog_version=$(zcat "$work/unpacked/usr/share/doc/qov/changelog.gz" | dpkg-parsechangelog -l - -S Version)
[ "$changelog_version" = "$version" ] || fail "the package's changelog says $changelog_version, expected $version"
grep -q "No licence has been granted" "$work/unpacked/usr/share/doc/qov/copyright" ||
  fail "the copyright file does not say that no licence has been granted"
zcat "$work/unpacked/usr/share/man/man1/qovhost.1.gz" | grep -q "^\.TH QOVHOST .*\"Qov $version\"" ||
  fail "the manual page does not carry version $version"
# The manual pages speak of installed paths, not of a build tree's.
if zcat "$work/unpacked/usr/share/man/man1/"*.gz | grep -n 'build/\|build-'; then
  fail "the manual pages cite build-tree paths (above)"
fi
if zcat "$work/unpacked/usr/share/man/man1/qovhost-stream.1.gz" | grep -q 'ffmpeg.*out\.mp4' &&
  ! zcat "$work/unpacked/usr/share/man/man1/qovhost-stream.1.gz" | grep -q 'yuv420p'; then
  fail "qovhost-stream's H.264 example lacks -pix_fmt yuv420p"
fi

# Every shared library that a file of the package links must come from a declared package.
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
depends_names=$(tr ',|' '\n\n' <<<"$depends" | awk '{print $1}')
libraries=$(ldconfig -p)
for file in $(find "$work/unpacked" -type f \( -name '*.so' -o -path '*/bin/*' \)); do
  for soname in $(objdump -p "$file" | awk '$1 == "NEEDED" {print $2}'); do
    path=$(awk -v name="$soname" '$1 == name && /x86-64/ {print $NF; exit}' <<<"$libraries")
    [ -n "$path" ] || { fail "${file#$work/unpacked}: cannot find $soname"; continue; }
    # The package database knows a library by its real name or by the linker's path.
    owner=$( (dpkg -S "$(readlink -f "$path")" || dpkg -S "$path") 2>/dev/null | awk -F: 'NR == 1 {print $1}')
    [ -n "$owner" ] || { fail "${file#$work/unpacked}: no package owns $path"; continue; }
    grep -Fxq "$owner" <<<"$depends_names" ||
      fail "${file#$work/unpacked} links $soname (package $owner), which Depends does not name"
  done
done

# --- The Windows archive.
zip_files=$(unzip -Z1 "$zip" | grep -v '/$' | sort)
expected_zip="qov-$version-windows/README.txt"
for flavour in win32 win64; do
  for dll in QovMISetMatte1 QovMLAA1 QovSetMatte1; do expected_zip+=$'\n'"qov-$version-windows/$flavour/$dll.dll"; done
done
[ "$zip_files" = "$(sort <<<"$expected_zip")" ] || fail "the Windows archive holds
$zip_files"
unzip -q "$zip" -d "$work/zip"
for flavour in win32 win64; do
  [ $flavour = win32 ] && format=pei-i386 || format=pei-x86-64
  for dll in "$work/zip/qov-$version-windows/$flavour"/*.dll; do
    objdump -f "$dll" | grep -q "file format $format" || fail "$flavour/$(basename "$dll") is not $format"
  done
done

# --- The arm64 package, made by the cross build.
arm64_note=""
arm64_tools=(clang libc6-dev-arm64-cross libstdc++-12-dev-arm64-cross libgcc-12-dev-arm64-cross binutils-aarch64-linux-gnu)
for package in "${arm64_tools[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    arm64_note="$arm64_note $package"
  fi
done
if [ -n "$arm64_note" ]; then
  arm64_note="the arm64 package not made: not installed:$arm64_note"
  echo "=== package: $arm64_note"
else
  echo "=== package: scripts/package.sh deb-arm64"
  bash scripts/package.sh deb-arm64
  arm64_deb=dist/qov_${version}_arm64.deb
  [ -f "$arm64_deb" ] || { echo "FAILED: $arm64_deb was not made"; exit 1; }
  dpkg-deb -I "$arm64_deb"
  [ "$(dpkg-deb -f "$arm64_deb" Architecture)" = arm64 ] || fail "arm64 package: architecture $(dpkg-deb -f "$arm64_deb" Architecture)"
  [ "$(dpkg-deb -f "$arm64_deb" Package)" = qov ] || fail "arm64 package: name $(dpkg-deb -f "$arm64_deb" Package)"
  [ "$(dpkg-deb -f "$arm64_deb" Version)" = "$version" ] || fail "arm64 package: version $(dpkg-deb -f "$arm64_deb" Version)"
  arm64_expected="./usr/lib/freeframe/QovMISetMatte1.so
./usr/lib/freeframe/QovMLAA1.so
./usr/lib/freeframe/QovSetMatte1.so
./usr/lib/frei0r-1/qov_misetmatte.so
./usr/lib/frei0r-1/qov_mlaa.so
./usr/lib/frei0r-1/qov_setmatte.so
./usr/share/doc/qov/README.md
./usr/share/doc/qov/changelog.gz
./usr/share/doc/qov/copyright
./usr/share/doc/qov/examples/qov_mlaa.pd"
  arm64_files=$(dpkg-deb -c "$arm64_deb" | awk '$1 !~ /^d/ {print $NF}' | sort)
  [ "$arm64_files" = "$arm64_expected" ] || fail "the arm64 package holds
$arm64_files
expected
$arm64_expected"
  dpkg-deb -x "$arm64_deb" "$work/arm64"
  arm64_depends=$(dpkg-deb -f "$arm64_deb" Depends)
  echo "arm64 Depends: $arm64_depends"
  for file in "$work"/arm64/usr/lib/*/*.so; do
    name=${file#$work/arm64}
    aarch64-linux-gnu-objdump -f "$file" | grep -q "file format elf64-littleaarch64" || fail "$name is no AArch64 library"
    case $name in
      */freeframe/*) entry=plugMain ;;
      *) entry=f0r_update ;;
    esac
    aarch64-linux-gnu-objdump -T "$file" | awk '$4 != "*UND*" {print $NF}' | grep -qx "$entry" ||
      fail "$name does not export $entry"
    # The package of each library it links: the cross sysroot's package of the same
    # library is named after it (libc6-arm64-cross: libc6).
    for soname in $(aarch64-linux-gnu-objdump -p "$file" | awk '$1 == "NEEDED" {print $2}'); do
      owner=$(dpkg -S "$(readlink -f "/usr/aarch64-linux-gnu/lib/$soname")" 2>/dev/null | awk -F: 'NR == 1 {print $1}')
      owner=${owner%-arm64-cross}
      [ -n "$owner" ] || { fail "$name links $soname, which no arm64 cross package holds"; continue; }
      tr ',|' '\n\n' <<<"$arm64_depends" | awk '{print $1}' | grep -Fxq "$owner" ||
        fail "$name links $soname (package $owner), which the arm64 package's Depends does not name"
    done
    # The newest C library version it uses, against the libc6 version in Depends.
    glibc=$(aarch64-linux-gnu-objdump -T "$file" | grep -oE 'GLIBC_[0-9.]+' | sed 's/GLIBC_//' | sort -V | tail -1)
    least=$(tr ',' '\n' <<<"$arm64_depends" | sed -n 's/^ *libc6 (>= \([^)]*\))$/\1/p')
    if [ -n "$glibc" ] && { [ -z "$least" ] || dpkg --compare-versions "$least" lt "$glibc"; }; then
      fail "$name uses GLIBC_$glibc, but the arm64 package asks for libc6 ${least:-of any version}"
    fi
  done
  echo "ok arm64 package: $(wc -l <<<"$arm64_files") files, AArch64 libraries, Depends complete"
fi

# --- Installed: the hosts find the plug-ins by themselves.
# A copy elsewhere in the hosts' search folders (a `cmake --install` by hand) would be found
# instead of the package's, and the comparisons below would test that copy.
for folder in /usr/local/lib/frei0r-1 /usr/lib64/frei0r-1 /usr/local/lib64/frei0r-1 /opt/local/lib/frei0r-1 \
  /usr/lib/x86_64-linux-gnu/frei0r-1 /usr/lib32/frei0r-1 /usr/local/lib32/frei0r-1; do
  for copy in "$folder"/qov_*.so; do
    if [ -e "$copy" ]; then
      echo "FAILED: $copy would be found before the package's plug-in; remove it to test the package"
      exit 1
    fi
  done
done
echo "=== package: dpkg -i $deb"
dpkg -i "$deb" >/dev/null
installed=1

# Nothing points the hosts anywhere: no FREI0R_PATH, and a home folder without plug-ins
# (or GStreamer registry) of its own.
mkdir -p "$work/home"
# Each host program is bounded in time: melt has been seen, once, not to return after its
# consumer had finished.
run_clean() { env -u FREI0R_PATH -u MLT_FREI0R_PLUGIN_PATH -u GST_PLUGIN_PATH HOME="$work/home" timeout 300 "$@"; }

if command -v man >/dev/null; then
  [ "$(man -w qovhost 2>/dev/null)" = /usr/share/man/man1/qovhost.1.gz ] || fail "man does not find qovhost's page"
fi
info=$(cd / && run_clean qovhost info QovMLAA1) || fail "qovhost info QovMLAA1 failed"
grep -q /usr/lib/freeframe/QovMLAA1.so <<<"$info" || fail "qovhost info QovMLAA1 did not find /usr/lib/freeframe/QovMLAA1.so:
$info"
[ "$(run_clean qovhost --version)" = "qovhost (Qov) $version" ] || fail "qovhost --version: $(run_clean qovhost --version)"
# qovhost list shows the package's FreeFrame folder and its three plug-ins, nothing of /usr/bin.
list=$(cd / && run_clean qovhost list) || fail "qovhost list failed"
expected_list="/usr/lib/freeframe (the installed plug-ins)
  QovMISetMatte1    zq17  3.996     QovMISetMatte1.so
  QovMLAA1          zq4q  1.891     QovMLAA1.so
  QovSetMatte1      zq2b  3.861     QovSetMatte1.so"
[ "$list" = "$expected_list" ] || fail "qovhost list shows
$list"

# Three frames of ffmpeg's test picture, 4-byte pixels in the frei0r plug-ins' order (B, G,
# R, A), 16 pixels wide multiples so that ffmpeg passes rows without padding. melt gets a
# fourth: it leaves out the last frame of a file that does not state its length.
width=320 height=240 frames=3
frame_bytes=$((width * height * 4))
ffmpeg -hide_banner -loglevel error -nostdin -f lavfi -i "testsrc=size=${width}x$height:rate=25" \
  -frames:v $((frames + 1)) -f rawvideo -pix_fmt bgra "$work/in4.bgra"
head -c $((frame_bytes * frames)) "$work/in4.bgra" >"$work/in.bgra"
# The reference: the installed qovhost and FreeFrame plug-in at full strength.
run_clean qovhost stream QovMLAA1 --size ${width}x$height --set Strength=1 <"$work/in.bgra" >"$work/qovhost.bgra"
[ "$(stat -c %s "$work/qovhost.bgra")" -eq $((frame_bytes * frames)) ] || fail "qovhost stream wrote a short output"
if cmp -s "$work/in.bgra" "$work/qovhost.bgra"; then
  fail "QovMLAA1 left the test picture unchanged: nothing is compared"
fi

compare() {  # NAME FILE
  if [ ! -s "$2" ]; then
    fail "$1 wrote nothing"
  elif cmp -s "$work/qovhost.bgra" "$2"; then
    echo "ok $1: the same $(stat -c %s "$2") bytes as qovhost"
  else
    fail "$1's output differs from qovhost's ($(cmp "$work/qovhost.bgra" "$2" 2>&1 | head -1))"
  fi
}

run_clean ffmpeg -hide_banner -loglevel error -nostdin -f rawvideo -pix_fmt bgra -s ${width}x$height -i "$work/in.bgra" \
  -vf "frei0r=qov_mlaa:1.0|n|n|n|n" -f rawvideo -pix_fmt bgra "$work/ffmpeg.bgra" || fail "ffmpeg -vf frei0r=qov_mlaa failed"
compare "ffmpeg -vf frei0r=qov_mlaa" "$work/ffmpeg.bgra"

# melt reads and writes the frames losslessly (raw video in NUT files) in a profile of
# their size.
ffmpeg -hide_banner -loglevel error -nostdin -f rawvideo -pix_fmt bgra -s ${width}x$height -r 25 -i "$work/in4.bgra" \
  -c:v rawvideo -pix_fmt bgra "$work/in.nut"
cat >"$work/profile" <<PROFILE
description=test frames
frame_rate_num=25
frame_rate_den=1
width=$width
height=$height
progressive=1
sample_aspect_num=1
sample_aspect_den=1
display_aspect_num=$width
display_aspect_den=$height
colorspace=709
PROFILE
run_clean melt -quiet -profile "$work/profile" "$work/in.nut" -filter frei0r.qov_mlaa 0=1 \
  -consumer "avformat:$work/melt.nut" vcodec=rawvideo pix_fmt=bgra an=1 >/dev/null 2>&1 || fail "melt -filter frei0r.qov_mlaa failed"
[ ! -f "$work/melt.nut" ] || ffmpeg -hide_banner -loglevel error -nostdin -i "$work/melt.nut" \
  -frames:v $frames -f rawvideo -pix_fmt bgra "$work/melt.bgra"
compare "melt -filter frei0r.qov_mlaa" "$work/melt.bgra"

# melt's threads=2 cuts every frame into two slices of rows, which two threads antialias at
# once on one instance, each as a frame of its own: the reference is qovhost on the halves.
half=$((height / 2))
for part in top bottom; do
  [ $part = top ] && y=0 || y=$half
  ffmpeg -hide_banner -loglevel error -nostdin -f rawvideo -pix_fmt bgra -s ${width}x$height -i "$work/in.bgra" \
    -vf "crop=$width:$half:0:$y" -f rawvideo -pix_fmt bgra "$work/$part.bgra"
  run_clean qovhost stream QovMLAA1 --size ${width}x$half --set Strength=1 <"$work/$part.bgra" >"$work/$part.out"
done
ffmpeg -hide_banner -loglevel error -nostdin -f rawvideo -pix_fmt bgra -s ${width}x$half -i "$work/top.out" \
  -f rawvideo -pix_fmt bgra -s ${width}x$half -i "$work/bottom.out" -filter_complex vstack \
  -f rawvideo -pix_fmt bgra "$work/slices.bgra"
run_clean melt -quiet -profile "$work/profile" "$work/in.nut" -filter frei0r.qov_mlaa 0=1 threads=2 \
  -consumer "avformat:$work/melt2.nut" vcodec=rawvideo pix_fmt=bgra an=1 >/dev/null 2>&1 ||
  fail "melt -filter frei0r.qov_mlaa threads=2 failed"
[ ! -f "$work/melt2.nut" ] || ffmpeg -hide_banner -loglevel error -nostdin -i "$work/melt2.nut" \
  -frames:v $frames -f rawvideo -pix_fmt bgra "$work/melt2.bgra"
if [ ! -s "$work/melt2.bgra" ]; then
  fail "melt -filter frei0r.qov_mlaa threads=2 wrote nothing"
elif cmp -s "$work/slices.bgra" "$work/melt2.bgra"; then
  echo "ok melt -filter frei0r.qov_mlaa threads=2: the same bytes as qovhost on each half"
else
  fail "melt threads=2's output differs from qovhost's on the halves ($(cmp "$work/slices.bgra" "$work/melt2.bgra" 2>&1 | head -1))"
fi

# The matte presets as the package installs them: melt finds the MLT preset files by
# itself, and GStreamer's qovsetmatte takes the preset property, each giving the bytes of
# the installed qovhost with the same preset.
run_clean qovhost stream QovSetMatte1 --size ${width}x$height --preset luma-key <"$work/in.bgra" >"$work/qovhost.bgra"
run_clean melt -quiet -profile "$work/profile" "$work/in.nut" -filter frei0r.qov_setmatte properties=luma-key \
  -consumer "avformat:$work/melt-key.nut" vcodec=rawvideo pix_fmt=bgra an=1 >/dev/null 2>&1 ||
  fail "melt -filter frei0r.qov_setmatte properties=luma-key failed"
[ ! -f "$work/melt-key.nut" ] || ffmpeg -hide_banner -loglevel error -nostdin -i "$work/melt-key.nut" \
  -frames:v $frames -f rawvideo -pix_fmt bgra "$work/melt-key.bgra"
compare "melt -filter frei0r.qov_setmatte properties=luma-key" "$work/melt-key.bgra"
run_clean gst-launch-1.0 -q filesrc location="$work/in.bgra" \
  ! rawvideoparse format=bgra width=$width height=$height framerate=25/1 \
  ! qovsetmatte preset=luma-key ! filesink location="$work/gst-key.bgra" >/dev/null 2>&1 ||
  fail "gst-launch-1.0 ... qovsetmatte preset=luma-key failed"
compare "GStreamer qovsetmatte preset=luma-key" "$work/gst-key.bgra"
# Back to the antialiased reference for the comparisons below.
run_clean qovhost stream QovMLAA1 --size ${width}x$height --set Strength=1 <"$work/in.bgra" >"$work/qovhost.bgra"

if run_clean gst-inspect-1.0 frei0r-filter-qov-mlaa >"$work/gst-inspect.txt" 2>&1; then
  echo "ok gst-inspect-1.0 frei0r-filter-qov-mlaa: $(grep -m1 -i 'long-name' "$work/gst-inspect.txt" | xargs)"
  run_clean gst-launch-1.0 -q filesrc location="$work/in.bgra" \
    ! rawvideoparse format=bgra width=$width height=$height framerate=25/1 \
    ! frei0r-filter-qov-mlaa strength=1 ! filesink location="$work/gstreamer.bgra" >/dev/null 2>&1 ||
    fail "gst-launch-1.0 ... frei0r-filter-qov-mlaa failed"
  compare "GStreamer frei0r-filter-qov-mlaa" "$work/gstreamer.bgra"
else
  fail "gst-inspect-1.0 does not find frei0r-filter-qov-mlaa: $(tail -1 "$work/gst-inspect.txt")"
fi

# The GStreamer plug-in qov: its elements and properties, qovmlaa on the same frames, and a
# live key into compositor (the sources stop after 60 frames, two seconds).
if run_clean gst-inspect-1.0 qov >"$work/gst-inspect-qov.txt" 2>&1; then
  for element in qovmlaa qovsetmatte qovmisetmatte; do
    grep -q "^  $element: " "$work/gst-inspect-qov.txt" || fail "gst-inspect-1.0 qov does not list $element"
  done
  for property in qovmlaa:strength qovsetmatte:invert-blue qovmisetmatte:switch-inputs; do
    run_clean gst-inspect-1.0 "${property%%:*}" >"$work/gst-inspect-element.txt" 2>&1 || true
    grep -q "^  ${property#*:} " "$work/gst-inspect-element.txt" ||
      fail "gst-inspect-1.0 ${property%%:*} shows no property ${property#*:}"
  done
  grep -q "^  Version  *$version\$" "$work/gst-inspect-qov.txt" || fail "gst-inspect-1.0 qov does not show version $version"
  grep -q "^  License  *Proprietary\$" "$work/gst-inspect-qov.txt" || fail "gst-inspect-1.0 qov shows another licence"
  echo "ok gst-inspect-1.0 qov: $(grep -c '^  qov' "$work/gst-inspect-qov.txt") elements"
  run_clean gst-launch-1.0 -q filesrc location="$work/in.bgra" \
    ! rawvideoparse format=bgra width=$width height=$height framerate=25/1 \
    ! qovmlaa strength=1 ! filesink location="$work/qovmlaa.bgra" >/dev/null 2>&1 ||
    fail "gst-launch-1.0 ... qovmlaa failed"
  compare "GStreamer qovmlaa" "$work/qovmlaa.bgra"
  if run_clean timeout 60 gst-launch-1.0 compositor name=mix ! videoconvert ! fakesink sync=true \
    videotestsrc is-live=true num-buffers=60 pattern=pinwheel ! video/x-raw,width=320,height=240,framerate=30/1 ! mix.sink_0 \
    qovmisetmatte name=key alpha-amount=0 red-amount=0.0001 green-amount=0.0001 blue-amount=0.0001 \
    invert-all=false invert-alpha=false invert-red=false invert-green=false invert-blue=false ! mix.sink_1 \
    videotestsrc is-live=true num-buffers=60 pattern=smpte ! video/x-raw,width=320,height=240,framerate=30/1 ! key.colour \
    videotestsrc is-live=true num-buffers=60 pattern=ball ! video/x-raw,width=320,height=240,framerate=30/1 ! key.mask \
    >"$work/gst-live.txt" 2>&1 && grep -q "Got EOS" "$work/gst-live.txt"; then
    echo "ok live pipeline: qovmisetmatte into compositor, to its end"
  else
    fail "the live pipeline with qovmisetmatte and compositor did not run to its end: $(tail -3 "$work/gst-live.txt")"
  fi
else
  fail "gst-inspect-1.0 does not find the plug-in qov: $(tail -1 "$work/gst-inspect-qov.txt")"
fi

# The documents' recipes that need the installed package.
echo "=== package: the documents' recipes for the installed package"
bash tests/docs/run_recipes.sh --package build-package || fail "a recipe for the installed package failed"

# --- Removed: nothing is left.
echo "=== package: dpkg -r qov"
dpkg -r qov >/dev/null
installed=0
status=$(dpkg-query -W -f='${Status}' qov 2>/dev/null || true)
case $status in
  "" | *" not-installed") ;;
  *) fail "dpkg lists qov as '$status' after dpkg -r" ;;
esac
for file in $expected_files /usr/lib/freeframe /usr/share/doc/qov /usr/share/mlt-7/presets/filter/frei0r.qov_setmatte \
  /usr/share/mlt-7/presets/transition/frei0r.qov_misetmatte; do
  if [ -e "/${file#./}" ]; then fail "/${file#./} is left after dpkg -r"; fi
done
if run_clean gst-inspect-1.0 frei0r-filter-qov-mlaa >/dev/null 2>&1; then
  fail "GStreamer still lists frei0r-filter-qov-mlaa after dpkg -r"
fi
if run_clean gst-inspect-1.0 qov >/dev/null 2>&1; then
  fail "GStreamer still lists the plug-in qov after dpkg -r"
fi

echo "=== package test: $((SECONDS - start)) s"
if [ $failures -ne 0 ]; then
  echo "=== package test FAILED ($failures)"
  exit 1
fi
echo "=== package test passed"
if [ -n "$arm64_note" ]; then
  stage_report partly "package test: the .deb installed and used by ffmpeg, melt and GStreamer (frei0r and qov), removed; the Windows archive; $arm64_note"
else
  stage_report ran "package test: the .deb installed and used by ffmpeg, melt and GStreamer (frei0r and qov), removed; the Windows archive; the arm64 package's contents and dependencies"
fi
