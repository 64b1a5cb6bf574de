#pragma once

#include <cstdint>

#include "core/loop_params.h"

namespace loopsmith {

inline constexpr std::uint32_t kMaxLastIndex = kLongestLoop - 1;

// Both results are last indices, not counts: a loop holds SampleCount + 1 samples
// and a loop file stores StorageWords + 1 words.
std::uint32_t SampleCount(MeasureMode mode, std::int16_t tempo);
std::uint32_t StorageWords(std::uint32_t n);

// Loop time for the dialog, in seconds: whole milliseconds, truncated.
double DisplaySeconds(MeasureMode mode, std::uint32_t bpm);

}  // namespace loopsmith
