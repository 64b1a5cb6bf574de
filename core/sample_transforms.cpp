#include "core/sample_transforms.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "core/loop_format.h"
#include "core/loop_length.h"

namespace loopsmith {

// The loops below move whole 16-bit words with memcpy and swap their bytes
// where the order changes, and count in size_t up to a known end: without
// branches, byte stores or a possibly endless counter the compiler turns each
// into vector code.
// Where the processor has AVX2 a second copy of each loop uses it, picked once at
// load time (by the ELF loader's ifunc, which Windows has not).
#if defined(__x86_64__) && defined(__GNUC__) && defined(__linux__)
#define LOOPSMITH_VECTOR_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define LOOPSMITH_VECTOR_CLONES
#endif

static_assert(std::endian::native == std::endian::little, "samples are handled as little-endian");

namespace {

std::uint16_t Load16(const std::uint8_t* p) {
  std::uint16_t v;
  std::memcpy(&v, p, 2);
  return v;
}

void Store16(std::uint8_t* p, std::uint16_t v) { std::memcpy(p, &v, 2); }

std::uint16_t Swap(std::uint16_t v) { return static_cast<std::uint16_t>(v << 8 | v >> 8); }

LOOPSMITH_VECTOR_CLONES void BuildMonoWords(const std::uint8_t* pcm, std::uint8_t* out,
                                            std::uint32_t n) {
  for (std::size_t i = 0, count = std::size_t{n} + 1; i < count; ++i) {
    const std::uint16_t s = Load16(pcm + 2 * i);
    Store16(out + 2 * i, Swap(static_cast<std::uint16_t>(s >> 4)));
  }
}

LOOPSMITH_VECTOR_CLONES void BuildStereoWords(const std::uint8_t* pcm, std::uint8_t* out,
                                              std::uint32_t n) {
  for (std::size_t i = 0, count = std::size_t{n} + 1; i < count; ++i) {
    const std::uint16_t left = Load16(pcm + 4 * i);
    const std::uint16_t right = Load16(pcm + 4 * i + 2);
    // (left + right) / 2 truncated toward zero (-16.5 gives -16), worked out in
    // 16 bits so that eight frames fit a vector: the floor of the mean, plus one
    // where the sum is negative and odd.
    const auto both = static_cast<std::uint16_t>(left ^ right);
    const auto half = static_cast<std::uint16_t>(static_cast<std::int16_t>(both) >> 1);
    const auto floorMean = static_cast<std::uint16_t>((left & right) + half);
    const auto mean = static_cast<std::uint16_t>(floorMean + ((floorMean >> 15) & both & 1));
    Store16(out + 2 * i, Swap(static_cast<std::uint16_t>(mean >> 4)));
  }
}

}  // namespace

LOOPSMITH_VECTOR_CLONES void LoopToPcm(const std::uint8_t* words, std::uint8_t* pcm,
                                       std::uint32_t n) {
  for (std::size_t i = 0, count = std::size_t{n} + 1; i < count; ++i) {
    Store16(pcm + 2 * i, static_cast<std::uint16_t>(Swap(Load16(words + 2 * i)) << 4));
  }
}

void BuildLoopImage(const LoopParams& params, std::uint16_t channels,
                    std::span<const std::uint8_t, kStereoLoadCap> pcm, LoopFileBytes image) {
  MakeLoopHeader(params, image.data());
  const std::uint32_t n = StorageWords(SampleCount(params.measureMode, params.tempo));
  if (channels == 1) {
    BuildMonoWords(pcm.data(), image.data() + kLoopHeaderSize, n);
  } else {
    BuildStereoWords(pcm.data(), image.data() + kLoopHeaderSize, n);
  }
}

void DitherLoopWords(const LoopParams& params, std::uint16_t channels,
                     std::span<const std::uint8_t, kStereoLoadCap> samples, LoopFileBytes image) {
  const std::uint8_t* const pcm = samples.data();
  std::uint32_t state = 0x2545F491;  // xorshift32: small, fast, the same bytes every time
  auto next = [&state] {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return state;
  };
  const std::uint32_t last = SampleCount(params.measureMode, params.tempo);
  std::uint8_t* words = image.data() + kLoopHeaderSize;
  for (std::size_t i = 0; i <= last; ++i) {
    std::int32_t sample = static_cast<std::int16_t>(Load16(pcm + std::size_t{2} * channels * i));
    if (channels == 2) {
      const std::int32_t right = static_cast<std::int16_t>(Load16(pcm + 4 * i + 2));
      sample = (sample + right) / 2;  // truncated toward zero, as without dither
    }
    // Two uniform values of one 12-bit step make the triangular noise; the
    // half step turns the shift's floor into rounding.
    const std::uint32_t r = next();
    const std::int32_t noise =
        static_cast<std::int32_t>(r & 15) + static_cast<std::int32_t>(r >> 4 & 15) - 15;
    const std::int32_t dithered = std::clamp(sample + 8 + noise, -32768, 32767);
    Store16(words + 2 * i,
            Swap(static_cast<std::uint16_t>(static_cast<std::uint16_t>(dithered) >> 4)));
  }
}

}  // namespace loopsmith
