# Cross-building the Windows programs with mingw-w64 (the posix thread model:
# the default one has no std::thread or std::mutex).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
# GoogleTest cross-built by scripts/build-windows.sh lands here.
set(LOOPSMITH_WINDOWS_DEPS "${CMAKE_CURRENT_LIST_DIR}/../build-windows-deps" CACHE PATH "")
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32 "${LOOPSMITH_WINDOWS_DEPS}")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Tests run under wine, through a wrapper that keeps one wineserver running.
set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh")
