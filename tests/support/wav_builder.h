#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace loopsmith::testing {

struct Chunk {
  std::string id;  // four characters
  std::vector<std::uint8_t> data;
  std::optional<std::uint32_t> size;  // the stored size, when it should lie
  bool pad = true;                    // add the pad byte after odd data
};

void PutLE16(std::vector<std::uint8_t>& out, std::uint32_t v);
void PutLE32(std::vector<std::uint8_t>& out, std::uint32_t v);

// A format chunk body of `size` bytes (14, 16, 18 or more).
std::vector<std::uint8_t> FormatBody(std::uint16_t channels, std::uint32_t rate, std::uint16_t bits,
                                     std::size_t size = 16, std::uint16_t tag = 1);
std::vector<std::uint8_t> Pcm16(const std::vector<std::int16_t>& samples);
// "RIFF", size, form, then the chunks.
std::vector<std::uint8_t> Riff(const std::vector<Chunk>& chunks, const std::string& form = "WAVE",
                               std::optional<std::uint32_t> riffSize = std::nullopt);
// Full-scale samples (+-1.0) as 16-bit ones, clipped.
std::vector<std::int16_t> Pcm16Of(const std::vector<double>& x);
// A plain 44,100 Hz 16-bit file.
std::vector<std::uint8_t> SimpleWave(std::uint16_t channels,
                                     const std::vector<std::int16_t>& samples);

}  // namespace loopsmith::testing
