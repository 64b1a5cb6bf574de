#pragma once

#include <array>
#include <optional>
#include <string_view>
#include <vector>

#include "adapt/band_onsets.h"
#include "adapt/tempo_rules.h"

namespace loopsmith::adapt {

// Which of the tempi a loop's length allows is the beat a musician counts. A
// beat tracker hears the pulse well but often an octave off, so each tempo is
// weighed on evidence that holds across styles:
//  - a prior on tempo, log-normal around 120 BPM;
//  - whether the tracker heard this tempo, when it heard one;
//  - the backbeat: the snare on beats 2 and 4 against the kick on 1 and 3;
//  - every beat played, eighth notes played between the beats, and sixteenths;
//  - how well the onsets repeat at the beat's period round the loop.
// Each beat grid is laid where its beats land on the most onset, up to half a
// beat either way: a loop cut late or starting with a pickup.
enum Evidence : std::size_t {
  kPrior,
  kTracker,
  kBackbeat,
  kBeats,
  kEighths,
  kSixteenths,
  kRepeat,
  kEvidenceCount
};
inline constexpr std::array<std::string_view, kEvidenceCount> kEvidenceNames = {
    "prior", "tracker", "backbeat", "beats", "eighths", "sixteenths", "repeat"};

// `candidates` (as TempiOfLength gives them) weighed, best first; empty when
// there are none. Without onsets only the prior and the estimate speak.
std::vector<WeighedTempo> WeighTempi(const std::vector<LengthTempo>& candidates,
                                     std::optional<double> estimate, const BandOnsets& onsets);

// Whether the best is too near the second to be sure of.
bool TooClose(const std::vector<WeighedTempo>& weighed);

}  // namespace loopsmith::adapt
