#pragma once

#include <optional>
#include <string>

#include "base/file_system.h"
#include "base/messages.h"

namespace loopsmith::card {

// Operations on a card's slots through the file seam. Each leaves every loop
// findable: a move is one rename that never replaces a file; a swap takes
// three, under a small journal (".loopsmith-swap", the loop in between under
// ".loopsmith-swap.T58") that the next operation on the card finishes. Each
// returns nothing, or the failure in plain words.

// N's loop to the free number M.
std::optional<Failure> MoveSlot(FileSystem& fs, const std::string& folder, int from, int to);
// N's and M's loops change places.
std::optional<Failure> SwapSlots(FileSystem& fs, const std::string& folder, int a, int b);
// N's loop is gone. The front end asks first; a loop marked read-only goes
// only with `force`, as rm asks before it removes a write-protected file.
std::optional<Failure> RemoveSlot(FileSystem& fs, const std::string& folder, int number,
                                  bool force = false);
// A swap cut off (killed, or a failed step) is carried to its end; nothing
// when there was none. Every operation above does this first.
std::optional<Failure> FinishInterruptedSwap(FileSystem& fs, const std::string& folder);

}  // namespace loopsmith::card
