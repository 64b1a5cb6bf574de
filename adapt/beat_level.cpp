#include "adapt/beat_level.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <initializer_list>

namespace loopsmith::adapt {
namespace {

// Above this a loop is rarely played, so sixteenths never make a tempo faster.
constexpr double kFastestFromSubdivisions = 200;
// The tempo most loops are near; only a tie in the evidence is settled by it.
constexpr double kUsualBpm = 110;
// The detection function answers a little before a hit's peak and up to a
// window after its start.
constexpr double kEarly = 0.01;
constexpr double kLate = 0.03;
// A slot is played when it holds a hit at least this share of the usual beat.
constexpr double kPlayedShare = 0.25;
// How far a loop's first beat may sit from its start: a cut a little early or late.
constexpr double kLongestLead = 0.08;
// "Every" slot allows a missed one in eight; "silent" beats are below a fifth
// of the others; "no eighths" is under half of them played.
constexpr double kAllPlayed = 0.85;
constexpr double kSilent = 0.2;
constexpr double kFewPlayed = 0.5;
// How late, in beats, a swung sixteenth and a shuffled eighth may come.
constexpr double kSixteenthSwing = 1.0 / 12;
constexpr double kEighthSwing = 1.0 / 6;

double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const std::size_t half = values.size() / 2;
  return values.size() % 2 == 1 ? values[half] : (values[half - 1] + values[half]) / 2;
}

double Octaves(double a, double b) { return std::abs(std::log2(a / b)); }

// The curve is one pass of a loop: any hop, before it or past it, wraps round.
double AtHop(const std::vector<double>& strength, long hop) {
  const auto count = static_cast<long>(strength.size());
  return strength[static_cast<std::size_t>((hop % count + count) % count)];
}

// Where the first beat is, in seconds from the start (negative: before, at the
// end of the loop): the offset, up to `longest` either way, at which the beats
// of `period` land on the most onset strength. Nearest the start on a tie.
double FirstBeat(const OnsetCurve& onsets, double period, double seconds, double longest) {
  const double hops = period / onsets.hopSeconds;
  const int beats = std::max(1, static_cast<int>(std::lround(seconds / period)));
  const auto reach = static_cast<long>(longest / onsets.hopSeconds);
  long best = 0;
  double bestSum = -1;
  for (long step = 0; step <= 2 * reach; ++step) {
    const long offset = step % 2 == 0 ? step / 2 : -(step + 1) / 2;  // 0, -1, 1, -2, 2 ...
    double sum = 0;
    for (int beat = 0; beat < beats; ++beat) {
      const long hop = offset + std::lround(beat * hops);
      sum += AtHop(onsets.strength, hop);
    }
    if (sum > bestSum) {
      bestSum = sum;
      best = offset;
    }
  }
  return static_cast<double>(best) * onsets.hopSeconds;
}

// The onset curve read against the beats of one tempo.
class Grid {
 public:
  Grid(const OnsetCurve& onsets, double seconds, double firstBeat)
      : m_strength(onsets.strength),
        m_hop(onsets.hopSeconds),
        m_seconds(seconds),
        m_firstBeat(firstBeat),
        m_usual(Median(onsets.strength)) {}

  // The strongest hit from just before `at` to `late` after it, above the usual level.
  [[nodiscard]] double PeakAt(double at, double late) const {
    const auto first = static_cast<long>(std::floor((m_firstBeat + at - kEarly) / m_hop));
    const auto last = static_cast<long>(std::ceil((m_firstBeat + at + late) / m_hop));
    double peak = 0;
    for (long hop = first; hop <= last; ++hop) {
      peak = std::max(peak, AtHop(m_strength, hop));
    }
    return std::max(0.0, peak - m_usual);
  }

  [[nodiscard]] std::vector<double> BeatPeaks(double bpm) const {
    const double period = 60 / bpm;
    const int beats = std::max(2, static_cast<int>(std::lround(m_seconds / period)));
    std::vector<double> peaks;
    peaks.reserve(static_cast<std::size_t>(beats));
    for (int beat = 0; beat < beats; ++beat) peaks.push_back(PeakAt(beat * period, kLate));
    return peaks;
  }

  // Whether anything is heard on the beats at all; without it nothing is evidence.
  [[nodiscard]] bool Heard(double bpm) const { return Median(BeatPeaks(bpm)) > 0; }

  // The share of the slots at `fractions` of each beat that are played. A slot
  // may come late by up to `swing` of a beat: swung and shuffled notes.
  [[nodiscard]] double Played(double bpm, std::initializer_list<double> fractions,
                              double swing) const {
    const std::vector<double> beats = BeatPeaks(bpm);
    const double usualBeat = Median(beats);
    const double period = 60 / bpm;
    int played = 0;
    int slots = 0;
    for (std::size_t beat = 0; beat < beats.size(); ++beat) {
      for (const double fraction : fractions) {
        const double at = (static_cast<double>(beat) + fraction) * period;
        played += PeakAt(at, swing * period + kLate) >= kPlayedShare * usualBeat ? 1 : 0;
        ++slots;
      }
    }
    return static_cast<double>(played) / slots;
  }

  // The second beats against the first: near 0 when every other beat is silent.
  [[nodiscard]] double Alternation(double bpm) const {
    const std::vector<double> beats = BeatPeaks(bpm);
    std::vector<double> first;
    std::vector<double> second;
    for (std::size_t beat = 0; beat < beats.size(); ++beat) {
      (beat % 2 == 0 ? first : second).push_back(beats[beat]);
    }
    const double firsts = Median(first);
    return firsts > 0 ? Median(second) / firsts : 1;
  }

 private:
  const std::vector<double>& m_strength;
  double m_hop;
  double m_seconds;
  double m_firstBeat;
  double m_usual;
};

}  // namespace

std::optional<LengthTempo> PickTempo(const std::vector<LengthTempo>& candidates, double estimate,
                                     const OnsetCurve& onsets) {
  if (candidates.empty() || !(estimate > 0) || !std::isfinite(estimate)) return std::nullopt;
  std::size_t at = 0;
  for (std::size_t i = 1; i < candidates.size(); ++i) {
    if (Octaves(candidates[i].bpm, estimate) < Octaves(candidates[at].bpm, estimate)) at = i;
  }
  if (onsets.strength.empty() || !(onsets.hopSeconds > 0)) return candidates[at];
  // A value that is no number would break every comparison below.
  OnsetCurve finite = onsets;
  for (double& value : finite.strength) value = std::isfinite(value) ? value : 0;
  const double seconds = kMeasureSecondsAtOneBpm * candidates[at].measures / candidates[at].bpm;
  // The first beat from the slowest tempo's beats, so that it is a downbeat,
  // and no further off than a quarter of the fastest tempo's beat.
  const double firstBeat = FirstBeat(finite, 60 / candidates.front().bpm, seconds,
                                     std::min(kLongestLead, 60 / candidates.back().bpm / 4));
  const Grid grid(finite, seconds, firstBeat);

  bool faster = false;
  while (at + 1 < candidates.size() && candidates[at + 1].bpm <= kFastestFromSubdivisions &&
         grid.Heard(candidates[at].bpm) &&
         grid.Played(candidates[at].bpm, {0.25, 0.75}, kSixteenthSwing) >= kAllPlayed) {
    ++at;
    faster = true;
  }
  while (!faster && at > 0) {
    const double bpm = candidates[at].bpm;
    const bool tooFast = bpm > kFastestFromSubdivisions;
    const bool everyOtherSilent = grid.Alternation(bpm) < kSilent;
    const bool noEighths = grid.Heard(bpm) && grid.Played(bpm, {0.5}, kEighthSwing) < kFewPlayed &&
                           Octaves(candidates[at - 1].bpm, kUsualBpm) < Octaves(bpm, kUsualBpm);
    if (!tooFast && !everyOtherSilent && !noEighths) break;
    --at;
  }
  return candidates[at];
}

}  // namespace loopsmith::adapt
