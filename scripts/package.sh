#!/bin/sh
# Builds the Debian package of the programs into ./build-package (or
# $BUILD_DIR) and prints its path. Installed under /usr, the editor reads its
# configuration from /etc/quizengine2 when none lies beside it.
set -eu
cd "$(dirname "$0")/.."
BUILD_DIR=${BUILD_DIR:-build-package}
export CCACHE_BASEDIR="$(pwd)"
export CCACHE_DIR=${CCACHE_DIR:-$HOME/.cache/ccache}
export CCACHE_NOHASHDIR=1
if [ ! -f "$BUILD_DIR/build.ninja" ]; then
  cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=${BUILD_TYPE:-RelWithDebInfo} \
    -DCMAKE_INSTALL_PREFIX=/usr -DQE_BUILD_BENCH=OFF ${CMAKE_ARGS:-}
fi
# Only what the package holds; the tests are built by scripts/build.sh.
cmake --build "$BUILD_DIR" -j"$(nproc)" --target Quizwright Quizrunner qe2tool qe_default_template
rm -f "$BUILD_DIR"/quizengine2_*.deb
(cd "$BUILD_DIR" && cpack -G DEB >/dev/null)
ls "$BUILD_DIR"/quizengine2_*.deb
