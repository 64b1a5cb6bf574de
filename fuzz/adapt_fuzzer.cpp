// Any bytes as a sound file for --adapt and --bpm auto: a load either gives
// 16-bit samples within the buffer or says why not in one line, the tempo
// search ends, and nothing is left open.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

#include "adapt/adapting_source.h"
#include "adapt/beat_level.h"
#include "adapt/pcm_file.h"
#include "adapt/tempo.h"
#include "base/memory_file_system.h"
#include "base/work_buffers.h"
#include "core/loop_format.h"
#include "fuzz_check.h"
#include "recording_reporter.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  loopsmith::MemoryFileSystem fs;
  fs.files["in.bin"].assign(data, data + size);
  loopsmith::testing::RecordingReporter reporter;
  loopsmith::adapt::AdaptingSource source(fs, reporter);
  static std::vector<std::uint8_t> pcm(loopsmith::kPcmElements * 2);  // reused: speed
  std::uint32_t loaded = 0;
  std::uint16_t channels = 0;
  const bool ok =
      source.Load("in.bin", loopsmith::FixedSpan<loopsmith::kStereoLoadCap>(pcm), loaded, channels);
  FUZZ_CHECK(ok == reporter.ids.empty());
  FUZZ_CHECK(reporter.ids.size() <= 1);
  FUZZ_CHECK(!ok || channels == 1 || channels == 2);
  FUZZ_CHECK(!ok || loaded <= pcm.size());
  FUZZ_CHECK(fs.openCount() == 0);
  const loopsmith::adapt::TempoFinding tempo =
      loopsmith::adapt::FindTempo(fs, "in.bin", size > 0 ? 1 + data[0] % 2 : 0);
  FUZZ_CHECK(!tempo.bpm || (*tempo.bpm >= 40 && *tempo.bpm <= 240));
  FUZZ_CHECK(tempo.bpm || (tempo.failure && !tempo.failure->detail.empty()));
  FUZZ_CHECK(fs.openCount() == 0);

  // The page's own WAV and AIFF reader: samples within what was asked for, of
  // a sound it could describe, or a reason; the file closed either way.
  loopsmith::Failure unread = loopsmith::PlainFailure({});
  const auto own =
      loopsmith::adapt::DecodePcmFile(fs, "in.bin", loopsmith::adapt::FramesForLongestLoop, unread);
  FUZZ_CHECK(own || !unread.detail.empty());
  FUZZ_CHECK(!own || (own->channels >= 1 && own->channels <= 8 &&
                      own->samples.size() % static_cast<std::size_t>(own->channels) == 0 &&
                      static_cast<std::int64_t>(own->samples.size()) <=
                          loopsmith::adapt::FramesForLongestLoop(own->rate) * own->channels));
  FUZZ_CHECK(fs.openCount() == 0);

  // The same bytes as a tracker's estimate and onset curve: the beat level is
  // one of the candidates, whatever the values.
  if (size >= sizeof(double)) {
    double estimate = 0;
    std::memcpy(&estimate, data, sizeof estimate);
    loopsmith::adapt::OnsetCurve onsets{{}, 0.02};
    for (std::size_t i = sizeof estimate; i < size; ++i) {
      onsets.strength.push_back(data[i] == 255   ? std::numeric_limits<double>::infinity()
                                : data[i] == 254 ? std::numeric_limits<double>::quiet_NaN()
                                                 : data[i]);
    }
    const auto candidates = loopsmith::adapt::TempiOfLength(
        static_cast<double>(onsets.strength.size()) * onsets.hopSeconds, 1);
    const auto picked = loopsmith::adapt::PickTempo(candidates, estimate, onsets);
    FUZZ_CHECK(!picked || std::any_of(candidates.begin(), candidates.end(),
                                      [&](const auto& c) { return c.bpm == picked->bpm; }));
  }
  return 0;
}
