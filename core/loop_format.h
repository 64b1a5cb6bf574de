#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "core/loop_params.h"

namespace loopsmith {

inline constexpr std::size_t kLoopHeaderSize = 56;
inline constexpr std::size_t kLoopImageElements = 524'344;  // loop image buffer, 2-byte elements
inline constexpr std::size_t kPcmElements = 524'288;        // PCM buffer, 2-byte elements
inline constexpr std::size_t kLargestLoopFile = kLoopHeaderSize + std::size_t{2} * kLongestLoop;

// A loop file image, header and words, or a loop's words alone: the largest fits.
using LoopFileBytes = std::span<std::uint8_t, kLargestLoopFile>;

// Every loop file header is this template with bytes 19-21 set. After the
// signature and two checked bytes come ten bytes 7F 40 tt tt mm 40 00 7F 00 00
// four times over, cut after 39 bytes; only the first group carries the values.
inline constexpr std::array<std::uint8_t, kLoopHeaderSize> kLoopHeaderTemplate = {
    0x54, 0x51, 0x2D, 0x35, 0x38, 0x20, 0x20, 0x20, 0x31, 0x2E, 0x30, 0x30, 0x00, 0x20,
    0x00, 0x00, 0x01, 0x7F, 0x40, 0x04, 0xB0, 0x01, 0x40, 0x00, 0x7F, 0x00, 0x00, 0x7F,
    0x40, 0x04, 0xB0, 0x01, 0x40, 0x00, 0x7F, 0x00, 0x00, 0x7F, 0x40, 0x04, 0xB0, 0x01,
    0x40, 0x00, 0x7F, 0x00, 0x00, 0x7F, 0x40, 0x04, 0xB0, 0x01, 0x40, 0x00, 0x7F, 0x00};

inline constexpr std::size_t kTempoHighOffset = 19;
inline constexpr std::size_t kTempoLowOffset = 20;
inline constexpr std::size_t kMeasureOffset = 21;

// Writes the header for `params` into the first 56 bytes of `out`.
void MakeLoopHeader(const LoopParams& params, std::uint8_t* out);
// True when the signature and bytes 12 and 13 are right; nothing else is examined.
bool IsLoopHeader(const std::uint8_t* header);
// Tempo and measure mode as the header holds them; the file number is left alone.
void TakeHeaderParams(const std::uint8_t* header, LoopParams& params);

// Bytes of a complete loop file image (header and stored words) for `params`.
std::size_t LoopImageSize(const LoopParams& params);

}  // namespace loopsmith
