#pragma once

#include <string>
#include <vector>

#include "card/card.h"

namespace loopsmith::card {

// The numbers a batch of new loops takes on a card, decided here for every
// front end: with `first` 0 the lowest free numbers; otherwise `first`
// itself (taken or not: the front end asks before it replaces) and then the
// free numbers above it. Too few, and the whole batch is refused before
// anything is written: `numbers` is empty and `problem` says why.
struct NumberPlan {
  std::vector<int> numbers;
  std::string problem;
};
NumberPlan PlanNumbers(const CardView& card, int count, int first);

}  // namespace loopsmith::card
