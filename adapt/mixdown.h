#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace loopsmith::adapt {

// More than two channels become two: odd-numbered ones left, even-numbered
// right, each side their mean. `in` is interleaved, full scale +-1.0.
std::vector<float> MixToStereo(const std::vector<float>& in, int channels);

// Interleaved samples of `channels` channels as one: each frame's mean,
// times `scale` (1/32768 for 16-bit samples).
template <typename Sample>
std::vector<float> MixToMono(const std::vector<Sample>& in, int channels, float scale = 1) {
  if (channels <= 0) return {};
  const auto count = static_cast<std::size_t>(channels);
  std::vector<float> mono(in.size() / count);
  for (std::size_t i = 0; i < mono.size(); ++i) {
    float sum = 0;
    for (std::size_t c = 0; c < count; ++c) sum += static_cast<float>(in[i * count + c]);
    mono[i] = sum / static_cast<float>(channels) * scale;
  }
  return mono;
}

// A sample of full scale +-1.0 rounded to 16 bits, clipped at the ends.
std::int16_t RoundTo16(float x);

// Interleaved samples of one or two channels as 16-bit little-endian bytes
// into `pcm`, at most `maxFrames` frames; returns the bytes written.
std::uint32_t StorePcm16(const std::vector<float>& samples, int channels, std::size_t maxFrames,
                         std::uint8_t* pcm);

}  // namespace loopsmith::adapt
