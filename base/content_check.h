#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace loopsmith {

// A fast 64-bit checksum of a byte stream, eight bytes a step (FNV-1a over
// words). Not for security: it tells one version of a file from another.
class Checksum {
 public:
  void Add(const void* data, std::size_t n) {
    const auto* bytes = static_cast<const unsigned char*>(data);
    for (; n >= 8; n -= 8, bytes += 8) {
      std::uint64_t word;
      std::memcpy(&word, bytes, 8);
      Mix(word);
    }
    for (; n > 0; --n, ++bytes) Mix(*bytes);
    ++m_parts;
  }
  std::uint64_t value() const { return m_hash ^ m_parts; }

 private:
  void Mix(std::uint64_t word) { m_hash = (m_hash ^ word) * 0x100000001B3ULL; }
  std::uint64_t m_hash = 0xCBF29CE484222325ULL;
  std::uint64_t m_parts = 0;
};

// What a file handed out, range by range, so that it can be read again and
// compared: where times are too coarse to show a rewrite made during the read
// (FAT keeps them in 2-second steps), the bytes themselves must.
class ReadLedger {
 public:
  void Note(std::int64_t offset, const void* data, std::size_t n) {
    if (n == 0) return;
    m_ranges.push_back({offset, n});
    m_sum.Add(data, n);
  }
  // `readAt(offset, buffer, n)` reads again what the file holds now; true when
  // every range still holds what it held. A read that fails counts as a change.
  template <class ReadAt>
  bool StillHolds(ReadAt readAt) const {
    Checksum now;
    std::vector<unsigned char> buffer;
    for (const Range& range : m_ranges) {
      buffer.resize(range.size);
      if (readAt(range.offset, buffer.data(), range.size) != static_cast<std::int64_t>(range.size))
        return false;
      now.Add(buffer.data(), range.size);
    }
    return now.value() == m_sum.value();
  }

 private:
  struct Range {
    std::int64_t offset;
    std::size_t size;
  };
  std::vector<Range> m_ranges;
  Checksum m_sum;
};

}  // namespace loopsmith
