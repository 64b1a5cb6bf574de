#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "adapt/chunk_walk.h"
#include "base/file_system.h"
#include "base/messages.h"

namespace loopsmith::adapt {

struct SndfileCalls;

inline constexpr int kMaxRate = 384'000;
inline constexpr int kMaxChannels = 8;

// What libsndfile says a file is.
struct SoundInfo {
  std::string container;  // "WAV (Microsoft)", "FLAC (Free Lossless Audio Codec)", ...
  std::string encoding;   // "Signed 24 bit PCM", "32 bit float", ... (for people to read)
  bool pcm16 = false;     // 16-bit integer samples: nothing to round
  int rate = 0;
  int channels = 0;
  std::int64_t frames = 0;
  bool lengthKnown = true;  // false for a stream written through a pipe, a cut Ogg file
  // The tempo a loop chunk stores (WAV "acid", AIFF), when it is a positive number.
  std::optional<double> loopChunkBpm;
};

// What the strict WAV reader knows of a 44,100 Hz 16-bit WAV file, in
// libsndfile's terms, for when libsndfile is missing; nothing for any other file.
std::optional<SoundInfo> PlainWaveInfo(FileSystem& fs, const std::string& path);

// Any file libsndfile reads, read through the file seam, so that tests and the
// fuzzer can hand it bytes from memory.
class SoundFile {
 public:
  static constexpr const char* kPackage = "libsndfile1";
  // Null with the reason in `failure` when the file cannot be read.
  static std::unique_ptr<SoundFile> Open(FileSystem& fs, const std::string& path, Failure& failure);
  // True where libsndfile cannot be loaded: only plain WAV files can be read then.
  static bool LibraryMissing();
  ~SoundFile();
  SoundFile(const SoundFile&) = delete;
  SoundFile& operator=(const SoundFile&) = delete;

  const SoundInfo& info() const { return m_info; }
  // Up to `frames` frames from the start, interleaved, full scale +-1.0;
  // fewer at the end of the file. Empty with `failure` set on a read error, on
  // a file that ends before its header says, and on one changed while it was read.
  std::vector<float> ReadFrames(std::int64_t frames, std::optional<Failure>& failure);

 private:
  SoundFile() = default;
  struct Io;
  std::unique_ptr<Io> m_io;
  const SndfileCalls* m_sf = nullptr;
  void* m_sndfile = nullptr;
  SoundInfo m_info;
};

}  // namespace loopsmith::adapt
