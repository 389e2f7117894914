#!/usr/bin/env bash
# Configures and builds the project in build/ (Release with debug information).
# QEL_BUILD_DIR and QEL_CMAKE_ARGS adjust the folder and the configuration.
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${QEL_BUILD_DIR:-build}
# Debian's Python is the one with pytest and numpy; a Python earlier on PATH
# (pyenv, say) must not be picked up by the build.
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DPython3_EXECUTABLE=/usr/bin/python3 \
  ${QEL_CMAKE_ARGS:-} >/dev/null
cmake --build "$build_dir" -j "$(nproc)" ${QEL_BUILD_TARGETS:+--target $QEL_BUILD_TARGETS}
