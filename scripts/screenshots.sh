#!/usr/bin/env bash
# Pictures of the main window, the statistics window, the SFN window, the plant monitor with its
# Events panel, the settings and the help on the demo plant, on a light and a dark palette, drawn
# offscreen: PNG files in build/screenshots/ (or the folder given); those of the monitor, the
# settings, the help and the SFN plot are copied to docs/. The README's picture is docs/main-window.png, the light main window made smaller:
#
#   scripts/screenshots.sh [OUT_DIR] && cp build/screenshots/main-window-readme.png docs/main-window.png
#
# The web status page, served by a demo station on loopback and drawn by headless Chromium, as a
# wall screen (1920x1080) and a phone (390x844) show it, goes to docs/ as well.
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
# The screens of the plant monitor, the SFN plot and the help go to docs/, in both palettes.
for theme in light dark; do
  for screen in plant-monitor settings help sfn-adjustment sfn-overview; do
    cp "$out/$screen-$theme.png" docs/
  done
done
# A smaller copy for the README, 960 pixels wide.
build/tools/nms-screenshots --scale "$out/main-window-light.png" "$out/main-window-readme.png" 960
cmake --build build -j "${NMS_JOBS:-$(nproc)}" --target nms-cli
/usr/bin/python3 tools/web_screenshots.py build/src/nms-cli "$out"
cp "$out"/web-status-1920x1080.png "$out"/web-status-390x844.png docs/
ls -1 "$out"/*.png
