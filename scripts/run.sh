#!/usr/bin/env bash
# Builds the station and starts it on its simulated network of elements.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
# nms-cli too: the README uses it next, on the same demo plant.
cmake --build build -j "$(nproc)" --target nms nms-cli
exec build/src/nms --demo "$@"
