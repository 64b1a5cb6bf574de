// The whole job on fuzzed bytes, both directions: the first five bytes choose
// the direction and the loop parameters, the rest is the dropped file.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "base/memory_file_system.h"
#include "base/work_buffers.h"
#include "core/convert_job.h"
#include "core/loop_file.h"
#include "core/loop_format.h"
#include "core/loop_length.h"
#include "fuzz_check.h"
#include "recording_reporter.h"

namespace {

class Answer final : public loopsmith::LoopParamsSource {
 public:
  explicit Answer(loopsmith::LoopParams params) : m_params(params) {}
  bool AskLoopParams(loopsmith::LoopParams& params) override {
    params = m_params;
    return m_params.fileNumber != 0;  // 0 stands for Cancel
  }

 private:
  loopsmith::LoopParams m_params;
};

// Hands out the same two buffers every run, zeroed as the job expects, so a
// run costs a memset instead of fresh megabytes.
class ReusedBuffers final : public loopsmith::BufferAllocator {
 public:
  void* AllocateZeroed(std::size_t bytes) override {
    auto& buffer = m_buffers[m_next++ % 2];
    buffer.assign(bytes, 0);
    return buffer.data();
  }
  void Free(void*) override {}

 private:
  std::vector<std::uint8_t> m_buffers[2];
  int m_next = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 5) return 0;
  const bool toLoop = (data[0] & 1) != 0;
  // The dialog gives 40.0 to 240.0 BPM; the file number 0 to 50 (0 cancels).
  const loopsmith::LoopParams answer{
      static_cast<std::int16_t>(400 + (data[1] | data[2] << 8) % 2001),
      static_cast<loopsmith::MeasureMode>(data[3] % 3), static_cast<std::uint8_t>(data[4] % 51)};
  const std::string source = toLoop ? "dir/in.wav" : "dir/in.T58";

  loopsmith::MemoryFileSystem fs;
  fs.files[source].assign(data + 5, data + size);
  loopsmith::testing::RecordingReporter reporter;
  Answer ask(answer);
  static ReusedBuffers buffers;
  loopsmith::ConvertJob job(fs, reporter, ask, buffers);
  const loopsmith::JobOutcome outcome = job.Run(source);

  FUZZ_CHECK(fs.openCount() == 0);
  FUZZ_CHECK(fs.files.size() == (outcome.Converted() ? 2u : 1u));
  if (!outcome.Converted()) return 0;

  const auto& written = fs.files[outcome.output];
  const loopsmith::LoopParams& params = job.loopParams();
  if (toLoop) {
    FUZZ_CHECK(outcome.output == "dir/L" + std::string(answer.fileNumber < 10 ? "0" : "") +
                                     std::to_string(answer.fileNumber) + ".T58");
    FUZZ_CHECK(written.size() == loopsmith::LoopImageSize(answer));
    // What we write, we read back.
    static std::vector<std::uint8_t> image(loopsmith::kLoopImageElements * 2);
    loopsmith::LoopParams back;
    FUZZ_CHECK(loopsmith::ReadLoopFile(fs, reporter, outcome.output,
                                       loopsmith::FixedSpan<loopsmith::kLargestLoopFile>(image),
                                       back));
    FUZZ_CHECK(back.tempo == answer.tempo && back.measureMode == answer.measureMode);
  } else {
    FUZZ_CHECK(outcome.output == "dir/in.WAV");
    const std::size_t samples = loopsmith::SampleCount(params.measureMode, params.tempo) + 1u;
    FUZZ_CHECK(written.size() == 46 + 2 * samples);
  }
  FUZZ_CHECK(reporter.ids.empty());
  return 0;
}
