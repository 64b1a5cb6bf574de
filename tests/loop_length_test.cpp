#include <gtest/gtest.h>

#include <cstdio>

#include "core/loop_format.h"
#include "core/loop_length.h"

namespace loopsmith {
namespace {

struct LengthRow {
  std::int16_t tempo;
  MeasureMode mode;
  std::uint32_t sampleCount;
  std::uint32_t storageWords;
  std::size_t fileSize;
};

class LoopLengthTable : public ::testing::TestWithParam<LengthRow> {};

TEST_P(LoopLengthTable, SampleCountStorageWordsAndFileSize) {
  const LengthRow row = GetParam();
  EXPECT_EQ(SampleCount(row.mode, row.tempo), row.sampleCount);
  EXPECT_EQ(StorageWords(row.sampleCount), row.storageWords);
  EXPECT_EQ(LoopImageSize({row.tempo, row.mode, 1}), row.fileSize);
}

INSTANTIATE_TEST_SUITE_P(
    KnownLoops, LoopLengthTable,
    ::testing::Values(
        LengthRow{1200, 1, 88'200, 131'071, 262'200}, LengthRow{1200, 2, 176'400, 196'607, 393'272},
        LengthRow{1200, 0, 262'143, 262'143, 524'344},
        LengthRow{400, 1, 262'143, 262'143, 524'344},  // 264,600 cut
        LengthRow{400, 2, 262'143, 262'143, 524'344},  // 529,200 cut
        LengthRow{2400, 1, 44'100, 65'535, 131'128}, LengthRow{2400, 2, 88'200, 131'071, 262'200},
        LengthRow{1300, 1, 81'416, 131'071, 262'200},  // 81,415.38 up
        LengthRow{1300, 2, 162'831, 196'607, 393'272},
        LengthRow{1615, 1, 65'536, 131'071, 262'200},  // 65,535.60 up
        LengthRow{1616, 1, 65'496, 65'535, 131'128},
        // Header values the dialog never gives.
        LengthRow{0, 1, 0, 65'535, 131'128}, LengthRow{0, 2, 0, 65'535, 131'128},
        LengthRow{0, 0, 262'143, 262'143, 524'344},
        LengthRow{-1, 1, 1, 65'535, 131'128},  // 0xFFFF divides as 4,294,967,295
        LengthRow{-32768, 2, 1, 65'535, 131'128}, LengthRow{1, 1, 262'143, 262'143, 524'344},
        LengthRow{32767, 1, 3'231, 65'535, 131'128}, LengthRow{1200, 3, 262'143, 262'143, 524'344},
        LengthRow{1200, 255, 262'143, 262'143, 524'344}));

TEST(StorageWords, BlockBoundaries) {
  const std::pair<std::uint32_t, std::uint32_t> rows[] = {
      {0, 65'535},        {65'535, 65'535},   {65'536, 131'071},  {131'071, 131'071},
      {131'072, 196'607}, {196'607, 196'607}, {196'608, 262'143}, {262'143, 262'143}};
  for (const auto& [n, words] : rows) EXPECT_EQ(StorageWords(n), words) << n;
}

TEST(StorageWords, BlocksAtWholeBpm) {
  // Whole BPM values as the dialog gives them, and the blocks of 65,536 words stored.
  auto blocks = [](MeasureMode mode, int bpm) {
    return (StorageWords(SampleCount(mode, static_cast<std::int16_t>(bpm * 10))) + 1) / 65'536;
  };
  for (int bpm = 40; bpm <= 240; ++bpm) {
    const std::uint32_t one = bpm <= 53 ? 4 : bpm <= 80 ? 3 : bpm <= 161 ? 2 : 1;
    const std::uint32_t two = bpm <= 107 ? 4 : bpm <= 161 ? 3 : 2;
    EXPECT_EQ(blocks(1, bpm), one) << bpm;
    EXPECT_EQ(blocks(2, bpm), two) << bpm;
    EXPECT_EQ(blocks(0, bpm), 4u) << bpm;
  }
}

TEST(SampleCount, IsTheExactCeiling) {
  for (int tempo = 1; tempo <= 2400; ++tempo) {
    for (MeasureMode mode : {MeasureMode{1}, MeasureMode{2}}) {
      const double exact = mode * 4 * 26'460'000.0 / tempo;
      const std::uint32_t n = SampleCount(mode, static_cast<std::int16_t>(tempo));
      if (exact > 262'143) {
        EXPECT_EQ(n, 262'143u);
      } else {
        EXPECT_GE(n, exact);
        EXPECT_LT(n - 1, exact);
      }
    }
  }
}

TEST(DisplaySeconds, TextsTheDialogShows) {
  struct Row {
    MeasureMode mode;
    std::uint32_t bpm;
    const char* text;
  };
  const Row rows[] = {{1, 120, "2"},    {2, 120, "4"},    {1, 140, "1.714"}, {1, 90, "2.666"},
                      {2, 81, "5.925"}, {1, 240, "1"},    {2, 40, "12"},     {0, 40, "6"},
                      {0, 240, "6"},    {1, 130, "1.846"}};
  for (const auto& row : rows) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*g", 15, DisplaySeconds(row.mode, row.bpm));
    EXPECT_STREQ(text, row.text) << int{row.mode} << " " << row.bpm;
  }
}

}  // namespace
}  // namespace loopsmith
