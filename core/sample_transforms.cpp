#include "core/sample_transforms.h"

#include "core/loop_format.h"
#include "core/loop_length.h"

namespace loopsmith {

// The loops below work on bytes with explicit endianness and no branches, so
// the compiler turns them into vector code.

void LoopToPcm(const std::uint8_t* words, std::uint8_t* pcm, std::uint32_t n) {
  for (std::uint32_t i = 0; i <= n; ++i) {
    const std::uint8_t b0 = words[2 * i];
    const std::uint8_t b1 = words[2 * i + 1];
    pcm[2 * i] = static_cast<std::uint8_t>(b1 << 4);
    pcm[2 * i + 1] = static_cast<std::uint8_t>(b0 << 4 | b1 >> 4);
  }
}

namespace {

void BuildMonoWords(const std::uint8_t* pcm, std::uint8_t* out, std::uint32_t n) {
  for (std::uint32_t i = 0; i <= n; ++i) {
    const auto s = static_cast<std::uint16_t>(pcm[2 * i] | pcm[2 * i + 1] << 8);
    const auto v = static_cast<std::uint16_t>(s >> 4);
    out[2 * i] = static_cast<std::uint8_t>(v >> 8);
    out[2 * i + 1] = static_cast<std::uint8_t>(v);
  }
}

void BuildStereoWords(const std::uint8_t* pcm, std::uint8_t* out, std::uint32_t n) {
  for (std::uint32_t i = 0; i <= n; ++i) {
    const std::uint8_t* frame = pcm + 4 * i;
    const auto left = static_cast<std::int16_t>(frame[0] | frame[1] << 8);
    const auto right = static_cast<std::int16_t>(frame[2] | frame[3] << 8);
    const std::int32_t mean = (left + right) / 2;  // truncates toward zero: -16.5 gives -16
    const auto v = static_cast<std::uint16_t>(static_cast<std::uint16_t>(mean) >> 4);
    out[2 * i] = static_cast<std::uint8_t>(v >> 8);
    out[2 * i + 1] = static_cast<std::uint8_t>(v);
  }
}

}  // namespace

void BuildLoopImage(const LoopParams& params, std::uint16_t channels, const std::uint8_t* pcm,
                    std::uint8_t* image) {
  MakeLoopHeader(params, image);
  const std::uint32_t n = StorageWords(SampleCount(params.measureMode, params.tempo));
  if (channels == 1) {
    BuildMonoWords(pcm, image + kLoopHeaderSize, n);
  } else {
    BuildStereoWords(pcm, image + kLoopHeaderSize, n);
  }
}

}  // namespace loopsmith
