#include "adapt/tempo.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "adapt/beat_level.h"
#include "adapt/libraries.h"
#include "adapt/mixdown.h"
#include "adapt/sound_file.h"
#include "adapt/take_tempo.h"
#include "adapt/tempo_rules.h"
#include "core/loop_params.h"
#include "wave/wave_io.h"

namespace loopsmith::adapt {
namespace {

// aubio's tempo estimate over the loop played three times round, so that the
// tracker has settled by the last time; 0 when it heard none. `steady`: the
// time round before it heard the same tempo, not another octave of it. A long
// take settles it in one pass: two are enough to tell whether it wavered.
double Track(const AubioCalls& aubio, const std::vector<float>& mono, int rate, bool& steady,
             int rounds = 3) {
  constexpr uint_t kHop = 256;
  constexpr uint_t kWindow = 1024;
  if (mono.size() < kWindow) return 0;
  const QuietLibraries quiet;
  double bpm = 0;
  aubio_tempo_t* tempo = aubio.newTempo("default", kWindow, kHop, static_cast<uint_t>(rate));
  fvec_t* in = aubio.newVector(kHop);
  fvec_t* out = aubio.newVector(2);
  if (tempo != nullptr && in != nullptr && out != nullptr) {
    const std::size_t length = mono.size();
    double before = 0;
    for (int round = 0; round < rounds; ++round) {
      for (std::size_t at = 0; at < length; at += kHop) {
        for (uint_t k = 0; k < kHop; ++k) in->data[k] = mono[(at + k) % length];
        aubio.tempoDo(tempo, in, out);
      }
      if (round == rounds - 2) before = aubio.tempoBpm(tempo);
    }
    bpm = aubio.tempoBpm(tempo);
    steady = before > 0 && bpm > 0 && std::abs(std::log2(bpm / before)) < 0.05;
  }
  if (out != nullptr) aubio.deleteVector(out);
  if (in != nullptr) aubio.deleteVector(in);
  if (tempo != nullptr) aubio.deleteTempo(tempo);
  return bpm > 0 && std::isfinite(bpm) ? bpm : 0;
}

// Up to `frames` frames of the sound from frame `skip` on, interleaved.
std::vector<float> ReadFrom(SoundFile& sound, std::int64_t skip, std::int64_t frames,
                            std::optional<Failure>& unread) {
  std::vector<float> samples = sound.ReadFrames(skip + frames, unread);
  const std::size_t skipped =
      std::min(static_cast<std::size_t>(skip) * static_cast<std::size_t>(sound.info().channels),
               samples.size());
  samples.erase(samples.begin(), samples.begin() + static_cast<std::ptrdiff_t>(skipped));
  return samples;
}

// The loop chunk's or the name's tempo, when there is one to believe.
// The length checked against them is the loop's, from `skip` frames on.
bool TempoFromTags(const SoundInfo* info, const std::string& path, std::int64_t skip,
                   TempoFinding& finding) {
  const bool known = info != nullptr && info->lengthKnown && info->rate > 0;
  return TempoFromTags(info != nullptr ? info->loopChunkBpm : std::nullopt, path,
                       known ? static_cast<double>(info->frames - skip) / info->rate : 0, finding);
}

// The tempo from the length from `skip` frames on (a start cut off), checked
// by beat tracking, which reads the sound through `sound` (null where
// libsndfile is missing and the file is a plain WAV).
void TempoFromLength(const SoundInfo& info, SoundFile* sound, int givenMeasures, std::int64_t skip,
                     TempoFinding& finding) {
  if (!info.lengthKnown) {
    finding.failure = PlainFailure(
        "no loop chunk, no tempo in the file name, and its length is unknown; give --bpm N");
    return;
  }
  const double seconds = static_cast<double>(info.frames - skip) / info.rate;
  const std::vector<LengthTempo> candidates = TempoFromLength(seconds, givenMeasures, finding);
  if (finding.bpm || finding.failure) return;
  // A loop of 64 measures at 40 BPM is the longest there can be.
  if (info.frames > static_cast<std::int64_t>(info.rate) * 384) {
    finding.failure = PlainFailure("the file is longer than any loop; give --bpm N");
    return;
  }
  if (sound == nullptr) {
    finding.failure = PlainFailure(std::string("its length allows ") + CandidatesText(candidates) +
                                   "; choosing needs " + SoundFile::kPackage +
                                   ", which cannot be loaded; give --measure or --bpm N");
    return;
  }
  const AubioCalls* aubio = AubioCalls::Load();
  if (aubio == nullptr) {
    finding.failure = PlainFailure(std::string("its length allows ") + CandidatesText(candidates) +
                                   "; choosing needs " + AubioCalls::kPackage +
                                   ", which cannot be loaded; give --bpm N");
    return;
  }
  std::optional<Failure> unread;
  const std::vector<float> samples = ReadFrom(*sound, skip, info.frames - skip, unread);
  if (unread || samples.empty()) {
    finding.failure =
        PlainFailure((unread ? DetailOf(*unread) : std::string("it holds no sound")) +
                     "; its length allows " + CandidatesText(candidates) + "; give --bpm N");
    return;
  }
  // The tracker hears the file mixed to mono, at its own rate.
  const std::vector<float> mono = MixToMono(samples, info.channels);
  bool steady = false;
  const double estimate = Track(*aubio, mono, info.rate, steady);
  if (!(estimate > 0)) {
    finding.source.clear();
    finding.failure = PlainFailure(
        "no loop chunk, no tempo in the file name, and beat tracking heard no beat; its length "
        "allows " +
        CandidatesText(candidates) + "; give --bpm N");
    return;
  }
  finding.heard = estimate;
  finding.wavered = !steady;
  // A tracker that changed its mind between octaves does not vote.
  ChooseByWeight(candidates, steady ? std::optional(estimate) : std::nullopt,
                 OnsetsOf(mono, info.rate), finding);
}

// A take that is no loop: the tracker's octaves within 40 to 240 weighed on
// the hits of up to kLongTakeSeconds from `startFrame` (at 44,100 Hz).
void TempoOfTake(const SoundInfo& info, SoundFile* sound, std::uint32_t startFrame,
                 TempoFinding& finding) {
  finding.source = "the take's beats";
  const AubioCalls* aubio = sound != nullptr ? AubioCalls::Load() : nullptr;
  if (aubio == nullptr) {
    finding.failure = PlainFailure(
        std::string("a take longer than a loop has its tempo from beat tracking, which needs ") +
        (sound == nullptr ? SoundFile::kPackage : AubioCalls::kPackage) + "; give --bpm N");
    return;
  }
  const auto skip = static_cast<std::int64_t>(
      std::llround(static_cast<double>(startFrame) * info.rate / kSampleRate));
  const auto span = static_cast<std::int64_t>(kLongTakeSeconds * info.rate);
  std::optional<Failure> unread;
  const std::vector<float> samples = ReadFrom(*sound, skip, span, unread);
  if (unread || samples.empty()) {
    finding.failure = PlainFailure(
        (unread ? DetailOf(*unread) : std::string("it holds no sound there")) + "; give --bpm N");
    return;
  }
  const std::vector<float> mono = MixToMono(samples, info.channels);
  bool steady = false;
  const double heard = Track(*aubio, mono, info.rate, steady, 2);
  if (heard > 0) WeighTakeTempo(OnsetsOf(mono, info.rate), heard, steady, finding);
  // None heard, or none of its octaves a tempo: the tracker's words for it.
  if (!(heard > 0) || finding.failure) {
    finding.failure = PlainFailure("beat tracking heard no beat in the take; give --bpm N");
  }
}

}  // namespace

TempoFinding FindTempo(FileSystem& fs, const std::string& path, int givenMeasures,
                       SoundFile* opened, std::uint32_t startFrame) {
  TempoFinding finding;
  Failure unopened = PlainFailure({});
  std::unique_ptr<SoundFile> ours;
  if (opened == nullptr) ours = SoundFile::Open(fs, path, unopened);
  SoundFile* sound = opened != nullptr ? opened : ours.get();
  // Without libsndfile a plain WAV file still has its tags and its length.
  std::optional<SoundInfo> plain;
  if (sound == nullptr && SoundFile::LibraryMissing()) plain = PlainWaveInfo(fs, path);
  const SoundInfo* info = sound != nullptr ? &sound->info() : plain ? &*plain : nullptr;
  const double startSeconds = static_cast<double>(startFrame) / kSampleRate;
  const auto skip =
      static_cast<std::int64_t>(std::llround(startSeconds * (info != nullptr ? info->rate : 0)));
  const bool take = info != nullptr && info->rate > 0 &&
                    ((info->lengthKnown &&
                      IsTake(static_cast<double>(info->frames) / info->rate, startSeconds)) ||
                     (!info->lengthKnown && startFrame > 0));
  if (take) {
    // Its length is no loop's: the tags speak unchecked.
    if (TempoFromTags(info->loopChunkBpm, path, 0, finding)) return finding;
    TempoOfTake(*info, sound, startFrame, finding);
    return finding;
  }
  if (TempoFromTags(info, path, skip, finding)) return finding;
  if (info == nullptr) {
    finding.failure =
        PlainFailure(DetailOf(unopened) + "; and there is no tempo in the file name: give --bpm N");
    return finding;
  }
  TempoFromLength(*info, sound, givenMeasures, std::min(skip, info->frames), finding);
  return finding;
}

}  // namespace loopsmith::adapt
