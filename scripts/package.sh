#!/usr/bin/env bash
# Builds the Debian package of the station: vantrelo-nms_VERSION_ARCH.deb in build-package/.
# Install it with `sudo apt install ./build-package/vantrelo-nms_*.deb`.
#
#   scripts/package.sh [BUILD_DIR]    (default build-package, a Release build of its own)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
build=${1:-build-package}
jobs=${NMS_JOBS:-$(nproc)}
# Only the installed programs are built: the package needs no test program.
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DNMS_BUILD_BENCH=OFF \
      -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON >/dev/null
cmake --build "$build" -j "$jobs" --target nms nms-cli vantrelo-element-sim nms_package_files
(cd "$build" && cpack -G DEB)
ls -1 "$build"/*.deb
