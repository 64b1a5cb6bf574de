#include "adapt/band_onsets.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <numbers>

namespace loopsmith::adapt {
namespace {

// Where the bands part: below the kick's, the snare's body and crack, and
// above both the hats and rides.
constexpr double kLowTop = 120;
constexpr double kMidBottom = 200;
constexpr double kMidTop = 2500;
constexpr double kHighBottom = 5000;
constexpr double kHopSeconds = 0.005;
// log(1 + c x) of energies scaled to 1. To hear every hit, a ghost note
// too, but not the noise between hits; to tell one drum from another, the
// bands' levels kept further apart, so that a snare's lows do not pass for a kick.
constexpr double kHearAll = 1000;
constexpr double kTellApart = 10;
constexpr int kRiseHops = 2;
// Long enough for the slowest filter (40 Hz) to forget where it started.
constexpr double kSettleSeconds = 0.25;
// The octave bands' lower edges; the top one has no upper edge.
constexpr std::array<double, 9> kOctaveBottoms = {40, 90, 180, 360, 720, 1440, 2880, 5760, 11520};

// A second-order section (the audio EQ cookbook's), run in place.
class Biquad {
 public:
  static Biquad LowPass(double hz, int rate) { return Make(hz, rate, true); }
  static Biquad HighPass(double hz, int rate) { return Make(hz, rate, false); }

  double operator()(double x) {
    const double y = m_b[0] * x + m_b[1] * m_x1 + m_b[2] * m_x2 - m_a1 * m_y1 - m_a2 * m_y2;
    m_x2 = m_x1;
    m_x1 = x;
    m_y2 = m_y1;
    m_y1 = y;
    return y;
  }

 private:
  static Biquad Make(double hz, int rate, bool low) {
    // Past half the rate a band has nothing: pass all, or nothing.
    const double w = 2 * std::numbers::pi * std::min(hz, 0.45 * rate) / rate;
    const double alpha = std::sin(w) / std::numbers::sqrt2;  // Q = 1/sqrt(2): no peak at the edge
    const double c = std::cos(w);
    const double a0 = 1 + alpha;
    Biquad f;
    const double edge = low ? (1 - c) / 2 : (1 + c) / 2;
    f.m_b = {edge / a0, (low ? 1 - c : -(1 + c)) / a0, edge / a0};
    f.m_a1 = -2 * c / a0;
    f.m_a2 = (1 - alpha) / a0;
    return f;
  }

  std::array<double, 3> m_b{};
  double m_a1 = 0;
  double m_a2 = 0;
  double m_x1 = 0;
  double m_x2 = 0;
  double m_y1 = 0;
  double m_y2 = 0;
};

// Energy to onsets: compressed, and the rise over kRiseHops, never a fall.
std::vector<double> Rises(const std::vector<double>& energy, double compression) {
  const double loudest = *std::max_element(energy.begin(), energy.end());
  std::vector<double> level(energy.size());
  for (std::size_t i = 0; i < energy.size(); ++i) {
    level[i] = loudest > 0 ? std::log1p(compression * energy[i] / loudest) : 0;
  }
  const std::size_t count = level.size();
  std::vector<double> rise(count);
  for (std::size_t i = 0; i < count; ++i) {
    rise[i] = std::max(0.0, level[i] - level[(i + count - kRiseHops) % count]);
  }
  return rise;
}

std::size_t HopSamples(int rate) {
  return static_cast<std::size_t>(std::lround(rate * kHopSeconds));
}

// Adds a band's rises to `sum`, scaled to its loudest. A band whose loudest
// rise stands little above the rise most hops reach (its upper quartile) is
// mostly noise (a click's lows under hiss), and counts for that much less:
// scaled to its loudest alone, its noise would stand as high as the other
// bands' hits.
void AddScaled(const std::vector<double>& energy, std::vector<double>& sum) {
  const std::vector<double> rises = Rises(energy, kHearAll);
  const double top = *std::max_element(rises.begin(), rises.end());
  if (!(top > 0)) return;
  const double clear = 1 - UpperQuartile(rises) / top;
  for (std::size_t i = 0; i < sum.size(); ++i) sum[i] += clear * rises[i] / top;
}

// A chain of filters' output energy per hop, round the loop: the filters
// first settle on the loop's last kSettleSeconds (or all of it, if shorter),
// so that its start hears its end ringing into it, as a loop played does.
template <std::size_t N>
std::vector<double> Energy(const std::vector<float>& mono, int rate, std::size_t hop,
                           std::size_t hops, std::array<Biquad, N> chain) {
  const std::size_t count = hops * hop;
  const auto run = [&](std::size_t i) {
    double y = std::isfinite(mono[i]) ? mono[i] : 0;
    for (Biquad& f : chain) y = f(y);
    return y;
  };
  const auto settle = std::min(count, static_cast<std::size_t>(kSettleSeconds * rate));
  for (std::size_t i = count - settle; i < count; ++i) run(i);
  std::vector<double> energy(hops, 0);
  for (std::size_t i = 0; i < count; ++i) {
    const double y = run(i);
    energy[i / hop] += y * y;
  }
  return energy;
}

}  // namespace

double UpperQuartile(std::vector<double> values) {
  if (values.empty()) return 0;
  const auto at = static_cast<std::ptrdiff_t>(values.size() * 3 / 4);
  std::nth_element(values.begin(), values.begin() + at, values.end());
  return values[static_cast<std::size_t>(at)];
}

BandOnsets BroadOnsetsOf(const std::vector<float>& mono, int rate) {
  BandOnsets onsets;
  const std::size_t hop = HopSamples(rate);
  if (rate <= 0 || hop == 0 || mono.size() < hop * 4) return onsets;
  const std::size_t hops = mono.size() / hop;
  onsets.hopSeconds = static_cast<double>(mono.size()) / rate / static_cast<double>(hops);
  const std::array<std::vector<double>, 3> energy = {
      Energy(mono, rate, hop, hops,
             std::array{Biquad::LowPass(kLowTop, rate), Biquad::LowPass(kLowTop, rate)}),
      Energy(mono, rate, hop, hops,
             std::array{Biquad::HighPass(kMidBottom, rate), Biquad::LowPass(kMidTop, rate)}),
      Energy(mono, rate, hop, hops,
             std::array{Biquad::HighPass(kHighBottom, rate), Biquad::HighPass(kHighBottom, rate)}),
  };
  onsets.low = Rises(energy[0], kTellApart);
  onsets.mid = Rises(energy[1], kTellApart);
  onsets.all.assign(hops, 0);
  for (const auto& band : energy) AddScaled(band, onsets.all);
  return onsets;
}

BandOnsets OnsetsOf(const std::vector<float>& mono, int rate) {
  BandOnsets onsets = BroadOnsetsOf(mono, rate);
  if (onsets.all.empty()) return onsets;
  const std::size_t hops = onsets.all.size();
  const std::size_t hop = HopSamples(rate);
  onsets.octaves.assign(hops, 0);
  for (std::size_t band = 0; band < kOctaveBottoms.size(); ++band) {
    const double bottom = kOctaveBottoms[band];
    // The top band's upper edge is the low-pass's own limit.
    const double top = band + 1 < kOctaveBottoms.size() ? kOctaveBottoms[band + 1] : rate;
    const std::vector<double> octave =
        Energy(mono, rate, hop, hops,
               std::array{Biquad::HighPass(bottom, rate), Biquad::HighPass(bottom, rate),
                          Biquad::LowPass(top, rate), Biquad::LowPass(top, rate)});
    AddScaled(octave, onsets.octaves);
  }
  return onsets;
}

}  // namespace loopsmith::adapt
