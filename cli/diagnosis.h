#pragma once

#include <cstdint>
#include <string>

#include "core/file_system.h"

namespace loopsmith::cli {

// "1,048,576"
std::string WithCommas(std::uint64_t value);

// One plain sentence on why a file the job refused was refused. They look at
// the file again without reporting anything.
std::string ExplainLoopFailure(FileSystem& fs, const std::string& path);
std::string ExplainWaveFailure(FileSystem& fs, const std::string& path);

}  // namespace loopsmith::cli
