#include "adapt/take_tempo.h"

#include <cmath>

namespace loopsmith::adapt {
namespace {

constexpr double kReach = 0.03;     // either way of the tracker's tempo
constexpr double kStepBpm = 0.025;  // finer than the tenths a loop file keeps
constexpr int kFewestBeats = 8;

// The onset on the beats of `period` seconds laid from `phase`, each beat's
// the strongest of the hops it spans.
double OnBeats(const std::vector<double>& curve, double hop, double period, double phase) {
  double sum = 0;
  const auto count = static_cast<double>(curve.size());
  for (double at = phase; at / hop + 1 < count; at += period) {
    const auto i = static_cast<std::size_t>(at / hop);
    sum += std::max(curve[i], curve[i + 1]);
  }
  return sum;
}

}  // namespace

double RefinedTempo(const BandOnsets& onsets, double bpm) {
  const double hop = onsets.hopSeconds;
  const double seconds = static_cast<double>(onsets.all.size()) * hop;
  if (!(bpm > 0) || !(hop > 0) || seconds * bpm / 60 < kFewestBeats) return bpm;
  double best = bpm;
  double bestSum = -1;
  const auto steps = static_cast<int>(2 * kReach * bpm / kStepBpm);
  for (int step = 0; step <= steps; ++step) {
    const double t = bpm * (1 - kReach) + step * kStepBpm;
    const double period = 60 / t;
    const auto phases = static_cast<int>(period / hop);
    for (int phase = 0; phase < phases; ++phase) {
      const double sum = OnBeats(onsets.all, hop, period, phase * hop);
      if (sum > bestSum) {
        bestSum = sum;
        best = t;
      }
    }
  }
  return best;
}

}  // namespace loopsmith::adapt
