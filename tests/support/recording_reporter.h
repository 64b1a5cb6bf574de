#pragma once

#include <string>
#include <vector>

#include "base/messages.h"

namespace loopsmith::testing {

class RecordingReporter final : public Reporter {
 public:
  void Report(const Failure& failure) override {
    ids.push_back(static_cast<int>(failure.id));
    details.push_back(failure.detail);
  }
  std::vector<std::string> details;
  std::vector<int> ids;
};

}  // namespace loopsmith::testing
