#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "base/file_system.h"
#include "base/messages.h"

namespace loopsmith::adapt {

// What a walk over a RIFF or AIFF file's chunks found.
struct ChunkWalk {
  std::optional<Failure> failure;  // why the file cannot be what it claims
  bool riff = false;               // a RIFF or RF64 file, whose loop chunk is read here
  std::optional<double> acidBpm;   // the tempo of an "acid" chunk long enough to hold one
};

// Walks a RIFF or AIFF file's chunks: a chunk that reaches past the end of the
// file is refused (the sound data too, unless its size says "unknown"), and a
// RIFF file's loop chunk is read.
ChunkWalk WalkChunks(FileSystem& fs, FileHandle file, std::int64_t size);

}  // namespace loopsmith::adapt
