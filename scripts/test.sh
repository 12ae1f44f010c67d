#!/usr/bin/env bash
# Builds the station and runs every test: the normal build, then the same tests under
# AddressSanitizer and UndefinedBehaviorSanitizer, then the fuzz targets for a bounded run.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
jobs=$(nproc)

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DNMS_WERROR=ON >/dev/null
cmake --build build -j "$jobs"

cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DNMS_WERROR=ON -DNMS_SANITIZE=ON \
      -DNMS_BUILD_BENCH=OFF >/dev/null
cmake --build build-asan -j "$jobs"

if [ -d fuzz ] && ls fuzz/*.cpp >/dev/null 2>&1; then
  cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER=clang++-14 \
        -DNMS_BUILD_FUZZ=ON -DNMS_BUILD_GUI=OFF -DNMS_BUILD_BENCH=OFF >/dev/null
  # Only the fuzz targets: the rest of the tree is built and tested above with the usual compiler.
  fuzz_targets=$(for f in fuzz/fuzz_*.cpp; do basename "$f" .cpp; done)
  # shellcheck disable=SC2086
  cmake --build build-fuzz -j "$jobs" --target $fuzz_targets
  for f in build-fuzz/fuzz/fuzz_*; do
    [ -x "$f" ] || continue
    name=$(basename "$f")
    corpus="fuzz/corpus/${name#fuzz_}"
    work=$(mktemp -d)
    [ -d "$corpus" ] && cp -r "$corpus"/. "$work"/
    echo "fuzzing $name"
    "$f" -runs=20000 -max_len=4096 "$work" >"$work.log" 2>&1 || { cat "$work.log"; exit 1; }
    rm -rf "$work" "$work.log"
  done
fi

export QT_QPA_PLATFORM=offscreen
ASAN_OPTIONS=detect_leaks=1 ctest --test-dir build-asan -j "$jobs" --output-on-failure --timeout 300 -L '^(ports|protocol|store|station|editor|discovery|diag|stats|sfn|monitor|app|sim|platform|net|cli)$'
ctest --test-dir build -j "$jobs" --output-on-failure --timeout 600
