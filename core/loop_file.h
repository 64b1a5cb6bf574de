#pragma once

#include <cstdint>
#include <optional>
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

// What ReadLoopFile would say of a loop file, from its header and its size
// alone, without reading its words: nothing, with the header's values and
// the size, or the same failure. For a card of fifty files at once.
std::optional<Failure> CheckLoopFile(FileSystem& fs, const std::string& path, LoopParams& params,
                                     std::int64_t& size);

// Writes the complete image (header and StorageWords + 1 words) in one write.
// Returns 0 only when the file cannot be created; reports 131 on any failure.
bool WriteLoopFile(FileSystem& fs, Reporter& reporter, const std::string& path,
                   const std::uint8_t* image, const LoopParams& params);

}  // namespace loopsmith
