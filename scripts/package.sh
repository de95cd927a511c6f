#!/usr/bin/env bash
# Makes the release packages in dist/:
#
#   dist/qov_VERSION_ARCH.deb         the Debian package (frei0r and FreeFrame plug-ins, qovhost)
#   dist/qov-VERSION-windows.zip      the Windows DLLs: win32/ and win64/, with README.txt
#
#   scripts/package.sh [deb|windows]...    # both when none is named
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
    deb | windows) ;;
    *) echo "package: unknown package '$kind' (deb or windows)" >&2; exit 2 ;;
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
    windows) make_windows_zip ;;
  esac
done
