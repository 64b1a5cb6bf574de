#pragma once

#include <ostream>
#include <string>

#include "base/file_system.h"
#include "cli/line_reporter.h"

namespace loopsmith::cli {

// --info for a folder: a line for each of the fifty slots, free ones too,
// then the files the sampler may not see. False when the folder cannot be
// listed (reported), or when a loop file in it does not read.
bool DescribeCard(FileSystem& fs, LineReporter& reporter, const std::string& folder,
                  std::ostream& out);

}  // namespace loopsmith::cli
