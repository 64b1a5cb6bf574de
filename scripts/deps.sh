#!/usr/bin/env bash
# Installs what building, running and testing Loopsmith need, on Debian 12, or
# the packages named on the command line. Only missing packages are installed,
# so a prepared machine starts at once.
set -euo pipefail

packages=(
  cmake ninja-build g++ clang libclang-rt-14-dev clang-format clang-tidy
  qt6-base-dev qt6-qpa-plugins libgl-dev libgtest-dev libbenchmark-dev
  sox sndfile-programs time xvfb xauth xdotool openbox imagemagick
  help2man lintian appstream dpkg-dev libsndfile1-dev libsoxr-dev libaubio-dev
  fonts-liberation fonts-noto-cjk hydrogen-drumkits hydrogen-data lmms-common sonic-pi-samples python3-numpy python3-soundfile
  strace fusefat dosfstools
)
(($#)) && packages=("$@")
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq "${missing[@]}" >/dev/null
fi
