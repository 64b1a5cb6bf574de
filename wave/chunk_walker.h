#pragma once

#include <cstdint>
#include <cstring>
#include <optional>

#include "base/file_system.h"

namespace loopsmith {

// A chunk's bytes in the file: its data, and the pad byte that follows an odd size.
constexpr std::int64_t PaddedSize(std::int64_t size) { return size + (size & 1); }

// Where a walk reads its headers from: bytes at an offset, fewer at the end, -1 on error.
class ChunkBytes {
 public:
  virtual ~ChunkBytes() = default;
  virtual std::int64_t ReadAt(std::int64_t offset, void* out, std::size_t n) = 0;
};

// A file's bytes through the file seam.
class FileChunkBytes final : public ChunkBytes {
 public:
  FileChunkBytes(FileSystem& fs, FileHandle file) : m_fs(fs), m_file(file) {}
  std::int64_t ReadAt(std::int64_t offset, void* out, std::size_t n) override;

 private:
  FileSystem& m_fs;
  FileHandle m_file;
};

// One chunk header: four characters, then the size of the body that follows
// (little-endian in RIFF, big-endian in AIFF's FORM).
struct ChunkHeader {
  char id[4] = {};
  std::uint32_t size = 0;
  std::int64_t at = 0;  // where the header starts
  [[nodiscard]] std::int64_t body() const { return at + 8; }
  // Where the next header is: past the body and its pad byte.
  [[nodiscard]] std::int64_t next() const { return body() + PaddedSize(size); }
  [[nodiscard]] bool Is(const char* name) const { return std::memcmp(id, name, 4) == 0; }
};

// What a file's first twelve bytes say it is.
enum class Container { kNone, kRiff, kRf64, kForm };
struct ContainerHead {
  Container kind = Container::kNone;
  char form[4] = {};  // "WAVE", "AIFF", "AIFC" ...
  [[nodiscard]] bool bigEndian() const { return kind == Container::kForm; }
  [[nodiscard]] bool FormIs(const char* name) const { return std::memcmp(form, name, 4) == 0; }
};
ContainerHead ReadContainerHead(ChunkBytes& bytes);

// The one walk over a RIFF, RF64 or FORM file's chunks that every reader
// takes: each Next() reads the header at the walk's position and moves past
// its chunk. What a reader accepts (a size past the end, a pad byte left
// out, how many chunks) stays the reader's own rule.
class ChunkWalker {
 public:
  // The first chunk of a file is at 12, after its container's header.
  ChunkWalker(ChunkBytes& bytes, bool bigEndian, std::int64_t from = 12)
      : m_bytes(bytes), m_bigEndian(bigEndian), m_position(from) {}

  // The header at the position; none where its 8 bytes are not all there
  // (headerBytes() says how many were; -1 on a read error).
  std::optional<ChunkHeader> Next();
  [[nodiscard]] std::int64_t headerBytes() const { return m_read; }
  // The bytes the last Next() read, headerBytes() of them.
  [[nodiscard]] const std::uint8_t* raw() const { return m_raw; }

  [[nodiscard]] std::int64_t position() const { return m_position; }
  void MoveTo(std::int64_t offset) { m_position = offset; }

 private:
  ChunkBytes& m_bytes;
  bool m_bigEndian;
  std::int64_t m_position;
  std::int64_t m_read = 0;
  std::uint8_t m_raw[8] = {};
};

}  // namespace loopsmith
