#pragma once

#include <ostream>
#include <string>

#include "base/file_system.h"
#include "cli/line_reporter.h"
#include "cli/options.h"
#include "core/output_names.h"

namespace loopsmith::cli {

// A file's size, or -1 where it cannot be opened.
std::int64_t FileSize(FileSystem& fs, const std::string& path);

// --info for one file: what it is and what a conversion would make of it,
// each file opened once and its tempo found once. False, with the failure
// reported, when it would not convert.
bool Describe(FileSystem& fs, LineReporter& reporter, const std::string& path, Direction direction,
              const Options& options, std::ostream& out);

}  // namespace loopsmith::cli
