#!/usr/bin/env bash
# Pictures of the main window, the statistics window and the SFN window on the demo plant, on a
# light and a dark palette, drawn offscreen: PNG files in build/screenshots/ (or the folder
# given). The README's picture is docs/main-window.png, the light main window made smaller:
#
#   scripts/screenshots.sh [OUT_DIR] && cp build/screenshots/main-window-readme.png docs/main-window.png
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-build/screenshots}
if [ ! -f build/build.ninja ]; then
  cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build build -j "${NMS_JOBS:-$(nproc)}" --target nms-screenshots
export QT_QPA_PLATFORM=offscreen
# The demo's lock and runtime files stay in a folder of this run.
runtime=$(mktemp -d)
trap 'rm -rf "$runtime"' EXIT
chmod 700 "$runtime"
for theme in light dark; do
  XDG_RUNTIME_DIR=$runtime build/tools/nms-screenshots "$out" "$theme"
done
# A smaller copy for the README, 960 pixels wide.
build/tools/nms-screenshots --scale "$out/main-window-light.png" "$out/main-window-readme.png" 960
ls -1 "$out"/*.png
