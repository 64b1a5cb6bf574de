#include "card/numbering.h"

namespace loopsmith::card {

NumberPlan PlanNumbers(const CardView& card, int count, int first) {
  NumberPlan plan;
  if (count <= 0) return plan;
  if (first > 0) plan.numbers.push_back(first);
  for (const int free : card.FreeNumbers()) {
    if (static_cast<int>(plan.numbers.size()) == count) break;
    if (free > first) plan.numbers.push_back(free);
  }
  if (static_cast<int>(plan.numbers.size()) == count) return plan;
  const std::size_t room = plan.numbers.size();
  plan.numbers.clear();
  plan.problem = std::to_string(count) + (count == 1 ? " new loop, but " : " new loops, but ") +
                 (first > 0 ? "from " + SlotName(first) + " on the card has room for "
                            : "the card has room for ") +
                 std::to_string(room) + "; nothing is written";
  return plan;
}

Placement PlanPlacement(const CardView& card, const std::vector<int>& numbers) {
  Placement placement;
  placement.full = card.FreeNumbers().empty();
  for (const int number : numbers) {
    if (number >= 1 && number <= kSlots && card.slots[static_cast<std::size_t>(number - 1)].file) {
      placement.ask.push_back(number);
    }
  }
  return placement;
}

}  // namespace loopsmith::card
