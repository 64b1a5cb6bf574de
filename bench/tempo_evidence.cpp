// What --bpm auto weighs for each file, one line per tempo the length allows:
// bench/drum_loops.py fit reads it to fit the weights.
#include <cstdio>

#include "adapt/beat_level.h"
#include "adapt/tempo.h"
#include "base/platform_file_system.h"

int main(int argc, char** argv) {
  loopsmith::PlatformFileSystem fs;
  for (int i = 1; i < argc; ++i) {
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
