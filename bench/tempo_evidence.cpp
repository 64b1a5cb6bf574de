// What --bpm auto weighs for each file, one line per tempo the length allows:
// bench/drum_loops.py fit reads it to fit the weights. With --page first, what
// the page's Suggest tempo takes instead, one line per file: its tempo and
// the second reading it offers (0 for none), weighed without the tracker.
#include <cstdio>
#include <cstring>

#include "adapt/beat_level.h"
#include "adapt/mixdown.h"
#include "adapt/sound_file.h"
#include "adapt/tempo.h"
#include "base/platform_file_system.h"

namespace {

void PageLine(loopsmith::FileSystem& fs, const char* path) {
  loopsmith::Failure failure = loopsmith::PlainFailure({});
  const auto sound = loopsmith::adapt::SoundFile::Open(fs, path, failure);
  if (sound == nullptr) return;
  const loopsmith::adapt::SoundInfo& info = sound->info();
  std::optional<loopsmith::Failure> unread;
  const std::vector<float> samples = sound->ReadFrames(info.frames, unread);
  if (unread || info.rate <= 0) return;
  loopsmith::adapt::TempoFinding finding;
  loopsmith::adapt::ChooseByLengthAlone(static_cast<double>(info.frames) / info.rate,
                                        loopsmith::adapt::MixToMono(samples, info.channels),
                                        info.rate, finding);
  const loopsmith::adapt::LengthTempo* second = loopsmith::adapt::CloseSecond(finding.weighed);
  std::printf("%s\t%.4f\t%.4f\n", path, finding.bpm.value_or(0), second ? second->bpm : 0);
}

}  // namespace

int main(int argc, char** argv) {
  loopsmith::PlatformFileSystem fs;
  const bool page = argc > 1 && std::strcmp(argv[1], "--page") == 0;
  for (int i = page ? 2 : 1; i < argc; ++i) {
    if (page) {
      PageLine(fs, argv[i]);
      continue;
    }
    const auto finding = loopsmith::adapt::FindTempo(fs, argv[i]);
    for (const auto& weighed : finding.weighed) {
      std::printf("%s\t%.4f\t%.4f\t%d\t%.4f", argv[i], finding.heard.value_or(0), weighed.tempo.bpm,
                  weighed.tempo.measures, weighed.score);
      for (const double value : weighed.evidence) std::printf("\t%.5f", value);
      std::printf("\n");
    }
  }
  return 0;
}
