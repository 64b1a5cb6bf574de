#!/usr/bin/env bash
# Builds the browser version: the core compiled to WebAssembly with emscripten,
# the page as one self-contained file (build-web/web/loopsmith.html), and
# dist/loopsmith-<version>-web.zip with it and a short README.
# Installs what is missing first (Debian 12, as root).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh cmake ninja-build emscripten zip
# emcc's JavaScript optimiser needs Debian's acorn, which node does not find alone.
export NODE_PATH=/usr/share/nodejs
emcmake cmake -S . -B build-web -G Ninja -DCMAKE_BUILD_TYPE=MinSizeRel -DLOOPSMITH_WERROR=ON \
  >/dev/null
cmake --build build-web -j "$(nproc)"
version=$(cat build-web/version.txt)
python3 web/build_page.py build-web/web/loopsmith_module.js build-web/web/loopsmith.html "$version"
stage=build-web/dist/loopsmith-$version-web
rm -rf "$stage" && mkdir -p "$stage" dist
cp build-web/web/loopsmith.html build-web/web/README.txt "$stage/"
rm -f "dist/loopsmith-$version-web.zip"
(cd build-web/dist && zip -qr "../../dist/loopsmith-$version-web.zip" "loopsmith-$version-web")
echo "wrote dist/loopsmith-$version-web.zip"
