#include "wav_builder.h"

#include <algorithm>

namespace loopsmith::testing {

void PutLE16(std::vector<std::uint8_t>& out, std::uint32_t v) {
  out.push_back(static_cast<std::uint8_t>(v));
  out.push_back(static_cast<std::uint8_t>(v >> 8));
}

void PutLE32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  PutLE16(out, v & 0xFFFF);
  PutLE16(out, v >> 16);
}

std::vector<std::uint8_t> FormatBody(std::uint16_t channels, std::uint32_t rate, std::uint16_t bits,
                                     std::size_t size, std::uint16_t tag) {
  std::vector<std::uint8_t> body;
  PutLE16(body, tag);
  PutLE16(body, channels);
  PutLE32(body, rate);
  PutLE32(body, rate * channels * (bits / 8u));
  PutLE16(body, channels * (bits / 8u));
  PutLE16(body, bits);
  PutLE16(body, size > 18 ? static_cast<std::uint32_t>(size - 18) : 0);
  body.resize(size, 0);
  return body;
}

std::vector<std::uint8_t> Pcm16(const std::vector<std::int16_t>& samples) {
  std::vector<std::uint8_t> bytes;
  for (const auto s : samples) PutLE16(bytes, static_cast<std::uint16_t>(s));
  return bytes;
}

std::vector<std::uint8_t> Riff(const std::vector<Chunk>& chunks, const std::string& form,
                               std::optional<std::uint32_t> riffSize) {
  std::vector<std::uint8_t> body(form.begin(), form.end());
  for (const auto& chunk : chunks) {
    body.insert(body.end(), chunk.id.begin(), chunk.id.end());
    PutLE32(body, chunk.size.value_or(static_cast<std::uint32_t>(chunk.data.size())));
    body.insert(body.end(), chunk.data.begin(), chunk.data.end());
    if (chunk.pad && chunk.data.size() % 2 == 1) body.push_back(0);
  }
  std::vector<std::uint8_t> file = {'R', 'I', 'F', 'F'};
  PutLE32(file, riffSize.value_or(static_cast<std::uint32_t>(body.size())));
  file.insert(file.end(), body.begin(), body.end());
  return file;
}

std::vector<std::uint8_t> SimpleWave(std::uint16_t channels,
                                     const std::vector<std::int16_t>& samples) {
  return Riff({{"fmt ", FormatBody(channels, 44100, 16)}, {"data", Pcm16(samples)}});
}

std::vector<std::int16_t> Pcm16Of(const std::vector<double>& x) {
  std::vector<std::int16_t> samples(x.size());
  for (std::size_t i = 0; i < x.size(); ++i) {
    samples[i] = static_cast<std::int16_t>(std::clamp(x[i] * 32767, -32768.0, 32767.0));
  }
  return samples;
}

}  // namespace loopsmith::testing
