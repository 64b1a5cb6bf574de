#pragma once

#include <optional>
#include <string>
#include <vector>

#include "base/file_system.h"

namespace loopsmith::adapt {

// Where --bpm auto found a tempo, and how sure it is.
struct TempoFinding {
  std::optional<double> bpm;  // 40 to 240, in tenths; empty when none could be decided
  std::string source;         // "the acid chunk", "the file name", "the loop length"
  std::string sureness;       // a few words for --info
  std::string adjusted;       // "halved from 250.0 BPM", or empty
  std::string error;          // why there is none: what was looked at and what it said
};

// "128.5 BPM"
std::string BpmText(double bpm);

// The tempo in a file name: a number followed by "bpm", in any case, with or
// without a space: "Drums_128bpm.wav", "loop 92 BPM.aif", "128.5bpm".
std::optional<double> TempoInName(const std::string& path);

// Candidate tempi of a loop that is a whole number of 4-beat measures, 40 to 240.
std::vector<double> TempiOfLength(double seconds);

// Picks the candidate that a beat tracker's estimate and the loop's onset
// strength (one value a hop) support: tempi an octave from the estimate count
// too, since trackers often land an octave off; of those, the fastest whose
// beats are about as strong as the strongest's. Empty when none is near.
std::optional<double> PickTempo(const std::vector<double>& candidates, double estimate,
                                const std::vector<double>& strength, double hopSeconds,
                                double seconds);

// The tempo for --bpm auto: the file's loop chunk, else its name, else its
// length checked by beat tracking (aubio). Out-of-range tempi are doubled or
// halved into 40 to 240.
TempoFinding FindTempo(FileSystem& fs, const std::string& path);

}  // namespace loopsmith::adapt
