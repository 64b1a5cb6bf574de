#include "adapt/first_hit.h"

#include <algorithm>
#include <cmath>

#include "adapt/band_onsets.h"

namespace loopsmith::adapt {
namespace {

// A hit's onset reaches this share of the loudest onset, and its peak this
// share of the loud hits' (their upper quartile, so that one crash does not
// set the bar): softer ones are ghost notes, pickups played soft, or the
// noise between takes.
constexpr double kHitShare = 1.0 / 3;
constexpr double kLoudShare = 0.3;
// From the level just before it to its peak a hit rises at least this much
// within kRiseSeconds; a pad fading in takes far longer.
constexpr double kSharpRiseDb = 12;
constexpr double kRiseSeconds = 0.02;
// A sound still swelling this much louder within kSwellSeconds after its
// onset is fading in, not struck: judged in kFrameSeconds steps.
constexpr double kSwellRatio = 2;
constexpr double kSwellSeconds = 0.2;
constexpr double kFrameSeconds = 0.01;
// The level before an onset is measured over this much sound.
constexpr double kBeforeSeconds = 0.03;
// Where it stands out: above half again the noise's peaks before it, and
// above this share of its own peak. Its first rise lies a little before
// that, under the noise: the start is a millisecond earlier.
constexpr double kAboveNoise = 1.5;
constexpr double kAttackShareOfPeak = 0.05;
constexpr double kStepBackSeconds = 0.001;

// A sample, or silence outside the sound.
double At(const std::vector<float>& mono, std::int64_t i) {
  return i >= 0 && i < static_cast<std::int64_t>(mono.size()) ? mono[static_cast<std::size_t>(i)]
                                                              : 0.0;
}

double Rms(const std::vector<float>& mono, std::int64_t from, std::int64_t to) {
  from = std::max<std::int64_t>(from, 0);
  to = std::min<std::int64_t>(to, static_cast<std::int64_t>(mono.size()));
  if (to <= from) return 0;
  double sum = 0;
  for (std::int64_t i = from; i < to; ++i) sum += At(mono, i) * At(mono, i);
  return std::sqrt(sum / static_cast<double>(to - from));
}

double Peak(const std::vector<float>& mono, std::int64_t from, std::int64_t to) {
  double peak = 0;
  to = std::min<std::int64_t>(to, static_cast<std::int64_t>(mono.size()));
  for (std::int64_t i = std::max<std::int64_t>(from, 0); i < to; ++i) {
    peak = std::max(peak, std::abs(At(mono, i)));
  }
  return peak;
}

double Db(double ratio) { return 20 * std::log10(ratio); }

// The loudest kFrameSeconds of sound between `from` and `to`, as RMS.
double LoudestFrame(const std::vector<float>& mono, std::int64_t from, std::int64_t to, int rate) {
  const auto frame = std::max<std::int64_t>(1, static_cast<std::int64_t>(kFrameSeconds * rate));
  double loudest = 0;
  for (std::int64_t at = from; at < to; at += frame) {
    loudest = std::max(loudest, Rms(mono, at, std::min(at + frame, to)));
  }
  return loudest;
}

// The hits' starts, or why there are none.
std::vector<std::int64_t> Hits(const std::vector<float>& mono, int rate, std::string& why) {
  const BandOnsets onsets = BroadOnsetsOf(mono, rate);
  if (onsets.all.empty()) {
    why = "it is too short to hold a hit";
    return {};
  }
  // The curve wraps round as a loop does: the first hops' rise is measured
  // against the end. A take is no loop, so those hops are judged by the
  // sound alone, below.
  const double loudest = *std::max_element(onsets.all.begin(), onsets.all.end());
  if (!(loudest > 0)) {
    why = "it holds no hit, only silence or a steady sound";
    return {};
  }
  const auto hop = static_cast<std::int64_t>(std::lround(onsets.hopSeconds * rate));
  const auto before = static_cast<std::int64_t>(kBeforeSeconds * rate);
  const auto riseLength = static_cast<std::int64_t>(kRiseSeconds * rate);
  struct Hit {
    std::int64_t from;  // where its attack is searched
    std::int64_t to;
    double peak;
    double noisePeak;  // the loudest sample before it
  };
  std::vector<Hit> hits;
  for (std::size_t h = 0; h < onsets.all.size(); ++h) {
    if (onsets.all[h] < kHitShare * loudest) continue;
    // The hop's rise spans two hops: the attack lies within them.
    const std::int64_t around = static_cast<std::int64_t>(h) * hop;
    const std::int64_t from = std::max<std::int64_t>(0, around - 3 * hop);
    const std::int64_t to = around + hop + riseLength;
    const double peak = Peak(mono, from, to);
    const double noise = Rms(mono, from - before, from);
    if (!(peak > 0)) continue;
    const auto swell = static_cast<std::int64_t>(kSwellSeconds * rate);
    const bool swelling =
        LoudestFrame(mono, to, to + swell, rate) > kSwellRatio * LoudestFrame(mono, from, to, rate);
    const bool sharp = (noise <= 0 || Db(peak / noise) >= kSharpRiseDb) && !swelling;
    // One hit's hops, seen again while it rises, are one hit.
    if (sharp && (hits.empty() || from >= hits.back().to)) {
      hits.push_back({from, to, peak, Peak(mono, from - before, from)});
    }
  }
  if (hits.empty()) {
    why = "no clear first hit: its sound rises slowly, as a pad does";
    return {};
  }
  std::vector<double> peaks(hits.size());
  std::transform(hits.begin(), hits.end(), peaks.begin(), [](const Hit& hit) { return hit.peak; });
  std::sort(peaks.begin(), peaks.end());
  const double loud = peaks[peaks.size() * 3 / 4];
  std::vector<std::int64_t> starts;
  for (const Hit& hit : hits) {
    if (hit.peak < kLoudShare * loud) continue;
    const double threshold = std::max(kAboveNoise * hit.noisePeak, kAttackShareOfPeak * hit.peak);
    std::int64_t attack = hit.from;
    while (attack < hit.to && std::abs(At(mono, attack)) < threshold) ++attack;
    const auto back = static_cast<std::int64_t>(kStepBackSeconds * rate);
    starts.push_back(std::max<std::int64_t>(0, attack - back));
  }
  return starts;
}

}  // namespace

FirstHit FindFirstHit(const std::vector<float>& mono, int rate) {
  std::string why;
  const std::vector<std::int64_t> starts = Hits(mono, rate, why);
  if (starts.empty()) return {std::nullopt, why};
  return {starts.front(), {}};
}

std::vector<std::int64_t> HitStarts(const std::vector<float>& mono, int rate) {
  std::string why;
  return Hits(mono, rate, why);
}

}  // namespace loopsmith::adapt
