#!/usr/bin/env bash
# Installs what is missing, builds Loopsmith and starts its window.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build --target loopsmith loopsmith-cli
if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  echo "No display here to open the window on; the command line front end works without one:"
  exec ./build/cli/loopsmith-cli --help
fi
exec ./build/ui/loopsmith
