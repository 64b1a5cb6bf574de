#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "base/work_buffers.h"
#include "faulty_file_system.h"
#include "recording_reporter.h"
#include "temp_dir.h"
#include "wav_builder.h"
#include "wave/chunk_walker.h"
#include "wave/wave_io.h"

namespace loopsmith {
namespace {

using testing::FaultyFileSystem;
using testing::FormatBody;
using testing::Pcm16;
using testing::RecordingReporter;
using testing::Riff;
using testing::SimpleWave;
using testing::TempDir;
using testing::WriteBytes;

std::vector<std::uint8_t> Cut(std::vector<std::uint8_t> bytes, std::size_t by) {
  bytes.resize(bytes.size() - by);
  return bytes;
}

class WaveReadTest : public ::testing::Test {
 protected:
  // Loads `bytes` from a file; returns the messages shown.
  std::vector<int> Load(const std::vector<std::uint8_t>& bytes) {
    WriteBytes(path, bytes);
    reporter.ids.clear();
    loaded = 0xDEAD;
    ok = LoadWave(wave, reporter, path, FixedSpan<kStereoLoadCap>(pcm), loaded);
    EXPECT_EQ(ok, reporter.ids.empty());
    EXPECT_EQ(wave.m_hmmio, nullptr) << "every way out leaves the file closed";
    EXPECT_EQ(fs.openDescriptors(), 0);
    return reporter.ids;
  }

  TempDir dir;
  std::string path = dir.Path("take.wav");
  FaultyFileSystem fs;
  RecordingReporter reporter;
  CWaveFile wave{fs, reporter};
  std::vector<std::uint8_t> pcm = std::vector<std::uint8_t>(kStereoLoadCap);
  std::uint32_t loaded = 0;
  bool ok = false;
};

TEST_F(WaveReadTest, LoadsMonoAndStereoSamples) {
  EXPECT_EQ(Load(SimpleWave(1, {1, -2, 3})), std::vector<int>{});
  EXPECT_EQ(loaded, 6u);
  EXPECT_EQ(std::vector<std::uint8_t>(pcm.begin(), pcm.begin() + 6), Pcm16({1, -2, 3}));
  EXPECT_EQ(wave.m_format.nChannels, 1);
  EXPECT_EQ(Load(SimpleWave(2, {1, -2, 3, -4})), std::vector<int>{});
  EXPECT_EQ(loaded, 8u);
  EXPECT_EQ(wave.m_format.nChannels, 2);
  EXPECT_EQ(fs.Calls(FaultyFileSystem::kOpenRead), 2);
}

TEST_F(WaveReadTest, FormatChunkShapes) {
  const std::vector<std::int16_t> samples = {5, 6};
  struct Case {
    const char* what;
    std::vector<std::uint8_t> fmt;
    std::vector<int> messages;
  };
  const Case cases[] = {
      {"16 bytes, no cbSize", FormatBody(1, 44100, 16, 16), {}},
      {"18 bytes", FormatBody(1, 44100, 16, 18), {}},
      {"40 bytes, extensible, no PCM subformat", FormatBody(2, 44100, 16, 40, 0xFFFE), {133}},
      {"odd 17 bytes", FormatBody(1, 44100, 16, 17), {}},
      {"float's tag", FormatBody(1, 44100, 16, 16, 3), {133}},
      {"tag 0, read as PCM", FormatBody(1, 44100, 16, 16, 0), {}},
      {"14 bytes leaves bits 0", FormatBody(1, 44100, 16, 14), {133}},
      {"22,050 Hz", FormatBody(1, 22050, 16), {133}},
      {"48,000 Hz", FormatBody(2, 48000, 16), {133}},
      {"8 bits", FormatBody(1, 44100, 8), {133}},
      {"24 bits", FormatBody(2, 44100, 24), {133}},
      {"three channels", FormatBody(3, 44100, 16), {133}},
      {"no channels", FormatBody(0, 44100, 16), {133}},
      {"65,535 channels", FormatBody(65535, 44100, 16), {133}},
      {"empty format chunk", {}, {133}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Load(Riff({{"fmt ", c.fmt}, {"data", Pcm16(samples)}})), c.messages) << c.what;
  }
}

TEST_F(WaveReadTest, ChunkLayouts) {
  const auto fmt = FormatBody(1, 44100, 16);
  const auto data = Pcm16({7, 8, 9});
  struct Case {
    const char* what;
    std::vector<std::uint8_t> file;
    std::vector<int> messages;
  };
  const Case cases[] = {
      {"chunks before and between",
       Riff({{"JUNK", std::vector<std::uint8_t>(28)},
             {"fmt ", fmt},
             {"LIST", {'I', 'N', 'F', 'O'}},
             {"odd ", {1, 2, 3}},
             {"data", data}}),
       {}},
      {"data before fmt", Riff({{"data", data}, {"fmt ", fmt}}), {127}},
      {"no data", Riff({{"fmt ", fmt}}), {127}},
      {"no fmt", Riff({{"data", data}}), {126}},
      {"other form", Riff({{"fmt ", fmt}, {"data", data}}, "AVI "), {125}},
      {"not RIFF", {'R', 'I', 'F', 'X', 4, 0, 0, 0, 'W', 'A', 'V', 'E'}, {125}},
      {"empty file", {}, {125}},
      {"cut in the format chunk", Cut(Riff({{"fmt ", fmt}}), 4), {123}},
      {"second fmt is ignored",
       Riff({{"fmt ", fmt}, {"fmt ", FormatBody(1, 8000, 8)}, {"data", data}}),
       {}},
      // Read without its pad byte, the odd chunk's end would be taken for a
      // chunk of id "\0dat" and a size that runs past the file.
      {"an odd chunk's pad byte is stepped over",
       Riff({{"fmt ", fmt}, {"odd ", {1}}, {"data", data}}),
       {}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Load(c.file), c.messages) << c.what;
    if (!c.messages.empty()) continue;
    EXPECT_EQ(std::vector<std::uint8_t>(pcm.begin(), pcm.begin() + loaded), data) << c.what;
  }
}

TEST_F(WaveReadTest, DataSizesAndCaps) {
  const auto fmt1 = FormatBody(1, 44100, 16);
  const auto fmt2 = FormatBody(2, 44100, 16);
  struct Case {
    const char* what;
    std::vector<std::uint8_t> fmt;
    std::size_t held;
    std::optional<std::uint32_t> claimed;
    std::vector<int> messages;
    std::uint32_t loaded;
  };
  const Case cases[] = {
      {"mono over the cap", fmt1, 600'000, {}, {}, 524'288},
      {"stereo at the cap", fmt2, 1'048'576, {}, {}, 1'048'576},
      {"stereo one over", fmt2, 1'048'577, {}, {}, 1'048'576},
      {"claims more, cap saves it", fmt1, 600'000, 2'000'000, {}, 524'288},
      {"claims more than held", fmt1, 1000, 2000, {134}, 2000},
      {"claims 0xFFFFFFFF", fmt2, 1000, 0xFFFFFFFF, {134}, 1'048'576},
      {"zero", fmt1, 0, {}, {}, 0},
      {"odd", fmt1, 7, {}, {}, 7},
  };
  for (const auto& c : cases) {
    std::vector<std::uint8_t> data(c.held);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i % 251);
    EXPECT_EQ(Load(Riff({{"fmt ", c.fmt}, {"data", data, c.claimed}})), c.messages) << c.what;
    if (c.messages.empty()) {
      EXPECT_EQ(loaded, c.loaded) << c.what;
      EXPECT_TRUE(std::equal(pcm.begin(), pcm.begin() + c.loaded, data.begin())) << c.what;
    }
  }
}

TEST_F(WaveReadTest, MissingFolderAndEmptyPath) {
  EXPECT_FALSE(
      LoadWave(wave, reporter, dir.Path("none.wav"), FixedSpan<kStereoLoadCap>(pcm), loaded));
  EXPECT_FALSE(
      LoadWave(wave, reporter, dir.root().string(), FixedSpan<kStereoLoadCap>(pcm), loaded));
  EXPECT_FALSE(LoadWave(wave, reporter, "", FixedSpan<kStereoLoadCap>(pcm), loaded));
  EXPECT_EQ(reporter.ids, (std::vector<int>{121, 121, 120}));
}

TEST_F(WaveReadTest, AnOpenFileIsRefusedWith124) {
  WriteBytes(path, SimpleWave(1, {1}));
  ASSERT_EQ(wave.OpenRead(path), 0);
  EXPECT_EQ(wave.OpenRead(path), 259);
  EXPECT_EQ(reporter.ids, std::vector<int>{124});
  EXPECT_EQ(wave.CloseRead(), 0);
}

TEST_F(WaveReadTest, FailuresThroughTheSeam) {
  // Reads go through a 256 KiB buffer: the first fills it with the headers and
  // the first samples, the second brings the rest of the samples.
  const auto file = SimpleWave(2, std::vector<std::int16_t>(200'000, 3));
  WriteBytes(path, file);
  struct Case {
    FaultyFileSystem::Op op;
    int nth;
    std::size_t shortBy;
    std::vector<int> messages;
  };
  const Case cases[] = {
      {FaultyFileSystem::kOpenRead, 1, 0, {121}},
      {FaultyFileSystem::kRead, 1, 0, {125}},
      {FaultyFileSystem::kRead, 1, 262'144 - 30, {123}},
      {FaultyFileSystem::kRead, 1, 1, {134}},
      {FaultyFileSystem::kRead, 2, 0, {134}},
      {FaultyFileSystem::kRead, 2, 1, {134}},
      {FaultyFileSystem::kClose, 1, 0, {122}},
  };
  for (const auto& c : cases) {
    FaultyFileSystem faulty;
    faulty.FailOn(c.op, c.nth, 5, c.shortBy);
    RecordingReporter seen;
    CWaveFile local(faulty, seen);
    EXPECT_FALSE(LoadWave(local, seen, path, FixedSpan<kStereoLoadCap>(pcm), loaded))
        << c.op << "/" << c.nth;
    EXPECT_EQ(seen.ids, c.messages) << c.op << "/" << c.nth;
    EXPECT_EQ(faulty.openDescriptors(), 0);
    // The next load goes through without 124.
    const auto before = seen.ids;
    EXPECT_TRUE(LoadWave(local, seen, path, FixedSpan<kStereoLoadCap>(pcm), loaded));
    EXPECT_EQ(seen.ids, before);
  }
}

TEST_F(WaveReadTest, ACloseFailingAfterAFormatErrorAdds122First) {
  WriteBytes(path, Riff({{"fmt ", FormatBody(1, 48000, 16)}, {"data", {}}}));
  FaultyFileSystem faulty;
  faulty.FailOn(FaultyFileSystem::kClose, 1);
  RecordingReporter seen;
  CWaveFile local(faulty, seen);
  EXPECT_FALSE(LoadWave(local, seen, path, FixedSpan<kStereoLoadCap>(pcm), loaded));
  EXPECT_EQ(seen.ids, (std::vector<int>{122, 133}));
}

}  // namespace
}  // namespace loopsmith

namespace loopsmith {
namespace {

// Bytes in memory for the chunk walk.
class HeldBytes final : public ChunkBytes {
 public:
  explicit HeldBytes(std::vector<std::uint8_t> bytes) : m_bytes(std::move(bytes)) {}
  std::int64_t ReadAt(std::int64_t offset, void* out, std::size_t n) override {
    const auto size = static_cast<std::int64_t>(m_bytes.size());
    const std::int64_t got =
        std::clamp<std::int64_t>(size - offset, 0, static_cast<std::int64_t>(n));
    std::copy_n(m_bytes.begin() + offset, got, static_cast<std::uint8_t*>(out));
    return got;
  }

 private:
  std::vector<std::uint8_t> m_bytes;
};

TEST(ChunkWalkerTest, RiffAndFormChunksInTheirOwnByteOrder) {
  // An odd chunk and its pad byte, then a header cut after five bytes.
  auto riff = testing::Riff({{"odd ", {1, 2, 3}}, {"data", {9, 9}}});
  riff.insert(riff.end(), {'L', 'I', 'S', 'T', 4});
  std::vector<std::uint8_t> form = {'F', 'O', 'R', 'M', 0, 0, 0, 30, 'A', 'I', 'F', 'F',
                                    'C', 'O', 'M', 'M', 0, 0, 0, 3,  1,   2,   3,   0,
                                    'S', 'S', 'N', 'D', 0, 0, 0, 2,  7,   7};
  const struct {
    std::vector<std::uint8_t> bytes;
    Container kind;
    const char* form;
    std::vector<std::pair<std::string, std::int64_t>> chunks;  // id, where its header is
    std::int64_t lastRead;
  } cases[] = {
      {riff, Container::kRiff, "WAVE", {{"odd ", 12}, {"data", 24}}, 5},
      {form, Container::kForm, "AIFF", {{"COMM", 12}, {"SSND", 24}}, 0},
  };
  for (const auto& c : cases) {
    HeldBytes bytes(c.bytes);
    const ContainerHead head = ReadContainerHead(bytes);
    EXPECT_EQ(head.kind, c.kind);
    EXPECT_TRUE(head.FormIs(c.form));
    ChunkWalker walker(bytes, head.bigEndian());
    std::vector<std::pair<std::string, std::int64_t>> seen;
    while (const auto chunk = walker.Next()) {
      seen.emplace_back(std::string(chunk->id, 4), chunk->at);
      EXPECT_EQ(chunk->size, chunk->Is("data") || chunk->Is("SSND") ? 2u : 3u);
    }
    EXPECT_EQ(seen, c.chunks);
    EXPECT_EQ(walker.headerBytes(), c.lastRead);
  }
}

}  // namespace
}  // namespace loopsmith
