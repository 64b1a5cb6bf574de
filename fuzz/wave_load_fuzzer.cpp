// Any bytes as a WAV file: a load either succeeds silently or shows messages,
// stays inside its buffer and leaves nothing open.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "base/memory_file_system.h"
#include "base/work_buffers.h"
#include "fuzz_check.h"
#include "recording_reporter.h"
#include "wave/wave_io.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  loopsmith::MemoryFileSystem fs;
  fs.files["in.wav"].assign(data, data + size);
  loopsmith::testing::RecordingReporter reporter;
  loopsmith::CWaveFile wave(fs, reporter);
  static std::vector<std::uint8_t> pcm(loopsmith::kStereoLoadCap);  // reused: speed
  std::uint32_t loaded = 0;
  const bool ok = loopsmith::LoadWave(wave, reporter, "in.wav",
                                      loopsmith::FixedSpan<loopsmith::kStereoLoadCap>(pcm), loaded);
  FUZZ_CHECK(ok == reporter.ids.empty());
  FUZZ_CHECK(!ok || loaded <= loopsmith::kStereoLoadCap);
  FUZZ_CHECK(!ok || loaded <= size);
  FUZZ_CHECK(wave.m_hmmio == nullptr);
  FUZZ_CHECK(fs.openCount() == 0);
  return 0;
}
