#include "adapt/adapting_source.h"

#include <algorithm>
#include <cmath>

#include "adapt/libraries.h"
#include "adapt/mixdown.h"
#include "adapt/pcm_file.h"
#include "adapt/sound_file.h"
#include "wave/wave_io.h"

namespace loopsmith::adapt {

bool AdaptingSource::Load(const std::string& path, PcmBytes pcm, std::uint32_t& loadedBytes,
                          std::uint16_t& channels, std::uint32_t startFrame) {
  bool refused = false;
  if (LoadStrict(path, pcm, loadedBytes, channels, startFrame, refused)) return true;
  if (refused) return false;
  Failure unopened = PlainFailure({});
  const std::unique_ptr<SoundFile> sound = SoundFile::Open(m_fs, path, unopened);
  if (!sound) {
    m_reporter.Report(SoundFile::LibraryMissing() ? unopened : Refusal(path, unopened));
    return false;
  }
  const SoundInfo& info = sound->info();
  std::optional<std::vector<float>> samples = Decode(*sound, startFrame);
  if (!samples) return false;
  int count = info.channels;
  if (count > 2) {
    samples = MixToStereo(*samples, count);
    count = 2;
  }
  if (info.rate != static_cast<int>(kSampleRate)) {
    samples = Resample(std::move(*samples), info.rate, count);
    if (!samples) return false;
  }
  const std::size_t frames = samples->size() / static_cast<std::size_t>(count);
  if (startFrame >= frames) {
    m_reporter.Report(StartPastEnd(startFrame, frames));
    return false;
  }
  samples->erase(samples->begin(), samples->begin() + std::ptrdiff_t{startFrame} * count);
  loadedBytes = StorePcm16(*samples, count, kLongestLoop, pcm.data());
  channels = static_cast<std::uint16_t>(count);
  return true;
}

Failure AdaptingSource::Refusal(const std::string& path, const Failure& library) {
  Failure ours = PlainFailure({});
  const bool read = DecodePcmFile(
                        m_fs, path, [](int) { return std::int64_t{0}; }, ours)
                        .has_value();
  return read || DetailOf(ours) == kNotWavOrAiff ? library : ours;
}

bool AdaptingSource::LoadStrict(const std::string& path, PcmBytes pcm, std::uint32_t& loadedBytes,
                                std::uint16_t& channels, std::uint32_t startFrame, bool& refused) {
  // A file the strict reader takes is loaded by it, so it converts as it always has.
  FirstFailure quiet;
  CWaveFile wave(m_fs, quiet);
  if (!LoadWave(wave, quiet, path, pcm, loadedBytes, startFrame)) {
    if (quiet.first && quiet.first->id == MessageId::kNoCatalogueText) {
      m_reporter.Report(*quiet.first);
      refused = true;
    }
    return false;
  }
  channels = wave.m_format.nChannels;
  return true;
}

std::optional<std::vector<float>> AdaptingSource::Decode(SoundFile& sound,
                                                         std::uint32_t startFrame) {
  const SoundInfo& info = sound.info();
  const auto before = static_cast<std::int64_t>(
      std::ceil(static_cast<double>(startFrame) * info.rate / kSampleRate));
  const std::int64_t wanted = before + FramesForLongestLoop(info.rate);
  // A file of unknown length is decoded up to what the loop needs.
  const std::int64_t frames = info.lengthKnown ? std::min(wanted, info.frames) : wanted;
  std::optional<Failure> unread;
  std::vector<float> samples = sound.ReadFrames(frames, unread);
  if (unread) {
    m_reporter.Report(*unread);
    return std::nullopt;
  }
  // A stream cut after its header decodes to nothing: no loop of silence for it.
  if (samples.empty()) {
    m_reporter.Report(PlainFailure("it holds no sound"));
    return std::nullopt;
  }
  return samples;
}

std::optional<std::vector<float>> AdaptingSource::Resample(std::vector<float> samples, int rate,
                                                           int channels) {
  const SoxrCalls* soxr = SoxrCalls::Load();
  if (soxr == nullptr) {
    m_reporter.Report(PlainFailure(std::string("resampling needs ") + SoxrCalls::kPackage +
                                   ", which cannot be loaded"));
    return std::nullopt;
  }
  const auto count = static_cast<std::size_t>(channels);
  const std::size_t frames = samples.size() / count;
  const double ratio = kSampleRate / static_cast<double>(rate);
  const auto capacity =
      static_cast<std::size_t>(std::ceil(static_cast<double>(frames) * ratio)) + 16;
  std::vector<float> resampled(capacity * count);
  std::size_t done = 0;
  const QuietLibraries quiet;
  const soxr_io_spec_t io = soxr->ioSpec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
  const soxr_quality_spec_t quality = soxr->qualitySpec(SOXR_VHQ, 0);
  const soxr_error_t failed =
      soxr->oneshot(rate, kSampleRate, static_cast<unsigned>(channels), samples.data(), frames,
                    nullptr, resampled.data(), capacity, &done, &io, &quality, nullptr);
  if (failed != nullptr) {
    m_reporter.Report(PlainFailure("it could not be resampled"));
    return std::nullopt;
  }
  resampled.resize(done * count);
  return resampled;
}

}  // namespace loopsmith::adapt
