#!/usr/bin/env bash
# Installs every Debian package the build, the demonstration and the tests need.
# Idempotent: when everything is already installed it prints nothing and exits.
set -euo pipefail

packages=(
  # toolchain
  build-essential cmake ninja-build pkg-config clang libclang-rt-14-dev clang-format
  # tests and benchmarks
  libgtest-dev libgmock-dev libbenchmark-dev python3 python3-dev python3-pytest
  python3-numpy pybind11-dev python3-mypy
  # installing and packaging (CPack's Debian generator and dpkg-shlibdeps)
  dpkg-dev file
  # media
  libavformat-dev libavcodec-dev libavutil-dev libswresample-dev ffmpeg sox
  # signal processing
  libresample1-dev libalglib-dev libfftw3-dev librubberband-dev libpugixml-dev libaubio-dev
  # drawing
  libcairo2-dev libpango1.0-dev fonts-liberation
  # devices and plug-ins
  libasound2-dev alsa-utils ladspa-sdk lv2-dev liblilv-dev lilv-utils mda-lv2
  pulseaudio libasound2-plugins  # a private sound server: a real mixer and a clocked device in tests
  # the desktop editor (hosts/gtk) and its tests on a virtual X server
  libgtk-4-dev xvfb xdotool xclip
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q '^install ok installed$'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
  echo "setup: these packages are missing and installing them needs root: ${missing[*]}" >&2
  exit 1
fi

echo "setup: installing ${#missing[@]} packages: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
echo "setup: done"
