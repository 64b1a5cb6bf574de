#include "adapt/take_start.h"

#include <cmath>

#include "adapt/first_hit.h"
#include "adapt/mixdown.h"
#include "adapt/sound_file.h"
#include "wave/wave_io.h"

namespace loopsmith::adapt {

TakeStart FindTakeStart(FileSystem& fs, const std::string& path) {
  TakeStart start;
  Failure unopened = PlainFailure({});
  const std::unique_ptr<SoundFile> sound = SoundFile::Open(fs, path, unopened);
  if (!sound) {
    start.failure = PlainFailure("--start auto cannot read it: " + DetailOf(unopened));
    return start;
  }
  const SoundInfo& info = sound->info();
  std::optional<Failure> unread;
  const std::vector<float> samples =
      sound->ReadFrames(static_cast<std::int64_t>(kFirstHitSeconds * info.rate), unread);
  if (unread) {
    start.failure = unread;
    return start;
  }
  const FirstHit hit = FindFirstHit(MixToMono(samples, info.channels), info.rate);
  if (!hit.frame) {
    start.note = hit.why + "; the loop starts at 0";
    return start;
  }
  // At the loop's rate, never later than the attack.
  start.frame = static_cast<std::uint32_t>(
      std::floor(static_cast<double>(*hit.frame) * kSampleRate / info.rate));
  return start;
}

}  // namespace loopsmith::adapt
