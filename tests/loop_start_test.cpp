// A loop taken from later in a file: sox cuts the file there as the oracle;
// the first hit on made-up takes; the tempo of a take longer than any loop.

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>

#include "adapt/first_hit.h"
#include "cli_run.h"
#include "temp_dir.h"
#include "wav_builder.h"

namespace loopsmith {
namespace {

using testing::Cli;
using testing::CliRun;
using testing::ReadBytes;
using testing::Sox;
using testing::TempDir;
using testing::WriteBytes;

constexpr int kRate = 44100;

// A drum-like hit from `at` on: a falling tone (a kick's at 60 Hz, a snare's
// at 200) and a burst of noise (all a hi-hat has), both decaying.
void AddHit(std::vector<float>& x, std::size_t at, double level, std::mt19937& random,
            double hz = 60, double noisy = 0.5) {
  std::normal_distribution<double> noise(0, 1);
  for (std::size_t k = 0; k < 8000 && at + k < x.size(); ++k) {
    const double t = static_cast<double>(k) / kRate;
    const double tone =
        hz > 0 ? std::sin(2 * std::numbers::pi * hz * t * (1 + 2 * std::exp(-t / 0.01))) *
                     std::exp(-t / 0.08)
               : 0;
    x[at + k] += static_cast<float>(level * (tone + noisy * noise(random) * std::exp(-t / 0.01)));
  }
}

std::vector<float> Noise(double seconds, double level, std::mt19937& random) {
  std::normal_distribution<double> noise(0, level);
  std::vector<float> x(static_cast<std::size_t>(seconds * kRate));
  for (float& v : x) v = static_cast<float>(noise(random));
  return x;
}

// Hits every `beat` seconds from `first`, the first of each four louder;
// with `groove`, a rock beat: kick on 1 and 3, snare on 2 and 4, hats between.
std::vector<float> Take(double seconds, double first, double beat, double noise,
                        bool groove = false) {
  std::mt19937 random(7);
  std::vector<float> x = Noise(seconds, noise, random);
  const auto at = [&](double time) { return static_cast<std::size_t>(std::lround(time * kRate)); };
  for (int k = 0; first + k * beat < seconds - 0.2; ++k) {
    const double time = first + k * beat;
    if (!groove) {
      AddHit(x, at(time), k % 4 == 0 ? 0.8 : 0.5, random);
      continue;
    }
    AddHit(x, at(time), k % 2 == 0 ? 0.7 : 0.6, random, k % 2 == 0 ? 60 : 200, 0.6);
    AddHit(x, at(time + beat / 2), 0.15, random, 0, 1);
  }
  return x;
}

std::vector<std::int16_t> Pcm(const std::vector<float>& x) {
  return testing::Pcm16Of(std::vector<double>(x.begin(), x.end()));
}

class LoopStartTest : public testing::SoxTest {};

TEST_F(LoopStartTest, TheLoopFromAStartIsTheFileCutThereBySox) {
  // A sweep: a loop taken a sample off would differ.
  const struct {
    const char* name;
    const char* format;
    const char* start;
    std::vector<std::string> options;
  } cases[] = {
      {"mono.wav", "-b 16 -c 1", "1.5", {}},
      {"stereo.wav", "-b 16 -c 2", "0.25", {"--measure", "2"}},
      {"off.wav", "-b 16 -c 2", "2.00001", {"--measure", "off", "--bpm", "97.5"}},
      {"deep.wav", "-b 24 -c 2", "1.5", {"--adapt"}},
      {"mono.flac", "-b 16 -c 1", ".75", {"--adapt", "--dither"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string take = dir.Path(c.name);
    const std::string cut = dir.Path(std::string("cut-") + c.name);
    ASSERT_TRUE(Sox(std::string("-n -r 44100 ") + c.format + " '" + take +
                    "' synth 8 sine 200-2000 sine 300-900 vol 0.7"));
    const auto frame = std::llround(std::strtod(c.start, nullptr) * kRate);
    ASSERT_TRUE(Sox("'" + take + "' '" + cut + "' trim " + std::to_string(frame) + "s"));
    std::vector<std::string> args = c.options;
    args.insert(args.end(), {"--number", "2", cut});
    ASSERT_EQ(Cli(args).status, 0);
    args = c.options;
    args.insert(args.end(), {"--start", c.start, take});
    const CliRun run = Cli(args);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(ReadBytes(dir.Path("L01.T58")), ReadBytes(dir.Path("L02.T58")));
  }
}

TEST_F(LoopStartTest, AStartThatLeavesNoLoopIsRefused) {
  WriteBytes(dir.Path("take.wav"), testing::SimpleWave(2, Pcm(Take(3, 0.1, 0.5, 0.001))));
  WriteBytes(dir.Path("L09.T58"), {});
  ASSERT_EQ(Cli({"--number", "2", dir.Path("take.wav")}).status, 0);
  ASSERT_EQ(Cli({"--start", "0", dir.Path("take.wav")}).status, 0);
  EXPECT_EQ(ReadBytes(dir.Path("L01.T58")), ReadBytes(dir.Path("L02.T58"))) << "0 is no start";
  const struct {
    std::vector<std::string> args;
    int status;
    const char* says;
  } rows[] = {
      // A stereo file of 3 s holds 66,150 frames: 1.5 s is its end.
      {{"--start", "1.5"}, 1, "take.wav: the start, 1.500 s, is at or past its end, 1.500 s\n"},
      {{"--start", "4", "--adapt"}, 1, "the start, 4.000 s, is at or past its end, 1.500 s\n"},
      {{"--start", "-1"}, 2, "--start takes seconds from 0"},
      {{"--start", "1e3"}, 2, "--start takes seconds from 0"},
      {{"--start", "."}, 2, "--start takes seconds from 0"},
      {{"--start", "0.5", dir.Path("L09.T58")}, 2, "is a loop file"},
  };
  for (const auto& row : rows) {
    std::vector<std::string> args = row.args;
    args.insert(args.end(), {"--number", "3", dir.Path("take.wav")});
    const CliRun run = Cli(args);
    EXPECT_EQ(run.status, row.status) << row.args[1];
    EXPECT_NE(run.err.find(row.says), std::string::npos) << run.err;
    EXPECT_FALSE(std::filesystem::exists(dir.Path("L03.T58")));
  }
}

TEST(FirstHitTest, TheLoopStartsAtTheFirstHitsAttack) {
  std::mt19937 random(3);
  const auto late = Take(3, 0.15, 0.5, 0.002);  // room noise before the first hit
  auto pickup = Take(3, 0.6, 0.5, 0.002);
  AddHit(pickup, static_cast<std::size_t>(0.35 * kRate), 0.08, random);  // a soft pickup
  auto pad = Noise(3, 0.001, random);
  for (std::size_t i = 0; i < pad.size(); ++i) {
    const double t = static_cast<double>(i) / kRate;
    pad[i] +=
        static_cast<float>(0.3 * std::min(1.0, t / 0.8) * std::sin(2 * std::numbers::pi * 220 * t));
  }
  const struct {
    const char* name;
    std::vector<float> take;
    std::optional<double> hit;  // seconds; none: no clear hit
  } cases[] = {
      {"late", late, 0.15},
      {"a soft pickup is passed over", pickup, 0.6},
      {"on the first sample", Take(3, 0, 0.5, 0), 0},
      {"a pad fading in", pad, std::nullopt},
      {"silence", std::vector<float>(kRate), std::nullopt},
  };
  for (const auto& c : cases) {
    const adapt::FirstHit found = adapt::FindFirstHit(c.take, kRate);
    ASSERT_EQ(found.frame.has_value(), c.hit.has_value()) << c.name << ": " << found.why;
    if (!c.hit) continue;
    // From 3 ms before the attack up to it, never after.
    const auto attack = std::lround(*c.hit * kRate);
    EXPECT_LE(*found.frame, attack) << c.name;
    EXPECT_GE(*found.frame, std::max(0L, attack - 3 * kRate / 1000)) << c.name;
  }
}

TEST_F(LoopStartTest, StartAutoAndTheTempoOfALateLoopAndALongTake) {
  // Two measures at 120 after 150 ms of room noise: from its first hit on, its length tells.
  WriteBytes(dir.Path("late.wav"), testing::SimpleWave(1, Pcm(Take(4.15, 0.15, 0.5, 0.002, true))));
  const CliRun late =
      Cli({"--bpm", "auto", "--measure", "2", "--start", "auto", dir.Path("late.wav")});
  ASSERT_EQ(late.status, 0) << late.err;
  const auto lateLoop = ReadBytes(dir.Path("L01.T58"));
  EXPECT_EQ(lateLoop[19] << 8 | lateLoop[20], 1200) << late.err;

  // A minute at 100 BPM, its first hit after room noise: no length to go by.
  WriteBytes(dir.Path("jam.wav"), testing::SimpleWave(1, Pcm(Take(60, 0.2, 0.6, 0.002, true))));
  for (const char* start : {"auto", "10"}) {
    const CliRun run = Cli({"--info", "--bpm", "auto", "--start", start, dir.Path("jam.wav")});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("--bpm auto:    100.0 BPM from the take's beats"), std::string::npos)
        << run.out;
    if (std::string(start) == "auto") {
      EXPECT_NE(run.out.find("  loop:          0.199 s to 2.599 s"), std::string::npos) << run.out;
    }
  }
  const CliRun run = Cli({"--bpm", "auto", "--start", "auto", dir.Path("jam.wav")});
  ASSERT_EQ(run.status, 0) << run.err;
  const auto loop = ReadBytes(dir.Path("L01.T58"));
  EXPECT_EQ(loop[19] << 8 | loop[20], 1000);
}

}  // namespace
}  // namespace loopsmith
