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

display=
for n in $(seq 90 140); do
    if [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ]; then display=$n; break; fi
done
[ -n "$display" ] || { echo "bench_gui: no free display number"; exit 1; }
Xvfb ":$display" -screen 0 1600x1000x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null || true; wait $xvfb 2>/dev/null || true' EXIT
for _ in $(seq 1 50); do
    [ -e "/tmp/.X11-unix/X$display" ] && break
    sleep 0.1
done
export DISPLAY=":$display"
unset QT_QPA_PLATFORM
"$build/bench/bench_startup" "$build/src/nms" "$runs"
echo
"$build/bench/bench_level_meter"
