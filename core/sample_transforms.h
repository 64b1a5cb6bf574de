#pragma once

#include <cstdint>
#include <span>

#include "core/loop_format.h"
#include "core/loop_params.h"
#include "wave/wave_io.h"

namespace loopsmith {

// Sample words 0 to n (big-endian, from byte 0 of `words`) become 16-bit
// little-endian samples 0 to n of `pcm`: the word's low 12 bits become the
// sample's high 12 bits; the word's top four bits are ignored.
void LoopToPcm(const std::uint8_t* words, std::uint8_t* pcm, std::uint32_t n);

// Builds a complete loop file image in `image` (header, then StorageWords + 1
// words) from 16-bit little-endian samples, mixing stereo frames down to their
// mean truncated toward zero. `pcm` must read as zero past the loaded data.
void BuildLoopImage(const LoopParams& params, std::uint16_t channels,
                    std::span<const std::uint8_t, kStereoLoadCap> pcm, LoopFileBytes image);

// Rewrites the loop's words (0 to SampleCount) of an image BuildLoopImage made
// from the same samples, with TPDF dither of one 12-bit step before rounding
// to 12 bits: quantisation noise without the distortion that truncation gives
// quiet material. The noise comes from a fixed seed, so the bytes repeat.
void DitherLoopWords(const LoopParams& params, std::uint16_t channels,
                     std::span<const std::uint8_t, kStereoLoadCap> pcm, LoopFileBytes image);

}  // namespace loopsmith
