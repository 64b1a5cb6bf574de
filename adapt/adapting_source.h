#pragma once

#include <optional>
#include <string>
#include <vector>

#include "base/file_system.h"
#include "base/messages.h"
#include "core/convert_job.h"
#include "wave/wave_file.h"

namespace loopsmith::adapt {

class SoundFile;

// Samples for a loop from any file libsndfile reads: a WAV file the strict
// reader takes is loaded by it, byte for byte as without this; anything else is
// decoded, mixed down to stereo if it has more channels (odd-numbered channels
// left, even-numbered right, each side their mean), resampled to 44,100 Hz with
// libsoxr at very high quality and rounded to 16 bits. A failure is reported
// as one Failure with no catalogue text.
class AdaptingSource final : public PcmSource {
 public:
  AdaptingSource(FileSystem& fs, Reporter& reporter) : m_fs(fs), m_reporter(reporter) {}

  bool Load(const std::string& path, PcmBytes pcm, std::uint32_t& loadedBytes,
            std::uint16_t& channels) override;

 private:
  // The strict reader's load, when it takes the file.
  bool LoadStrict(const std::string& path, PcmBytes pcm, std::uint32_t& loadedBytes,
                  std::uint16_t& channels);
  // Interleaved samples, enough for the longest loop, or the reason there are none.
  std::optional<std::vector<float>> Decode(SoundFile& sound);
  // The samples at 44,100 Hz, or the reason they could not be made.
  std::optional<std::vector<float>> Resample(std::vector<float> samples, int rate, int channels);

  FileSystem& m_fs;
  Reporter& m_reporter;
};

}  // namespace loopsmith::adapt
