// What a conversion does to what the owner set up at the output's name, on a
// Windows file system: the read-only mark refuses, attributes and hard links
// are kept, and nothing is left behind.
#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "base/journal.h"
#include "base/platform_file_system.h"
#include "core/convert_job.h"
#include "core/loop_format.h"
#include "fixed_answer.h"
#include "journal_bytes.h"
#include "recording_reporter.h"
#include "temp_dir.h"
#include "wav_builder.h"

namespace loopsmith {
namespace {

using testing::IdentityIn;
using testing::Journal;
using testing::ReadBytes;
using testing::TempDir;
using testing::WriteBytes;

constexpr std::size_t kLoopSize = 262'200;  // one measure at 120 BPM
const std::vector<std::uint8_t> kOld = {'o', 'l', 'd'};

std::wstring Wide(const TempDir& dir, const char* name) { return (dir.root() / name).wstring(); }
DWORD Attributes(const TempDir& dir, const char* name) {
  return ::GetFileAttributesW(Wide(dir, name).c_str());
}

struct Case {
  const char* name;
  const char* source;  // in.wav (output L01.T58) or in.T58 (output in.WAV)
  std::function<void(TempDir&)> setUp;
  std::vector<int> messages;
  std::function<void(TempDir&)> check;
};

const Case kCases[] = {
    {"a read-only loop file is refused",
     "in.wav",
     [](TempDir& d) {
       WriteBytes(d.Path("L01.T58"), kOld);
       ::SetFileAttributesW(Wide(d, "L01.T58").c_str(), FILE_ATTRIBUTE_READONLY);
     },
     {131},
     [](TempDir& d) {
       EXPECT_EQ(ReadBytes(d.Path("L01.T58")), kOld);
       ::SetFileAttributesW(Wide(d, "L01.T58").c_str(), FILE_ATTRIBUTE_NORMAL);
     }},
    {"a read-only WAV file is refused",
     "in.T58",
     [](TempDir& d) {
       WriteBytes(d.Path("in.WAV"), kOld);
       ::SetFileAttributesW(Wide(d, "in.WAV").c_str(), FILE_ATTRIBUTE_READONLY);
     },
     {128},
     [](TempDir& d) {
       EXPECT_EQ(ReadBytes(d.Path("in.WAV")), kOld);
       ::SetFileAttributesW(Wide(d, "in.WAV").c_str(), FILE_ATTRIBUTE_NORMAL);
     }},
    {"a replaced file keeps its attributes",
     "in.wav",
     [](TempDir& d) {
       WriteBytes(d.Path("L01.T58"), kOld);
       ::SetFileAttributesW(Wide(d, "L01.T58").c_str(),
                            FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_HIDDEN);
     },
     {},
     [](TempDir& d) {
       EXPECT_EQ(ReadBytes(d.Path("L01.T58")).size(), kLoopSize);
       EXPECT_TRUE(Attributes(d, "L01.T58") & FILE_ATTRIBUTE_HIDDEN);
     }},
    {"both hard links see the new loop",
     "in.wav",
     [](TempDir& d) {
       WriteBytes(d.Path("L01.T58"), std::vector<std::uint8_t>(500'000, 1));
       ::CreateHardLinkW(Wide(d, "card.T58").c_str(), Wide(d, "L01.T58").c_str(), nullptr);
     },
     {},
     [](TempDir& d) {
       EXPECT_EQ(ReadBytes(d.Path("card.T58")), ReadBytes(d.Path("L01.T58")));
       EXPECT_EQ(ReadBytes(d.Path("card.T58")).size(), kLoopSize);
     }},
    {"a second name of the source is refused",
     "in.T58",
     [](TempDir& d) {
       // in.wav is in.WAV on Windows.
       std::filesystem::remove(d.root() / "in.wav");
       ::CreateHardLinkW(Wide(d, "in.WAV").c_str(), Wide(d, "in.T58").c_str(), nullptr);
     },
     {128},
     [](TempDir& d) { EXPECT_EQ(ReadBytes(d.Path("in.T58")).size(), kLoopSize); }},
    {"a folder of the output's name is refused",
     "in.wav",
     [](TempDir& d) { std::filesystem::create_directory(d.root() / "L01.T58"); },
     {131},
     [](TempDir& d) { EXPECT_TRUE(std::filesystem::is_directory(d.root() / "L01.T58")); }},
    {"a journal left by a killed copy puts its file's old bytes back",
     "in.wav",
     [](TempDir& d) {
       const std::vector<std::uint8_t> torn(1000, 2);  // all new, not yet cut
       WriteBytes(d.Path("card.T58"), torn);
       PlatformFileSystem files;
       WriteBytes(d.Path(JournalName("card.T58")),
                  Journal("card.T58", kOld,
                          IdentityIn(files, testing::Utf8Of(d.root()), "card.T58"), torn));
     },
     {},
     [](TempDir& d) { EXPECT_EQ(ReadBytes(d.Path("card.T58")), kOld); }},
    {"a journal cut short and a temporary file a killed run left go",
     "in.wav",
     [](TempDir& d) {
       WriteBytes(d.Path("card.T58"), std::vector<std::uint8_t>(1000, 2));
       // Killed before its head went on over the zeros in front of the old bytes.
       std::vector<std::uint8_t> cut(200 + kOld.size(), 0);
       std::copy(kOld.begin(), kOld.end(), cut.begin() + 200);
       WriteBytes(d.Path(JournalName("card.T58")), cut);
       WriteBytes(d.Path(".loopsmith-4a5e39"), kOld);
     },
     {},
     [](TempDir& d) {
       EXPECT_EQ(ReadBytes(d.Path("card.T58")), std::vector<std::uint8_t>(1000, 2));
     }},
    {"a backslash separates folders",
     "sub\\in.wav",
     [](TempDir& d) {
       std::filesystem::create_directory(d.root() / "sub");
       std::filesystem::copy_file(d.root() / "in.wav", d.root() / "sub" / "in.wav");
     },
     {},
     [](TempDir& d) { EXPECT_EQ(ReadBytes(d.Path("sub/L01.T58")).size(), kLoopSize); }},
};

TEST(WriteRules, WhatTheOwnerSetUpIsKept) {
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    WriteBytes(dir.Path("in.wav"), testing::SimpleWave(1, std::vector<std::int16_t>(100, 7)));
    std::vector<std::uint8_t> loop(kLoopSize);
    MakeLoopHeader({1200, 1, 1}, loop.data());
    WriteBytes(dir.Path("in.T58"), loop);
    c.setUp(dir);
    const auto before = dir.Entries();
    PlatformFileSystem files;
    testing::RecordingReporter reporter;
    testing::FixedAnswer answer{LoopParams{1200, 1, 1}};
    PageAllocator heap;
    ConvertJob(files, reporter, answer, heap).Run(testing::Utf8Of(dir.root()) + "\\" + c.source);
    EXPECT_EQ(reporter.ids, c.messages);
    c.check(dir);
    const auto entries = dir.Entries();
    for (const auto& name : entries) EXPECT_EQ(name.rfind(".loopsmith", 0), std::string::npos);
    if (!c.messages.empty()) {
      EXPECT_EQ(entries, before) << "nothing is touched";
    }
  }
}

TEST(WriteRules, AFailedWriteThroughALinkRemovesTheFileItCreated) {
  TempDir dir;
  // wine says yes and makes nothing: scripts/compare-windows-cli.sh has such a link made by Linux.
  if (!::CreateSymbolicLinkW(Wide(dir, "L01.T58").c_str(), Wide(dir, "card.T58").c_str(), 0) ||
      Attributes(dir, "L01.T58") == INVALID_FILE_ATTRIBUTES) {
    GTEST_SKIP() << "no symbolic links here";
  }
  PlatformFileSystem files;
  FileHandle output = FileHandle::kNone;
  ASSERT_EQ(files.CreateOutput(dir.Path("L01.T58"), output), 0);
  EXPECT_EQ(files.Write(output, "part", 4), 4);
  files.DiscardOutput(output);
  EXPECT_FALSE(std::filesystem::exists(dir.root() / "card.T58"));
}

TEST(WriteRules, ALinkToAMissingFileCreatesThatFile) {
  TempDir dir;
  WriteBytes(dir.Path("in.wav"), testing::SimpleWave(1, std::vector<std::int16_t>(100, 7)));
  // wine says yes and makes nothing: scripts/compare-windows-cli.sh has such a link made by Linux.
  if (!::CreateSymbolicLinkW(Wide(dir, "L01.T58").c_str(), Wide(dir, "card.T58").c_str(), 0) ||
      Attributes(dir, "L01.T58") == INVALID_FILE_ATTRIBUTES) {
    GTEST_SKIP() << "no symbolic links here";
  }
  PlatformFileSystem files;
  testing::RecordingReporter reporter;
  testing::FixedAnswer answer{LoopParams{1200, 1, 1}};
  PageAllocator heap;
  ConvertJob(files, reporter, answer, heap).Run(dir.Path("in.wav"));
  EXPECT_EQ(reporter.ids, std::vector<int>{});
  EXPECT_TRUE(Attributes(dir, "L01.T58") & FILE_ATTRIBUTE_REPARSE_POINT);
  EXPECT_EQ(ReadBytes(dir.Path("card.T58")).size(), kLoopSize);
}

TEST(WriteRules, AFileWhoseCopyWasCutOffReadsAsItWillBeAndNothingIsWritten) {
  TempDir dir;
  const std::vector<std::uint8_t> torn(1000, 2);
  WriteBytes(dir.Path("L01.T58"), torn);
  PlatformFileSystem files;
  const auto journal =
      Journal("L01.T58", kOld, IdentityIn(files, testing::Utf8Of(dir.root()), "L01.T58"), torn);
  WriteBytes(dir.Path(JournalName("L01.T58")), journal);
  FileHandle file = FileHandle::kNone;
  ASSERT_EQ(files.OpenRead(dir.Path("L01.T58"), file), 0);
  std::vector<std::uint8_t> bytes(10);
  EXPECT_EQ(files.Read(file, bytes.data(), bytes.size()), 3);
  EXPECT_EQ(files.Seek(file, 0, SeekFrom::kEnd), 3);
  files.Close(file);
  EXPECT_EQ(ReadBytes(dir.Path("L01.T58")), torn);
  EXPECT_EQ(ReadBytes(dir.Path(JournalName("L01.T58"))), journal);
}

TEST(WriteRules, AnOutputNameOf255CharactersConverts) {
  TempDir dir;
  const std::string base(251, 'n');
  std::vector<std::uint8_t> loop(kLoopSize);
  MakeLoopHeader({1200, 1, 1}, loop.data());
  WriteBytes(dir.Path(base + ".T58"), loop);
  PlatformFileSystem files;
  testing::RecordingReporter reporter;
  testing::FixedAnswer answer;
  PageAllocator heap;
  EXPECT_TRUE(ConvertJob(files, reporter, answer, heap).Run(dir.Path(base + ".T58")).Converted());
  EXPECT_EQ(dir.Entries(), (std::vector<std::string>{base + ".T58", base + ".WAV"}));
}

}  // namespace
}  // namespace loopsmith
