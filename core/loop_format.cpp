#include "core/loop_format.h"

#include <algorithm>

#include "core/loop_length.h"

namespace loopsmith {

void MakeLoopHeader(const LoopParams& params, std::uint8_t* out) {
  std::copy(kLoopHeaderTemplate.begin(), kLoopHeaderTemplate.end(), out);
  const auto tempo = static_cast<std::uint16_t>(params.tempo);
  out[kTempoHighOffset] = static_cast<std::uint8_t>(tempo >> 8);
  out[kTempoLowOffset] = static_cast<std::uint8_t>(tempo & 0xFF);
  out[kMeasureOffset] = params.measureMode;
}

bool IsLoopHeader(const std::uint8_t* header) {
  return std::equal(header, header + 14, kLoopHeaderTemplate.begin());
}

void TakeHeaderParams(const std::uint8_t* header, LoopParams& params) {
  params.tempo = static_cast<std::int16_t>(
      static_cast<std::uint16_t>(header[kTempoHighOffset] << 8 | header[kTempoLowOffset]));
  params.measureMode = header[kMeasureOffset];
}

std::size_t LoopImageSize(const LoopParams& params) {
  return kLoopHeaderSize +
         2 * (std::size_t{StorageWords(SampleCount(params.measureMode, params.tempo))} + 1);
}

}  // namespace loopsmith
