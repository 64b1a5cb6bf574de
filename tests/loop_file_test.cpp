#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "base/work_buffers.h"
#include "core/loop_file.h"
#include "core/loop_format.h"
#include "faulty_file_system.h"
#include "recording_reporter.h"
#include "temp_dir.h"

namespace loopsmith {
namespace {

using testing::FaultyFileSystem;
using testing::ReadBytes;
using testing::RecordingReporter;
using testing::TempDir;
using testing::WriteBytes;

constexpr std::array<std::uint8_t, 56> kGoldenHeader = {
    0x54, 0x51, 0x2D, 0x35, 0x38, 0x20, 0x20, 0x20, 0x31, 0x2E, 0x30, 0x30, 0x00, 0x20,
    0x00, 0x00, 0x01, 0x7F, 0x40, 0x04, 0xB0, 0x01, 0x40, 0x00, 0x7F, 0x00, 0x00, 0x7F,
    0x40, 0x04, 0xB0, 0x01, 0x40, 0x00, 0x7F, 0x00, 0x00, 0x7F, 0x40, 0x04, 0xB0, 0x01,
    0x40, 0x00, 0x7F, 0x00, 0x00, 0x7F, 0x40, 0x04, 0xB0, 0x01, 0x40, 0x00, 0x7F, 0x00};

std::vector<std::uint8_t> LoopFile(LoopParams params, std::size_t size) {
  std::vector<std::uint8_t> bytes(size);
  MakeLoopHeader(params, bytes.data());
  for (std::size_t i = 56; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(i * 7);
  return bytes;
}

TEST(LoopHeader, TemplateIsGolden) {
  EXPECT_EQ(kLoopHeaderTemplate, kGoldenHeader);
  std::array<std::uint8_t, 56> header{};
  MakeLoopHeader({1200, 1, 1}, header.data());
  EXPECT_EQ(header, kGoldenHeader);
}

TEST(LoopHeader, OnlyTheFirstGroupCarriesTheValues) {
  std::array<std::uint8_t, 56> header{};
  MakeLoopHeader({-2, 2, 50}, header.data());  // 0xFFFE
  auto expected = kGoldenHeader;
  expected[19] = 0xFF;
  expected[20] = 0xFE;
  expected[21] = 0x02;
  EXPECT_EQ(header, expected);
  LoopParams back{0, 0, 7};
  TakeHeaderParams(header.data(), back);
  EXPECT_EQ(back.tempo, -2);
  EXPECT_EQ(back.measureMode, 2);
  EXPECT_EQ(back.fileNumber, 7);  // not the header's business
}

class LoopFileTest : public ::testing::Test {
 protected:
  bool Read(const std::vector<std::uint8_t>& bytes) {
    WriteBytes(path, bytes);
    return ReadLoopFile(fs, reporter, path, FixedSpan<kLargestLoopFile>(image), params);
  }
  TempDir dir;
  std::string path = dir.Path("loop.T58");
  FaultyFileSystem fs;
  RecordingReporter reporter;
  std::vector<std::uint8_t> image = std::vector<std::uint8_t>(kLoopImageElements * 2, 0xEE);
  LoopParams params{999, 9, 9};
};

TEST_F(LoopFileTest, ReadsTheLoopWordsOverTheHeader) {
  const auto file = LoopFile({1200, 1, 1}, 262'200);
  ASSERT_TRUE(Read(file));
  EXPECT_TRUE(reporter.ids.empty());
  EXPECT_EQ(params.tempo, 1200);
  EXPECT_EQ(params.measureMode, 1);
  EXPECT_EQ(params.fileNumber, 9);
  EXPECT_TRUE(std::equal(file.begin() + 56, file.begin() + 56 + 176'402, image.begin()));
  EXPECT_EQ(image[176'402], 0xEE) << "words after the loop are never read";
  EXPECT_EQ(fs.openDescriptors(), 0);
  EXPECT_EQ(fs.Calls(FaultyFileSystem::kRead), 2) << "one read for the header, one for the words";
}

TEST_F(LoopFileTest, AcceptsOtherValuesInTheRepeatedGroupsAndExtraBytes) {
  auto file = LoopFile({2400, 1, 1}, 131'128 + 1000);
  file[29] = 0x12;
  file[41] = 0x07;
  file[50] = 0x00;
  EXPECT_TRUE(Read(file));
  EXPECT_TRUE(reporter.ids.empty());
}

TEST_F(LoopFileTest, ShortestFileThatHoldsTheLoop) {
  // One measure at 240 BPM: 44,101 words are read, though a written file stores 65,536.
  EXPECT_TRUE(Read(LoopFile({2400, 1, 1}, 56 + 88'202)));
  EXPECT_FALSE(Read(LoopFile({2400, 1, 1}, 56 + 88'201)));
  EXPECT_EQ(reporter.ids, std::vector<int>{130});
  EXPECT_EQ(params.tempo, 2400) << "the header's values are kept after a short read";
}

TEST_F(LoopFileTest, OddHeaderValuesReadTheirShortLoops) {
  EXPECT_TRUE(Read(LoopFile({0, 1, 1}, 58)));   // tempo 0: one word
  EXPECT_TRUE(Read(LoopFile({-1, 2, 1}, 60)));  // negative: two words
  EXPECT_EQ(params.tempo, -1) << "a negative tempo stays negative";
  EXPECT_FALSE(Read(LoopFile({-1, 2, 1}, 59)));
  EXPECT_TRUE(Read(LoopFile({1200, 7, 1}, 524'344)));  // acts as OFF
  EXPECT_FALSE(Read(LoopFile({1200, 7, 1}, 524'343)));
  EXPECT_EQ(reporter.ids, (std::vector<int>{130, 130}));
}

TEST_F(LoopFileTest, RefusesBadHeadersAndLeavesParams) {
  const auto good = LoopFile({1300, 2, 1}, 393'272);
  struct Case {
    const char* what;
    std::size_t offset;
    std::uint8_t value;
  };
  const Case cases[] = {{"lower-case signature", 0, 't'},
                        {"blank changed", 6, '_'},
                        {"version", 11, '1'},
                        {"byte 12", 12, 0x01},
                        {"byte 13", 13, 0x21}};
  for (const auto& c : cases) {
    auto bad = good;
    bad[c.offset] = c.value;
    reporter.ids.clear();
    params = {999, 9, 9};
    EXPECT_FALSE(Read(bad)) << c.what;
    EXPECT_EQ(reporter.ids, std::vector<int>{130}) << c.what;
    EXPECT_EQ(params.tempo, 999) << c.what;
    EXPECT_TRUE(std::equal(bad.begin(), bad.begin() + 56, image.begin())) << c.what;
  }
  EXPECT_EQ(fs.openDescriptors(), 0);
}

TEST_F(LoopFileTest, RefusesShortAndMissingFiles) {
  for (const std::ptrdiff_t size : {0, 1, 55}) {
    reporter.ids.clear();
    EXPECT_FALSE(Read({kGoldenHeader.begin(), kGoldenHeader.begin() + size})) << size;
    EXPECT_EQ(reporter.ids, std::vector<int>{130}) << size;
    EXPECT_EQ(params.tempo, 999) << size;
  }
  reporter.ids.clear();
  EXPECT_FALSE(ReadLoopFile(fs, reporter, dir.Path("missing.T58"),
                            FixedSpan<kLargestLoopFile>(image), params));
  EXPECT_FALSE(
      ReadLoopFile(fs, reporter, dir.root().string(), FixedSpan<kLargestLoopFile>(image), params));
  EXPECT_EQ(reporter.ids, (std::vector<int>{130, 130}));
}

TEST_F(LoopFileTest, EveryFailingStepReportsOnceAndClosesTheFile) {
  const auto file = LoopFile({1200, 1, 1}, 262'200);
  WriteBytes(path, file);
  struct Case {
    FaultyFileSystem::Op op;
    int nth;
    std::size_t shortBy;
  };
  const Case cases[] = {{FaultyFileSystem::kOpenRead, 1, 0},      {FaultyFileSystem::kRead, 1, 0},
                        {FaultyFileSystem::kRead, 1, 1},          {FaultyFileSystem::kRead, 2, 0},
                        {FaultyFileSystem::kRead, 2, 2},          {FaultyFileSystem::kClose, 1, 0},
                        {FaultyFileSystem::kCheckUnchanged, 1, 0}};
  // The file is closed before the message is shown: a box can stay up for
  // as long as the user likes.
  struct ClosedFirst final : Reporter {
    explicit ClosedFirst(FaultyFileSystem& fs) : files(fs) {}
    void Report(const Failure& failure) override {
      ids.push_back(static_cast<int>(failure.id));
      EXPECT_EQ(files.openDescriptors(), 0);
    }
    FaultyFileSystem& files;
    std::vector<int> ids;
  };
  for (const auto& c : cases) {
    FaultyFileSystem faulty;
    faulty.FailOn(c.op, c.nth, 5, c.shortBy);
    ClosedFirst seen(faulty);
    EXPECT_FALSE(ReadLoopFile(faulty, seen, path, FixedSpan<kLargestLoopFile>(image), params))
        << c.op << "/" << c.nth;
    EXPECT_EQ(seen.ids, std::vector<int>{130});
    EXPECT_EQ(faulty.openDescriptors(), 0);
  }
}

class LoopWriteTest : public LoopFileTest {};

TEST_F(LoopWriteTest, WritesHeaderAndStoredWordsInOneWrite) {
  const LoopParams written{1300, 2, 1};
  auto source = LoopFile(written, kLoopImageElements * 2);
  ASSERT_TRUE(WriteLoopFile(fs, reporter, path, source.data(), written));
  EXPECT_TRUE(reporter.ids.empty());
  const auto bytes = ReadBytes(path);
  ASSERT_EQ(bytes.size(), 393'272u);
  EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), source.begin()));
  EXPECT_EQ(fs.Calls(FaultyFileSystem::kWrite), 1);
  EXPECT_EQ(dir.Entries(), std::vector<std::string>{"loop.T58"});
}

TEST_F(LoopWriteTest, ReplacesALongerFileExactly) {
  WriteBytes(path, std::vector<std::uint8_t>(600'000, 0x55));
  const LoopParams written{2400, 1, 1};
  auto source = LoopFile(written, kLoopImageElements * 2);
  ASSERT_TRUE(WriteLoopFile(fs, reporter, path, source.data(), written));
  EXPECT_EQ(ReadBytes(path).size(), 131'128u);
}

TEST_F(LoopWriteTest, AFailedWriteLeavesTheOldFileAndNoTemporary) {
  const std::vector<std::uint8_t> old(1234, 0x42);
  const LoopParams written{1200, 1, 1};
  auto source = LoopFile(written, kLoopImageElements * 2);
  struct Case {
    FaultyFileSystem::Op op;
    std::size_t shortBy;
    bool created;
  };
  const Case cases[] = {{FaultyFileSystem::kCreateOutput, 0, false},
                        {FaultyFileSystem::kWrite, 0, true},
                        {FaultyFileSystem::kWrite, 100, true},
                        {FaultyFileSystem::kCommitOutput, 0, true}};
  for (const auto& c : cases) {
    WriteBytes(path, old);
    FaultyFileSystem faulty;
    faulty.FailOn(c.op, 1, 28 /* ENOSPC */, c.shortBy);
    RecordingReporter seen;
    EXPECT_EQ(WriteLoopFile(faulty, seen, path, source.data(), written), c.created) << c.op;
    EXPECT_EQ(seen.ids, std::vector<int>{131}) << c.op;
    EXPECT_EQ(ReadBytes(path), old) << c.op;
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"loop.T58"}) << c.op;
    EXPECT_EQ(faulty.openDescriptors(), 0) << c.op;
  }
}

TEST_F(LoopWriteTest, AFolderThatCannotBeWrittenTo) {
  const LoopParams written{1200, 1, 1};
  auto source = LoopFile(written, kLoopImageElements * 2);
  EXPECT_FALSE(
      WriteLoopFile(fs, reporter, dir.Path("no/such/folder/L01.T58"), source.data(), written));
  EXPECT_EQ(reporter.ids, std::vector<int>{131});
}

}  // namespace
}  // namespace loopsmith
