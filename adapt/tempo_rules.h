#pragma once

#include <optional>
#include <string>
#include <vector>

#include "base/messages.h"

namespace loopsmith::adapt {

// The tempo rules that need no library: what a tag or a name says, which
// tempi a length allows. The command line's --bpm auto and the page's
// "Suggest tempo" both use them.

// A measure of 4 beats lasts this many seconds divided by the tempo: 60 s x 4.
inline constexpr double kMeasureSecondsAtOneBpm = 240.0;
// Eight measures at 40 BPM: the longest loop whose length tells its tempo.
inline constexpr double kLongestMeasuredLoop = 8 * kMeasureSecondsAtOneBpm / 40;

// Whether a file of `fileSeconds` whose loop is taken from `startSeconds` is
// a take, whose length tells nothing of its tempo: a file longer than
// kLongestMeasuredLoop, or one started later whose rest runs on past the
// longest loop the sampler holds. Otherwise it is a loop, perhaps with a
// late start cut off: its length from the start tells the tempo.
bool IsTake(double fileSeconds, double startSeconds);

// "128.5 BPM"
std::string BpmText(double bpm);

// To a tenth of a BPM, as the loop file stores it.
double RoundToTenth(double bpm);

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

// A tempo the length allows, with how well the sound bears it out.
struct WeighedTempo {
  LengthTempo tempo;
  double score = 0;
  std::vector<double> evidence;  // by kind, as beat_level.h names them
};

// Where --bpm auto found a tempo, and what is worth saying about it.
struct TempoFinding {
  std::optional<double> bpm;    // 40 to 240, in tenths; empty when none could be decided
  std::string source;           // "the loop chunk", "the file name", "the loop length"
  int measures = 0;             // how many 4-beat measures the file holds at bpm, 0 if unknown
  std::optional<double> heard;  // the beat tracker's estimate, when it ran
  bool wavered = false;         // it heard another octave the time round before: no vote
  std::vector<WeighedTempo> weighed;  // the length's tempi, best first, when the sound chose
  std::string adjusted;               // "halved from 250.0 BPM", or empty
  std::vector<std::string> notes;     // doubts worth a line on standard error
  std::optional<Failure> failure;     // why there is none; ends with what to do
};

// The tags' step of --bpm auto, and the page's suggestion: the loop chunk's
// tempo (`chunkBpm`), else the one in the file name; when both are there and
// disagree, a failure that names them. `seconds` (0 when unknown) checks the
// tag: a length that is no whole number of measures at it is a note. True
// when the tags decided.
bool TempoFromTags(std::optional<double> chunkBpm, const std::string& path, double seconds,
                   TempoFinding& finding);

// The length's step: the tempo at which `seconds` is `givenMeasures` (1 or 2)
// measures, or the one tempo it allows; otherwise the candidates, for beat
// tracking to choose among (a failure where there are none).
std::vector<LengthTempo> TempoFromLength(double seconds, int givenMeasures, TempoFinding& finding);

// "60.0 BPM (1 measure), 120.0 BPM (2 measures)"
std::string CandidatesText(const std::vector<LengthTempo>& candidates);

}  // namespace loopsmith::adapt
