#include <gtest/gtest.h>
#ifndef _WIN32
#include <unistd.h>
#endif
#include <sys/stat.h>  // mkdir

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <vector>

#include "base/platform_file_system.h"
#include "base/text.h"
#include "base/version.h"
#include "cli/cli.h"
#include "cli/options.h"
#include "core/loop_format.h"
#include "faulty_file_system.h"
#include "temp_dir.h"
#include "wav_builder.h"

namespace loopsmith::cli {
namespace {

using loopsmith::testing::FormatBody;
using loopsmith::testing::ReadBytes;
using loopsmith::testing::Riff;
using loopsmith::testing::SimpleWave;
using loopsmith::testing::TempDir;
using loopsmith::testing::WriteBytes;

TEST(ParseTempo, WholeAndOneDecimal) {
  const std::pair<const char*, int> good[] = {{"40", 400},     {"240", 2400}, {"128.5", 1285},
                                              {"120.0", 1200}, {"040", 400},  {"239.9", 2399}};
  for (const auto& [text, tempo] : good) EXPECT_EQ(ParseTempo(text), tempo) << text;
  for (const char* bad : {"39.9", "240.1", "0", "", "12.", ".5", "120.25", "1e2", "-120", "120 ",
                          "abc", "99999999999"}) {
    EXPECT_EQ(ParseTempo(bad), std::nullopt) << bad;
  }
}

TEST(ParseOptions, ValuesAndErrors) {
  auto parsed =
      ParseOptions({"--bpm", "90.5", "--measure=OFF", "--number", "49", "a.wav", "b.wav"});
  ASSERT_TRUE(parsed.options) << parsed.error;
  EXPECT_EQ(parsed.options->tempo, 905);
  EXPECT_EQ(parsed.options->measureMode, 0);
  EXPECT_EQ(parsed.options->firstNumber, 49);
  EXPECT_EQ(parsed.options->files, (std::vector<std::string>{"a.wav", "b.wav"}));

  const std::vector<std::vector<std::string>> bad = {
      {},
      {"--bpm", "300", "a.wav"},
      {"--measure", "3", "a.wav"},
      {"--number", "0", "a.wav"},
      {"--number", "51", "a.wav"},
      {"--number", "x", "a.wav"},
      {"--bpm"},
      {"--frobnicate", "a.wav"},
      {"--number", "50", "a.wav", "b.WAV"},  // would pass 50
      {"--json", "a.wav"},                   // only with --info
  };
  for (const auto& args : bad) {
    const auto result = ParseOptions(args);
    EXPECT_FALSE(result.options) << (args.empty() ? "(none)" : args[0]);
    EXPECT_FALSE(result.error.empty());
  }
  // Loop files take no number, so they do not count toward 50.
  EXPECT_TRUE(ParseOptions({"--number", "50", "a.wav", "b.T58", "c.t58"}).options);
  EXPECT_TRUE(ParseOptions({"--", "--bpm"}).options);
}

class CliTest : public ::testing::Test {
 protected:
  int Run(const std::vector<std::string>& args) {
    out.str("");
    err.str("");
    return RunCli(args, fs, out, err);
  }
  TempDir dir;
  PlatformFileSystem fs;
  std::ostringstream out;
  std::ostringstream err;
};

TEST_F(CliTest, BatchCountsFileNumbersUpPerWaveFile) {
  WriteBytes(dir.Path("a.wav"), SimpleWave(1, {1, 2}));
  WriteBytes(dir.Path("b.WAV"), SimpleWave(2, {1, 2}));
  std::vector<std::uint8_t> loop(131'128);
  MakeLoopHeader({2400, 1, 1}, loop.data());
  WriteBytes(dir.Path("c.T58"), loop);
  EXPECT_EQ(Run({"--bpm", "240", "--number", "9", dir.Path("a.wav"), dir.Path("c.T58"),
                 dir.Path("b.WAV")}),
            0);
  EXPECT_EQ(out.str(),
            dir.Path("L09.T58") + "\n" + dir.Path("c.WAV") + "\n" + dir.Path("L10.T58") + "\n");
  EXPECT_EQ(err.str(), "");
  EXPECT_EQ(ReadBytes(dir.Path("L10.T58")).size(), 131'128u);
}

TEST_F(CliTest, FailuresAreLinesAndExitOne) {
  WriteBytes(dir.Path("good.wav"), SimpleWave(1, {1}));
  WriteBytes(dir.Path("fast.wav"), Riff({{"fmt ", FormatBody(1, 48000, 16)}, {"data", {}}}));
  const std::string notes = dir.Path("notes.txt");
  EXPECT_EQ(Run({dir.Path("fast.wav"), notes, dir.Path("good.wav")}), 1);
  EXPECT_EQ(err.str(), "loopsmith-cli: " + dir.Path("fast.wav") + ": Wave file format error\n" +
                           "loopsmith-cli: " + notes + ": not a .WAV or .T58 file\n");
  // The failed file kept its number; the next one took the following.
  EXPECT_EQ(out.str(), dir.Path("L02.T58") + "\n");
}

#ifndef _WIN32  // Windows names hold no control characters
TEST_F(CliTest, NamesWithNewlinesStayOneNameEach) {
  ::mkdir(dir.Path("a\nb").c_str(), 0777);
  std::vector<std::uint8_t> loop(131'128);
  MakeLoopHeader({2400, 1, 1}, loop.data());
  WriteBytes(dir.Path("a\nb/c\n.T58"), loop);
  WriteBytes(dir.Path("a\nb/bad\t.T58"), {'x'});
  EXPECT_EQ(Run({"-0", dir.Path("a\nb/c\n.T58"), dir.Path("a\nb/bad\t.T58")}), 1);
  EXPECT_EQ(out.str(), dir.Path("a\nb/c\n.WAV") + '\0');
  EXPECT_EQ(err.str(),
            "loopsmith-cli: $'" + dir.Path("a\\nb/bad\\t.T58") + "': Loop file read error\n");
  // A name that is not UTF-8, in a card: quoted in the text, its bytes kept
  // recoverable in JSON (U+DC00 plus the byte), and the JSON still valid.
  ::mkdir(dir.Path("card").c_str(), 0777);
  WriteBytes(dir.Path("card/caf\xe9 \xc3\xa9.T58"), loop);
  EXPECT_EQ(Run({"--info", dir.Path("card")}), 0);
  EXPECT_NE(out.str().find("$'caf\\xe9 \xc3\xa9.T58'"), std::string::npos) << out.str();
  EXPECT_EQ(Run({"--info", "--json", dir.Path("card")}), 0);
  EXPECT_NE(out.str().find("\"caf\\udce9 \xc3\xa9.T58\""), std::string::npos) << out.str();
}
#endif

TEST_F(CliTest, ACardsFreeNumbersAndOutputsNeverReplaced) {
  std::vector<std::uint8_t> loop(131'128);
  MakeLoopHeader({2400, 1, 1}, loop.data());
  WriteBytes(dir.Path("L02.T58"), loop);
  std::vector<std::string> waves;
  for (int k = 0; k < 60; ++k) {
    std::string name = std::to_string(k);
    name.append(".wav");
    waves.push_back(dir.Path(name));
    WriteBytes(waves.back(), SimpleWave(1, {1, 2}));
  }
  // 60 WAV files, 49 free numbers: refused before anything is written.
  auto args = waves;
  args.insert(args.begin(), {"--number", "free"});
  EXPECT_EQ(Run(args), 2);
  EXPECT_NE(err.str().find(": 60 new loops, but the card has room for 49; nothing is written\n"),
            std::string::npos)
      << err.str();
  EXPECT_FALSE(std::filesystem::exists(dir.Path("L01.T58")));
  // Two take the lowest free numbers, past the one taken.
  EXPECT_EQ(Run({"--number", "free", waves[0], waves[1]}), 0);
  EXPECT_EQ(out.str(), dir.Path("L01.T58") + "\n" + dir.Path("L03.T58") + "\n");
  // -n: one line for each file whose output is there, exit 1.
  EXPECT_EQ(Run({"-n", "--number", "2", waves[2], waves[3]}), 1);
  std::string refused;
  for (const auto& [wave, loopName] : {std::pair{waves[2], "L02.T58"}, {waves[3], "L03.T58"}}) {
    refused += "loopsmith-cli: ";
    refused += wave;
    refused += ": ";
    refused += dir.Path(loopName);
    refused += " is there already, and is not replaced\n";
  }
  EXPECT_EQ(err.str(), refused);
  EXPECT_EQ(ReadBytes(dir.Path("L02.T58")), loop);
  // The folder as a card: a line per slot, then what the sampler may not see.
  WriteBytes(dir.Path("L7.T58"), loop);
  EXPECT_EQ(Run({"--info", dir.root().string()}), 0);
  const std::string text = out.str();
  EXPECT_NE(text.find(": card, 3 of 50 numbers taken\n"), std::string::npos) << text;
  EXPECT_NE(text.find("  L02.T58    240.0 BPM  1 measure   1.000 s  131,128 bytes\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("  L04.T58  free\n"), std::string::npos);
  EXPECT_NE(text.find("    L7.T58: the sampler reads L07.T58, spelt so\n"), std::string::npos);
  // Moves: a line for each refusal, exit 1; a number out of range is a usage error.
  const std::string card = dir.root().string();
  WriteBytes(dir.Path("L05.T58"), loop);
#ifdef _WIN32
  const bool kRoot = false;
#else
  const bool kRoot = ::geteuid() == 0;
#endif
  std::filesystem::permissions(dir.Path("L05.T58"), std::filesystem::perms::owner_read);
  const struct {
    std::vector<std::string> args;
    int exit;
    const char* said;
  } moves[] = {
      {{"--move", "1", "9", card}, 0, ""},
      {{"--move", "9", "2", card}, 1, "L02.T58 is taken: a move never replaces"},
      {{"--swap", "9", "3", card}, 0, ""},
      {{"--remove", "9", card}, 0, ""},
      {{"--remove", "9", card}, 1, "L09.T58 is free"},
      // Read-only as the listing says it: to root, nothing is.
      {{"--remove", "5", card}, kRoot ? 0 : 1, kRoot ? "" : "L05.T58 is marked read-only"},
      {{"--force", "--remove", "5", card}, kRoot ? 1 : 0, kRoot ? "L05.T58 is free" : ""},
      {{"--move", "0", "7", card}, 2, "--move takes two numbers, 1 to 50"},
  };
  for (const auto& move : moves) {
    EXPECT_EQ(Run(move.args), move.exit) << move.args[0];
    if (*move.said == '\0') {
      EXPECT_EQ(err.str(), "");
    } else {
      EXPECT_NE(err.str().find(move.said), std::string::npos) << err.str();
    }
  }
  EXPECT_FALSE(std::filesystem::exists(dir.Path("L09.T58")) ||
               std::filesystem::exists(dir.Path("L01.T58")));
  EXPECT_TRUE(std::filesystem::exists(dir.Path("L03.T58")));
  // The same as JSON, with a loop file beside it.
  EXPECT_EQ(Run({"--info", "--json", dir.root().string(), dir.Path("L02.T58")}), 0);
  const std::string json = out.str();
  for (const char* part :
       {"{\"files\": [", "\"kind\": \"card\", \"ok\": true", "\"state\": \"free\"",
        "{\"name\": \"L7.T58\", \"why\": \"the sampler reads L07.T58, spelt so\"}",
        "\"kind\": \"loop\", \"ok\": true, \"tempo\": 240.0, \"measure\": \"1\""}) {
    EXPECT_NE(json.find(part), std::string::npos) << part;
  }
}

TEST_F(CliTest, AnOutputThatCannotBeWrittenIsAFailure) {
  WriteBytes(dir.Path("a.wav"), SimpleWave(1, {1}));
  std::ostream broken(nullptr);  // every write to it fails, as to /dev/full
  EXPECT_EQ(RunCli({dir.Path("a.wav")}, fs, broken, err), 1);
  EXPECT_NE(err.str().find("standard output"), std::string::npos);
}

TEST_F(CliTest, UsageErrorsConvertNothing) {
  WriteBytes(dir.Path("a.wav"), SimpleWave(1, {1}));
  EXPECT_EQ(Run({"--bpm", "12", dir.Path("a.wav")}), 2);
  EXPECT_NE(err.str().find("--bpm"), std::string::npos);
  EXPECT_EQ(dir.Entries(), std::vector<std::string>{"a.wav"});
  EXPECT_EQ(Run({"--help"}), 0);
  EXPECT_NE(out.str().find("Usage: loopsmith-cli"), std::string::npos);
  EXPECT_EQ(Run({"--version"}), 0);
  EXPECT_EQ(out.str(), std::string("loopsmith-cli (Loopsmith for TQ-58) ") + kVersion + "\n");
}

TEST_F(CliTest, InfoDescribesBothKindsAndWritesNothing) {
  std::vector<std::uint8_t> loop(262'200 + 10);
  MakeLoopHeader({1285, 1, 1}, loop.data());
  WriteBytes(dir.Path("l.T58"), loop);
  WriteBytes(dir.Path("s.wav"), SimpleWave(2, std::vector<std::int16_t>(600'000, 1)));
  EXPECT_EQ(Run({"--info", dir.Path("l.T58"), dir.Path("s.wav")}), 0);
  const std::string text = out.str();
  for (const char* part :
       {"128.5 BPM", "measure:       1", "loop samples:  82,367", "loop seconds:  1.868",
        "stored words:  131,072", "262,210 bytes", "channels:      2", "44,100 Hz",
        "frames:        300,000", "converted:     262,144 frames"}) {
    EXPECT_NE(text.find(part), std::string::npos) << part << "\n" << text;
  }
  EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"l.T58", "s.wav"}));
}

TEST_F(CliTest, InfoSaysWhyAFileIsRefused) {
  std::vector<std::uint8_t> loop(1000);
  MakeLoopHeader({1200, 1, 1}, loop.data());
  WriteBytes(dir.Path("cut.T58"), loop);
  WriteBytes(dir.Path("tiny.T58"), {1, 2, 3});
  WriteBytes(dir.Path("hi.wav"), Riff({{"fmt ", FormatBody(3, 48000, 24)}, {"data", {}}}));
  WriteBytes(dir.Path("claims.wav"),
             Riff({{"fmt ", FormatBody(1, 44100, 16)},
                   {"data", std::vector<std::uint8_t>(600'000), 2'000'000u}}));
  WriteBytes(dir.Path("short.wav"), Riff({{"fmt ", FormatBody(1, 44100, 16)},
                                          {"data", std::vector<std::uint8_t>(100), 300u}}));
  WriteBytes(dir.Path("nodata.wav"), Riff({{"data", {}}, {"fmt ", FormatBody(1, 44100, 16)}}));
  WriteBytes(dir.Path("rf64.wav"),
             {'R', 'F', '6', '4', 0xFF, 0xFF, 0xFF, 0xFF, 'W', 'A', 'V', 'E'});
  const struct {
    const char* name;
    const char* why;
  } cases[] = {
      {"cut.T58",
       "its loop of 88,201 samples needs 176,402 bytes after the header, file holds 944"},
      {"tiny.T58", "it holds 3 bytes, less than the 56-byte header"},
      {"hi.wav", "3 channels, needs 1 or 2; 48,000 Hz, needs 44,100; 24 bits, needs 16"},
      {"claims.wav", ""},  // the cap makes it load
      {"short.wav", "its data chunk claims 300 bytes, file holds 100"},
      {"nodata.wav", "there is no \"data\" chunk after \"fmt \""},
      {"rf64.wav", "it is an RF64 file; only RIFF files are read"},
      {"gone.wav", "it cannot be opened: No such file or directory"},
  };
  for (const auto& c : cases) {
    const int status = Run({"--info", dir.Path(c.name)});
    if (*c.why == '\0') {
      EXPECT_EQ(status, 0) << c.name << err.str();
      continue;
    }
    EXPECT_EQ(status, 1) << c.name;
    const std::string prefix = "loopsmith-cli: " + dir.Path(c.name) + ": ";
    EXPECT_NE(err.str().find(prefix + c.why + "\n"), std::string::npos) << err.str();
  }
}

TEST_F(CliTest, OneFilesSurpriseIsOneLineAndTheBatchGoesOn) {
  WriteBytes(dir.Path("good 120bpm.wav"), SimpleWave(1, {1}));
  const std::string digits = dir.Path(std::string(240, '9') + "bpm.wav");
  const std::vector<std::string> args = {
#ifdef LOOPSMITH_HAVE_ADAPT
      "--bpm", "auto",
#endif
      digits, dir.Path("good 120bpm.wav")};
  EXPECT_EQ(Run(args), 1);
  const std::string lines = err.str();
  const std::string prefix = "loopsmith-cli: " + digits + ": ";
  EXPECT_EQ(lines.rfind(prefix, 0), 0u) << lines;
  EXPECT_EQ(lines.find(prefix, 1), std::string::npos) << "one line\n" << lines;
  EXPECT_NE(out.str().find("L02.T58"), std::string::npos);
}

TEST_F(CliTest, InfoSaysASizeItCannotReadIsUnknown) {
  std::vector<std::uint8_t> loop(262'200);
  MakeLoopHeader({1200, 1, 1}, loop.data());
  WriteBytes(dir.Path("l.T58"), loop);
  loopsmith::testing::FaultyFileSystem faulty;
  faulty.FailOn(loopsmith::testing::FaultyFileSystem::kOpenRead, 2);
  EXPECT_EQ(RunCli({"--info", dir.Path("l.T58")}, faulty, out, err), 0);
  EXPECT_NE(out.str().find("file size:     unknown\n"), std::string::npos) << out.str();
}

TEST(WithCommas, Groups) {
  EXPECT_EQ(WithCommas(0), "0");
  EXPECT_EQ(WithCommas(999), "999");
  EXPECT_EQ(WithCommas(1000), "1,000");
  EXPECT_EQ(WithCommas(1'048'576), "1,048,576");
}

}  // namespace
}  // namespace loopsmith::cli
