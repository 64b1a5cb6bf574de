#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace loopsmith {

// A fast 64-bit checksum of a byte stream, defined on the stream alone, so
// that it is the same however the bytes arrive: FNV-1a over the stream's
// 64-bit little-endian words, the last 1 to 7 bytes one at a time, the result
// XORed with the stream's length in bytes. Not for security: it tells one
// version of a file from another, and a damaged journal from a whole one.
class Checksum {
 public:
  void Add(const void* data, std::size_t n) {
    const auto* bytes = static_cast<const unsigned char*>(data);
    m_length += n;
    if (m_pending > 0) {
      const std::size_t take = std::min(n, 8 - m_pending);
      std::memcpy(m_word + m_pending, bytes, take);
      m_pending += take;
      bytes += take;
      n -= take;
      if (m_pending < 8) return;
      Mix(Word(m_word));
      m_pending = 0;
    }
    for (; n >= 8; n -= 8, bytes += 8) Mix(Word(bytes));
    if (n > 0) std::memcpy(m_word, bytes, n);
    m_pending = n;
  }
  std::uint64_t value() const {
    std::uint64_t hash = m_hash;
    for (std::size_t i = 0; i < m_pending; ++i) hash = (hash ^ m_word[i]) * kPrime;
    return hash ^ m_length;
  }

 private:
  static constexpr std::uint64_t kPrime = 0x100000001B3ULL;
  static std::uint64_t Word(const unsigned char* bytes) {
    std::uint64_t word = 0;
    for (int i = 7; i >= 0; --i) word = (word << 8) | bytes[i];
    return word;
  }
  void Mix(std::uint64_t word) { m_hash = (m_hash ^ word) * kPrime; }
  std::uint64_t m_hash = 0xCBF29CE484222325ULL;
  std::uint64_t m_length = 0;
  unsigned char m_word[8] = {};
  std::size_t m_pending = 0;
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
