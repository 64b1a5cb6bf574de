#pragma once

#include <cstdint>
#include <vector>

namespace loopsmith::adapt {

// More than two channels become two: odd-numbered ones left, even-numbered
// right, each side their mean. `in` is interleaved, full scale +-1.0.
std::vector<float> MixToStereo(const std::vector<float>& in, int channels);

// A sample of full scale +-1.0 rounded to 16 bits, clipped at the ends.
std::int16_t RoundTo16(float x);

// Interleaved samples of one or two channels as 16-bit little-endian bytes
// into `pcm`, at most `maxFrames` frames; returns the bytes written.
std::uint32_t StorePcm16(const std::vector<float>& samples, int channels, std::size_t maxFrames,
                         std::uint8_t* pcm);

}  // namespace loopsmith::adapt
