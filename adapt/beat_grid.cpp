#include "adapt/beat_grid.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <numeric>

namespace loopsmith::adapt {
namespace {

// Set by hand, from how the detection function answers: a little before a
// hit's peak and up to a window after its start.
constexpr double kEarly = 0.01;
constexpr double kLate = 0.03;
// Set by hand on the development sets (of 0.15, 0.2 and 0.25): a slot is
// played when it holds a hit at least this share of the loud beats.
constexpr double kPlayedShare = 0.2;
// Set by hand: a beat is silent when it holds less than this share of the
// loud beats: above the rises of hiss 46 dB down, under a quiet hat's.
constexpr double kSilentShare = 0.15;
// Set by hand, as players swing: how late, in beats, a swung sixteenth and a
// shuffled eighth may come.
constexpr double kSixteenthSwing = 1.0 / 12;
constexpr double kEighthSwing = 1.0 / 6;
// Set by hand: a hit's rise runs on for up to about 50 ms in the low band, so
// a thirty-second nearer its sixteenth than this would hear the sixteenth's.
constexpr double kThirtySecondApart = 0.08;

double Mean(const std::vector<double>& values) {
  return values.empty() ? 0
                        : std::accumulate(values.begin(), values.end(), 0.0) /
                              static_cast<double>(values.size());
}

// The curve is one pass of a loop: any hop, before it or past it, wraps round.
double AtHop(const std::vector<double>& strength, long hop) {
  const auto count = static_cast<long>(strength.size());
  return strength[static_cast<std::size_t>((hop % count + count) % count)];
}

}  // namespace

BeatGrid::BeatGrid(const BandOnsets& onsets, double bpm, double seconds)
    : m_onsets(onsets),
      m_period(60 / bpm),
      m_beats(std::max(2, static_cast<int>(std::lround(seconds / m_period)))) {
  m_first = FirstBeat();
  m_beatPeaks = Peaks(m_onsets.all);
  m_loud = UpperQuartile(m_beatPeaks);
  m_slotLoud = UpperQuartile(Peaks(m_onsets.octaves));
}

// The strongest rise in `curve` from just before `at` (seconds from the
// first beat) to `late` after it.
double BeatGrid::PeakAt(const std::vector<double>& curve, double at, double late) const {
  const double hop = m_onsets.hopSeconds;
  const auto first = static_cast<long>(std::floor((m_first + at - kEarly) / hop));
  const auto last = static_cast<long>(std::ceil((m_first + at + late) / hop));
  double peak = 0;
  for (long i = first; i <= last; ++i) peak = std::max(peak, AtHop(curve, i));
  return peak;
}

// Each beat's peak in `curve`, at `fraction` of the way to the next one.
std::vector<double> BeatGrid::Peaks(const std::vector<double>& curve, double fraction,
                                    double swing) const {
  std::vector<double> peaks;
  peaks.reserve(static_cast<std::size_t>(m_beats));
  for (int beat = 0; beat < m_beats; ++beat) {
    peaks.push_back(PeakAt(curve, (beat + fraction) * m_period, swing * m_period + kLate));
  }
  return peaks;
}

// The share of the slots at `fractions` of each beat holding a hit of at
// least kPlayedShare of the loud beats', both in the octave bands (where a
// quiet hit under a louder sound still rises); a slot may come `swing` late.
double BeatGrid::Played(std::initializer_list<double> fractions, double swing) const {
  if (!(m_slotLoud > 0)) return 0;
  int played = 0;
  int slots = 0;
  for (const double fraction : fractions) {
    for (const double peak : Peaks(m_onsets.octaves, fraction, swing)) {
      played += peak >= kPlayedShare * m_slotLoud ? 1 : 0;
      ++slots;
    }
  }
  return static_cast<double>(played) / slots;
}

double BeatGrid::Eighths() const { return Played({0.5}, kEighthSwing); }

double BeatGrid::Sixteenths() const { return Played({0.25, 0.75}, kSixteenthSwing); }

double BeatGrid::ThirtySeconds() const {
  if (m_period / 8 < kThirtySecondApart) return 0;
  return Played({0.125, 0.375, 0.625, 0.875}, 0);
}

// A beat is played at kPlayedShare of the loud beats' level.
double BeatGrid::Coverage() const { return BeatsReaching(kPlayedShare).value_or(0); }

// Silent: under kSilentShare of the loud beats.
double BeatGrid::SilentBeats() const {
  const std::optional<double> reaching = BeatsReaching(kSilentShare);
  return reaching ? 1 - *reaching : 0;
}

double BeatGrid::Backbeat() const {
  const auto contrast = [this](const std::vector<double>& curve) {
    const std::vector<double> peaks = Peaks(curve);
    double even = 0;
    double odd = 0;
    for (std::size_t beat = 0; beat < peaks.size(); ++beat) {
      (beat % 2 == 0 ? even : odd) += peaks[beat];
    }
    return even + odd > 0 ? (even - odd) / (even + odd) : 0;
  };
  return std::abs(contrast(m_onsets.low) - contrast(m_onsets.mid));
}

double BeatGrid::Repeat() const {
  const std::vector<double>& curve = m_onsets.all;
  const double mean = Mean(curve);
  const auto lag = static_cast<long>(std::lround(m_period / m_onsets.hopSeconds));
  double same = 0;
  double shifted = 0;
  for (std::size_t i = 0; i < curve.size(); ++i) {
    const double here = curve[i] - mean;
    same += here * here;
    shifted += here * (AtHop(curve, static_cast<long>(i) + lag) - mean);
  }
  return same > 0 ? shifted / same : 0;
}

// The share of the beats whose peak reaches `share` of the loud beats';
// none where no beat is loud.
std::optional<double> BeatGrid::BeatsReaching(double share) const {
  if (!(m_loud > 0)) return std::nullopt;
  const auto reaching = std::count_if(m_beatPeaks.begin(), m_beatPeaks.end(),
                                      [&](double peak) { return peak >= share * m_loud; });
  return static_cast<double>(reaching) / static_cast<double>(m_beatPeaks.size());
}

// Where the beats land on the most onset, up to half a beat either way of
// the loop's start; nearest the start on a tie. Each beat takes the
// strongest hop within one of where it falls: a beat's place rounds to a
// hop, and a rise two hops wide would otherwise be missed by one hop on
// some beats and not others, letting a grid between the hits win.
double BeatGrid::FirstBeat() const {
  const double hop = m_onsets.hopSeconds;
  const auto reach = static_cast<long>(m_period / 2 / hop);
  long best = 0;
  double bestSum = -1;
  for (long step = 0; step <= 2 * reach; ++step) {
    const long offset = step % 2 == 0 ? step / 2 : -(step + 1) / 2;  // 0, -1, 1, -2, 2 ...
    double sum = 0;
    for (int beat = 0; beat < m_beats; ++beat) {
      const long at = offset + std::lround(beat * m_period / hop);
      sum += std::max(
          {AtHop(m_onsets.all, at - 1), AtHop(m_onsets.all, at), AtHop(m_onsets.all, at + 1)});
    }
    if (sum > bestSum) {
      bestSum = sum;
      best = offset;
    }
  }
  return static_cast<double>(best) * hop;
}

}  // namespace loopsmith::adapt
