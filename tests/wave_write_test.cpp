#include <gtest/gtest.h>

#include <vector>

#include "core/loop_format.h"
#include "faulty_file_system.h"
#include "recording_reporter.h"
#include "temp_dir.h"
#include "wav_builder.h"
#include "wave/wave_io.h"

namespace loopsmith {
namespace {

using testing::FaultyFileSystem;
using testing::ReadBytes;
using testing::RecordingReporter;
using testing::TempDir;
using testing::WriteBytes;

std::uint32_t LE32(const std::vector<std::uint8_t>& b, std::size_t at) {
  return static_cast<std::uint32_t>(b[at] | b[at + 1] << 8 | b[at + 2] << 16 | b[at + 3] << 24);
}

class WaveWriteTest : public ::testing::Test {
 protected:
  WaveWriteTest() {
    for (std::size_t i = 0; i < pcm.size(); ++i) pcm[i] = static_cast<std::uint8_t>(i * 13);
  }
  TempDir dir;
  std::string path = dir.Path("loop.WAV");
  FaultyFileSystem fs;
  RecordingReporter reporter;
  CWaveFile wave{fs, reporter};
  std::vector<std::uint8_t> pcm = std::vector<std::uint8_t>(kPcmElements * 2);
};

TEST_F(WaveWriteTest, ByteLayoutAtOneMeasure120Bpm) {
  ASSERT_TRUE(SaveWave(wave, reporter, path, pcm.data(), 88'200));
  EXPECT_TRUE(reporter.ids.empty());
  const auto b = ReadBytes(path);
  ASSERT_EQ(b.size(), 176'448u);
  const std::vector<std::uint8_t> header(b.begin(), b.begin() + 46);
  const std::vector<std::uint8_t> expected = {
      'R', 'I', 'F', 'F', 0x38, 0xB1, 0x02, 0x00, 'W',  'A',  'V',  'E',  'f',  'm',  't',  ' ',
      18,  0,   0,   0,   1,    0,    1,    0,    0x44, 0xAC, 0,    0,    0x88, 0x58, 0x01, 0x00,
      2,   0,   16,  0,   0,    0,    'd',  'a',  't',  'a',  0x12, 0xB1, 0x02, 0x00};
  EXPECT_EQ(header, expected);
  EXPECT_EQ(LE32(b, 4), 176'440u);
  EXPECT_EQ(LE32(b, 42), 176'402u);
  EXPECT_TRUE(std::equal(b.begin() + 46, b.end(), pcm.begin()));
  EXPECT_EQ(dir.Entries(), std::vector<std::string>{"loop.WAV"});
  EXPECT_EQ(fs.openDescriptors(), 0);
}

TEST_F(WaveWriteTest, SizesFollowTheLoop) {
  struct Case {
    std::uint32_t lastSample;
    std::size_t file;
  };
  const Case cases[] = {{262'143, 524'334}, {44'100, 88'248}, {0, 48}, {1, 50}};
  for (const auto& c : cases) {
    ASSERT_TRUE(SaveWave(wave, reporter, path, pcm.data(), c.lastSample));
    const auto b = ReadBytes(path);
    EXPECT_EQ(b.size(), c.file);
    EXPECT_EQ(LE32(b, 4), c.file - 8);
    EXPECT_EQ(LE32(b, 42), c.file - 46);
  }
}

TEST_F(WaveWriteTest, ReplacesALongerFile) {
  WriteBytes(path, std::vector<std::uint8_t>(900'000, 1));
  ASSERT_TRUE(SaveWave(wave, reporter, path, pcm.data(), 44'100));
  EXPECT_EQ(ReadBytes(path).size(), 88'248u);
}

TEST_F(WaveWriteTest, FailuresLeaveTheOldFileAndNoTemporary) {
  // Writes: RIFF header, fmt header, format, data header, samples, then the
  // two size patches on closing.
  struct Case {
    FaultyFileSystem::Op op;
    int nth;
    std::size_t shortBy;
    std::vector<int> messages;
  };
  const Case cases[] = {
      {FaultyFileSystem::kCreateOutput, 1, 0, {128}},
      {FaultyFileSystem::kWrite, 1, 0, {125}},
      {FaultyFileSystem::kWrite, 2, 0, {126}},
      {FaultyFileSystem::kWrite, 3, 0, {129}},
      {FaultyFileSystem::kWrite, 3, 1, {129}},
      {FaultyFileSystem::kWrite, 4, 0, {127}},
      {FaultyFileSystem::kWrite, 5, 0, {135}},
      {FaultyFileSystem::kWrite, 5, 2, {135}},
      {FaultyFileSystem::kWrite, 6, 0, {122}},
      {FaultyFileSystem::kWrite, 7, 0, {122}},
      {FaultyFileSystem::kSeek, 1, 0, {122}},
      {FaultyFileSystem::kCommitOutput, 1, 0, {122}},
  };
  const std::vector<std::uint8_t> old(777, 0x33);
  for (const auto& c : cases) {
    WriteBytes(path, old);
    FaultyFileSystem faulty;
    faulty.FailOn(c.op, c.nth, 28, c.shortBy);
    RecordingReporter seen;
    CWaveFile local(faulty, seen);
    EXPECT_FALSE(SaveWave(local, seen, path, pcm.data(), 88'200)) << c.op << "/" << c.nth;
    EXPECT_EQ(seen.ids, c.messages) << c.op << "/" << c.nth;
    EXPECT_EQ(ReadBytes(path), old) << c.op << "/" << c.nth;
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"loop.WAV"}) << c.op << "/" << c.nth;
    EXPECT_EQ(faulty.openDescriptors(), 0) << c.op << "/" << c.nth;
    EXPECT_EQ(local.m_hmmio, nullptr);
  }
}

TEST_F(WaveWriteTest, EmptyPathAndAnOpenFile) {
  EXPECT_FALSE(SaveWave(wave, reporter, "", pcm.data(), 88'200));
  EXPECT_EQ(reporter.ids, std::vector<int>{120});
  reporter.ids.clear();
  wave.SetFormat(1, 44100, 16);
  ASSERT_EQ(wave.OpenWrite(path), 0);
  EXPECT_EQ(wave.OpenWrite(path), 259);
  EXPECT_EQ(reporter.ids, std::vector<int>{124});
  EXPECT_EQ(wave.CloseWrite(), 0);
}

TEST(SetFormat, DerivedFields) {
  testing::FaultyFileSystem fs;
  RecordingReporter reporter;
  CWaveFile wave(fs, reporter);
  wave.SetFormat(2, 48000, 24);
  EXPECT_EQ(wave.m_format.wFormatTag, 1);
  EXPECT_EQ(wave.m_format.nAvgBytesPerSec, 288'000u);
  EXPECT_EQ(wave.m_format.nBlockAlign, 6);
  wave.SetFormat(1, 44100, 12);  // bits / 8 drops the remainder
  EXPECT_EQ(wave.m_format.nAvgBytesPerSec, 44'100u);
  EXPECT_EQ(wave.m_format.nBlockAlign, 1);
}

}  // namespace
}  // namespace loopsmith
