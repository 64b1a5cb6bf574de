// Which numbers an OK's loop files take, and what is asked before one
// replaces a loop: the card's rule (the model's planNumbers, the command
// line's too) into a card; up from the file number otherwise.

// `taken`: the slots' texts that would be replaced; `full`: the card has no
// free slot. The question, or '' when nothing would be replaced.
export function replaceQuestion(taken, full, maxFileNumber) {
  if (!taken.length) return '';
  const fullText = full ? `The card is full (${maxFileNumber} of ${maxFileNumber} numbers taken). ` : '';
  return `${fullText}Replace ${taken.join('; ')}?`;
}

// `{ numbers }`, or `{ problem }` to say, nothing saved. `saved`: where the
// last OK of this drop put its loops (`{ first, numbers }`): the same OK
// again saves them there, instead of taking more free numbers.
// `fileNumberError`: the catalogue's words for a number out of range.
export function numbersFor({ toCard, saved, first, count, planNumbers, batchProblem, fileNumberError }) {
  if (toCard) {
    if (saved && saved.first === first && saved.numbers.length === count) return { numbers: saved.numbers };
    const plan = planNumbers(count, first);
    if (plan.problem) return { problem: `Nothing was saved: ${plan.problem}. Free some slots, or choose a lower file number.` };
    return { numbers: plan.numbers };
  }
  const problem = batchProblem(first, count);
  if (problem) return { problem: `${fileNumberError}\n${problem}` };
  return { numbers: Array.from({ length: count }, (_, i) => first + i) };
}
