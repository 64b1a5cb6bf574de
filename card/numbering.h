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

// How new loops go into their slots, for a front end that can ask: a free
// slot is written; a slot that holds a file (read-only or not) only after a
// question. (The command line cannot ask: its plain --number replaces, as
// the dialog does, while --number free and -n never replace and a read-only
// loop is refused; those rules are the file layer's, kept at the moment of
// writing, where no other program can slip in between.)
struct Placement {
  std::vector<int> ask;  // the numbers to ask about, before anything is written
  bool full = false;     // the card had no free slot
};
Placement PlanPlacement(const CardView& card, const std::vector<int>& numbers);

}  // namespace loopsmith::card
