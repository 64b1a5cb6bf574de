// Files users will drop anyway: broken, truncated, renamed, odd. Each gets its
// message or a correct conversion, and nothing is written for a refused one.
#include <gtest/gtest.h>
#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <vector>

#include "base/platform_file_system.h"
#include "core/convert_job.h"
#include "core/loop_format.h"
#include "core/loop_length.h"
#include "fixed_answer.h"
#include "recording_reporter.h"
#include "temp_dir.h"
#include "wav_builder.h"

namespace loopsmith {
namespace {

using testing::Chunk;
using testing::FormatBody;
using testing::Pcm16;
using testing::ReadBytes;
using testing::RecordingReporter;
using testing::Riff;
using testing::TempDir;
using testing::WriteBytes;

class HostileTest : public ::testing::Test {
 protected:
  // Runs the job on `name` and returns its messages; checks that an output
  // exists exactly when there were none.
  std::vector<int> Drop(const std::string& name) {
    reporter.ids.clear();
    const auto before = dir.Entries();
    const int descriptors = testing::OpenDescriptorCount();
    const JobOutcome outcome = job.Run(dir.Path(name));
    EXPECT_EQ(testing::OpenDescriptorCount(), descriptors) << name;
    if (reporter.ids.empty()) {
      EXPECT_TRUE(outcome.Converted()) << name;
      EXPECT_TRUE(std::filesystem::exists(testing::FsPath(outcome.output))) << name;
      std::filesystem::remove(testing::FsPath(outcome.output));
    }
    EXPECT_EQ(dir.Entries(), before) << name;
    return reporter.ids;
  }
  std::vector<int> DropWave(const std::vector<std::uint8_t>& bytes) {
    WriteBytes(dir.Path("in.wav"), bytes);
    return Drop("in.wav");
  }

  TempDir dir;
  PlatformFileSystem fs;
  RecordingReporter reporter;
  testing::FixedAnswer ok{LoopParams{2400, 1, 1}};
  PageAllocator heap;
  ConvertJob job{fs, reporter, ok, heap};
};

// A 40-byte extensible format chunk with the given subformat's first byte.
constexpr std::uint8_t kPcm = 1;
constexpr std::uint8_t kFloat = 3;
std::vector<std::uint8_t> Extensible(std::uint8_t subFormat) {
  auto body = FormatBody(1, 44100, 16, 40, 0xFFFE);
  const std::uint8_t guidTail[] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                   0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
  body[24] = subFormat;
  std::copy(std::begin(guidTail), std::end(guidTail), body.begin() + 26);
  return body;
}

TEST_F(HostileTest, ChunkSizesAndIds) {
  const auto fmt = FormatBody(1, 44100, 16);
  const auto data = Pcm16({1, 2, 3, 4});
  const std::vector<std::uint8_t> ten(10);
  struct Case {
    const char* what;
    std::vector<std::uint8_t> file;
    std::vector<int> messages;
  };
  std::vector<Case> cases = {
      {"size past the end before fmt",
       Riff({{"JUNK", ten, 1'000'000u}, {"fmt ", fmt}, {"data", data}}),
       {126}},
      {"size 0xFFFFFFFF before fmt",
       Riff({{"JUNK", ten, 0xFFFFFFFFu}, {"fmt ", fmt}, {"data", data}}),
       {126}},
      {"size 0xFFFFFFF8 before fmt",
       Riff({{"JUNK", ten, 0xFFFFFFF8u}, {"fmt ", fmt}, {"data", data}}),
       {126}},
      {"size 0xFFFFFFFF between",
       Riff({{"fmt ", fmt}, {"JUNK", ten, 0xFFFFFFFFu}, {"data", data}}),
       {127}},
      {"zero-size chunk", Riff({{"JUNK", {}}, {"fmt ", fmt}, {"data", data}}), {}},
      {"zero id", Riff({{std::string(4, '\0'), ten}, {"fmt ", fmt}, {"data", data}}), {}},
      {"odd chunk with pad", Riff({{"odd ", {1, 2, 3}}, {"fmt ", fmt}, {"data", data}}), {}},
      {"odd chunk without pad",
       Riff({{"odd ", {1, 2, 3}, std::nullopt, false}, {"fmt ", fmt}, {"data", data}}),
       {126}},
      {"second fmt", Riff({{"fmt ", fmt}, {"fmt ", FormatBody(2, 8000, 8)}, {"data", data}}), {}},
      {"RIFF size too small", Riff({{"fmt ", fmt}, {"data", data}}, "WAVE", 4u), {126}},
      {"RIFF size 0xFFFFFFFF", Riff({{"fmt ", fmt}, {"data", data}}, "WAVE", 0xFFFFFFFFu), {}},
      {"RF64", {'R', 'F', '6', '4', 0xFF, 0xFF, 0xFF, 0xFF, 'W', 'A', 'V', 'E'}, {125}},
      {"channels 0", Riff({{"fmt ", FormatBody(0, 44100, 16)}, {"data", data}}), {133}},
      {"channels 65535", Riff({{"fmt ", FormatBody(65535, 44100, 16)}, {"data", data}}), {133}},
      {"data claims 0xFFFFFFFF, mono", Riff({{"fmt ", fmt}, {"data", data, 0xFFFFFFFFu}}), {134}},
      {"tag 0, as old writers put on PCM",
       Riff({{"fmt ", FormatBody(1, 44100, 16, 16, 0)}, {"data", data}}),
       {}},
      {"an Ogg stream's tag",
       Riff({{"fmt ", FormatBody(1, 44100, 16, 16, 0x674F)}, {"data", data}}),
       {133}},
      {"float's tag", Riff({{"fmt ", FormatBody(1, 44100, 16, 16, 3)}, {"data", data}}), {133}},
      {"extensible, too short for a subformat",
       Riff({{"fmt ", FormatBody(1, 44100, 16, 18, 0xFFFE)}, {"data", data}}),
       {}},
      {"extensible PCM", Riff({{"fmt ", Extensible(kPcm)}, {"data", data}}), {}},
      {"extensible float", Riff({{"fmt ", Extensible(kFloat)}, {"data", data}}), {133}},
  };
  std::vector<Chunk> many(20'000, Chunk{"JUNK", {1, 2}});
  many.push_back({"fmt ", fmt});
  many.push_back({"data", data});
  cases.push_back({"20,000 chunks before fmt", Riff(many), {}});
  for (const auto& c : cases) EXPECT_EQ(DropWave(c.file), c.messages) << c.what;
}

#ifndef _WIN32
TEST_F(HostileTest, SparseFilesAreWalkedByTheirData) {
  // Holes read as zeros: empty chunks of id 0, to be stepped over without
  // reading them, up to a chunk after the hole.
  const auto fmt = FormatBody(1, 44100, 16);
  std::vector<std::uint8_t> tail = Riff({{"fmt ", fmt}, {"data", Pcm16({1, 2})}});
  tail.erase(tail.begin(), tail.begin() + 12);
  struct Case {
    const char* what;
    std::vector<std::uint8_t> head;
    std::uint64_t hole;
    std::vector<std::uint8_t> after;
    std::vector<int> messages;
  };
  const std::vector<std::uint8_t> riff = {'R',  'I',  'F', 'F', 0xFF, 0xFF,
                                          0xFF, 0xFF, 'W', 'A', 'V',  'E'};
  const Case cases[] = {
      {"4 GiB of hole", {}, 4ull << 30, {}, {125}},
      {"RIFF header, then 4 GiB of hole", riff, 4ull << 30, {}, {126}},
      {"RIFF header, 1 GiB of hole, fmt and data", riff, 1ull << 30, tail, {}},
  };
  for (const auto& c : cases) {
    WriteBytes(dir.Path("in.wav"), c.head);
    std::filesystem::resize_file(dir.Path("in.wav"), c.head.size() + c.hole);
    if (!c.after.empty()) {
      std::FILE* file = std::fopen(dir.Path("in.wav").c_str(), "r+b");
      ASSERT_NE(file, nullptr);
      std::fseek(file, 0, SEEK_END);
      std::fwrite(c.after.data(), 1, c.after.size(), file);
      std::fclose(file);
    }
    EXPECT_EQ(Drop("in.wav"), c.messages) << c.what;
  }
}
#endif

TEST_F(HostileTest, TruncatedAtEveryOffsetOfTheFirst100Bytes) {
  // RIFF header 0-11, fmt header 12-19, format 20-35, data header 36-43, samples from 44.
  const auto whole =
      Riff({{"fmt ", FormatBody(1, 44100, 16)}, {"data", std::vector<std::uint8_t>(200, 7)}});
  for (std::size_t length = 0; length < 100; ++length) {
    const std::vector<std::uint8_t> cut(whole.begin(),
                                        whole.begin() + static_cast<std::ptrdiff_t>(length));
    const int expected = length < 12   ? 125
                         : length < 20 ? 126
                         : length < 36 ? 123
                         : length < 44 ? 127
                                       : 134;
    EXPECT_EQ(DropWave(cut), std::vector<int>{expected}) << length;
  }
}

TEST_F(HostileTest, LoopFilesCutAndExtremeHeaders) {
  auto loop = [](LoopParams params, std::size_t size) {
    std::vector<std::uint8_t> bytes(std::max<std::size_t>(size, 56), 0x5A);
    MakeLoopHeader(params, bytes.data());
    bytes.resize(size);
    return bytes;
  };
  // One measure at 240 BPM needs 56 + 88,202 bytes.
  for (const std::size_t size : {0u, 1u, 11u, 12u, 13u, 14u, 55u, 56u, 57u, 88'256u, 88'257u}) {
    WriteBytes(dir.Path("in.T58"), loop({2400, 1, 1}, size));
    EXPECT_EQ(Drop("in.T58"), std::vector<int>{130}) << size;
  }
  WriteBytes(dir.Path("in.T58"), loop({2400, 1, 1}, 88'258));
  EXPECT_EQ(Drop("in.T58"), std::vector<int>{});
  for (const int tempo : {0, 1, -1, 32767, -32768}) {
    for (const int mode : {0, 1, 2, 3, 255}) {
      const LoopParams params{static_cast<std::int16_t>(tempo), static_cast<MeasureMode>(mode), 1};
      const std::size_t words = SampleCount(params.measureMode, params.tempo) + 1u;
      WriteBytes(dir.Path("in.T58"), loop(params, 56 + 2 * words));
      EXPECT_EQ(Drop("in.T58"), std::vector<int>{}) << tempo << "/" << int{mode};
    }
  }
}

TEST_F(HostileTest, ThingsThatAreNotFiles) {
  std::filesystem::create_directory(dir.Path("folder.WAV"));
  std::filesystem::create_directory(dir.Path("folder.T58"));
  WriteBytes(dir.Path("empty.wav"), {});
  WriteBytes(dir.Path("empty.T58"), {});
  std::vector<std::pair<std::string, int>> cases = {
      {"folder.WAV", 121}, {"folder.T58", 130}, {"empty.wav", 125}, {"empty.T58", 130}};
#ifndef _WIN32  // FIFOs and links to nothing are Linux's
  ASSERT_EQ(::mkfifo(dir.Path("pipe.wav").c_str(), 0644), 0);
  ASSERT_EQ(::mkfifo(dir.Path("pipe.t58").c_str(), 0644), 0);
  std::filesystem::create_symlink(dir.Path("gone"), dir.Path("link.wav"));
  std::filesystem::create_symlink(dir.Path("gone"), dir.Path("link.T58"));
  cases.insert(cases.end(),
               {{"pipe.wav", 121}, {"pipe.t58", 130}, {"link.wav", 121}, {"link.T58", 130}});
#endif
  for (const auto& [name, message] : cases) {
    EXPECT_EQ(Drop(name), std::vector<int>{message}) << name;
  }
}

TEST_F(HostileTest, UnreadableFiles) {
  WriteBytes(dir.Path("locked.wav"), testing::SimpleWave(1, {1}));
  WriteBytes(dir.Path("locked.T58"), std::vector<std::uint8_t>(200));
#ifdef _WIN32
  // Another program holding the files open, shared with no one.
  std::vector<HANDLE> held;
  for (const wchar_t* name : {L"locked.wav", L"locked.T58"}) {
    held.push_back(::CreateFileW((dir.root() / name).c_str(), GENERIC_READ, 0, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  }
#else
  if (::geteuid() == 0) GTEST_SKIP() << "root reads everything";
  ::chmod(dir.Path("locked.wav").c_str(), 0);
  ::chmod(dir.Path("locked.T58").c_str(), 0);
#endif
  EXPECT_EQ(Drop("locked.wav"), std::vector<int>{121});
  EXPECT_EQ(Drop("locked.T58"), std::vector<int>{130});
#ifdef _WIN32
  for (HANDLE file : held) ::CloseHandle(file);
#endif
}

TEST_F(HostileTest, AwkwardPathsConvertBesideTheSource) {
  std::string deep = "a folder with spaces/ünïcødé ♫";
  while (dir.Path(deep).size() < 300) deep += "/a rather long folder name";
  std::filesystem::create_directories(testing::FsPath(dir.Path(deep)));
  const std::string wav = deep + "/take one.wav";
  WriteBytes(dir.Path(wav), testing::SimpleWave(2, {1, 2}));
  ASSERT_GT(dir.Path(wav).size(), 255u);
  const JobOutcome outcome = job.Run(dir.Path(wav));
  EXPECT_TRUE(outcome.Converted());
  EXPECT_EQ(outcome.output, dir.Path(deep + "/L01.T58"));
  EXPECT_EQ(ReadBytes(outcome.output).size(), 131'128u);
  ASSERT_TRUE(job.Run(outcome.output).Converted());
  EXPECT_TRUE(std::filesystem::exists(testing::FsPath(dir.Path(deep + "/L01.WAV"))));
  EXPECT_TRUE(reporter.ids.empty());
}

}  // namespace
}  // namespace loopsmith
