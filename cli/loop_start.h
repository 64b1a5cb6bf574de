#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>

#include "base/file_system.h"
#include "cli/line_reporter.h"
#include "cli/options.h"

namespace loopsmith::cli {

// The frame a sound file's loop starts at: --start's seconds, or with --start
// auto its first hit (a take without one starts at 0, and a line says so).
// Nothing, with the failure reported, when the file cannot be searched.
std::optional<std::uint32_t> LoopStart(FileSystem& fs, LineReporter& reporter,
                                       const std::string& path, const Options& options);

// --info's line for a loop taken from `start` of a sound of `frames` frames
// (0 when unknown), at 44,100 Hz: "1.500 s to 3.500 s of 10.000 s".
void DescribeLoopSpan(std::uint32_t start, std::uint64_t frames, const Options& options,
                      std::int16_t tempo, std::ostream& out);

}  // namespace loopsmith::cli
