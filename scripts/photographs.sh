#!/usr/bin/env bash
# Puts the photographs that the benchmarks antialias into a directory and prints its name:
# four photographs with fine texture that Debian ships with scikit-image (python3-skimage),
#   gravel.png           gravel, 512x512 grey (CC0)
#   grass.png            grass, 512x512 grey (CC0)
#   chelsea.png          a cat's fur, 451x300 colour (CC0)
#   motorcycle_left.png  a motorcycle in a workshop, 741x500 colour (Middlebury stereo data,
#                        in Debian's main archive under the package's terms)
# When the package is installed its own files are used; otherwise the package is fetched
# with apt-get download and only these files (and its copyright file) are unpacked, so that
# none of its many Python dependencies is installed.
#
#   scripts/photographs.sh [DIR]    # DIR: where to unpack (default build/photographs)
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build/photographs}
files=(gravel.png grass.png chelsea.png motorcycle_left.png)
installed=/usr/lib/python3/dist-packages/skimage/data

has_all() {
  for f in "${files[@]}"; do [ -f "$1/$f" ] || return 1; done
}

if has_all "$installed"; then
  echo "$installed"
  exit 0
fi
if ! has_all "$dir"; then
  unpack=$(mktemp -d)
  chmod a+rwx "$unpack"  # apt-get downloads as its own user
  trap 'rm -rf "$unpack"' EXIT
  if ! (cd "$unpack" && apt-get download -qq python3-skimage >/dev/null); then
    echo "photographs: apt-get download python3-skimage failed (run apt-get update first?)" >&2
    exit 1
  fi
  dpkg-deb -x "$unpack"/python3-skimage_*.deb "$unpack/root"
  mkdir -p "$dir"
  for f in "${files[@]}"; do cp "$unpack/root$installed/$f" "$dir/"; done
  cp "$unpack/root/usr/share/doc/python3-skimage/copyright" "$dir/"
fi
cd "$dir" && pwd
