#pragma once

#include <array>
#include <optional>
#include <string>
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
//  - how well the onsets repeat at the beat's period round the loop;
//  - beats with nothing on them at all (a tempo too fast for its sound);
//  - how many of a beat's four sixteenth slots are played (about three), and
//    thirty-seconds between them, which only too slow a tempo hears.
// bench/drum_loops.py fit fits the weights in this order (its EVIDENCE).
// BeatGrid (beat_grid.h) lays each tempo's beats over the onsets and measures them.
enum Evidence : std::size_t {
  kPrior,
  kTracker,
  kBackbeat,
  kBeats,
  kEighths,
  kSixteenths,
  kRepeat,
  kSilentBeats,
  kDensity,
  kEvidenceCount
};

// `candidates` (as TempiOfLength gives them) weighed, best first; empty when
// there are none. Without onsets only the prior and the estimate speak.
std::vector<WeighedTempo> WeighTempi(const std::vector<LengthTempo>& candidates,
                                     std::optional<double> estimate, const BandOnsets& onsets);

// The second best when it is too near the best to be sure of; another whose
// backbeat is far the stronger; twice or half the best with a stronger
// backbeat, or twice it with the snare on 3 alone, and a score not far
// behind; twice the best with a little backbeat where the best has none; or
// twice the best where the loop is even beats at that tempo and nothing
// else; else null.
const LengthTempo* CloseSecond(const std::vector<WeighedTempo>& weighed);

// The length's step decided by weighing: `finding` takes the weighed tempi
// and the best one's tempo and measures.
void ChooseByWeight(const std::vector<LengthTempo>& candidates, std::optional<double> estimate,
                    const BandOnsets& onsets, TempoFinding& finding);

// The length's step with no beat tracker, as the page takes it: the tempi
// `seconds` allows, and the one the length decides or the sound of `mono`
// (at `rate`; empty weighs by the prior alone) bears out best.
void ChooseByLengthAlone(double seconds, const std::vector<float>& mono, int rate,
                         TempoFinding& finding);

// The weighed tempi with their scores: "90.0 BPM (1 measure) 2.97, 180.0 BPM (2 measures) 0.37"
std::string WeighedText(const std::vector<WeighedTempo>& weighed);

// The second best when the call is unsure: too near the best, or the one a
// tracker that wavered heard last; else null.
const LengthTempo* SecondChoice(const TempoFinding& finding);

// When the sound left it unsure, the best and how to take the second best:
// "100.0 BPM, or 200.0 BPM (give --measure 2 for that)"; otherwise empty.
std::string SecondChoiceText(const TempoFinding& finding);

}  // namespace loopsmith::adapt
