#!/usr/bin/env bash
# Makes the release packages in dist/:
#
#   dist/qov_VERSION_ARCH.deb         the Debian package (frei0r and FreeFrame plug-ins, qovhost)
#   dist/qov_VERSION_arm64.deb        the same for 64-bit ARM (deb-arm64, cross-built here): the
#                                     FreeFrame plug-ins and their frei0r editions
#   dist/qov-VERSION-windows.zip      the Windows DLLs: win32/ and win64/, with README.txt
#
#   scripts/package.sh [deb|deb-arm64|windows]...    # deb and windows when none is named
#
# The Debian package is CPack's, from a Release build of the native plug-ins and qovhost in
# build-package/; the Windows DLLs come from scripts/build-windows.sh. VERSION is the
# project version (CMakeLists.txt). Installs first what a fresh Debian machine lacks for
# the packages named, and nothing else (scripts/setup.sh deb, windows). Each stage says
# what it does, and the builds show their percentage.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/progress.sh

kinds=("$@")
[ ${#kinds[@]} -eq 0 ] && kinds=(deb windows)
for kind in "${kinds[@]}"; do
  case $kind in
    deb | deb-arm64 | windows) ;;
    *) echo "package: unknown package '$kind' (deb, deb-arm64 or windows)" >&2; exit 2 ;;
  esac
done
stage "checking for what ${kinds[*]} needs (scripts/setup.sh ${kinds[*]})"
bash scripts/setup.sh "${kinds[@]}"
mkdir -p dist

# The project version as CMake read it in the build tree $1.
project_version() {
  sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$1/CMakeCache.txt"
}

make_deb() {
  local dir=build-package
  stage "deb: [1/3] configuring $dir"
  quietly "$dir/configure.log" cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Release -DQOV_BUILD_TESTS=OFF \
    -DQOV_BUILD_BENCH=OFF -DQOV_BUILD_TOOLS=ON
  stage "deb: [2/3] building the plug-ins, their frei0r editions, the GStreamer plug-in, qovhost and its manual pages (the log is $dir/build.log)"
  build_with_progress "$dir"
  stage "deb: [3/3] packing with CPack"
  rm -rf "$dir/packages"
  # CPack warns about the maintainer scripts that CMakeLists.txt names so that there are
  # none; its output is shown when it fails.
  quietly "$dir/cpack.log" bash -c 'cd "$1" && cpack -G DEB -B "$PWD/packages"' cpack "$dir"
  local deb
  for deb in "$dir"/packages/*.deb; do
    mv -f "$deb" dist/
    echo "dist/$(basename "$deb")"
  done
}

# The Depends field of a cross-built package whose libraries are $@: for each shared
# library they link, the build machine's package of the same library (Debian names them
# alike on every architecture), at the least version that has every symbol version they
# use, as that package's symbols file says (a symbol version means the same on every
# architecture). dpkg-shlibdeps cannot tell it here: the cross sysroot's packages name
# themselves, not the target's packages, as the libraries' owners.
cross_depends() {
  local objdump=aarch64-linux-gnu-objdump arch soname tag path owner package symbols version
  arch=$(dpkg --print-architecture)
  declare -A least=()
  while read -r soname tag; do
    path=$(ldconfig -p | awk -v name="$soname" '$1 == name && /x86-64/ {print $NF; exit}')
    owner=$( (dpkg -S "$(readlink -f "$path")" || dpkg -S "$path") 2>/dev/null | awk -F: 'NR == 1 {print $1}')
    if [ -z "$path" ] || [ -z "$owner" ]; then
      echo "package: no package of this machine holds $soname, which the arm64 libraries link" >&2
      return 1
    fi
    package=${owner%%:*}
    [ -n "${least[$package]+set}" ] || least[$package]=""
    [ "$tag" = - ] && continue
    symbols=/var/lib/dpkg/info/$package:$arch.symbols
    [ -f "$symbols" ] || symbols=/var/lib/dpkg/info/$package.symbols
    version=$(awk -v entry="$tag@$tag" '$1 == entry {print $2; exit}' "$symbols" 2>/dev/null)
    if [ -z "$version" ]; then
      echo "package: $package's symbols file does not name $tag, which the arm64 libraries use" >&2
      return 1
    fi
    if [ -z "${least[$package]}" ] || dpkg --compare-versions "$version" gt "${least[$package]}"; then
      least[$package]=$version
    fi
  done < <(for file in "$@"; do
    "$objdump" -p "$file" | awk '
      $1 == "NEEDED" { print $2, "-" }
      /^Version References:/ { refs = 1; next }
      refs && $1 == "required" { library = $3; sub(/:$/, "", library); next }
      refs && NF == 4 && $1 ~ /^0x/ { print library, $4; next }
      refs { refs = 0 }'
  done | sort -u)
  for package in $(printf '%s\n' "${!least[@]}" | sort); do
    if [ -n "${least[$package]}" ]; then
      printf '%s (>= %s)\n' "$package" "${least[$package]}"
    else
      echo "$package"
    fi
  done | paste -sd, | sed 's/,/, /g'
}

# The Debian package for 64-bit ARM (Raspberry Pi OS 64-bit, Debian and Ubuntu arm64),
# cross-built with clang (cmake/aarch64-linux-gnu.cmake) in build-package-arm64/: the
# FreeFrame plug-ins and their frei0r editions in the same folders as the amd64 package's,
# and the same documents. Left out: qovhost and its manual pages, and the GStreamer plug-in,
# whose libraries (libpng, GStreamer) exist for arm64 here only as packages of a foreign
# architecture; and the MLT presets, which a program of the build writes, and a cross
# build's programs do not run here.
make_deb_arm64() {
  local dir=build-package-arm64
  stage "deb-arm64: [1/3] configuring $dir (cross build with clang)"
  quietly "$dir/configure.log" cmake -S . -B "$dir" -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/aarch64-linux-gnu.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DQOV_BUILD_TESTS=OFF -DQOV_BUILD_BENCH=OFF -DQOV_BUILD_TOOLS=OFF
  stage "deb-arm64: [2/3] building the plug-ins and their frei0r editions (the log is $dir/build.log)"
  build_with_progress "$dir"
  stage "deb-arm64: [3/3] packing with CPack"
  local depends
  depends=$(cross_depends "$dir"/Qov*.so "$dir"/frei0r-1/*.so)
  rm -rf "$dir/packages"
  quietly "$dir/cpack.log" bash -c 'cd "$1" && shift && cpack -G DEB -B "$PWD/packages" "$@"' cpack "$dir" \
    -D CPACK_DEBIAN_PACKAGE_ARCHITECTURE=arm64 \
    -D CPACK_DEBIAN_PACKAGE_SHLIBDEPS=OFF \
    -D "CPACK_PACKAGE_DESCRIPTION_SUMMARY=antialiasing and matte video effects for FreeFrame and frei0r" \
    -D "CPACK_DEBIAN_PACKAGE_DEPENDS=$depends" \
    -D "CPACK_DEBIAN_PACKAGE_DESCRIPTION=Three real-time video effects: QovMLAA1 antialiases a frame along its colour \
edges, QovSetMatte1 replaces its alpha with a mask of its own bytes, and QovMISetMatte1 takes the mask from a \
second input.

The effects come as FreeFrame plug-ins (/usr/lib/freeframe), for Pure Data with Gem among other hosts, and \
as frei0r plug-ins that ffmpeg, MLT (melt, Kdenlive, Shotcut) and GStreamer find without configuration \
(qov_mlaa, qov_setmatte, qov_misetmatte). This build for 64-bit ARM has neither the command-line host \
qovhost nor the GStreamer elements of the amd64 package."
  local deb
  for deb in "$dir"/packages/*.deb; do
    mv -f "$deb" dist/
    echo "dist/$(basename "$deb")"
  done
}

make_windows_zip() {
  stage "windows: building the 32- and 64-bit DLLs (scripts/build-windows.sh)"
  bash scripts/build-windows.sh win32 win64 >/dev/null
  stage "windows: packing the archive"
  local version name staging
  version=$(project_version build-windows-win64)
  name=qov-$version-windows
  staging=$(mktemp -d)
  mkdir -p "$staging/$name/win32" "$staging/$name/win64"
  for dll in QovMLAA1 QovSetMatte1 QovMISetMatte1; do
    cp build-windows-win32/$dll.dll "$staging/$name/win32/"
    cp build-windows-win64/$dll.dll "$staging/$name/win64/"
  done
  # Windows line endings, so that every text editor there shows the lines.
  sed 's/$/\r/' >"$staging/$name/README.txt" <<TEXT
Qov $version - FreeFrame video-effect plug-ins for Windows

  QovMLAA1.dll        antialiases the frame along its colour edges
  QovSetMatte1.dll    replaces the alpha with a mask of the frame's own bytes
  QovMISetMatte1.dll  the colour of one input with the mask of another

Which folder
  win64\\  for 64-bit hosts (most current ones; Pure Data and Gem on 64-bit Windows)
  win32\\  for 32-bit hosts
A host loads only DLLs of its own bitness: the other folder's DLLs are ignored or
refused. The bitness of Windows itself does not decide it: a 32-bit host on 64-bit
Windows needs the win32 DLLs.

How to tell a host's bitness
  - Start the host, open the Task Manager (Ctrl+Shift+Esc), tab "Details": the
    "Platform" column (add it with a right click on the column headers, "Select
    columns") says "32 bit" or "64 bit". On older Windows, 32-bit programs carry
    "*32" or "(32 bit)" after their name.
  - Programs installed under "C:\\Program Files (x86)" are 32-bit; those under
    "C:\\Program Files" on 64-bit Windows are normally 64-bit.
  - On 32-bit Windows every host is 32-bit.

Installing
Copy the three DLLs of the right folder into the folder where the host looks for
FreeFrame plug-ins (a setting of the host, often a "FreeFrame" or "Plugins" folder)
and restart the host. Nothing else needs to be installed: the DLLs need only
Windows' own system DLLs, and any x86 processor with SSE2.
TEXT
  rm -f "dist/$name.zip"
  (cd "$staging" && zip -qr -X "$OLDPWD/dist/$name.zip" "$name")
  rm -rf "$staging"
  echo "dist/$name.zip"
}

for kind in "${kinds[@]}"; do
  case $kind in
    deb) make_deb ;;
    deb-arm64) make_deb_arm64 ;;
    windows) make_windows_zip ;;
  esac
done
