#pragma once

#include <string>

#include "base/file_system.h"
#include "cli/options.h"
#include "core/output_names.h"

namespace loopsmith::cli {

// --info --json for one path, as one JSON object for scripts. The shape is
// stable and written down in the README: "path", "kind" ("loop", "wave",
// "sound", "card" or "other"), "ok", and where it is not ok "message" (the
// catalogue's text, or empty) and "detail" (the reason in plain words), then
// the kind's own fields.
std::string DescribeJson(FileSystem& fs, const std::string& path, Direction direction,
                         const Options& options, bool& ok);

}  // namespace loopsmith::cli
