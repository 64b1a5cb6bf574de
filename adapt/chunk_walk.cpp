#include "adapt/chunk_walk.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "base/bytes.h"
#include "base/text.h"
#include "wave/riff_file.h"

namespace loopsmith::adapt {
namespace {

// Four printable characters, as every chunk id is.
bool IsChunkId(const std::uint8_t* id) {
  return std::all_of(id, id + 4, [](std::uint8_t c) { return c >= 0x20 && c < 0x7F; });
}

std::uint32_t Load32(const std::uint8_t* p, bool bigEndian) {
  return bigEndian ? LoadBE32(p) : LoadLE32(p);
}

}  // namespace

ChunkWalk WalkChunks(FileSystem& fs, FileHandle file, std::int64_t size) {
  ChunkWalk walk;
  std::uint8_t head[12];
  if (size < 12 || fs.Seek(file, 0, SeekFrom::kStart) != 0 || fs.Read(file, head, 12) != 12) {
    return walk;
  }
  // RF64 lays its chunks out as RIFF does (its data size lives in "ds64").
  walk.riff = std::memcmp(head, "RIFF", 4) == 0 || std::memcmp(head, "RF64", 4) == 0;
  const bool form = std::memcmp(head, "FORM", 4) == 0;
  if (!walk.riff && !form) return walk;
  // Every chunk must fit in the file: some of libsndfile's parsers walk a
  // chunk's claimed size byte by byte, which for a hostile 4 GiB claim takes
  // minutes, and a recording cut short would be padded with silence. Sound
  // data of size 0 or 0xFFFFFFFF was written by a program that did not know
  // its length, and is read to the end.
  auto readHeader = [&](std::int64_t from, std::uint8_t* header) {
    return fs.Seek(file, from, SeekFrom::kStart) == from && fs.Read(file, header, 8) == 8;
  };
  // A header that names a chunk which fits in the file.
  auto fits = [&](std::int64_t from, const std::uint8_t* header) {
    return IsChunkId(header) && from + 8 + std::int64_t{Load32(header + 4, form)} <= size;
  };
  std::int64_t at = 12;
  bool afterOdd = false;
  for (int chunks = 0; chunks < 10'000 && at + 8 <= size; ++chunks) {
    std::uint8_t header[8];
    if (!readHeader(at, header)) break;
    if (afterOdd && !fits(at, header)) {
      // Some writers leave out the pad byte after an odd chunk: the next one
      // then starts a byte early.
      std::uint8_t earlier[8];
      if (readHeader(at - 1, earlier) && fits(at - 1, earlier)) {
        --at;
        std::memcpy(header, earlier, 8);
      }
    }
    const std::uint32_t length = Load32(header + 4, form);
    const bool sound = std::memcmp(header, "data", 4) == 0 || std::memcmp(header, "SSND", 4) == 0;
    const bool unknown = sound && (length == 0 || length == 0xFFFFFFFF);
    if (!unknown && at + 8 + length > size) {
      walk.failure =
          PlainFailure((sound ? "it ends before its header says: its chunk \"" : "its chunk \"") +
                       std::string(reinterpret_cast<const char*>(header), 4) + "\" claims " +
                       WithCommas(length) + " bytes, the file holds " +
                       WithCommas(static_cast<std::uint64_t>(size - at - 8)));
      return walk;
    }
    if (walk.riff && std::memcmp(header, "acid", 4) == 0 && length >= 24) {
      // flags, root note, two unknown fields, beats, meter: the tempo is a float at 20.
      std::uint8_t tempo[4];
      if (fs.Seek(file, at + 8 + 20, SeekFrom::kStart) == at + 28 && fs.Read(file, tempo, 4) == 4) {
        const std::uint32_t bits = Load32(tempo, false);
        float bpm = 0;
        std::memcpy(&bpm, &bits, sizeof bpm);
        if (std::isfinite(bpm) && bpm > 0) walk.acidBpm = bpm;
      }
    }
    if (unknown) break;
    afterOdd = (length & 1) != 0;
    at += 8 + PaddedSize(length);
  }
  return walk;
}

}  // namespace loopsmith::adapt
