#!/bin/sh
# Builds and runs every test (GUI tests offscreen).
set -eu
cd "$(dirname "$0")/.."
sh scripts/build.sh
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "${BUILD_DIR:-build}" --output-on-failure -j"$(nproc)" --timeout 600
