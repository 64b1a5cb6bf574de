#include "adapt/adapting_source.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "adapt/libraries.h"
#include "adapt/mixdown.h"
#include "adapt/sound_file.h"
#include "base/text.h"
#include "wave/wave_io.h"

namespace loopsmith::adapt {

bool AdaptingSource::Load(const std::string& path, std::uint8_t* pcm, std::uint32_t& loadedBytes,
                          std::uint16_t& channels) {
  m_last = Adaptation{};
  {
    // A file the strict reader takes is loaded by it, so it converts as it always has.
    SilentReporter quiet;
    CWaveFile wave(m_fs, quiet);
    if (LoadWave(wave, quiet, path, pcm, loadedBytes)) {
      channels = wave.m_format.nChannels;
      m_last.strict = true;
      m_last.steps = "none: it loads as it is";
      return true;
    }
  }
  std::string error;
  const std::unique_ptr<SoundFile> sound = SoundFile::Open(m_fs, path, error);
  if (!sound) {
    m_say(error);
    return false;
  }
  const SoundInfo& info = sound->info();
  // Enough of the source for the longest loop, and a little more for the
  // resampler's filter to settle at the end.
  const double ratio = kSampleRate / static_cast<double>(info.rate);
  const auto wanted = static_cast<std::int64_t>(std::ceil(kLongestLoop / ratio)) + info.rate / 10;
  // A file of unknown length is decoded up to what the loop needs.
  const std::int64_t frames = info.lengthKnown ? std::min(wanted, info.frames) : wanted;
  std::vector<float> samples = sound->ReadFrames(frames, error);
  if (!error.empty()) {
    m_say(error);
    return false;
  }
  // A stream cut after its header decodes to nothing: no loop of silence for it.
  if (samples.empty()) {
    m_say("it holds no sound");
    return false;
  }
  int count = info.channels;
  if (count > 2) {
    samples = MixToStereo(samples, count);
    count = 2;
  }
  std::string steps =
      info.channels > 2 ? "mixed " + std::to_string(info.channels) + " channels to 2; " : "";
  std::size_t decoded = samples.size() / static_cast<std::size_t>(count);
  if (info.rate != static_cast<int>(kSampleRate) && decoded > 0) {
    const SoxrCalls* soxr = SoxrCalls::Load();
    if (soxr == nullptr) {
      m_say(std::string("resampling needs ") + SoxrCalls::kPackage + ", which cannot be loaded");
      return false;
    }
    const auto capacity =
        static_cast<std::size_t>(std::ceil(static_cast<double>(decoded) * ratio)) + 16;
    std::vector<float> resampled(capacity * static_cast<std::size_t>(count));
    std::size_t done = 0;
    const soxr_io_spec_t io = soxr->ioSpec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
    const soxr_quality_spec_t quality = soxr->qualitySpec(SOXR_VHQ, 0);
    const soxr_error_t failed =
        soxr->oneshot(info.rate, kSampleRate, static_cast<unsigned>(count), samples.data(), decoded,
                      nullptr, resampled.data(), capacity, &done, &io, &quality, nullptr);
    if (failed != nullptr) {
      m_say("it could not be resampled");
      return false;
    }
    resampled.resize(done * static_cast<std::size_t>(count));
    samples = std::move(resampled);
    steps += "resampled " + WithCommas(static_cast<std::uint64_t>(info.rate)) + " -> 44,100 Hz; ";
  }
  loadedBytes = StorePcm16(samples, count, kLongestLoop, pcm);
  channels = static_cast<std::uint16_t>(count);
  m_last.steps = steps + "decoded from " + info.encoding + " and rounded to 16 bits";
  return true;
}

}  // namespace loopsmith::adapt
