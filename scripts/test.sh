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
  # Each target for a bounded time, two at a time: about two minutes in all on two cores.
  fuzz_one() {
    local f=$1 name corpus work
    name=$(basename "$f")
    corpus="fuzz/corpus/${name#fuzz_}"
    work=$(mktemp -d)
    [ -d "$corpus" ] && cp -r "$corpus"/. "$work"/
    if ! "$f" -seed="${NMS_FUZZ_SEED:-1}" -max_total_time="${NMS_FUZZ_SECONDS:-28}" -max_len=4096 -print_final_stats=1 "$work" >"$work.log" 2>&1; then
      cat "$work.log"
      echo "fuzzing $name FAILED"
      return 1
    fi
    # Executions, speed and coverage of the run, for the log.
    printf '%-22s %s\n' "$name" "$(grep -E '^#[0-9]+[[:space:]]+DONE' "$work.log" | tail -1)"
    rm -rf "$work" "$work.log"
  }
  export -f fuzz_one
  # shellcheck disable=SC2086
  printf 'build-fuzz/fuzz/%s\n' $fuzz_targets | xargs -P 2 -I{} bash -c 'fuzz_one {}'
fi

export QT_QPA_PLATFORM=offscreen
ASAN_OPTIONS=detect_leaks=1 ctest --test-dir build-asan -j "$jobs" --output-on-failure --timeout 300 -L '^(ports|protocol|store|station|editor|discovery|diag|stats|sfn|monitor|plant|app|sim|platform|net|cli|fuzz)$'
ctest --test-dir build -j "$jobs" --output-on-failure --timeout 600

# Crash safety on real files: kill -9 during a run of writes, and during discovery of a plant of
# 1000 elements; a few rounds each, at random moments.
build/bench/bench_store_kill 10
build/bench/bench_discovery_kill 10
# And of the headless plant monitor while it writes its journal and metrics: fifty rounds, about
# a quarter of a minute.
build/bench/bench_monitor_kill 50
# The event journal stays within its bound, file and write-ahead log together, as an always-on
# monitor writes it: a day of a small plant against a small bound (it fails when over).
build/bench/bench_journal --days 1 --elements 300 --megabytes 8
# Sites behind a router on real sockets, small (3 sites of 10 elements, about half a minute): a
# scan finds every element and pages no address outside the declared subnets, and the monitor
# polls them as it polls a segment. Skipped when not root.
bench/bench_sites_netns.sh build 3 10 2
