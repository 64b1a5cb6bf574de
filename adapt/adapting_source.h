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

  // A start is counted at 44,100 Hz: a file at another rate is resampled
  // from its beginning and then cut, as if it had been converted and then cut.
  bool Load(const std::string& path, PcmBytes pcm, std::uint32_t& loadedBytes,
            std::uint16_t& channels, std::uint32_t startFrame) override;

 private:
  // The strict reader's load, when it takes the file; `refused` says whether
  // it reported (only a start past the end, which no decoder would change).
  bool LoadStrict(const std::string& path, PcmBytes pcm, std::uint32_t& loadedBytes,
                  std::uint16_t& channels, std::uint32_t startFrame, bool& refused);
  // Why a file libsndfile refused cannot be read: a WAV or AIFF file that the
  // page's reader refuses too, in the page's words, so that one file gets one
  // reason everywhere; any other, in libsndfile's.
  Failure Refusal(const std::string& path, const Failure& library);
  // Interleaved samples, enough for the longest loop from `startFrame`, or the
  // reason there are none.
  std::optional<std::vector<float>> Decode(SoundFile& sound, std::uint32_t startFrame);
  // The samples at 44,100 Hz, or the reason they could not be made.
  std::optional<std::vector<float>> Resample(std::vector<float> samples, int rate, int channels);

  FileSystem& m_fs;
  Reporter& m_reporter;
};

}  // namespace loopsmith::adapt
