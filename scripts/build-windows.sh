#!/usr/bin/env bash
# Builds the three plug-ins as 32-bit Windows DLLs with the MinGW-w64 cross compiler:
# build-windows/QovMLAA1.dll, QovSetMatte1.dll and QovMISetMatte1.dll. Installs what a
# fresh Debian machine lacks first (scripts/setup.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh test

dir=build-windows
cmake -S . -B "$dir" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake -DCMAKE_BUILD_TYPE=Release \
  -DQOV_BUILD_BENCH=OFF -DQOV_BUILD_TOOLS=OFF >/dev/null
cmake --build "$dir" -j "$(nproc)" --target QovMLAA1 QovSetMatte1 QovMISetMatte1 >/dev/null
ls -l "$dir"/QovMLAA1.dll "$dir"/QovSetMatte1.dll "$dir"/QovMISetMatte1.dll
