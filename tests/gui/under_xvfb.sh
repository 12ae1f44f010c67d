#!/usr/bin/env bash
# Runs a program on a virtual X server of its own: the GUI tests that drive the window through
# the window system (real pointer clicks with xdotool), and the window's benchmarks. The server is
# stopped on exit, whatever the outcome.
#
#   tests/gui/under_xvfb.sh PROGRAM [ARGS...]
set -euo pipefail
command -v Xvfb >/dev/null || { echo "under_xvfb: Xvfb is not installed (scripts/install-deps.sh)"; exit 1; }
display=
for n in $(seq 150 250); do
    if [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ]; then display=$n; break; fi
done
[ -n "$display" ] || { echo "under_xvfb: no free display number"; exit 1; }
Xvfb ":$display" -screen 0 1600x1000x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null || true; wait $xvfb 2>/dev/null || true' EXIT
for _ in $(seq 1 100); do
    [ -e "/tmp/.X11-unix/X$display" ] && break
    sleep 0.05
done
export DISPLAY=":$display" QT_QPA_PLATFORM=xcb
"$@"
