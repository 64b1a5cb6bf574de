#include "web/page_session.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <utility>

#include "adapt/band_onsets.h"
#include "adapt/beat_level.h"
#include "adapt/chunk_walk.h"
#include "adapt/mixdown.h"
#include "adapt/pcm_file.h"
#include "adapt/take_tempo.h"
#include "adapt/tempo_rules.h"
#include "base/bytes.h"
#include "base/paths.h"
#include "base/work_buffers.h"
#include "core/convert_job.h"
#include "core/loop_file.h"
#include "core/loop_format.h"
#include "core/loop_length.h"
#include "core/output_names.h"
#include "core/sample_transforms.h"
#include "wave/wave_io.h"

namespace loopsmith::web {
namespace {

// The choices the user made on the page, as the dialog would hand them over.
class ChosenParams final : public LoopParamsSource {
 public:
  explicit ChosenParams(const LoopParams& params) : m_params(params) {}
  bool AskLoopParams(LoopParams& params) override {
    params = m_params;
    return true;
  }

 private:
  LoopParams m_params;
};

// Samples the browser decoded, handed to the job in place of the WAV reader.
class DecodedSource final : public PcmSource {
 public:
  DecodedSource(const std::vector<std::int16_t>& sound, int channels, Reporter& reporter)
      : m_sound(sound), m_channels(static_cast<std::uint32_t>(channels)), m_reporter(reporter) {}
  bool Load(const std::string&, PcmBytes pcm, std::uint32_t& loadedBytes, std::uint16_t& channels,
            std::uint32_t startFrame) override {
    const std::size_t frames = m_sound.size() / m_channels;
    if (startFrame >= frames) {
      m_reporter.Report(StartPastEnd(startFrame, frames));
      return false;
    }
    const std::size_t taken = std::min<std::size_t>(frames - startFrame, kLongestLoop);
    StoreLE16(m_sound.data() + std::size_t{startFrame} * m_channels, taken * m_channels,
              pcm.data());
    loadedBytes = static_cast<std::uint32_t>(2 * taken * m_channels);
    channels = static_cast<std::uint16_t>(m_channels);
    return true;
  }

 private:
  const std::vector<std::int16_t>& m_sound;
  std::uint32_t m_channels;
  Reporter& m_reporter;
};

std::vector<std::int16_t> Samples(const std::uint8_t* pcm, std::size_t count) {
  std::vector<std::int16_t> samples(count);
  LoadLE16(pcm, count, samples.data());
  return samples;
}

}  // namespace

PageSession::Result PageSession::Fail(const Failure& failure) {
  Result result;
  result.message = std::string(MessageText(failure.id));
  result.detail = DetailOf(failure);
  return result;
}

std::uint32_t PageSession::frames() const {
  return m_channels > 0
             ? static_cast<std::uint32_t>(m_samples.size()) / static_cast<std::uint32_t>(m_channels)
             : 0;
}

PageSession::Result PageSession::Open(const std::string& name, std::vector<std::uint8_t> bytes,
                                      std::int64_t wholeSize) {
  Result result = OpenHeld(name, std::move(bytes), wholeSize);
  result.needsMore = m_fs.wantedMore;
  return result;
}

PageSession::Result PageSession::OpenHeld(const std::string& name, std::vector<std::uint8_t> bytes,
                                          std::int64_t wholeSize) {
  m_fs.files.clear();
  m_fs.wholeSizes.clear();
  m_fs.wantedMore = false;
  if (wholeSize > static_cast<std::int64_t>(bytes.size()))
    m_fs.wholeSizes[PathOf(name)] = wholeSize;
  m_name = name;
  m_kind = Kind::kNone;
  m_channels = 0;
  m_samples.clear();
  m_sound.clear();
  m_start = 0;
  m_decoded = false;
  m_loadedBytes = 0;
  m_pcm.assign(kPcmElements * 2, 0);
  const std::string path = PathOf(name);
  m_fs.files[path] = std::move(bytes);
  m_fileFrames = 0;
  FirstFailure reporter;
  switch (DirectionOf(name)) {
    case Direction::kWaveToLoop: {
      CWaveFile wave(m_fs, reporter);
      if (!LoadWave(wave, reporter, path, FixedSpan<kStereoLoadCap>(m_pcm), m_loadedBytes)) {
        Result result = Fail(*reporter.first);
        result.otherFormat = reporter.first->id == MessageId::kWaveFormatError;
        return result;
      }
      m_kind = Kind::kWave;
      m_channels = wave.m_format.nChannels;
      m_samples = Samples(m_pcm.data(), m_loadedBytes / 2);
      m_fileFrames = wave.m_dataSize / (2u * wave.m_format.nChannels);
      HoldWave(path);
      return {true, {}, {}, {}, {}};
    }
    case Direction::kLoopToWave: {
      std::vector<std::uint8_t> image(kLargestLoopFile);
      if (!ReadLoopFile(m_fs, reporter, path, FixedSpan<kLargestLoopFile>(image), m_loopParams)) {
        return Fail(*reporter.first);
      }
      const std::uint32_t last = SampleCount(m_loopParams.measureMode, m_loopParams.tempo);
      std::vector<std::uint8_t> pcm(2 * (std::size_t{last} + 1));
      LoopToPcm(image.data(), pcm.data(), last);
      m_kind = Kind::kLoop;
      m_channels = 1;
      m_samples = Samples(pcm.data(), std::size_t{last} + 1);
      m_sound = m_samples;
      m_fileFrames = last + 1;
      return {true, {}, {}, {}, {}};
    }
    case Direction::kNone:
      break;
  }
  return {};
}

PageSession::Own PageSession::DecodeOwn() {
  m_own.clear();
  Failure failure = PlainFailure({});
  m_fs.wantedMore = false;
  // All the sound the held bytes reach, for the loop to start anywhere in it.
  const auto held = static_cast<std::int64_t>(m_fs.files[PathOf(m_name)].size());
  auto sound = adapt::DecodePcmFile(
      m_fs, PathOf(m_name), [](int) { return std::numeric_limits<std::int64_t>::max(); }, failure,
      held);
  if (!sound) {
    Own own{Fail(failure), 0, 0};
    own.result.needsMore = m_fs.wantedMore;
    own.result.wavOrAiff = DetailOf(failure) != adapt::kNotWavOrAiff;
    return own;
  }
  const auto frames = static_cast<std::uint32_t>(std::min<std::int64_t>(sound->frames, UINT32_MAX));
  if (sound->rate == static_cast<int>(kSampleRate)) {
    return {UseDecoded(m_name, sound->samples, sound->channels, frames), sound->rate,
            sound->channels};
  }
  m_own = std::move(sound->samples);
  return {{true, {}, {}, {}, {}}, sound->rate, sound->channels};
}

PageSession::Result PageSession::UseDecoded(const std::string& name,
                                            const std::vector<float>& samples, int channels,
                                            std::uint32_t fileFrames) {
  if (channels < 1 || samples.empty()) return {};
  m_name = name;
  // No copy more than needed: a long take held whole is tens of megabytes.
  m_own = {};
  const std::vector<float> mixed =
      channels > 2 ? adapt::MixToStereo(samples, channels) : std::vector<float>();
  const std::vector<float>& stereo = channels > 2 ? mixed : samples;
  m_channels = std::min(channels, 2);
  m_sound.resize(stereo.size() - stereo.size() % static_cast<std::size_t>(m_channels));
  std::transform(stereo.begin(), stereo.begin() + static_cast<std::ptrdiff_t>(m_sound.size()),
                 m_sound.begin(), adapt::RoundTo16);
  m_start = 0;
  TakeFromStart();
  m_fileFrames =
      fileFrames > 0
          ? fileFrames
          : static_cast<std::uint32_t>(samples.size() / static_cast<std::size_t>(channels));
  m_kind = Kind::kWave;
  m_decoded = true;
  return {true, {}, {}, {}, {}};
}

PageSession::Result PageSession::BuildLoop(const LoopParams& params, bool dither) {
  if (m_kind != Kind::kWave) return {};
  FirstFailure reporter;
  ChosenParams answer(params);
  PageAllocator heap;
  ConvertJob job(m_fs, reporter, answer, heap);
  job.setDither(dither);
  job.setStart(m_start);
  DecodedSource decoded(m_sound, m_channels, reporter);
  if (m_decoded) job.setPcmSource(&decoded);
  const JobOutcome outcome = job.Run(PathOf(m_name), Direction::kWaveToLoop);
  if (reporter.first) return Fail(*reporter.first);
  Result result{true, {}, {}, NameOf(outcome.output), std::move(m_fs.files[outcome.output])};
  m_fs.files.erase(outcome.output);
  return result;
}

std::vector<std::int16_t> PageSession::Audition(const LoopParams& params, bool dither) {
  if (m_kind != Kind::kWave) return {};
  std::vector<std::uint8_t> image(kLoopImageElements * 2);
  const auto channels = static_cast<std::uint16_t>(m_channels);
  const auto loaded = FixedSpan<kStereoLoadCap>(std::as_const(m_pcm));
  BuildLoopImage(params, channels, loaded, FixedSpan<kLargestLoopFile>(image));
  if (dither) DitherLoopWords(params, channels, loaded, FixedSpan<kLargestLoopFile>(image));
  const std::uint32_t last = SampleCount(params.measureMode, params.tempo);
  std::vector<std::uint8_t> pcm(2 * (std::size_t{last} + 1));
  LoopToPcm(image.data() + kLoopHeaderSize, pcm.data(), last);
  return Samples(pcm.data(), std::size_t{last} + 1);
}

PageSession::Result PageSession::SaveWave() {
  if (m_kind != Kind::kLoop) return {};
  FirstFailure reporter;
  ChosenParams unused(m_loopParams);
  PageAllocator heap;
  ConvertJob job(m_fs, reporter, unused, heap);
  const JobOutcome outcome = job.Run(PathOf(m_name), Direction::kLoopToWave);
  if (reporter.first) return Fail(*reporter.first);
  Result result{true, {}, {}, NameOf(outcome.output), std::move(m_fs.files[outcome.output])};
  m_fs.files.erase(outcome.output);
  return result;
}

PageSession::Suggestion PageSession::SuggestTempo() {
  // The command line's --bpm auto without the beat tracker: the same steps.
  m_fs.wantedMore = false;
  std::optional<double> chunk;
  FileHandle file = FileHandle::kNone;
  if (m_fs.OpenRead(PathOf(m_name), file) == 0) {
    chunk = adapt::WalkChunks(m_fs, file, m_fs.Seek(file, 0, SeekFrom::kEnd)).acidBpm;
    m_fs.Close(file);
  }
  const double whole = static_cast<double>(m_fileFrames) / kSampleRate;
  const double start = static_cast<double>(m_start) / kSampleRate;
  // A loop with a late start cut off is as long as what follows the start.
  const double seconds = whole - start;
  adapt::TempoFinding finding;
  if (adapt::IsTake(whole, start)) {
    // A take: its length tells nothing; its hits from the start, up to a minute.
    if (!adapt::TempoFromTags(chunk, m_name, 0, finding)) {
      const auto span = static_cast<std::uint32_t>(adapt::kLongTakeSeconds * kSampleRate);
      adapt::WeighTakeTempo(adapt::OnsetsOf(MonoOf(m_start, span), static_cast<int>(kSampleRate)),
                            std::nullopt, false, finding);
    }
  } else if (!adapt::TempoFromTags(chunk, m_name, seconds, finding)) {
    // Among the tempi the length allows, the one the sound bears out, as the
    // command line weighs them, though without its beat tracker.
    // A file longer than the page holds is weighed by its length alone.
    const std::vector<float> mono = frames() == m_fileFrames - m_start
                                        ? adapt::MixToMono(m_samples, m_channels, 1.0F / 32768)
                                        : std::vector<float>();
    adapt::ChooseByLengthAlone(seconds, mono, static_cast<int>(kSampleRate), finding);
  }
  Suggestion suggestion;
  suggestion.needsMore = m_fs.wantedMore;
  if (finding.bpm) suggestion.tenths = static_cast<int>(std::lround(*finding.bpm * 10));
  suggestion.measures = finding.measures;
  if (const adapt::LengthTempo* second = adapt::CloseSecond(finding.weighed)) {
    suggestion.second = static_cast<int>(std::lround(adapt::RoundToTenth(second->bpm) * 10));
    suggestion.secondMeasures = second->measures;
  }
  suggestion.source = finding.source;
  suggestion.adjusted = finding.adjusted;
  suggestion.notes = finding.notes;
  if (finding.failure) suggestion.failure = DetailOf(*finding.failure);
  return suggestion;
}

}  // namespace loopsmith::web
