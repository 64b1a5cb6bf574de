// Any bytes as a sound file for --adapt and --bpm auto: a load either gives
// 16-bit samples within the buffer or says why not in one line, the tempo
// search ends, and nothing is left open.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

#include "adapt/adapting_source.h"
#include "adapt/beat_level.h"
#include "adapt/pcm_file.h"
#include "adapt/take_start.h"
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
  // Some inputs are loaded from a later start: the skip and its end checks.
  const std::uint32_t start = static_cast<std::uint32_t>(size % 3) * 3000;
  const bool ok = source.Load("in.bin", loopsmith::FixedSpan<loopsmith::kStereoLoadCap>(pcm),
                              loaded, channels, start);
  FUZZ_CHECK(ok == reporter.ids.empty());
  FUZZ_CHECK(reporter.ids.size() <= 1);
  FUZZ_CHECK(!ok || channels == 1 || channels == 2);
  FUZZ_CHECK(!ok || loaded <= pcm.size());
  FUZZ_CHECK(fs.openCount() == 0);
  // From the start, and as a take whose loop starts later.
  for (const std::uint32_t from : {0u, start}) {
    const loopsmith::adapt::TempoFinding tempo =
        loopsmith::adapt::FindTempo(fs, "in.bin", size > 0 ? 1 + data[0] % 2 : 0, nullptr, from);
    FUZZ_CHECK(!tempo.bpm || (*tempo.bpm >= 40 && *tempo.bpm <= 240));
    FUZZ_CHECK(tempo.bpm || (tempo.failure && !tempo.failure->detail.empty()));
    FUZZ_CHECK(fs.openCount() == 0);
  }
  // --start auto: a frame, or a reason to start at 0, or a failure.
  const loopsmith::adapt::TakeStart taken = loopsmith::adapt::FindTakeStart(fs, "in.bin");
  FUZZ_CHECK(taken.frame == 0 || (taken.note.empty() && !taken.failure));
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

  // The same bytes as a tracker's estimate and onset curves: the tempi come
  // back weighed, each one of the candidates, whatever the values.
  if (size >= sizeof(double)) {
    double estimate = 0;
    std::memcpy(&estimate, data, sizeof estimate);
    loopsmith::adapt::BandOnsets onsets;
    onsets.hopSeconds = 0.02;
    for (std::size_t i = sizeof estimate; i < size; ++i) {
      const double value = data[i] == 255   ? std::numeric_limits<double>::infinity()
                           : data[i] == 254 ? std::numeric_limits<double>::quiet_NaN()
                                            : data[i];
      onsets.low.push_back(value);
      onsets.mid.push_back(data[(i * 7) % size]);
      onsets.all.push_back(value + data[(i * 7) % size]);
      onsets.octaves.push_back(data[(i * 3) % size]);
    }
    const auto candidates = loopsmith::adapt::TempiOfLength(
        static_cast<double>(onsets.all.size()) * onsets.hopSeconds, 1);
    const auto weighed = loopsmith::adapt::WeighTempi(candidates, estimate, onsets);
    FUZZ_CHECK(weighed.size() == candidates.size());
    for (const auto& w : weighed) {
      FUZZ_CHECK(std::isfinite(w.score) &&
                 std::any_of(candidates.begin(), candidates.end(),
                             [&](const auto& c) { return c.bpm == w.tempo.bpm; }));
    }
    // And the same bytes as a loop's samples.
    std::vector<float> mono(data, data + size);
    for (float& sample : mono) sample = (sample - 128) / 128;
    const auto heard = loopsmith::adapt::OnsetsOf(mono, 8000);
    const auto finite = [](const std::vector<double>& curve) {
      return std::all_of(curve.begin(), curve.end(),
                         [](double v) { return std::isfinite(v) && v >= 0; });
    };
    FUZZ_CHECK(heard.all.size() == heard.low.size() && heard.octaves.size() == heard.all.size() &&
               finite(heard.all) && finite(heard.octaves));
  }
  return 0;
}
