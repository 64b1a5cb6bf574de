#include "adapt/mixdown.h"

#include <algorithm>
#include <cmath>

namespace loopsmith::adapt {

std::vector<float> MixToStereo(const std::vector<float>& in, int channels) {
  const auto count = static_cast<std::size_t>(channels);
  const std::size_t frames = in.size() / count;
  std::vector<float> out(frames * 2);
  const int left = (channels + 1) / 2;
  const int right = channels / 2;
  for (std::size_t i = 0; i < frames; ++i) {
    float sums[2] = {0, 0};
    for (std::size_t c = 0; c < count; ++c) sums[c % 2] += in[i * count + c];
    out[2 * i] = sums[0] / static_cast<float>(left);
    out[2 * i + 1] = sums[1] / static_cast<float>(right);
  }
  return out;
}

std::int16_t RoundTo16(float x) {
  const double scaled = std::nearbyint(static_cast<double>(x) * 32768.0);
  return static_cast<std::int16_t>(std::clamp(scaled, -32768.0, 32767.0));
}

std::uint32_t StorePcm16(const std::vector<float>& samples, int channels, std::size_t maxFrames,
                         std::uint8_t* pcm) {
  const auto count = static_cast<std::size_t>(channels);
  const std::size_t values = std::min(samples.size() / count, maxFrames) * count;
  for (std::size_t i = 0; i < values; ++i) {
    const auto value = static_cast<std::uint16_t>(RoundTo16(samples[i]));
    pcm[2 * i] = static_cast<std::uint8_t>(value);
    pcm[2 * i + 1] = static_cast<std::uint8_t>(value >> 8);
  }
  return static_cast<std::uint32_t>(values * 2);
}

}  // namespace loopsmith::adapt
