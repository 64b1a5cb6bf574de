#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace loopsmith::adapt {

// The first hit is sought in a take's first minute.
inline constexpr double kFirstHitSeconds = 60;

// Where a take's first hit begins, for a loop that starts on its downbeat.
struct FirstHit {
  std::optional<std::int64_t> frame;  // at the sound's own rate; empty when there is no clear hit
  std::string why;                    // when empty: why no start was found
};

// The first onset of `mono` (at `rate`) that is a hit: among the band onsets
// it reaches a third of the loudest, and its sound rises sharply (as a drum,
// a pluck or a stab does, not a pad fading in). The frame is the beginning of
// its attack: where it first stands out of the noise before it, stepped back
// by up to a millisecond, never later than that. A softer hit before it (a
// ghost note, a quiet pickup) is passed over.
FirstHit FindFirstHit(const std::vector<float>& mono, int rate);

// Where each such hit begins, in order: what a loop's start snaps to.
std::vector<std::int64_t> HitStarts(const std::vector<float>& mono, int rate);

}  // namespace loopsmith::adapt
