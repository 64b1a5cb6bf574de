#pragma once

#include <cstdint>

namespace loopsmith {

// 1 = one measure of four beats, 2 = two measures, 0 = OFF (the longest loop).
// A loop file header may hold any byte here; every value but 1 and 2 acts as OFF.
using MeasureMode = std::uint8_t;

inline constexpr MeasureMode kMeasureOff = 0;
inline constexpr MeasureMode kMeasureOne = 1;
inline constexpr MeasureMode kMeasureTwo = 2;

// What the dialog offers: tempo in whole BPM, file numbers L01.T58 to L50.T58.
inline constexpr int kMinBpm = 40;
inline constexpr int kMaxBpm = 240;
inline constexpr int kMinFileNumber = 1;
inline constexpr int kMaxFileNumber = 50;

// The longest loop, in samples: four blocks of 65,536 words.
inline constexpr std::uint32_t kLongestLoop = 262'144;

struct LoopParams {
  std::int16_t tempo = 1200;  // tenths of BPM; a header value from 0x8000 up is negative
  MeasureMode measureMode = kMeasureOne;
  std::uint8_t fileNumber = 1;  // 1 to 50; names the output file only
};

}  // namespace loopsmith
