#!/usr/bin/env bash
# The figures of the station's window, on a virtual X display started here and stopped on exit:
# start-up to the mapped window against a bare Qt window (bench_startup), and the processor time
# of the level meter against a bare window that redraws a label and a bar as often
# (bench_level_meter). Needs Xvfb (scripts/install-deps.sh installs it).
#
#   bench/bench_gui.sh [BUILD_DIR] [RUNS]
set -euo pipefail
build=${1:-build}
runs=${2:-7}
command -v Xvfb >/dev/null || { echo "bench_gui: skipped: Xvfb is not installed"; exit 0; }
for program in "$build/src/nms" "$build/bench/bench_startup" "$build/bench/bench_level_meter"; do
    [ -x "$program" ] || { echo "build nms, bench_startup and bench_level_meter first"; exit 1; }
done

# On a virtual X display of its own, stopped on exit.
# shellcheck disable=SC2016
exec "$(dirname "$0")/../tests/gui/under_xvfb.sh" bash -c \
    '"$0/bench/bench_startup" "$0/src/nms" "$1"; echo; "$0/bench/bench_level_meter"' "$build" "$runs"
