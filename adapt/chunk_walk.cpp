#include "adapt/chunk_walk.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "base/bytes.h"
#include "base/text.h"
#include "wave/chunk_walker.h"

namespace loopsmith::adapt {
namespace {

// Four printable characters, as every chunk id is.
bool IsChunkId(const char* id) {
  return std::all_of(id, id + 4, [](char c) { return c >= 0x20 && c < 0x7F; });
}

}  // namespace

ChunkWalk WalkChunks(FileSystem& fs, FileHandle file, std::int64_t size) {
  ChunkWalk walk;
  FileChunkBytes bytes(fs, file);
  const ContainerHead head = size >= 12 ? ReadContainerHead(bytes) : ContainerHead{};
  walk.riff = head.kind == Container::kRiff || head.kind == Container::kRf64;
  if (head.kind == Container::kNone) return walk;
  // Every chunk must fit in the file: some of libsndfile's parsers walk a
  // chunk's claimed size byte by byte, which for a hostile 4 GiB claim takes
  // minutes, and a recording cut short would be padded with silence. Sound
  // data of size 0 or 0xFFFFFFFF was written by a program that did not know
  // its length, and is read to the end.
  ChunkWalker walker(bytes, head.bigEndian());
  // A header that names a chunk which fits in the file.
  auto fits = [&](const ChunkHeader& chunk) {
    return IsChunkId(chunk.id) && chunk.body() + std::int64_t{chunk.size} <= size;
  };
  bool afterOdd = false;
  for (int chunks = 0; chunks < 10'000 && walker.position() + 8 <= size; ++chunks) {
    const std::int64_t at = walker.position();
    std::optional<ChunkHeader> chunk = walker.Next();
    if (!chunk) break;
    if (afterOdd && !fits(*chunk)) {
      // Some writers leave out the pad byte after an odd chunk: the next one
      // then starts a byte early.
      walker.MoveTo(at - 1);
      const std::optional<ChunkHeader> earlier = walker.Next();
      if (earlier && fits(*earlier)) {
        chunk = earlier;
      } else {
        walker.MoveTo(chunk->next());
      }
    }
    const bool sound = chunk->Is("data") || chunk->Is("SSND");
    const bool unknown = sound && (chunk->size == 0 || chunk->size == 0xFFFFFFFF);
    if (!unknown && chunk->body() + chunk->size > size) {
      walk.failure = PlainFailure(
          (sound ? "it ends before its header says: its chunk \"" : "its chunk \"") +
          std::string(chunk->id, 4) + "\" claims " + WithCommas(chunk->size) +
          " bytes, the file holds " + WithCommas(static_cast<std::uint64_t>(size - chunk->body())));
      return walk;
    }
    if (walk.riff && chunk->Is("acid") && chunk->size >= 24) {
      // flags, root note, two unknown fields, beats, meter: the tempo is a float at 20.
      std::uint8_t tempo[4];
      if (bytes.ReadAt(chunk->body() + 20, tempo, 4) == 4) {
        const std::uint32_t bits = LoadLE32(tempo);
        float bpm = 0;
        std::memcpy(&bpm, &bits, sizeof bpm);
        if (std::isfinite(bpm) && bpm > 0) walk.acidBpm = bpm;
      }
    }
    if (unknown) break;
    afterOdd = (chunk->size & 1) != 0;
  }
  return walk;
}

}  // namespace loopsmith::adapt
