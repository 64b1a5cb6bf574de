#pragma once

#include <vector>

#include "core/messages.h"

namespace loopsmith::testing {

class RecordingReporter final : public Reporter {
 public:
  void Report(MessageId id) override { ids.push_back(static_cast<int>(id)); }
  std::vector<int> ids;
};

}  // namespace loopsmith::testing
