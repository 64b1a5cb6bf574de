#pragma once

#include "adapt/band_onsets.h"

namespace loopsmith::adapt {

// A beat tracker's tempo made exact on a long take's onsets: the tempo within
// 3% of `bpm` whose evenly spaced beats, laid where they land best, fall on
// the most onset. A loop's length gives its tempo exactly; a take has no such
// length, and a grid a tenth of a BPM off drifts from the beat within a
// minute. `bpm` as it is where the onsets are too few to say.
double RefinedTempo(const BandOnsets& onsets, double bpm);

}  // namespace loopsmith::adapt
