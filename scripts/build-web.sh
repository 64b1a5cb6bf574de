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
# Built for size: -Oz and link-time optimisation take 7% off the module
# (301,852 to 281,151 bytes of the same code); with emmalloc and the .wasm
# file deflated into the page, it stays well under 400 KB.
emcmake cmake -S . -B build-web -G Ninja -DCMAKE_BUILD_TYPE=MinSizeRel -DLOOPSMITH_WERROR=ON \
  "-DCMAKE_CXX_FLAGS_MINSIZEREL=-Oz -DNDEBUG -flto" "-DCMAKE_EXE_LINKER_FLAGS=-Oz -flto" >/dev/null
cmake --build build-web -j "$(nproc)"
version=$(cat build-web/version.txt)
# The zip writer from the npm registry, pinned and checked against the
# registry's own checksum; fetched once.
fflate=build-web/fflate-0.8.2
bash scripts/npm-fetch.sh fflate 0.8.2 \
  sha512-cPJU47OaAoCbg0pBvzsgpTPhmhqI5eJjh/JIu8tPj5q+T7iLvW/JAYUqmE7KOB4R1ZyEhzBaIQpQpardBF5z8A== "$fflate"
python3 web/build_page.py build-web/web/loopsmith_module.js build-web/web/loopsmith.html "$version" \
  "$fflate/package/umd/index.js"
stage=build-web/dist/loopsmith-$version-web
rm -rf "$stage" && mkdir -p "$stage" dist
cp build-web/web/loopsmith.html build-web/web/README.txt "$stage/"
rm -f "dist/loopsmith-$version-web.zip"
(cd build-web/dist && zip -qr "../../dist/loopsmith-$version-web.zip" "loopsmith-$version-web")
echo "wrote dist/loopsmith-$version-web.zip"
