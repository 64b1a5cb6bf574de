#pragma once

#include <cstdint>
#include <string>

#include "base/file_system.h"
#include "base/messages.h"
#include "core/loop_format.h"
#include "core/loop_params.h"

namespace loopsmith {

// Reads a loop file: on success `image` holds words 0 to SampleCount from byte 0,
// still big-endian, and params hold the header's tempo and measure mode.
// Reports 130 on failure.
bool ReadLoopFile(FileSystem& fs, Reporter& reporter, const std::string& path, LoopFileBytes image,
                  LoopParams& params);

// Writes the complete image (header and StorageWords + 1 words) in one write.
// Returns 0 only when the file cannot be created; reports 131 on any failure.
bool WriteLoopFile(FileSystem& fs, Reporter& reporter, const std::string& path,
                   const std::uint8_t* image, const LoopParams& params);

}  // namespace loopsmith
