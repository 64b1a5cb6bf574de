#include "wave/chunk_walker.h"

#include "base/bytes.h"

namespace loopsmith {

std::int64_t FileChunkBytes::ReadAt(std::int64_t offset, void* out, std::size_t n) {
  const std::int64_t moved = m_fs.Seek(m_file, offset, SeekFrom::kStart);
  if (moved != offset) return moved < 0 ? moved : -1;
  return m_fs.Read(m_file, out, n);
}

ContainerHead ReadContainerHead(ChunkBytes& bytes) {
  ContainerHead head;
  std::uint8_t first[12];
  if (bytes.ReadAt(0, first, 12) != 12) return head;
  // RF64 lays its chunks out as RIFF does (its data size lives in "ds64").
  if (std::memcmp(first, "RIFF", 4) == 0) head.kind = Container::kRiff;
  if (std::memcmp(first, "RF64", 4) == 0) head.kind = Container::kRf64;
  if (std::memcmp(first, "FORM", 4) == 0) head.kind = Container::kForm;
  std::memcpy(head.form, first + 8, 4);
  return head;
}

std::optional<ChunkHeader> ChunkWalker::Next() {
  const std::uint8_t* header = m_raw;
  m_read = m_bytes.ReadAt(m_position, m_raw, 8);
  if (m_read != 8) return std::nullopt;
  ChunkHeader chunk;
  std::memcpy(chunk.id, header, 4);
  chunk.size = m_bigEndian ? LoadBE32(header + 4) : LoadLE32(header + 4);
  chunk.at = m_position;
  m_position = chunk.next();
  return chunk;
}

}  // namespace loopsmith
