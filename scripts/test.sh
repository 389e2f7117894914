#!/usr/bin/env bash
# Sets up the machine, builds, and runs every test: every C++ suite under
# AddressSanitizer and UndefinedBehaviorSanitizer, the device streams under
# ThreadSanitizer, short fuzzing runs of the media-file opening, the batch XML,
# the sample-store reader and late binding, the whole suite on the normal
# build, then the installed tree, the examples built against it and the Debian
# package.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
echo "== layers: no include reaches above its own folder's layer"
python3 scripts/check-layers.py
bash scripts/build.sh

# Sanitizer build: the libraries, the components and every C++ test suite.
QEL_BUILD_DIR=build-asan \
QEL_CMAKE_ARGS="-DQEL_SANITIZE=ON -DQEL_BUILD_PYTHON=OFF -DQEL_BUILD_BENCH=OFF" \
QEL_BUILD_TARGETS="$(bash scripts/sanitized-targets.sh)" \
  bash scripts/build.sh

# Thread sanitizer build: the device streams, their threads and the message
# queue they post to.
QEL_BUILD_DIR=build-tsan \
QEL_CMAKE_ARGS="-DQEL_SANITIZE_THREAD=ON -DQEL_BUILD_PYTHON=OFF -DQEL_BUILD_BENCH=OFF" \
QEL_BUILD_TARGETS="audio_tests" \
  bash scripts/build.sh

# The control without the view: it must build and still pass its own tests.
QEL_BUILD_DIR=build-noview \
QEL_CMAKE_ARGS="-DQEL_SKIP=src/view;tests/view -DQEL_BUILD_PYTHON=OFF -DQEL_BUILD_BENCH=OFF" \
QEL_BUILD_TARGETS="core_tests qelmedia qeleffects" \
  bash scripts/build.sh

status=0
echo "== without the view: the control's own tests"
ctest --test-dir build-noview -L core --output-on-failure -j "$(nproc)" || status=1
echo "== sanitizers: every C++ suite"
# intercept_tls_get_addr=0: LeakSanitizer otherwise reads the stale dynamic-TLS
# range of a component module that was unloaded while another control lived,
# and its tracer crashes at exit (about a third of the runs of the test where a
# second control outlives the first).
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:intercept_tls_get_addr=0 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
LSAN_OPTIONS=suppressions=$PWD/scripts/lsan.supp \
  ctest --test-dir build-asan -LE python --output-on-failure -j "$(nproc)" || status=1
echo "== thread sanitizer: the device streams"
TSAN_OPTIONS=halt_on_error=1 ctest --test-dir build-tsan -L audio --output-on-failure || status=1
echo "== fuzzing: media files, batch XML, sample-store files, late binding (20 s each)"
bash scripts/fuzz.sh 20 build-fuzz >/dev/null 2>&1 || {
  echo "fuzzing found a problem: see build-fuzz (crash-*, leak-*, timeout-*)"; status=1; }
echo "== all tests"
ctest --test-dir build --output-on-failure -j "$(nproc)" || status=1
echo "== installing: the staged tree, the examples built against it, the Debian package"
bash scripts/check-install.sh build --deb || status=1
exit $status
