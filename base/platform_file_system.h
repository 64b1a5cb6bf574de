#pragma once

// The file layer of the platform the program is built for.
#ifdef _WIN32
#include "base/windows_file_system.h"
namespace loopsmith {
using PlatformFileSystem = WindowsFileSystem;
}  // namespace loopsmith
#else
#include "base/posix_file_system.h"
namespace loopsmith {
using PlatformFileSystem = PosixFileSystem;
}  // namespace loopsmith
#endif
