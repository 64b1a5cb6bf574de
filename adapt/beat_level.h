#pragma once

#include <optional>
#include <vector>

#include "adapt/tempo_rules.h"

namespace loopsmith::adapt {

// How strongly something starts in each hop of one pass of a loop, from its
// first beat on: a beat tracker's onset detection function.
struct OnsetCurve {
  std::vector<double> strength;
  double hopSeconds = 0;
};

// Which of the tempi a loop's length allows is its beat. A beat tracker hears
// the pulse well but often an octave off: it takes the eighth notes of a
// hip-hop loop for beats, or the snare of a half-time one for the backbeat.
// So the candidate nearest its estimate (in octaves) is only the start:
//  - a candidate whose every sixteenth note is played is too slow: the beat is
//    twice as fast (up to 200 BPM, above which loops are rare);
//  - one whose every other beat is silent is too fast, and so is one with no
//    eighth notes between its beats when half of it is nearer the usual 110 BPM.
// The beats are counted from the loop's first beat, found within 80 ms of its
// start (a loop cut a little early or late). `candidates` are slowest first,
// each twice the one before, as TempiOfLength gives them.
std::optional<LengthTempo> PickTempo(const std::vector<LengthTempo>& candidates, double estimate,
                                     const OnsetCurve& onsets);

}  // namespace loopsmith::adapt
