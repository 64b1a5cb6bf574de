#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "base/file_system.h"
#include "base/messages.h"

namespace loopsmith::adapt {

// --start auto: the frame (at 44,100 Hz, as the loop counts) where a take's
// first hit begins, searched in its first kFirstHitSeconds. With no clear hit
// the loop starts at 0 and `note` says why; `failure` when the file cannot be read.
struct TakeStart {
  std::uint32_t frame = 0;
  std::string note;
  std::optional<Failure> failure;
};
TakeStart FindTakeStart(FileSystem& fs, const std::string& path);

}  // namespace loopsmith::adapt
