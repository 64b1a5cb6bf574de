#!/usr/bin/env bash
# Cross-builds the Windows programs with mingw-w64, runs their tests under
# wine, and packs dist/loopsmith-<version>-windows-x64.zip:
#   bash scripts/build-windows.sh             build, test, pack
#   bash scripts/build-windows.sh --no-test   build and pack only
#   bash scripts/build-windows.sh --no-ctest  build with the tests and pack, for
#                                             the caller to run them
# Installs what is missing first (Debian 12, as root).
set -euo pipefail
cd "$(dirname "$0")/.."
run_tests=1
build_tests=ON
case ${1:-} in
  --no-test) run_tests=0 build_tests=OFF ;;
  --no-ctest) run_tests=0 ;;
esac

bash scripts/deps.sh cmake ninja-build g++-mingw-w64-x86-64-posix mingw-w64-tools wine wine64 \
  fonts-wine googletest zip unzip

jobs=$(nproc)
toolchain=$PWD/cmake/mingw-w64-x86_64.cmake
deps=$PWD/build-windows-deps
if [[ ! -f $deps/lib/cmake/GTest/GTestConfig.cmake ]]; then
  echo "== GoogleTest for mingw-w64, from /usr/src/googletest"
  cmake -S /usr/src/googletest -B "$deps/build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_INSTALL_PREFIX="$deps" -DBUILD_GMOCK=OFF \
    -DCMAKE_CXX_FLAGS="-static" >/dev/null
  cmake --build "$deps/build" -j "$jobs" >/dev/null
  cmake --install "$deps/build" >/dev/null
fi

echo "== Windows build (mingw-w64)"
cmake -S . -B build-windows -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
  -DLOOPSMITH_WERROR=ON -DLOOPSMITH_BUILD_TESTS=$build_tests \
  >/dev/null
cmake --build build-windows -j "$jobs"

if [[ $run_tests == 1 ]]; then
  echo "== Windows tests (wine)"
  scripts/wine-run.sh --warm
  ctest --test-dir build-windows --output-on-failure -j "$jobs"
fi

version=$(cat build-windows/version.txt)
stage=build-windows/dist/loopsmith-$version-windows-x64
rm -rf "$stage" && mkdir -p "$stage" dist
cp build-windows/win/loopsmith.exe build-windows/cli/loopsmith-cli.exe "$stage/"
x86_64-w64-mingw32-strip "$stage"/*.exe
cp build-windows/win/README.txt "$stage/"
rm -f "dist/loopsmith-$version-windows-x64.zip"
(cd build-windows/dist && zip -qr "../../dist/loopsmith-$version-windows-x64.zip" "loopsmith-$version-windows-x64")
echo "wrote dist/loopsmith-$version-windows-x64.zip"
