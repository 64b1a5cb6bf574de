#pragma once

#include "core/convert_job.h"

namespace loopsmith::testing {

// Answers for the Loop Parameters dialog: OK with `answer`, or Cancel.
class FixedAnswer final : public LoopParamsSource {
 public:
  FixedAnswer() = default;
  explicit FixedAnswer(LoopParams fixed) : answer(fixed) {}
  bool AskLoopParams(LoopParams& params) override {
    ++asked;
    if (!ok) return false;
    params = answer;
    return true;
  }
  LoopParams answer{1200, 1, 1};
  bool ok = true;
  int asked = 0;
};

}  // namespace loopsmith::testing
