#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "base/file_system.h"
#include "base/messages.h"
#include "core/convert_job.h"
#include "wave/wave_file.h"

namespace loopsmith::adapt {

// What loading a file for a loop took.
struct Adaptation {
  bool strict = false;  // a 44,100 Hz 16-bit WAV file, loaded as without --adapt
  std::string steps;    // "resampled 48,000 -> 44,100 Hz, 24-bit -> 16-bit", for --info
};

// Samples for a loop from any file libsndfile reads: a WAV file the strict
// reader takes is loaded by it, byte for byte as without this; anything else is
// decoded, mixed down to stereo if it has more channels (odd-numbered channels
// left, even-numbered right, each side their mean), resampled to 44,100 Hz with
// libsoxr at very high quality and rounded to 16 bits.
class AdaptingSource final : public PcmSource {
 public:
  using Say = std::function<void(std::string_view)>;
  AdaptingSource(FileSystem& fs, Say say) : m_fs(fs), m_say(std::move(say)) {}

  bool Load(const std::string& path, std::uint8_t* pcm, std::uint32_t& loadedBytes,
            std::uint16_t& channels) override;
  const Adaptation& last() const { return m_last; }

 private:
  FileSystem& m_fs;
  Say m_say;
  Adaptation m_last;
};

}  // namespace loopsmith::adapt
