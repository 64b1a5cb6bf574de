#include <gtest/gtest.h>

#include <vector>

#include "base/work_buffers.h"
#include "core/loop_format.h"
#include "core/loop_length.h"
#include "core/sample_transforms.h"

namespace loopsmith {
namespace {

// Zero-filled buffers of the job's sizes, as every drop gets them.
struct Buffers {
  std::vector<std::uint8_t> image = std::vector<std::uint8_t>(kLoopImageElements * 2);
  std::vector<std::uint8_t> pcm = std::vector<std::uint8_t>(kPcmElements * 2);

  void SetSample(std::size_t i, std::int16_t s) {
    pcm[2 * i] = static_cast<std::uint8_t>(s);
    pcm[2 * i + 1] = static_cast<std::uint8_t>(static_cast<std::uint16_t>(s) >> 8);
  }
  std::uint16_t Sample(std::size_t i) const {
    return static_cast<std::uint16_t>(pcm[2 * i] | pcm[2 * i + 1] << 8);
  }
  std::pair<int, int> Word(std::size_t i) const { return {image[56 + 2 * i], image[57 + 2 * i]}; }
};

TEST(LoopToPcm, WorkedExamples) {
  const std::pair<std::array<std::uint8_t, 2>, std::uint16_t> rows[] = {
      {{0x07, 0xFF}, 0x7FF0}, {{0x08, 0x00}, 0x8000}, {{0x0F, 0xFF}, 0xFFF0},
      {{0x01, 0x23}, 0x1230}, {{0xF1, 0x23}, 0x1230}, {{0x00, 0x00}, 0x0000},
      {{0xFF, 0xFF}, 0xFFF0}};
  Buffers b;
  for (std::size_t i = 0; i < std::size(rows); ++i) {
    b.image[2 * i] = rows[i].first[0];
    b.image[2 * i + 1] = rows[i].first[1];
  }
  LoopToPcm(b.image.data(), b.pcm.data(), std::size(rows) - 1);
  for (std::size_t i = 0; i < std::size(rows); ++i) EXPECT_EQ(b.Sample(i), rows[i].second) << i;
  EXPECT_EQ(b.Sample(std::size(rows)), 0) << "nothing past sample n is touched";
}

TEST(BuildLoopImage, MonoWorkedExamples) {
  const std::pair<std::uint16_t, std::pair<int, int>> rows[] = {
      {0x7FFF, {0x07, 0xFF}}, {0x8000, {0x08, 0x00}}, {0xFFFF, {0x0F, 0xFF}},
      {0x1234, {0x01, 0x23}}, {0x000F, {0x00, 0x00}}, {0xFFF0, {0x0F, 0xFF}}};
  Buffers b;
  for (std::size_t i = 0; i < std::size(rows); ++i) {
    b.SetSample(i, static_cast<std::int16_t>(rows[i].first));
  }
  BuildLoopImage({2400, 1, 1}, 1, FixedSpan<kStereoLoadCap>(b.pcm),
                 FixedSpan<kLargestLoopFile>(b.image));
  for (std::size_t i = 0; i < std::size(rows); ++i) EXPECT_EQ(b.Word(i), rows[i].second) << i;
}

TEST(BuildLoopImage, StereoMeanTruncatesTowardZero) {
  const std::pair<std::pair<std::int16_t, std::int16_t>, std::pair<int, int>> rows[] = {
      {{1, -2}, {0x00, 0x00}},          {{-17, -16}, {0x0F, 0xFF}},
      {{-1, -2}, {0x0F, 0xFF}},         {{32767, 32767}, {0x07, 0xFF}},
      {{-32768, -32768}, {0x08, 0x00}}, {{32767, -32768}, {0x00, 0x00}},
      {{-32, -1}, {0x0F, 0xFF}},        {{-33, 0}, {0x0F, 0xFF}}};
  Buffers b;
  for (std::size_t i = 0; i < std::size(rows); ++i) {
    b.SetSample(2 * i, rows[i].first.first);
    b.SetSample(2 * i + 1, rows[i].first.second);
  }
  BuildLoopImage({2400, 1, 1}, 2, FixedSpan<kStereoLoadCap>(b.pcm),
                 FixedSpan<kLargestLoopFile>(b.image));
  for (std::size_t i = 0; i < std::size(rows); ++i) EXPECT_EQ(b.Word(i), rows[i].second) << i;
}

TEST(BuildLoopImage, StereoMatchesTheMeanInWideArithmetic) {
  // Every left value against a spread of right values, extremes included.
  Buffers b;
  std::vector<std::pair<int, int>> frames;
  for (int left = -32768; left <= 32767; ++left) {
    const int right = static_cast<int>((static_cast<unsigned>(left) * 2654435761u) % 65536) - 32768;
    frames.push_back({left, left % 3 == 0 ? -32768 : left % 3 == 1 ? 32767 : right});
  }
  ASSERT_LE(frames.size(), 262'144u);
  for (std::size_t i = 0; i < frames.size(); ++i) {
    b.SetSample(2 * i, static_cast<std::int16_t>(frames[i].first));
    b.SetSample(2 * i + 1, static_cast<std::int16_t>(frames[i].second));
  }
  BuildLoopImage({1200, 0, 1}, 2, FixedSpan<kStereoLoadCap>(b.pcm),
                 FixedSpan<kLargestLoopFile>(b.image));
  for (std::size_t i = 0; i < frames.size(); ++i) {
    const int mean = (frames[i].first + frames[i].second) / 2;
    const int v = static_cast<std::uint16_t>(mean) >> 4;
    ASSERT_EQ(b.Word(i), (std::pair<int, int>{v >> 8, v & 0xFF}))
        << frames[i].first << "," << frames[i].second;
  }
}

TEST(BuildLoopImage, HeaderAndZerosPastTheLoadedData) {
  // Ten mono samples at 240 BPM, one measure: 65,536 words, 10 from the samples.
  Buffers b;
  for (std::size_t i = 0; i < 10; ++i) b.SetSample(i, static_cast<std::int16_t>(0x1000 + 16 * i));
  BuildLoopImage({2400, 1, 1}, 1, FixedSpan<kStereoLoadCap>(b.pcm),
                 FixedSpan<kLargestLoopFile>(b.image));
  EXPECT_EQ(b.image[19], 0x09);
  EXPECT_EQ(b.image[20], 0x60);
  EXPECT_EQ(b.image[21], 0x01);
  EXPECT_EQ(b.Word(9), (std::pair<int, int>{0x01, 0x09}));
  for (std::size_t i = 10; i < 65'536; ++i) ASSERT_EQ(b.Word(i), (std::pair<int, int>{0, 0})) << i;
}

TEST(BuildLoopImage, EveryStoredWordComesFromThePcmBuffer) {
  // Stored words past SampleCount still come from the samples: here the longest stereo load.
  Buffers b;
  for (std::size_t i = 0; i < kPcmElements; ++i) b.SetSample(i, 0x7FFF);
  BuildLoopImage({1200, 1, 1}, 2, FixedSpan<kStereoLoadCap>(b.pcm),
                 FixedSpan<kLargestLoopFile>(b.image));  // 131,072 words
  EXPECT_EQ(b.Word(131'071), (std::pair<int, int>{0x07, 0xFF}));
  EXPECT_EQ(b.Word(131'072), (std::pair<int, int>{0x00, 0x00})) << "not part of this image";
  BuildLoopImage({1200, 0, 1}, 2, FixedSpan<kStereoLoadCap>(b.pcm),
                 FixedSpan<kLargestLoopFile>(b.image));
  EXPECT_EQ(b.Word(262'143), (std::pair<int, int>{0x07, 0xFF}));
}

TEST(BuildLoopImage, APartialFrameIsMadeOfTheLoadedBytesAndZeros) {
  Buffers b;
  b.pcm[0] = 0x00;  // left sample 0x1000 loaded whole,
  b.pcm[1] = 0x10;
  b.pcm[2] = 0x00;  // right sample: one byte loaded, one missing
  BuildLoopImage({2400, 1, 1}, 2, FixedSpan<kStereoLoadCap>(b.pcm),
                 FixedSpan<kLargestLoopFile>(b.image));
  EXPECT_EQ(b.Word(0), (std::pair<int, int>{0x00, 0x80}));
}

class RoundTrip : public ::testing::TestWithParam<std::pair<std::int16_t, MeasureMode>> {};

TEST_P(RoundTrip, LoopToWaveAndBackKeepsTheLoopWords) {
  const auto [tempo, mode] = GetParam();
  const LoopParams params{tempo, mode, 1};
  const std::uint32_t n = SampleCount(mode, tempo);
  Buffers first;
  for (std::size_t i = 0; i <= StorageWords(n); ++i) {
    first.image[2 * i] = static_cast<std::uint8_t>(i * 37 >> 3);  // top four bits set too
    first.image[2 * i + 1] = static_cast<std::uint8_t>(i * 11);
  }
  LoopToPcm(first.image.data(), first.pcm.data(), n);
  Buffers second;
  std::copy(first.pcm.begin(), first.pcm.end(), second.pcm.begin());
  BuildLoopImage(params, 1, FixedSpan<kStereoLoadCap>(second.pcm),
                 FixedSpan<kLargestLoopFile>(second.image));
  for (std::size_t i = 0; i <= n; ++i) {
    ASSERT_EQ(second.Word(i),
              (std::pair<int, int>{first.image[2 * i] & 0x0F, first.image[2 * i + 1]}))
        << i;
  }
  for (std::uint32_t i = n + 1; i <= StorageWords(n); ++i) {
    ASSERT_EQ(second.Word(i), (std::pair<int, int>{0, 0})) << i;
  }
}

INSTANTIATE_TEST_SUITE_P(Tempos, RoundTrip,
                         ::testing::Values(std::pair<std::int16_t, MeasureMode>{1200, 1},
                                           std::pair<std::int16_t, MeasureMode>{1300, 2},
                                           std::pair<std::int16_t, MeasureMode>{2400, 1},
                                           std::pair<std::int16_t, MeasureMode>{400, 0},
                                           std::pair<std::int16_t, MeasureMode>{1615, 1}));

}  // namespace
}  // namespace loopsmith
