// What a conversion does to what the owner set up at the output's name, on the
// real file system: links stay links, permissions and hard links are kept,
// what may not be written is refused before a byte is written, and nothing is
// left behind.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "base/journal.h"
#include "base/posix_file_system.h"
#include "card/card_moves.h"
#include "core/convert_job.h"
#include "core/loop_format.h"
#include "fixed_answer.h"
#include "journal_bytes.h"
#include "recording_reporter.h"
#include "temp_dir.h"
#include "wav_builder.h"

namespace loopsmith {
namespace {

namespace fs = std::filesystem;
using testing::IdentityIn;
using testing::Journal;
using testing::ReadBytes;
using testing::TempDir;
using testing::WriteBytes;

constexpr std::size_t kLoopSize = 262'200;  // one measure at 120 BPM
const std::vector<std::uint8_t> kOld = {'o', 'l', 'd'};

mode_t ModeOf(const std::string& path) {
  struct stat info {};
  ::stat(path.c_str(), &info);
  return info.st_mode & 07777;
}

struct Case {
  const char* name;
  const char* source;  // in.wav (output L01.T58) or in.T58 (output in.WAV)
  std::function<void(TempDir&)> setUp;
  bool unprivileged;  // run as an ordinary user, so that a refusal is the system's
  std::vector<int> messages;
  std::function<void(TempDir&)> check;
  rlim_t sizeLimit = 0;  // a file size limit for the conversion, as a full disk would set one
};

void WriteSources(TempDir& dir) {
  WriteBytes(dir.Path("in.wav"), testing::SimpleWave(1, std::vector<std::int16_t>(100, 7)));
  std::vector<std::uint8_t> loop(kLoopSize);
  MakeLoopHeader({1200, 1, 1}, loop.data());
  WriteBytes(dir.Path("in.T58"), loop);
}

const Case kCases[] = {
    {"a link stays a link and its file is written",
     "in.wav",
     [](TempDir& d) {
       fs::create_directory(d.Path("card"));
       WriteBytes(d.Path("card/L01.T58"), kOld);
       fs::create_symlink("card/L01.T58", d.Path("L01.T58"));
     },
     false,
     {},
     [](TempDir& d) {
       EXPECT_TRUE(fs::is_symlink(d.Path("L01.T58")));
       EXPECT_EQ(ReadBytes(d.Path("card/L01.T58")).size(), kLoopSize);
     }},
    {"a link to a link to a missing file creates that file",
     "in.wav",
     [](TempDir& d) {
       fs::create_directory(d.Path("card"));
       fs::create_symlink("card/next", d.Path("L01.T58"));
       fs::create_symlink(d.Path("card/loop.T58"), d.Path("card/next"));
     },
     false,
     {},
     [](TempDir& d) {
       EXPECT_TRUE(fs::is_symlink(d.Path("L01.T58")));
       EXPECT_EQ(ReadBytes(d.Path("card/loop.T58")).size(), kLoopSize);
     }},
    {"0600 stays 0600",
     "in.wav",
     [](TempDir& d) {
       WriteBytes(d.Path("L01.T58"), kOld);
       ::chmod(d.Path("L01.T58").c_str(), 0600);
     },
     false,
     {},
     [](TempDir& d) { EXPECT_EQ(ModeOf(d.Path("L01.T58")), 0600u); }},
    {"0640 stays 0640",
     "in.T58",
     [](TempDir& d) {
       WriteBytes(d.Path("in.WAV"), kOld);
       ::chmod(d.Path("in.WAV").c_str(), 0640);
     },
     false,
     {},
     [](TempDir& d) { EXPECT_EQ(ModeOf(d.Path("in.WAV")), 0640u); }},
    {"a new file gets 0666 less the umask",
     "in.wav",
     [](TempDir&) {},
     false,
     {},
     [](TempDir& d) { EXPECT_EQ(ModeOf(d.Path("L01.T58")), 0640u); }},
    {"a hard-linked file larger than any loop is not copied over: its journal could not go back",
     "in.wav",
     [](TempDir& d) {
       WriteBytes(d.Path("L01.T58"), std::vector<std::uint8_t>(600'000, 1));
       fs::create_hard_link(d.Path("L01.T58"), d.Path("card.T58"));
     },
     false,
     {131},
     [](TempDir& d) {
       EXPECT_EQ(ReadBytes(d.Path("card.T58")), std::vector<std::uint8_t>(600'000, 1));
     }},
    {"both hard links see the new loop",
     "in.wav",
     [](TempDir& d) {
       WriteBytes(d.Path("L01.T58"), std::vector<std::uint8_t>(500'000, 1));
       fs::create_hard_link(d.Path("L01.T58"), d.Path("card.T58"));
     },
     false,
     {},
     [](TempDir& d) {
       EXPECT_EQ(fs::hard_link_count(d.Path("L01.T58")), 2u);
       EXPECT_EQ(ReadBytes(d.Path("card.T58")), ReadBytes(d.Path("L01.T58")));
       EXPECT_EQ(ReadBytes(d.Path("card.T58")).size(), kLoopSize);
     }},
    {"a read-only loop file is refused",
     "in.wav",
     [](TempDir& d) {
       WriteBytes(d.Path("L01.T58"), kOld);
       ::chmod(d.Path("L01.T58").c_str(), 0444);
     },
     true,
     {131},
     [](TempDir& d) { EXPECT_EQ(ReadBytes(d.Path("L01.T58")), kOld); }},
    {"a read-only WAV file is refused",
     "in.T58",
     [](TempDir& d) {
       WriteBytes(d.Path("in.WAV"), kOld);
       ::chmod(d.Path("in.WAV").c_str(), 0444);
     },
     true,
     {128},
     [](TempDir& d) { EXPECT_EQ(ReadBytes(d.Path("in.WAV")), kOld); }},
    {"a folder of the output's name is refused",
     "in.wav",
     [](TempDir& d) { fs::create_directory(d.Path("L01.T58")); },
     false,
     {131},
     [](TempDir& d) { EXPECT_TRUE(fs::is_directory(d.Path("L01.T58"))); }},
    {"a link of the output's name to the source is refused",
     "in.wav",
     [](TempDir& d) { fs::create_symlink("in.wav", d.Path("L01.T58")); },
     false,
     {131},
     [](TempDir& d) { EXPECT_EQ(ReadBytes(d.Path("in.wav")).size(), 244u); }},
    {"a second name of the source is refused",
     "in.T58",
     [](TempDir& d) { fs::create_hard_link(d.Path("in.T58"), d.Path("in.WAV")); },
     false,
     {128},
     [](TempDir& d) { EXPECT_EQ(ReadBytes(d.Path("in.T58")).size(), kLoopSize); }},
    {"a hard-linked file stays whole when the disk fills",
     "in.wav",
     [](TempDir& d) {
       WriteBytes(d.Path("L01.T58"), std::vector<std::uint8_t>(500'000, 1));
       fs::create_hard_link(d.Path("L01.T58"), d.Path("card.T58"));
     },
     false,
     {131},
     [](TempDir& d) {
       EXPECT_EQ(ReadBytes(d.Path("card.T58")), std::vector<std::uint8_t>(500'000, 1));
     },
     100'000},
    {"a journal left by a killed copy puts its file's old bytes back",
     "in.wav",
     [](TempDir& d) {
       const std::vector<std::uint8_t> torn(1000, 2);  // all new, not yet cut
       WriteBytes(d.Path("card.T58"), torn);
       PosixFileSystem files;
       WriteBytes(d.Path(JournalName("card.T58")),
                  Journal("card.T58", kOld,
                          IdentityIn(files, testing::Utf8Of(d.root()), "card.T58"), torn));
     },
     false,
     {},
     [](TempDir& d) { EXPECT_EQ(ReadBytes(d.Path("card.T58")), kOld); }},
    {"a journal cut short goes, and its file stays as it is",
     "in.wav",
     [](TempDir& d) {
       WriteBytes(d.Path("card.T58"), std::vector<std::uint8_t>(1000, 2));
       // Killed before its head went on over the zeros in front of the old bytes.
       std::vector<std::uint8_t> cut(200 + kOld.size(), 0);
       std::copy(kOld.begin(), kOld.end(), cut.begin() + 200);
       WriteBytes(d.Path(JournalName("card.T58")), cut);
     },
     false,
     {},
     [](TempDir& d) {
       EXPECT_EQ(ReadBytes(d.Path("card.T58")), std::vector<std::uint8_t>(1000, 2));
     }},
    {"a temporary file a killed run left goes",
     "in.T58",
     [](TempDir& d) { WriteBytes(d.Path(".loopsmith-4a5e39"), kOld); },
     false,
     {},
     [](TempDir&) {}},
    {"a FIFO of the output's name is refused at once",
     "in.T58",
     [](TempDir& d) { ::mkfifo(d.Path("in.WAV").c_str(), 0666); },
     false,
     {128},
     [](TempDir& d) { EXPECT_TRUE(fs::is_fifo(d.Path("in.WAV"))); }},
};

// Runs one conversion and returns its messages.
std::vector<int> Convert(const std::string& source) {
  PosixFileSystem files;
  testing::RecordingReporter reporter;
  testing::FixedAnswer answer{LoopParams{1200, 1, 1}};
  PageAllocator heap;
  ConvertJob(files, reporter, answer, heap).Run(source);
  return reporter.ids;
}

// The same in a child process that has given up root, so that permissions
// bind, or that may write only `sizeLimit` bytes into a file.
std::vector<int> ConvertInChild(TempDir& dir, const std::string& source, bool unprivileged,
                                rlim_t sizeLimit) {
  if (unprivileged && ::geteuid() == 0) {
    ::chmod(dir.root().c_str(), 0777);
    ::chmod(source.c_str(), 0644);
  }
  const pid_t child = ::fork();
  if (child == 0) {
    if (unprivileged && ::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) {
      ::_exit(100);
    }
    const rlimit limit{sizeLimit, sizeLimit};
    if (sizeLimit > 0 &&
        (::signal(SIGXFSZ, SIG_IGN) == SIG_ERR || ::setrlimit(RLIMIT_FSIZE, &limit) != 0)) {
      ::_exit(100);
    }
    const std::vector<int> ids = Convert(source);
    ::_exit(ids.size() == 1 ? ids[0] - 100 : 99);  // the one message, as a small number
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) >= 99) return {-WEXITSTATUS(status)};
  return {WEXITSTATUS(status) + 100};
}

TEST(WriteRules, WhatTheOwnerSetUpIsKept) {
  const mode_t mask = ::umask(027);
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    WriteSources(dir);
    c.setUp(dir);
    const auto before = dir.Entries();
    const std::string source = dir.Path(c.source);
    EXPECT_EQ(c.unprivileged || c.sizeLimit > 0
                  ? ConvertInChild(dir, source, c.unprivileged, c.sizeLimit)
                  : Convert(source),
              c.messages);
    c.check(dir);
    const auto entries = dir.Entries();
    for (const auto& name : entries) EXPECT_EQ(name.rfind(".loopsmith", 0), std::string::npos);
    if (!c.messages.empty()) {
      EXPECT_EQ(entries, before) << "nothing is touched";
    }
  }
  ::umask(mask);
}

TEST(WriteRules, AnInputChangedWhileOpenIsNotTrusted) {
  TempDir dir;
  WriteBytes(dir.Path("in.T58"), kOld);
  PosixFileSystem files;
  FileHandle file = FileHandle::kNone;
  ASSERT_EQ(files.OpenRead(dir.Path("in.T58"), file), 0);
  EXPECT_EQ(files.CheckUnchanged(file), 0);
  ::truncate(dir.Path("in.T58").c_str(), 1);
  EXPECT_EQ(files.CheckUnchanged(file), -kErrorChanged);
  files.Close(file);
}

TEST(WriteRules, AFileWhoseCopyWasCutOffReadsAsItWillBeAndNothingIsWritten) {
  TempDir dir;
  const std::vector<std::uint8_t> torn(1000, 2);
  WriteBytes(dir.Path("L01.T58"), torn);
  PosixFileSystem files;
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

TEST(WriteRules, WritersOfOneHardLinkedFileTakeTurns) {
  TempDir dir;
  WriteBytes(dir.Path("L01.T58"), kOld);
  fs::create_hard_link(dir.Path("L01.T58"), dir.Path("card.T58"));
  // Each writer its own file layer, as separate processes would be.
  std::vector<std::thread> writers;
  writers.reserve(8);
  for (int k = 0; k < 8; ++k) {
    writers.emplace_back([&dir, k] {
      PosixFileSystem files;
      FileHandle out = FileHandle::kNone;
      const std::vector<std::uint8_t> bytes(400'000 + 1000 * static_cast<std::size_t>(k),
                                            static_cast<std::uint8_t>(k));
      if (files.CreateOutput(dir.Path("L01.T58"), out) != 0) return;
      files.Write(out, bytes.data(), bytes.size());
      EXPECT_EQ(files.CommitOutput(out), 0);
    });
  }
  for (auto& writer : writers) writer.join();
  const auto result = ReadBytes(dir.Path("card.T58"));
  ASSERT_FALSE(result.empty());
  const std::size_t k = result[0];
  EXPECT_EQ(result, std::vector<std::uint8_t>(400'000 + 1000 * k, static_cast<std::uint8_t>(k)))
      << "one writer's bytes, whole";
  EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"L01.T58", "card.T58"}));
}

// A run that finds another holding what it needs says that it waits, and,
// should the other never let go, gives up with that reason; nothing changes.
TEST(WriteRules, AWaitForAnotherRunIsSaidAndItsEndExplained) {
  for (const bool card : {false, true}) {
    SCOPED_TRACE(card ? "a card's move" : "a copy over a hard-linked file");
    TempDir dir;
    WriteBytes(dir.Path("L01.T58"), kOld);
    fs::create_hard_link(dir.Path("L01.T58"), dir.Path("card.T58"));
    const int held = ::open(card ? dir.Path("").c_str() : dir.Path("L01.T58").c_str(), O_RDONLY);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);
    PosixFileSystem files;
    files.SetWaitLimit(std::chrono::milliseconds(100));
    std::vector<std::string> waits;
    files.SetWaitNotice([&waits](const std::string& name) { waits.push_back(name); });
    std::string why;
    if (card) {
      const auto failure = card::MoveSlot(files, dir.Path(""), 1, 2);
      ASSERT_TRUE(failure.has_value());
      why = DetailOf(*failure);
    } else {
      FileHandle out = FileHandle::kNone;
      ASSERT_EQ(files.CreateOutput(dir.Path("L01.T58"), out), 0);
      files.Write(out, "new", 3);
      const int committed = files.CommitOutput(out);
      why = DetailOf(Failure{MessageId::kLoopWriteError, -committed, "it could not be written"});
    }
    ::close(held);
    EXPECT_EQ(waits.size(), 1U);
    EXPECT_NE(why.find("another"), std::string::npos) << why;
    EXPECT_EQ(ReadBytes(dir.Path("card.T58")), kOld);
    EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"L01.T58", "card.T58"}));
  }
}

TEST(WriteRules, AStrayStillHeldByItsWriterStays) {
  TempDir dir;
  WriteSources(dir);
  WriteBytes(dir.Path(".loopsmith-0c0ffe"), kOld);
  const int held = ::open(dir.Path(".loopsmith-0c0ffe").c_str(), O_RDONLY);
  ASSERT_EQ(::flock(held, LOCK_EX), 0);
  EXPECT_EQ(Convert(dir.Path("in.wav")), std::vector<int>{});
  EXPECT_EQ(ReadBytes(dir.Path(".loopsmith-0c0ffe")), kOld);
  ::close(held);
}

TEST(WriteRules, AnOutputNameOf255BytesConverts) {
  TempDir dir;
  const std::string base(251, 'n');
  std::vector<std::uint8_t> loop(kLoopSize);
  MakeLoopHeader({1200, 1, 1}, loop.data());
  WriteBytes(dir.Path(base + ".T58"), loop);
  EXPECT_EQ(Convert(dir.Path(base + ".T58")), std::vector<int>{});
  EXPECT_EQ(dir.Entries(), (std::vector<std::string>{base + ".T58", base + ".WAV"}));
}

}  // namespace
}  // namespace loopsmith
