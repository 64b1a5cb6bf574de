// Every call the job makes through the file seam, made to fail in turn: each
// failure shows its message, leaves no descriptor and no temporary file open or
// behind, and never touches the output that was there before.
#include <gtest/gtest.h>

#include <vector>

#include "core/convert_job.h"
#include "core/loop_format.h"
#include "faulty_file_system.h"
#include "fixed_answer.h"
#include "recording_reporter.h"
#include "temp_dir.h"
#include "wav_builder.h"

namespace loopsmith {
namespace {

using testing::FaultyFileSystem;
using testing::ReadBytes;
using testing::RecordingReporter;
using testing::TempDir;
using testing::WriteBytes;

struct SweptConversion {
  const char* source;
  const char* output;
  std::vector<std::uint8_t> bytes;
};

class FaultSweep : public ::testing::TestWithParam<int> {};

TEST_P(FaultSweep, EveryCallOfEveryKind) {
  std::vector<std::uint8_t> loop(262'200, 0x21);
  MakeLoopHeader({1200, 1, 1}, loop.data());
  const SweptConversion direction =
      GetParam() == 0
          ? SweptConversion{"in.wav", "L01.T58",
                            testing::SimpleWave(2, std::vector<std::int16_t>(5000, 123))}
          : SweptConversion{"in.T58", "in.WAV", loop};
  const std::vector<std::uint8_t> old = {'o', 'l', 'd'};
  TempDir dir;
  WriteBytes(dir.Path(direction.source), direction.bytes);

  // A clean run tells how many calls of each kind there are.
  FaultyFileSystem counting;
  RecordingReporter quiet;
  testing::FixedAnswer ok{LoopParams{1200, 1, 1}};
  PageAllocator heap;
  ASSERT_TRUE(ConvertJob(counting, quiet, ok, heap).Run(dir.Path(direction.source)).Converted());

  int runs = 0;
  for (int op = 0; op < FaultyFileSystem::kOpCount; ++op) {
    const auto kind = static_cast<FaultyFileSystem::Op>(op);
    for (int nth = 1; nth <= counting.Calls(kind); ++nth) {
      for (const std::size_t shortBy : {std::size_t{0}, std::size_t{1}}) {
        if (shortBy && kind != FaultyFileSystem::kRead && kind != FaultyFileSystem::kWrite)
          continue;
        WriteBytes(dir.Path(direction.output), old);
        const auto before = dir.Entries();
        const int descriptors = testing::OpenDescriptorCount();
        FaultyFileSystem faulty;
        faulty.FailOn(kind, nth, 5, shortBy);
        RecordingReporter reporter;
        const JobOutcome outcome =
            ConvertJob(faulty, reporter, ok, heap).Run(dir.Path(direction.source));
        const ::testing::Message where = ::testing::Message() << op << "/" << nth << "/" << shortBy;
        EXPECT_FALSE(outcome.Converted()) << where;
        ASSERT_FALSE(reporter.ids.empty()) << where;
        EXPECT_LE(reporter.ids.size(), 2u) << where;
        EXPECT_EQ(faulty.openDescriptors(), 0) << where;
        EXPECT_EQ(testing::OpenDescriptorCount(), descriptors) << where;
        EXPECT_EQ(dir.Entries(), before) << where;
        EXPECT_EQ(ReadBytes(dir.Path(direction.output)), old) << where;
        ++runs;
      }
    }
  }
  EXPECT_GT(runs, 5);
}

INSTANTIATE_TEST_SUITE_P(BothDirections, FaultSweep, ::testing::Values(0, 1));

}  // namespace
}  // namespace loopsmith
