// Any sound file in, on the command line: sox is the oracle for decoding and
// resampling, synthetic click loops and tagged files for --bpm auto.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <random>
#include <sstream>
#include <vector>

#include "base/posix_file_system.h"
#include "cli/cli.h"
#include "temp_dir.h"
#include "wav_builder.h"

namespace loopsmith {
namespace {

using testing::ReadBytes;
using testing::TempDir;
using testing::WriteBytes;

bool Sox(const std::string& arguments) {
  return std::system(("sox " + arguments + " 2>/dev/null").c_str()) == 0;
}

struct CliRun {
  int status;
  std::string out;
  std::string err;
};

CliRun Cli(const std::vector<std::string>& args) {
  PosixFileSystem files;
  std::ostringstream out;
  std::ostringstream err;
  const int status = cli::RunCli(args, files, out, err);
  return {status, out.str(), err.str()};
}

int Word(const std::vector<std::uint8_t>& loop, std::size_t i) {
  const int word = loop[56 + 2 * i] << 8 | loop[57 + 2 * i];
  return word >= 2048 ? word - 4096 : word;
}

// Clicks on every beat of a loop of whole measures, over a little noise.
std::vector<std::int16_t> ClickLoop(double bpm, int measures) {
  const auto frames = static_cast<std::size_t>(std::lround(measures * 240.0 / bpm * 44100));
  std::mt19937 random(1);
  std::normal_distribution<double> noise(0, 0.02);
  std::vector<double> x(frames);
  for (double& v : x) v = noise(random);
  for (int beat = 0; beat < measures * 4; ++beat) {
    const auto at = static_cast<std::size_t>(std::lround(beat * 60.0 / bpm * 44100));
    for (std::size_t k = 0; k < 400 && at + k < frames; ++k) {
      x[at + k] +=
          0.8 * std::exp(-static_cast<double>(k) / 60) * std::sin(static_cast<double>(k) * 0.5);
    }
  }
  std::vector<std::int16_t> samples(frames);
  for (std::size_t i = 0; i < frames; ++i) {
    samples[i] = static_cast<std::int16_t>(std::clamp(x[i] * 32767, -32768.0, 32767.0));
  }
  return samples;
}

class AdaptTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::system("command -v sox >/dev/null") != 0) GTEST_SKIP() << "sox is not installed";
  }
  TempDir dir;
};

TEST_F(AdaptTest, OtherFilesMatchSoxThenTheStrictPath) {
  // Band-limited material: on full-band noise sox's own HQ and VHQ differ by up to three steps.
  const struct {
    const char* name;
    const char* format;
    const char* sound;
  } cases[] = {
      {"hi.wav", "-r 48000 -b 24 -c 2", "synth 3 pinknoise vol 0.5 sinc -18k"},
      {"float.wav", "-r 96000 -e floating-point -b 32 -c 2", "synth 3 pluck C3 pluck E3"},
      {"mono.flac", "-r 22050 -b 16 -c 1", "synth 3 sine 300 vol 0.5"},
      {"a.aiff", "-r 44100 -b 24 -c 2", "synth 3 sine 500 vol 0.5"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(Sox(std::string("-n ") + c.format + " '" + dir.Path(c.name) + "' " + c.sound));
    ASSERT_TRUE(
        Sox("-D '" + dir.Path(c.name) + "' -r 44100 -b 16 '" + dir.Path("oracle.wav") + "'"));
    ASSERT_EQ(Cli({"--number", "2", dir.Path("oracle.wav")}).status, 0);
    const CliRun ours = Cli({"--adapt", dir.Path(c.name)});
    ASSERT_EQ(ours.status, 0) << ours.err;
    const auto mine = ReadBytes(dir.Path("L01.T58"));
    const auto theirs = ReadBytes(dir.Path("L02.T58"));
    ASSERT_EQ(mine.size(), theirs.size());
    EXPECT_TRUE(std::equal(mine.begin(), mine.begin() + 56, theirs.begin()));
    std::size_t off = 0;
    for (std::size_t i = 0; i < (mine.size() - 56) / 2; ++i) {
      off += std::abs(Word(mine, i) - Word(theirs, i)) > 1 ? 1u : 0u;
    }
    EXPECT_LE(off * 1000, (mine.size() - 56) / 2) << off << " words more than one step apart";
  }
}

TEST_F(AdaptTest, AWavFileTheStrictPathTakesIsUntouchedAndDitherIsOptIn) {
  WriteBytes(dir.Path("take.wav"), testing::SimpleWave(2, ClickLoop(120, 1)));
  ASSERT_EQ(Cli({dir.Path("take.wav")}).status, 0);
  ASSERT_EQ(Cli({"--adapt", "--number", "2", dir.Path("take.wav")}).status, 0);
  ASSERT_EQ(Cli({"--dither", "--number", "3", dir.Path("take.wav")}).status, 0);
  ASSERT_EQ(Cli({"--dither", "--number", "4", dir.Path("take.wav")}).status, 0);
  const auto plain = ReadBytes(dir.Path("L01.T58"));
  const auto dithered = ReadBytes(dir.Path("L03.T58"));
  EXPECT_EQ(ReadBytes(dir.Path("L02.T58")), plain);
  EXPECT_EQ(ReadBytes(dir.Path("L04.T58")), dithered) << "the same bytes every time";
  ASSERT_EQ(dithered.size(), plain.size());
  EXPECT_NE(dithered, plain);
  for (std::size_t i = 0; i < (plain.size() - 56) / 2; ++i) {
    ASSERT_LE(std::abs(Word(dithered, i) - Word(plain, i)), 2) << i;
  }
}

TEST_F(AdaptTest, BpmAutoFindsTheTempo) {
  std::vector<std::uint8_t> acid;
  for (std::uint32_t v : {0u, 0x8000003Cu, 0u, 4u, 0x00040004u}) testing::PutLE32(acid, v);
  const float tempo = 97.5f;
  std::uint32_t bits = 0;
  std::memcpy(&bits, &tempo, 4);
  testing::PutLE32(acid, bits);
  WriteBytes(dir.Path("tagged.wav"), testing::Riff({{"fmt ", testing::FormatBody(1, 44100, 16)},
                                                    {"acid", acid},
                                                    {"data", testing::Pcm16(ClickLoop(97.5, 1))}}));
  WriteBytes(dir.Path("Drums_128bpm.wav"), testing::SimpleWave(1, ClickLoop(120, 1)));
  WriteBytes(dir.Path("loop 92 BPM.wav"), testing::SimpleWave(1, ClickLoop(120, 1)));
  WriteBytes(dir.Path("fast_250bpm.wav"), testing::SimpleWave(1, ClickLoop(120, 1)));
  // The loop chunk and the name win over the length, exactly; 250 is halved into range.
  std::vector<std::pair<std::string, double>> cases = {{"tagged.wav", 97.5},
                                                       {"Drums_128bpm.wav", 128},
                                                       {"loop 92 BPM.wav", 92},
                                                       {"fast_250bpm.wav", 125}};
  for (const double bpm : {60.0, 90.5, 128.0, 174.0}) {
    for (const int measures : {1, 2}) {
      const std::string name =
          "click " + std::to_string(measures) + " " + std::to_string(bpm) + ".wav";
      WriteBytes(dir.Path(name), testing::SimpleWave(1, ClickLoop(bpm, measures)));
      cases.emplace_back(name, bpm);
    }
  }
  for (const auto& [name, bpm] : cases) {
    SCOPED_TRACE(name);
    const CliRun run = Cli({"--bpm", "auto", dir.Path(name)});
    ASSERT_EQ(run.status, 0) << run.err;
    const auto loop = ReadBytes(dir.Path("L01.T58"));
    const int tenths = loop[19] << 8 | loop[20];
    EXPECT_NEAR(tenths / 10.0, bpm, 0.1);
  }
  WriteBytes(dir.Path("short.wav"), testing::SimpleWave(1, std::vector<std::int16_t>(20'000)));
  const CliRun none = Cli({"--bpm", "auto", dir.Path("short.wav")});
  EXPECT_EQ(none.status, 1);
  EXPECT_NE(none.err.find("--bpm auto found no tempo: no loop chunk, no tempo in the file name"),
            std::string::npos)
      << none.err;
}

TEST_F(AdaptTest, AFileLibsndfileCannotReadIsOneLine) {
  WriteBytes(dir.Path("broken.flac"), {'f', 'L', 'a', 'C', 0, 0, 0, 34, 1, 2});
  const CliRun run = Cli({"--adapt", dir.Path("broken.flac")});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
  EXPECT_EQ(dir.Entries(), std::vector<std::string>{"broken.flac"});
}

}  // namespace
}  // namespace loopsmith
