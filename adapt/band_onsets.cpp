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

// Each octave band's energy per hop: a fourth-order band-pass, twice round
// as the three bands are.
std::vector<double> OctaveEnergy(const std::vector<float>& mono, int rate, std::size_t hop,
                                 std::size_t hops, std::size_t band) {
  const bool top = band + 1 == kOctaveBottoms.size();
  const double upper = top ? 0.45 * rate : kOctaveBottoms[band + 1];
  std::array<Biquad, 4> f = {Biquad::HighPass(kOctaveBottoms[band], rate),
                             Biquad::HighPass(kOctaveBottoms[band], rate),
                             Biquad::LowPass(upper, rate), Biquad::LowPass(upper, rate)};
  std::vector<double> energy(hops, 0);
  for (int round = 0; round < 2; ++round) {
    for (std::size_t i = 0; i < hops * hop; ++i) {
      const double x = std::isfinite(mono[i]) ? mono[i] : 0;
      const double y = f[3](f[2](f[1](f[0](x))));
      if (round == 1) energy[i / hop] += y * y;
    }
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

BandOnsets OnsetsOf(const std::vector<float>& mono, int rate) {
  BandOnsets onsets;
  const auto hop = static_cast<std::size_t>(std::lround(rate * kHopSeconds));
  if (rate <= 0 || hop == 0 || mono.size() < hop * 4) return onsets;
  const std::size_t hops = mono.size() / hop;
  onsets.hopSeconds = static_cast<double>(mono.size()) / rate / static_cast<double>(hops);
  std::array<Biquad, 2> low = {Biquad::LowPass(kLowTop, rate), Biquad::LowPass(kLowTop, rate)};
  std::array<Biquad, 2> mid = {Biquad::HighPass(kMidBottom, rate), Biquad::LowPass(kMidTop, rate)};
  std::array<Biquad, 2> high = {Biquad::HighPass(kHighBottom, rate),
                                Biquad::HighPass(kHighBottom, rate)};
  std::array<std::vector<double>, 3> energy;
  for (auto& band : energy) band.assign(hops, 0);
  // Twice round, keeping the second: the filters have settled by the loop's start
  // and hear its end ringing into it.
  for (int round = 0; round < 2; ++round) {
    for (std::size_t i = 0; i < hops * hop; ++i) {
      const double x = std::isfinite(mono[i]) ? mono[i] : 0;
      const std::array<double, 3> y = {low[1](low[0](x)), mid[1](mid[0](x)), high[1](high[0](x))};
      if (round == 0) continue;
      for (std::size_t band = 0; band < 3; ++band) energy[band][i / hop] += y[band] * y[band];
    }
  }
  onsets.low = Rises(energy[0], kTellApart);
  onsets.mid = Rises(energy[1], kTellApart);
  onsets.all.assign(hops, 0);
  for (const auto& band : energy) AddScaled(band, onsets.all);
  onsets.octaves.assign(hops, 0);
  for (std::size_t band = 0; band < kOctaveBottoms.size(); ++band) {
    AddScaled(OctaveEnergy(mono, rate, hop, hops, band), onsets.octaves);
  }
  return onsets;
}

}  // namespace loopsmith::adapt
