#pragma once

#include <cstddef>
#include <cstdint>

namespace loopsmith {

// Numbers as the file formats store them, whatever this machine's own order.
inline std::uint16_t LoadLE16(const std::uint8_t* p) {
  return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}
inline std::uint32_t LoadLE32(const std::uint8_t* p) {
  return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
         std::uint32_t{p[3]} << 24;
}
inline std::uint32_t LoadBE32(const std::uint8_t* p) {
  return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 |
         std::uint32_t{p[3]};
}
// 16-bit samples from a WAV file's data chunk bytes, and back.
inline void LoadLE16(const std::uint8_t* p, std::size_t count, std::int16_t* samples) {
  for (std::size_t i = 0; i < count; ++i) {
    samples[i] = static_cast<std::int16_t>(p[2 * i] | p[2 * i + 1] << 8);
  }
}
inline void StoreLE16(const std::int16_t* samples, std::size_t count, std::uint8_t* p) {
  for (std::size_t i = 0; i < count; ++i) {
    const auto value = static_cast<std::uint16_t>(samples[i]);
    p[2 * i] = static_cast<std::uint8_t>(value & 0xFF);
    p[2 * i + 1] = static_cast<std::uint8_t>(value >> 8);
  }
}
inline void StoreLE32(std::uint32_t value, std::uint8_t* p) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

}  // namespace loopsmith
