#include "adapt/take_tempo.h"

#include <algorithm>
#include <cmath>

#include "adapt/beat_level.h"
#include "core/loop_params.h"

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

// The beat period at which the onsets best repeat, 60 to 180 BPM; 0 when
// they do not repeat at all.
double RepeatingTempo(const std::vector<double>& curve, double hop) {
  double mean = 0;
  for (const double v : curve) mean += v;
  mean /= static_cast<double>(curve.size());
  double best = 0;
  double bestSum = 0;
  const auto shortest = static_cast<std::size_t>(60.0 / 180 / hop);
  const auto longest = static_cast<std::size_t>(60.0 / 60 / hop);
  for (std::size_t lag = shortest; lag <= longest && lag < curve.size(); ++lag) {
    double sum = 0;
    for (std::size_t i = 0; i + lag < curve.size(); ++i)
      sum += (curve[i] - mean) * (curve[i + lag] - mean);
    sum /= static_cast<double>(curve.size() - lag);
    if (sum > bestSum) {
      bestSum = sum;
      best = 60 / (static_cast<double>(lag) * hop);
    }
  }
  return best;
}

}  // namespace

void WeighTakeTempo(const BandOnsets& onsets, std::optional<double> heard, bool steady,
                    TempoFinding& finding) {
  finding.source = "the take's beats";
  const bool usable = !onsets.all.empty() && onsets.hopSeconds > 0;
  const double rough = heard ? *heard : usable ? RepeatingTempo(onsets.all, onsets.hopSeconds) : 0;
  const double estimate = usable ? RefinedTempo(onsets, rough) : rough;
  std::vector<LengthTempo> octaves;
  for (const double factor : {0.25, 0.5, 1.0, 2.0, 4.0}) {
    const double bpm = estimate * factor;
    if (bpm >= kMinBpm && bpm <= kMaxBpm) octaves.push_back({bpm, 0});
  }
  if (!(estimate > 0) || octaves.empty()) {
    finding.failure = PlainFailure("no beat is heard in the take; give the tempo");
    return;
  }
  if (heard) {
    finding.heard = heard;
    finding.wavered = !steady;
  }
  // A tracker that changed its mind between octaves does not vote.
  ChooseByWeight(octaves, heard && steady ? std::optional(estimate) : std::nullopt, onsets,
                 finding);
}

double RefinedTempo(const BandOnsets& onsets, double bpm) {
  const double hop = onsets.hopSeconds;
  const double seconds = static_cast<double>(onsets.all.size()) * hop;
  if (!(bpm > 0) || !(hop > 0) || seconds * bpm / 60 < kFewestBeats) return bpm;
  // Over a short take several tempi lay their beats on the same hops: the
  // middle of the tempi that score best is taken, not the slowest of them.
  double first = bpm;
  double last = bpm;
  double bestSum = -1;
  const auto steps = static_cast<int>(2 * kReach * bpm / kStepBpm);
  for (int step = 0; step <= steps; ++step) {
    const double t = bpm * (1 - kReach) + step * kStepBpm;
    const double period = 60 / t;
    const auto phases = static_cast<int>(period / hop);
    double score = 0;
    for (int phase = 0; phase < phases; ++phase) {
      score = std::max(score, OnBeats(onsets.all, hop, period, phase * hop));
    }
    constexpr double kSame = 1e-9;
    if (score > bestSum * (1 + kSame)) {
      bestSum = score;
      first = last = t;
    } else if (score >= bestSum * (1 - kSame)) {
      last = t;
    }
  }
  return (first + last) / 2;
}

}  // namespace loopsmith::adapt
