#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "base/file_system.h"

namespace loopsmith::cli {

// The whole command line front end; returns the exit status
// (0 all converted, 1 some not, 2 usage error).
int RunCli(const std::vector<std::string>& args, FileSystem& fs, std::ostream& out,
           std::ostream& err);

}  // namespace loopsmith::cli
