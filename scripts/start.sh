#!/usr/bin/env bash
# Installs what is missing, builds Loopsmith and starts its window.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build --target loopsmith loopsmith-cli
exec ./build/ui/loopsmith
