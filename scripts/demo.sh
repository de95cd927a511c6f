#!/usr/bin/env bash
# The main job: builds the plug-ins and shows what a host sees of each of them.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j "$(nproc)" >/dev/null
build/tools/qov_describe build/QovMLAA1.so build/QovSetMatte1.so build/QovMISetMatte1.so
