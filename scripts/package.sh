#!/usr/bin/env bash
# Builds the Debian package of the control with CPack, from the install rules of
# cmake/QelInstall.cmake, and leaves it in build/ (qelaudioeditor_<version>_<arch>.deb).
# The package is configured for /usr in a build folder of its own
# ($QEL_PACKAGE_BUILD_DIR, else build-package), without the tests and benchmarks.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${QEL_PACKAGE_BUILD_DIR:-build-package}
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr \
  -DPython3_EXECUTABLE=/usr/bin/python3 -DPython_EXECUTABLE=/usr/bin/python3 \
  -DQEL_BUILD_BENCH=OFF "-DQEL_SKIP=tests;bench" >/dev/null
cmake --build "$dir" -j "$(nproc)"
rm -f "$dir"/*.deb
(cd "$dir" && cpack -G DEB >/dev/null)
mkdir -p build
for deb in "$dir"/*.deb; do
  mv -f "$deb" build/
  echo "package: build/$(basename "$deb")"
done
