// sox and libsndfile are independent readers and writers of WAV files: what
// they write must load with the samples they read back, and what we write must
// read back in them with our samples.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "base/posix_file_system.h"
#include "base/work_buffers.h"
#include "core/convert_job.h"
#include "core/loop_format.h"
#include "core/loop_length.h"
#include "recording_reporter.h"
#include "temp_dir.h"
#include "wave/wave_io.h"

namespace loopsmith {
namespace {

using testing::ReadBytes;
using testing::RecordingReporter;
using testing::TempDir;
using testing::WriteBytes;

bool Shell(const std::string& command) {
  return std::system((command + " 2>/dev/null").c_str()) == 0;
}

bool HavePeers() { return Shell("command -v sox && command -v sndfile-convert >/dev/null"); }

std::string Quote(const std::string& path) { return "'" + path + "'"; }

// The samples a peer reads from `wav`, as 16-bit little-endian bytes.
std::vector<std::uint8_t> SoxSamples(const TempDir& dir, const std::string& wav) {
  const std::string raw = dir.Path("sox.raw");
  EXPECT_TRUE(Shell("sox " + Quote(wav) + " -t raw -e signed -b 16 -L " + Quote(raw)));
  return ReadBytes(raw);
}

std::vector<std::uint8_t> SndfileSamples(const TempDir& dir, const std::string& wav) {
  const std::string raw = dir.Path("sndfile.raw");
  EXPECT_TRUE(Shell("sndfile-convert -pcm16 -endian=little " + Quote(wav) + " " + Quote(raw)));
  return ReadBytes(raw);
}

class PeerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!HavePeers()) GTEST_SKIP() << "sox and sndfile-programs are not installed";
  }
  TempDir dir;
  PosixFileSystem fs;
  RecordingReporter reporter;
};

TEST_F(PeerTest, FilesThePeersWriteLoadWithTheirSamples) {
  const std::string mono = dir.Path("mono.wav");
  const std::string stereo = dir.Path("stereo.wav");
  ASSERT_TRUE(
      Shell("sox -n -r 44100 -b 16 -c 1 " + Quote(mono) + " synth 1.3 sine 440 noise vol 0.7"));
  ASSERT_TRUE(Shell("sox -n -r 44100 -b 16 -c 2 " + Quote(stereo) +
                    " synth 0.5 sine 300 sine 500 vol 0.9"));
  const std::vector<std::pair<std::string, std::string>> shapes = {
      {"sox mono", mono},
      {"sox stereo", stereo},
      {"sox wavpcm", "sox " + Quote(stereo) + " -t wavpcm OUT"},
      {"libsndfile plain", "sndfile-convert -pcm16 " + Quote(stereo) + " OUT"},
      {"libsndfile extensible with fact", "sndfile-convert -pcm16 " + Quote(mono) + " OUT.wavex"},
      {"libsndfile LIST and bext",
       "sndfile-metadata-set --str-title Take --str-comment hi "
       "--bext-description desc " +
           Quote(stereo) + " OUT"},
  };
  int index = 0;
  for (const auto& [what, recipe] : shapes) {
    std::string file = recipe;
    if (recipe.find(" OUT") != std::string::npos) {
      file = dir.Path("shape" + std::to_string(index++) + ".wav");
      std::string command = recipe;
      const bool wavex = command.ends_with("OUT.wavex");
      const std::string target = wavex ? file + ".wavex" : file;
      command.replace(command.find("OUT"), wavex ? 9 : 3, Quote(target));
      ASSERT_TRUE(Shell(command)) << what;
      if (wavex) {
        ASSERT_TRUE(Shell("mv " + Quote(target) + " " + Quote(file)));
      }
    }
    std::vector<std::uint8_t> pcm(kStereoLoadCap);
    CWaveFile wave(fs, reporter);
    std::uint32_t loaded = 0;
    ASSERT_TRUE(LoadWave(wave, reporter, file, FixedSpan<kStereoLoadCap>(pcm), loaded))
        << what << ": " << reporter.ids[0];
    auto expected = SoxSamples(dir, file);
    EXPECT_EQ(expected, SndfileSamples(dir, file)) << what;
    if (expected.size() > loaded) {
      expected.resize(loaded);  // the cap
    }
    EXPECT_EQ(loaded, expected.size()) << what;
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), pcm.begin())) << what;
  }
}

TEST_F(PeerTest, WaveFilesWeWriteReadBackIdentically) {
  class Ok final : public LoopParamsSource {
    bool AskLoopParams(LoopParams&) override { return true; }
  } ask;
  PageAllocator heap;
  ConvertJob job(fs, reporter, ask, heap);
  for (const LoopParams params : {LoopParams{1200, 1, 1}, LoopParams{400, 0, 1},
                                  LoopParams{2400, 1, 1}, LoopParams{0, 2, 1}}) {
    std::vector<std::uint8_t> loop(kLargestLoopFile);
    MakeLoopHeader(params, loop.data());
    for (std::size_t i = 56; i < loop.size(); ++i)
      loop[i] = static_cast<std::uint8_t>(i * 131 >> 2);
    WriteBytes(dir.Path("loop.T58"), loop);
    ASSERT_TRUE(job.Run(dir.Path("loop.T58")).Converted());
    const std::string wav = dir.Path("loop.WAV");
    const auto ours = ReadBytes(wav);
    const std::vector<std::uint8_t> samples(ours.begin() + 46, ours.end());
    EXPECT_EQ(samples.size(), 2 * (SampleCount(params.measureMode, params.tempo) + 1u));
    EXPECT_EQ(SoxSamples(dir, wav), samples) << params.tempo;
    EXPECT_EQ(SndfileSamples(dir, wav), samples) << params.tempo;
  }
  EXPECT_TRUE(reporter.ids.empty());
}

}  // namespace
}  // namespace loopsmith
