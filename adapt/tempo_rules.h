#pragma once

#include <optional>
#include <string>
#include <vector>

namespace loopsmith::adapt {

// The tempo rules that need no library: what a tag or a name says, which
// tempi a length allows. The command line's --bpm auto and the page's
// "Suggest tempo" both use them.

// "128.5 BPM"
std::string BpmText(double bpm);

// To a tenth of a BPM, as the loop file stores it.
double Tenths(double bpm);

// Whether two tempi agree within 1%.
bool Agree(double a, double b);

// The tempo in a file name: a number followed by "bpm" in any case, with a
// space, "-" or "_" or nothing between, with a decimal point or comma:
// "Drums_128BPM.wav", "loop-120-bpm.aif", "120,5bpm.wav". Numbers no music has
// (below 20 or above 999) are not a tempo.
std::optional<double> TempoInName(const std::string& path);

// A tag's tempo as the tempo to use: within 20 to 999 BPM doubled or halved
// into 40 to 240 and rounded to tenths (`adjusted` says how); beyond that no
// music is written, and the tag is not believed.
std::optional<double> PlausibleTempo(double bpm, std::string& adjusted);

// A tempo at which a loop of the given length is a whole number of measures.
struct LengthTempo {
  double bpm;
  int measures;
};

// The tempi, 40 to 240 BPM, at which `seconds` is `measures` x 1, 2, 4 or 8
// measures of 4 beats, slowest first.
std::vector<LengthTempo> TempiOfLength(double seconds, int measures);

}  // namespace loopsmith::adapt
