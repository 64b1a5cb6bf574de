// Any sound file in, on the command line: sox is the oracle for decoding and
// resampling, synthetic click loops and tagged files for --bpm auto.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <numbers>
#include <random>
#include <sstream>
#include <vector>

#include "adapt/band_onsets.h"
#include "adapt/beat_grid.h"
#include "adapt/beat_level.h"
#include "adapt/pcm_file.h"
#include "base/memory_file_system.h"
#include "cli_run.h"
#include "faulty_file_system.h"
#include "temp_dir.h"
#include "wav_builder.h"

namespace loopsmith {
namespace {

using testing::Cli;
using testing::CliRun;
using testing::ReadBytes;
using testing::Sox;
using testing::Word;
using testing::WriteBytes;

// Clicks on every beat of a loop of whole measures, over a little noise.
// Clicks on every beat over a noise floor (none: digital silence between them).
std::vector<std::int16_t> ClickLoop(double bpm, int measures, double floor = 0.02) {
  const auto frames = static_cast<std::size_t>(std::lround(measures * 240.0 / bpm * 44100));
  std::mt19937 random(1);
  std::normal_distribution<double> noise(0, floor);
  std::vector<double> x(frames);
  for (double& v : x) v = noise(random);
  for (int beat = 0; beat < measures * 4; ++beat) {
    const auto at = static_cast<std::size_t>(std::lround(beat * 60.0 / bpm * 44100));
    for (std::size_t k = 0; k < 400 && at + k < frames; ++k) {
      x[at + k] +=
          0.8 * std::exp(-static_cast<double>(k) / 60) * std::sin(static_cast<double>(k) * 0.5);
    }
  }
  return testing::Pcm16Of(x);
}

class AdaptTest : public testing::SoxTest {};

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

// An "acid" chunk of `size` bytes whose tempo field (if it fits) holds `bits`.
std::vector<std::uint8_t> Acid(std::uint32_t bits, std::size_t size = 24) {
  std::vector<std::uint8_t> acid;
  for (std::uint32_t v : {0u, 0x8000003Cu, 0u, 4u, 0x00040004u, bits}) testing::PutLE32(acid, v);
  acid.resize(size);
  return acid;
}

std::uint32_t FloatBits(float value) {
  std::uint32_t bits = 0;
  std::memcpy(&bits, &value, 4);
  return bits;
}

// The beat level, on onset curves drawn from drum patterns as the three bands
// hear them: which of the tempi a length allows is the beat, from the
// tracker's estimate (or none) and the hits. Each pattern is one a tracker
// takes an octave off, or one whose sixteenths once doubled a right tempo.
TEST(BeatLevelTest, TheBackbeatAndTheHitsBetweenTheBeatsDecideTheOctave) {
  enum Drum { kKick, kSnare, kHat };
  struct Hit {
    int step;  // of a measure's sixteen
    Drum drum;
    double strength;
  };
  using Hits = std::vector<Hit>;
  const auto every = [](int from, int by, double strength) {
    Hits hats;
    for (int step = from; step < 16; step += by) hats.push_back({step, kHat, strength});
    return hats;
  };
  const auto with = [](Hits hits, const Hits& more) {
    hits.insert(hits.end(), more.begin(), more.end());
    return hits;
  };
  const Hits backbeat = {{0, kKick, 1}, {8, kKick, 0.9}, {4, kSnare, 1}, {12, kSnare, 1}};
  const Hits jungle = {{0, kKick, 1},    {10, kKick, 1},  {4, kSnare, 1},
                       {7, kSnare, 0.6}, {12, kSnare, 1}, {15, kSnare, 0.6}};
  const double none = std::nan("");
  const struct {
    const char* name;
    double bpm;
    int measures;
    Hits hits;
    double estimate;
    double lateBeats;  // the loop starts this much before its first beat (after it, below 0)
    double want;
  } cases[] = {
      {"funk with every sixteenth, heard right", 92, 1, with(backbeat, every(0, 1, 0.5)), 92, 0,
       92},
      {"lo-fi with every sixteenth, heard right", 84, 2, with(backbeat, every(0, 1, 0.4)), 84, 0,
       84},
      // At half, its sixteenths would be thirty-seconds.
      {"trap with every sixteenth, nothing heard", 140, 2,
       with({{0, kKick, 1}, {7, kKick, 0.8}, {11, kKick, 0.7}, {8, kSnare, 1}}, every(0, 1, 0.45)),
       none, 0, 140},
      {"a ballad with eighth hats, heard double", 66, 1, with(backbeat, every(0, 2, 0.6)), 132, 0,
       66},
      {"jungle heard at half", 172, 2, with(jungle, every(0, 2, 0.5)), 86, 0, 172},
      {"hip-hop starting 76 ms late, heard double", 88, 1, with(backbeat, every(0, 2, 0.6)), 176,
       0.076 * 88 / 60, 88},
      {"punk with a half-beat pickup, heard at half", 180, 2, with(backbeat, every(0, 2, 0.7)), 90,
       0.5, 180},
      {"house, nothing heard by the tracker", 124, 2, with(backbeat, every(2, 4, 0.6)), none, 0,
       124},
      // Its first beat lies before the loop's start: found only by looking back.
      {"punk cut a quarter beat late, heard at half", 180, 2, with(backbeat, every(0, 2, 0.7)), 90,
       -0.25, 180},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    constexpr double kHop = 0.005;
    const double seconds = 240.0 * c.measures / c.bpm;
    const auto hops = static_cast<std::size_t>(seconds / kHop);
    adapt::BandOnsets onsets{std::vector<double>(hops), std::vector<double>(hops),
                             std::vector<double>(hops), std::vector<double>(hops), kHop};
    for (int measure = 0; measure < c.measures; ++measure) {
      for (const Hit& hit : c.hits) {
        const double at = (measure + hit.step / 16.0 + c.lateBeats / 4) * 240 / c.bpm;
        // Round the loop: a hit before its start is heard at its end.
        const auto count = static_cast<long>(hops);
        const auto hop = static_cast<std::size_t>((std::lround(at / kHop) % count + count) % count);
        if (hit.drum != kHat) {
          auto& band = hit.drum == kKick ? onsets.low : onsets.mid;
          band[hop] = std::max(band[hop], hit.strength);
        }
        onsets.all[hop] += hit.strength;
        onsets.octaves[hop] += hit.strength;
      }
    }
    const auto estimate = std::isnan(c.estimate) ? std::nullopt : std::optional(c.estimate);
    const auto weighed = adapt::WeighTempi(adapt::TempiOfLength(seconds, 1), estimate, onsets);
    ASSERT_FALSE(weighed.empty());
    EXPECT_NEAR(weighed.front().tempo.bpm, c.want, 0.01) << adapt::WeighedText(weighed);
  }
}

// A band's loop: a pad held under a kick on every beat and a snare on 2 and
// 4, and a quiet tom on every "and". In the broad band it shares with the
// pad and the snare it hardly rises; in its own octave it does.
TEST(BeatLevelTest, AQuietHitUnderAPadIsHeardInItsOwnOctave) {
  constexpr double kRate = 44100;
  constexpr double kBpm = 100;
  constexpr double kTwoPi = 2 * std::numbers::pi;
  const double beat = 60 / kBpm;
  std::vector<double> x(static_cast<std::size_t>(8 * beat * kRate));
  for (std::size_t i = 0; i < x.size(); ++i)
    x[i] = 0.2 * std::sin(kTwoPi * 1500 * static_cast<double>(i) / kRate);
  std::mt19937 random(2);
  std::normal_distribution<double> noise(0, 1);
  const auto add = [&](double at, double seconds, const auto& sound) {
    const auto first = static_cast<std::size_t>(at * kRate);
    for (std::size_t i = 0; i < static_cast<std::size_t>(seconds * kRate); ++i) {
      x[(first + i) % x.size()] += sound(static_cast<double>(i) / kRate);
    }
  };
  for (int b = 0; b < 8; ++b) {
    add(b * beat, 0.2,
        [&](double t) { return 0.6 * std::exp(-t / 0.05) * std::sin(kTwoPi * 55 * t); });
    if (b % 2 == 1)
      add(b * beat, 0.2, [&](double t) { return 0.5 * std::exp(-t / 0.08) * noise(random); });
    add((b + 0.5) * beat, 0.1,
        [&](double t) { return 0.1 * std::exp(-t / 0.03) * std::sin(kTwoPi * 300 * t); });
  }
  std::vector<float> mono(x.size());
  std::transform(x.begin(), x.end(), mono.begin(), [](double v) { return static_cast<float>(v); });
  const adapt::BandOnsets onsets = adapt::OnsetsOf(mono, static_cast<int>(kRate));
  EXPECT_EQ(adapt::BeatGrid(onsets, kBpm, 8 * beat).Eighths(), 1);
}

// Which other reading the unsure line names, on evidence set by hand.
TEST(BeatLevelTest, TheUnsureLineNamesTheSameHitsCountedTheOtherWay) {
  struct Reading {
    double bpm, score, backbeat, eighths;
  };
  const struct {
    const char* name;
    Reading best, other;
    double named;  // 0: none
  } cases[] = {
      {"half-time counted fast, a backbeat at half", {140, 2.5, 0.1, 1}, {70, 1.5, 1, 1}, 70},
      {"the same, its score far behind", {140, 2.5, 0.1, 1}, {70, 1.2, 1, 1}, 0},
      {"a backbeat only a little stronger at half", {140, 2.5, 0.4, 1}, {70, 1.5, 1, 1}, 0},
      {"a far stronger backbeat anywhere", {140, 3.5, 0.1, 1}, {70, 0.5, 1.3, 1}, 70},
      {"half-time counted slow, twice near", {80, 2.5, 1.3, 1}, {160, 1.5, 0, 1}, 160},
      {"bare clicks, beats alone at twice", {87, 2.5, 0, 1}, {174, 1, 0, 0}, 174},
      {"a ballad with eighth hats, its backbeat on 2 and 4", {62, 2.5, 0.8, 1}, {124, 1, 0, 0}, 0},
      {"punk heard at half: no backbeat, a little at twice",
       {87, 2.5, 0.02, 1},
       {174, 1.7, 0.15, 1},
       174},
      {"the same with a backbeat where it was heard", {87, 2.5, 0.1, 1}, {174, 1.7, 0.25, 1}, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<adapt::WeighedTempo> weighed;
    for (const Reading& r : {c.best, c.other}) {
      adapt::WeighedTempo w{{r.bpm, 1}, r.score, std::vector<double>(adapt::kEvidenceCount)};
      w.evidence[adapt::kBackbeat] = r.backbeat;
      w.evidence[adapt::kBeats] = 1;
      w.evidence[adapt::kEighths] = r.eighths;
      weighed.push_back(w);
    }
    const adapt::LengthTempo* named = adapt::CloseSecond(weighed);
    EXPECT_EQ(named ? named->bpm : 0, c.named);
  }
}

TEST_F(AdaptTest, BpmAutoFindsTheTempo) {
  const auto click = [](double bpm, int measures, const std::vector<std::uint8_t>& acid = {},
                        double floor = 0.02) {
    std::vector<testing::Chunk> chunks = {{"fmt ", testing::FormatBody(1, 44100, 16)}};
    if (!acid.empty()) chunks.push_back({"acid", acid});
    chunks.push_back({"data", testing::Pcm16(ClickLoop(bpm, measures, floor))});
    return testing::Riff(chunks);
  };
  struct Case {
    std::string name;
    std::vector<std::uint8_t> file;
    std::vector<std::string> options;
    double bpm;
  };
  // Tags win over the length, exactly; 250 is halved into range; a chunk tempo
  // that is no number or no tempo, and one cut short, are passed over for the length.
  std::vector<Case> cases = {
      {"tagged.wav", click(97.5, 1, Acid(FloatBits(97.5f))), {}, 97.5},
      {"Drums_128BPM.wav", click(120, 1), {}, 128},
      {"loop 92 BPM.wav", click(120, 1), {}, 92},
      {"loop-120-bpm.wav", click(60, 1), {}, 120},
      {"take_120,5bpm.wav", click(120, 1), {}, 120.5},
      {"fast_250bpm.wav", click(120, 1), {}, 125},
      {"0.0001bpm.wav", click(120, 1), {}, 120},
      {"inf.wav", click(120, 1, Acid(0x7F800000u)), {}, 120},
      {"nan.wav", click(120, 1, Acid(0x7FC00000u)), {}, 120},
      {"signalling nan.wav", click(120, 1, Acid(0x7F800001u)), {}, 120},
      {"huge.wav", click(120, 1, Acid(FloatBits(1e30f))), {}, 120},
      {"denormal.wav", click(120, 1, Acid(1u)), {}, 120},
      {"cut acid.wav", click(120, 1, Acid(FloatBits(97.5f), 20)), {}, 120},
      // Two measures at 126 are one at 63: --measure says which.
      {"two at 126, --measure 2.wav", click(126, 2), {"--measure", "2"}, 126},
      {"one at 63, --measure 1.wav", click(126, 2), {"--measure", "1"}, 63},
      // Four bare clicks, one a second: at 120 every other beat would be silent.
      {"four clicks at 60.wav", click(60, 1, {}, 0), {}, 60},
      {"four clicks at 60 over hiss.wav", click(60, 1, {}, 0.005), {}, 60},
  };
  // Clicks on every beat, clean and over hiss 46 dB down. Bare clicks have
  // no backbeat and nothing between them to tell their octave by: the other
  // octave may be taken, but then never silently. Two measures at 174 are
  // also one of eighth notes at 87.
  const std::size_t clicksFrom = cases.size();
  for (const double bpm : {75.0, 90.5, 128.0, 174.0}) {
    for (const int measures : {1, 2}) {
      for (const double hiss : {0.0, 0.005}) {
        cases.push_back({"click " + std::to_string(measures) + " " + std::to_string(bpm) + " " +
                             std::to_string(hiss) + ".wav",
                         click(bpm, measures, {}, hiss),
                         {},
                         bpm == 174 && measures == 2 ? 87 : bpm});
      }
    }
  }
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    WriteBytes(dir.Path(c.name), c.file);
    std::vector<std::string> args = {"--bpm", "Auto"};
    args.insert(args.end(), c.options.begin(), c.options.end());
    args.push_back(dir.Path(c.name));
    const CliRun run = Cli(args);
    ASSERT_EQ(run.status, 0) << run.err;
    const auto loop = ReadBytes(dir.Path("L01.T58"));
    const int tenths = loop[19] << 8 | loop[20];
    const bool bareClicks = static_cast<std::size_t>(&c - cases.data()) >= clicksFrom;
    if (bareClicks && std::abs(tenths / 10.0 - c.bpm) > 0.05) {
      EXPECT_NE(run.err.find(", or " + adapt::BpmText(c.bpm) + " (give "), std::string::npos)
          << run.err;
    } else {
      EXPECT_NEAR(tenths / 10.0, c.bpm, 0.05) << run.err;
    }
  }
  // What is said on the way: the part taken, a tag the length doubts, no tempo,
  // and in --info an octave moved from what the tracker heard, and a guess.
  WriteBytes(dir.Path("short.wav"), testing::SimpleWave(1, std::vector<std::int16_t>(20'000)));
  WriteBytes(dir.Path("two.wav"), click(126, 2));
  WriteBytes(dir.Path("odd 100bpm.wav"), click(120, 1));
  WriteBytes(dir.Path("clicks.wav"), click(174, 2));
  WriteBytes(dir.Path("bare.wav"), click(140, 2, {}, 0));
  const struct {
    const char* name;
    bool info;
    int status;
    const char* says;
  } lines[] = {
      {"short.wav", false, 1,
       "--bpm auto found no tempo: no loop chunk, no tempo in the file name"},
      {"two.wav", false, 0,
       "holds 2 measures at 126.0 BPM; one measure is taken, use --measure 2 for both"},
      // --info says what the conversion takes, in its words.
      {"two.wav", true, 0,
       "  measures:      2 in the file; one measure is taken, use --measure 2 for both\n"},
      {"odd 100bpm.wav", false, 0, "the file name says 100.0 BPM, but 2.000 s is no whole number"},
      {"bare.wav", true, 0, " BPM (its hits say 70.0 BPM)\n"},
      {"clicks.wav", true, 0,
       "\n  unsure:        174.0 BPM, or 87.0 BPM (give --measure 1 for that)\n"},
      {"clicks.wav", false, 0, "clicks.wav: 174.0 BPM, or 87.0 BPM (give --measure 1 for that)\n"},
  };
  for (const auto& line : lines) {
    const CliRun run = line.info ? Cli({"--info", "--bpm", "auto", dir.Path(line.name)})
                                 : Cli({"--bpm", "auto", dir.Path(line.name)});
    EXPECT_EQ(run.status, line.status) << line.name;
    EXPECT_NE((run.err + run.out).find(line.says), std::string::npos) << run.err << run.out;
  }
}

TEST_F(AdaptTest, StrangeFilesAreRefusedInOneLineOfOurOwn) {
  Sox("-n -r 48000 -b 24 -c 2 " + dir.Path("hi.wav") + " synth 1 sine 220");
  Sox("-n -r 48000 -b 16 -c 1 " + dir.Path("full.flac") + " synth 1 sine 220");
  auto hi = ReadBytes(dir.Path("hi.wav"));
  auto flac = ReadBytes(dir.Path("full.flac"));
  ASSERT_GT(hi.size(), 1000u);
  ASSERT_GT(flac.size(), 1000u);
  WriteBytes(dir.Path("cut.wav"), std::vector<std::uint8_t>(hi.begin(), hi.begin() + 1000));
  // A FLAC file cut after its header: no frames at all.
  WriteBytes(dir.Path("header only.flac"),
             std::vector<std::uint8_t>(flac.begin(), flac.begin() + 42));
  // An odd data chunk with no pad byte, then another chunk: read as sox reads it.
  std::vector<std::uint8_t> odd = {1, 2, 3, 4, 5, 6, 7};
  auto unpadded = testing::Riff({{"fmt ", testing::FormatBody(1, 48000, 8)},
                                 {"data", odd, std::nullopt, false},
                                 {"LIST", std::vector<std::uint8_t>(100, 'x')}});
  WriteBytes(dir.Path("unpadded.wav"), unpadded);
  WriteBytes(dir.Path("ogg in a wav.wav"),
             testing::Riff({{"fmt ", testing::FormatBody(1, 44100, 16, 16, 0x674F)},
                            {"data", std::vector<std::uint8_t>(100, 0x4F)}}));
  const struct {
    const char* name;
    bool converts;
    const char* says;
  } cases[] = {
      {"cut.wav", false, "it ends before its header says"},
      {"header only.flac", false, "it ends before its header says: 0 of 48,000 frames"},
      {"unpadded.wav", true, ""},
      {"ogg in a wav.wav", false, "its samples are neither PCM nor float"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const CliRun run = Cli({"--adapt", dir.Path(c.name)});
    EXPECT_EQ(run.status, c.converts ? 0 : 1) << run.err;
    if (c.converts) continue;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    EXPECT_NE(run.err.find(c.says), std::string::npos) << run.err;
    for (const char* theirs : {"SF_INFO", "possibly a pipe", "internal error"}) {
      EXPECT_EQ(run.err.find(theirs), std::string::npos) << run.err;
    }
  }
  // A file another program changes while it is decoded.
  testing::FaultyFileSystem changing;
  changing.FailOn(testing::FaultyFileSystem::kCheckUnchanged, 1, kErrorChanged);
  std::ostringstream out;
  std::ostringstream err;
  EXPECT_EQ(cli::RunCli({"--adapt", dir.Path("hi.wav")}, changing, out, err), 1);
  EXPECT_NE(err.str().find("changed by another program"), std::string::npos) << err.str();
  // Without --adapt the Ogg stream is no PCM: the format message, no loop of noise.
  const CliRun strict = Cli({dir.Path("ogg in a wav.wav")});
  EXPECT_EQ(strict.err,
            "loopsmith-cli: " + dir.Path("ogg in a wav.wav") + ": Wave file format error\n");
}

TEST_F(AdaptTest, AMalformedFileIsRefusedInThePagesWords) {
  Sox("-n -r 44100 -b 16 -c 2 " + dir.Path("plain.wav") + " synth 1 sine 220");
  Sox("-n -r 48000 -b 24 -c 2 " + dir.Path("hi.aiff") + " synth 1 sine 220");
  const auto plain = ReadBytes(dir.Path("plain.wav"));
  const auto aiff = ReadBytes(dir.Path("hi.aiff"));
  const std::vector<std::uint8_t> some(100, 1);
  auto noSound = aiff;  // its SSND chunk renamed
  const auto ssnd =
      std::search(noSound.begin(), noSound.end(), std::begin("SSND"), std::end("SSND") - 1);
  ASSERT_NE(ssnd, noSound.end());
  std::copy_n("XXXX", 4, ssnd);
  const struct {
    const char* name;
    std::vector<std::uint8_t> bytes;
  } files[] = {
      {"cut short.wav", {plain.begin(), plain.begin() + 3000}},
      {"no data.wav", testing::Riff({{"fmt ", testing::FormatBody(2, 48000, 24)}})},
      {"short format.wav",
       testing::Riff({{"fmt ", std::vector<std::uint8_t>(12, 1)}, {"data", some}})},
      {"list past the end.wav",
       [&] {
         auto bytes = testing::Riff(
             {{"fmt ", testing::FormatBody(2, 48000, 24)}, {"LIST", some}, {"data", some}});
         const auto list =
             std::search(bytes.begin(), bytes.end(), std::begin("LIST"), std::end("LIST") - 1);
         list[7] = 0x7F;  // its size, past the end
         return bytes;
       }()},
      {"no sound.aiff", noSound},
  };
  for (const auto& f : files) {
    SCOPED_TRACE(f.name);
    WriteBytes(dir.Path(f.name), f.bytes);
    // The page's reader, as the page runs it on the dropped bytes.
    MemoryFileSystem page;
    std::string inPage = "/";
    inPage += f.name;
    page.files[inPage] = f.bytes;
    Failure pageSays = PlainFailure({});
    ASSERT_FALSE(adapt::DecodePcmFile(
        page, inPage, [](int) { return std::int64_t{1000}; }, pageSays));
    EXPECT_EQ(Cli({"--adapt", dir.Path(f.name)}).err,
              "loopsmith-cli: " + dir.Path(f.name) + ": " + DetailOf(pageSays) + "\n");
  }
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
