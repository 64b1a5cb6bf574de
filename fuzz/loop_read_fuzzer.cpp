// Any bytes as a loop file: a read either takes exactly the loop's words or
// shows its message, and never leaves the file open.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "base/memory_file_system.h"
#include "base/work_buffers.h"
#include "core/loop_file.h"
#include "core/loop_format.h"
#include "core/loop_length.h"
#include "fuzz_check.h"
#include "recording_reporter.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  loopsmith::MemoryFileSystem fs;
  fs.files["in.T58"].assign(data, data + size);
  loopsmith::testing::RecordingReporter reporter;
  static std::vector<std::uint8_t> image(loopsmith::kLoopImageElements * 2);  // reused: speed
  loopsmith::LoopParams params;
  const bool ok = loopsmith::ReadLoopFile(
      fs, reporter, "in.T58", loopsmith::FixedSpan<loopsmith::kLargestLoopFile>(image), params);
  FUZZ_CHECK(ok == reporter.ids.empty());
  FUZZ_CHECK(fs.openCount() == 0);
  if (ok) {
    const std::size_t words = loopsmith::SampleCount(params.measureMode, params.tempo) + 1u;
    FUZZ_CHECK(size >= loopsmith::kLoopHeaderSize + 2 * words);
    FUZZ_CHECK(std::memcmp(image.data(), data + loopsmith::kLoopHeaderSize, 2 * words) == 0);
  }
  return 0;
}
