#!/bin/sh
# Configures and builds the whole tree into ./build (or $BUILD_DIR).
set -eu
cd "$(dirname "$0")/.."
BUILD_DIR=${BUILD_DIR:-build}
export CCACHE_BASEDIR="$(pwd)"
export CCACHE_DIR=${CCACHE_DIR:-$HOME/.cache/ccache}
# Build folders share cached objects: debug info paths are relative to the tree.
export CCACHE_NOHASHDIR=1
if [ ! -f "$BUILD_DIR/build.ninja" ]; then
  cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=${BUILD_TYPE:-RelWithDebInfo} ${CMAKE_ARGS:-}
fi
cmake --build "$BUILD_DIR" -j"$(nproc)"
