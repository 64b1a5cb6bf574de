#include "core/loop_length.h"

namespace loopsmith {

std::uint32_t SampleCount(MeasureMode mode, std::int16_t tempo) {
  std::uint64_t beats = 0;
  if (mode == kMeasureOne) {
    beats = 4;
  } else if (mode == kMeasureTwo) {
    beats = 8;
  } else {
    return kMaxLastIndex;
  }
  // The tempo is widened with its sign and then divides as unsigned, so a
  // negative header tempo gives a huge divisor and a loop of two samples.
  const std::int32_t widened = tempo;
  const auto divisor32 = static_cast<std::uint32_t>(widened);
  const std::uint64_t divisor = divisor32;
  if (divisor == 0) return 0;
  const std::uint64_t dividend = beats * 26'460'000;  // 44,100 Hz x 60 s x tenths
  const std::uint64_t n = (dividend + divisor - 1) / divisor;
  return n <= kMaxLastIndex ? static_cast<std::uint32_t>(n) : kMaxLastIndex;
}

std::uint32_t StorageWords(std::uint32_t n) {
  if (n < 0x10000) return 0xFFFF;
  if (n < 0x20000) return 0x1FFFF;
  if (n < 0x30000) return 0x2FFFF;
  return 0x3FFFF;
}

double DisplaySeconds(MeasureMode mode, std::uint32_t bpm) {
  double beats = 0;
  if (mode == kMeasureOne) {
    beats = 4;
  } else if (mode == kMeasureTwo) {
    beats = 8;
  } else {
    return 6.0;
  }
  if (bpm == 0) return 0.0;  // the slider never gives 0; avoid an infinite quotient
  const double q = 60000.0 / static_cast<double>(bpm);
  const auto ms = static_cast<std::int64_t>(q * beats);
  return static_cast<double>(ms) * 0.001;
}

}  // namespace loopsmith
