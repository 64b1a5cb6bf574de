#include <gtest/gtest.h>

#include <filesystem>
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
using testing::FixedAnswer;
using testing::ReadBytes;
using testing::RecordingReporter;
using testing::SimpleWave;
using testing::TempDir;
using testing::WriteBytes;

class FailingAllocator final : public BufferAllocator {
 public:
  explicit FailingAllocator(int failing) : m_failing(failing) {}
  void* AllocateZeroed(std::size_t bytes) override {
    ++calls;
    return calls == m_failing ? nullptr : m_real.AllocateZeroed(bytes);
  }
  void Free(void* memory) override {
    ++freed;
    m_real.Free(memory);
  }
  int calls = 0;
  int freed = 0;

 private:
  int m_failing;
  PageAllocator m_real;
};

class JobTest : public ::testing::Test {
 protected:
  JobOutcome Run(const std::string& path) { return job.Run(path); }

  TempDir dir;
  FaultyFileSystem fs;
  RecordingReporter reporter;
  FixedAnswer answer;
  PageAllocator heap;
  ConvertJob job{fs, reporter, answer, heap};
};

std::vector<std::int16_t> Ramp(std::size_t n, int step) {
  std::vector<std::int16_t> samples(n);
  for (std::size_t i = 0; i < n; ++i)
    samples[i] = static_cast<std::int16_t>(static_cast<int>(i) * step);
  return samples;
}

TEST_F(JobTest, WaveToLoopWritesTheNumberedFileBesideTheSource) {
  WriteBytes(dir.Path("SONG.wav"), SimpleWave(1, Ramp(10, 4096)));
  answer.answer = {2400, 1, 7};
  const JobOutcome outcome = Run(dir.Path("SONG.wav"));
  EXPECT_TRUE(outcome.Converted());
  EXPECT_EQ(outcome.output, dir.Path("L07.T58"));
  EXPECT_TRUE(reporter.ids.empty());
  const auto bytes = ReadBytes(dir.Path("L07.T58"));
  ASSERT_EQ(bytes.size(), 131'128u);
  EXPECT_EQ(bytes[19], 0x09);
  EXPECT_EQ(bytes[20], 0x60);
  EXPECT_EQ(bytes[56 + 2], 0x01);  // 4096 >> 4 = 0x100
  EXPECT_EQ(bytes[56 + 3], 0x00);
  for (std::size_t i = 56 + 20; i < bytes.size(); ++i) ASSERT_EQ(bytes[i], 0) << i;
}

TEST_F(JobTest, LoopToWaveGivesTheLoopsExactLength) {
  std::vector<std::uint8_t> loop(262'200);
  MakeLoopHeader({1200, 1, 1}, loop.data());
  for (std::size_t i = 56; i < loop.size(); ++i) loop[i] = static_cast<std::uint8_t>(i);
  std::filesystem::create_directory(dir.Path("a.b"));
  WriteBytes(dir.Path("a.b/x.t58"), loop);
  const JobOutcome outcome = Run(dir.Path("a.b/x.t58"));
  EXPECT_TRUE(outcome.Converted());
  EXPECT_EQ(outcome.output, dir.Path("a.b/x.WAV"));
  EXPECT_EQ(ReadBytes(dir.Path("a.b/x.WAV")).size(), 46u + 2 * 88'201);
  EXPECT_EQ(answer.asked, 0);
}

TEST_F(JobTest, RoundTripThroughBothDirections) {
  std::vector<std::uint8_t> loop(393'272);
  MakeLoopHeader({1300, 2, 1}, loop.data());
  for (std::size_t i = 56; i < loop.size(); ++i) loop[i] = static_cast<std::uint8_t>(i * 29 + 3);
  WriteBytes(dir.Path("orig.T58"), loop);
  ASSERT_TRUE(Run(dir.Path("orig.T58")).Converted());
  answer.answer = {1300, 2, 12};
  ASSERT_TRUE(Run(dir.Path("orig.WAV")).Converted());
  const auto back = ReadBytes(dir.Path("L12.T58"));
  ASSERT_EQ(back.size(), loop.size());
  EXPECT_TRUE(std::equal(back.begin(), back.begin() + 56, loop.begin()));
  const std::size_t words = 162'832;
  for (std::size_t i = 0; i < words; ++i) {
    ASSERT_EQ(back[56 + 2 * i], loop[56 + 2 * i] & 0x0F) << i;
    ASSERT_EQ(back[57 + 2 * i], loop[57 + 2 * i]) << i;
  }
  for (std::size_t i = 56 + 2 * words; i < back.size(); ++i) ASSERT_EQ(back[i], 0) << i;
}

TEST_F(JobTest, Naming) {
  WriteBytes(dir.Path("w.wav"), SimpleWave(1, {1}));
  const std::pair<std::uint8_t, const char*> numbers[] = {
      {1, "L01.T58"}, {9, "L09.T58"}, {10, "L10.T58"}, {50, "L50.T58"}};
  for (const auto& [number, name] : numbers) {
    answer.answer = {1200, 1, number};
    EXPECT_EQ(Run(dir.Path("w.wav")).output, dir.Path(name));
  }
  // Every case of the extension takes its direction; others produce nothing.
  const std::pair<const char*, Direction> names[] = {
      {"SONG.wav", Direction::kWaveToLoop}, {"song.Wav", Direction::kWaveToLoop},
      {"SONG.WAV", Direction::kWaveToLoop}, {"loop.t58", Direction::kLoopToWave},
      {"take.WAVE", Direction::kNone},      {"wav", Direction::kNone},
      {".T58", Direction::kLoopToWave},     {"a.T58/", Direction::kNone}};
  for (const auto& [name, direction] : names) EXPECT_EQ(DirectionOf(name), direction) << name;
  EXPECT_EQ(WaveNameFor("/d/a.b/x.T58"), "/d/a.b/x.WAV");
  EXPECT_EQ(LoopNameFor("bare.wav", 3), "L03.T58");
  EXPECT_EQ(LoopNameFor("/a b/ü.wav", 30), "/a b/L30.T58");
}

TEST_F(JobTest, OtherExtensionsAreIgnoredSilently) {
  WriteBytes(dir.Path("take.WAVE"), SimpleWave(1, {1}));
  std::filesystem::create_directory(dir.Path("folder"));
  for (const char* name : {"take.WAVE", "folder", "notes.txt"}) {
    const JobOutcome outcome = Run(dir.Path(name));
    EXPECT_EQ(outcome.direction, Direction::kNone);
    EXPECT_FALSE(outcome.Converted());
  }
  EXPECT_TRUE(reporter.ids.empty());
  EXPECT_EQ(fs.Calls(FaultyFileSystem::kOpenRead), 0);
  EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"folder", "take.WAVE"}));
}

TEST_F(JobTest, CancelWritesNothing) {
  WriteBytes(dir.Path("song.wav"), SimpleWave(2, {1, 2}));
  const auto before = ReadBytes(dir.Path("song.wav"));
  answer.ok = false;
  const JobOutcome outcome = Run(dir.Path("song.wav"));
  EXPECT_TRUE(outcome.cancelled);
  EXPECT_FALSE(outcome.Converted());
  EXPECT_TRUE(reporter.ids.empty());
  EXPECT_EQ(dir.Entries(), std::vector<std::string>{"song.wav"});
  EXPECT_EQ(ReadBytes(dir.Path("song.wav")), before);
}

TEST_F(JobTest, SourceFailuresWriteNothingAndAskNothing) {
  WriteBytes(dir.Path("bad.wav"),
             testing::Riff({{"fmt ", testing::FormatBody(1, 48000, 16)}, {"data", {}}}));
  WriteBytes(dir.Path("loop.T58"), std::vector<std::uint8_t>(100, 0));
  WriteBytes(dir.Path("loop.WAV"), {1, 2, 3});  // the output name of loop.T58
  EXPECT_FALSE(Run(dir.Path("bad.wav")).Converted());
  EXPECT_FALSE(Run(dir.Path("loop.T58")).Converted());
  EXPECT_FALSE(Run(dir.Path("missing.wav")).Converted());
  EXPECT_EQ(reporter.ids, (std::vector<int>{133, 130, 121}));
  EXPECT_EQ(answer.asked, 0);
  EXPECT_EQ(ReadBytes(dir.Path("loop.WAV")), (std::vector<std::uint8_t>{1, 2, 3}));
  EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"bad.wav", "loop.T58", "loop.WAV"}));
}

TEST_F(JobTest, AReadOnlyFolderFailsOnlyTheFinalWrite) {
  WriteBytes(dir.Path("in.wav"), SimpleWave(1, {1}));
  fs.FailOn(FaultyFileSystem::kCreateOutput, 1, 30 /* EROFS */);
  EXPECT_FALSE(Run(dir.Path("in.wav")).Converted());
  EXPECT_EQ(reporter.ids, std::vector<int>{131});
  EXPECT_EQ(answer.asked, 1) << "the source was read and the dialog shown first";
  EXPECT_EQ(dir.Entries(), std::vector<std::string>{"in.wav"});
}

TEST_F(JobTest, AnUnwritableTargetFailsOnlyTheFinalWrite) {
  // A folder where the output file should go cannot be replaced.
  WriteBytes(dir.Path("in.wav"), SimpleWave(1, {1}));
  std::filesystem::create_directory(dir.Path("L01.T58"));
  std::vector<std::uint8_t> loop(131'128);
  MakeLoopHeader({2400, 1, 1}, loop.data());
  WriteBytes(dir.Path("loop.T58"), loop);
  std::filesystem::create_directory(dir.Path("loop.WAV"));
  EXPECT_FALSE(Run(dir.Path("in.wav")).Converted());
  EXPECT_FALSE(Run(dir.Path("loop.T58")).Converted());
  EXPECT_EQ(reporter.ids, (std::vector<int>{131, 128}));
  EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"L01.T58", "in.wav", "loop.T58", "loop.WAV"}));
}

TEST(JobMemory, EitherAllocationFailingShowsMemoryErrorAndFreesTheOther) {
  for (int failing : {1, 2}) {
    TempDir dir;
    WriteBytes(dir.Path("x.wav"), SimpleWave(1, {1}));
    FaultyFileSystem fs;
    RecordingReporter reporter;
    FixedAnswer answer;
    FailingAllocator allocator(failing);
    ConvertJob job(fs, reporter, answer, allocator);
    EXPECT_FALSE(job.Run(dir.Path("x.wav")).Converted());
    EXPECT_EQ(allocator.calls, 2) << "both are asked for before either is tested";
    EXPECT_EQ(allocator.freed, 1);
    EXPECT_EQ(reporter.ids, std::vector<int>{132});
    EXPECT_EQ(fs.Calls(FaultyFileSystem::kOpenRead), 0);
    EXPECT_EQ(answer.asked, 0);
  }
}

TEST_F(JobTest, NothingCarriesOverBetweenRuns) {
  // A long stereo file, then a short mono one: the second loop must hold zeros
  // where the first one's samples were.
  WriteBytes(dir.Path("long.wav"), SimpleWave(2, std::vector<std::int16_t>(200'000, 0x4000)));
  WriteBytes(dir.Path("short.wav"), SimpleWave(1, {0x4000}));
  answer.answer = {1200, 1, 1};
  ASSERT_TRUE(Run(dir.Path("long.wav")).Converted());
  answer.answer = {1200, 1, 2};
  ASSERT_TRUE(Run(dir.Path("short.wav")).Converted());
  const auto bytes = ReadBytes(dir.Path("L02.T58"));
  EXPECT_EQ(bytes[56], 0x04);
  for (std::size_t i = 58; i < bytes.size(); ++i) ASSERT_EQ(bytes[i], 0) << i;
}

}  // namespace
}  // namespace loopsmith
