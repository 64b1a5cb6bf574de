#pragma once

#include <optional>

#include "adapt/band_onsets.h"
#include "adapt/tempo_rules.h"

namespace loopsmith::adapt {

// The longest take weighed for its tempo: a minute of music settles it.
inline constexpr double kLongTakeSeconds = 60;

// A beat tracker's tempo made exact on a long take's onsets: the tempo within
// 3% of `bpm` whose evenly spaced beats, laid where they land best, fall on
// the most onset. A loop's length gives its tempo exactly; a take has no such
// length, and a grid a tenth of a BPM off drifts from the beat within a
// minute. `bpm` as it is where the onsets are too few to say.
double RefinedTempo(const BandOnsets& onsets, double bpm);

// A long take's tempo from its onsets: `heard` (a beat tracker's, when one
// ran) or else the period at which the onsets best repeat, made exact, and
// its octaves within 40 to 240 weighed on the hits; `finding` takes the
// weighed tempi and the best, or a failure where there is no beat to go by.
void WeighTakeTempo(const BandOnsets& onsets, std::optional<double> heard, bool steady,
                    TempoFinding& finding);

}  // namespace loopsmith::adapt
