#include "core/convert_job.h"

#include <cerrno>

#include "core/loop_file.h"
#include "core/loop_format.h"
#include "core/loop_length.h"
#include "core/sample_transforms.h"
#include "wave/wave_io.h"

namespace loopsmith {
namespace {

// A link or a second name can make the output name the source itself: writing
// it would destroy what is being converted.
constexpr const char* kOutputIsSource = "it is the file being converted, under another name";

}  // namespace

ConvertJob::ConvertJob(FileSystem& fs, Reporter& reporter, LoopParamsSource& params,
                       BufferAllocator& allocator)
    : m_fs(fs),
      m_reporter(reporter),
      m_ask(params),
      m_allocator(allocator),
      m_wave(fs, m_reporter) {}

JobOutcome ConvertJob::Run(const std::string& path, Direction direction) {
  JobOutcome outcome;
  m_reporter.m_count = 0;
  outcome.direction = direction;

  {
    // Both buffers are asked for before either is tested, and both are fresh and
    // zero-filled: the transforms read zeros past the loaded data. They live for
    // this one run.
    const WorkBuffer loopImage(m_allocator, kLoopImageElements * 2);
    const WorkBuffer pcm(m_allocator, kPcmElements * 2);
    if (!loopImage || !pcm) {
      m_reporter.Report(
          Failure{MessageId::kMemoryError, ENOMEM, "the work buffers could not be allocated"});
    } else if (outcome.direction == Direction::kLoopToWave) {
      ConvertLoopToWave(path, loopImage.first<kLargestLoopFile>(), pcm.first<kStereoLoadCap>(),
                        outcome);
    } else if (outcome.direction == Direction::kWaveToLoop) {
      ConvertWaveToLoop(path, loopImage.first<kLargestLoopFile>(), pcm.first<kStereoLoadCap>(),
                        outcome);
    }
  }

  outcome.reported = m_reporter.m_count > 0;
  return outcome;
}

void ConvertJob::ConvertLoopToWave(const std::string& path, LoopFileBytes loopImage, PcmBytes pcm,
                                   JobOutcome& outcome) {
  if (!ReadLoopFile(m_fs, m_reporter, path, loopImage, m_params)) return;
  const std::string output = WaveNameFor(path);
  const std::uint32_t last = SampleCount(m_params.measureMode, m_params.tempo);
  LoopToPcm(loopImage.data(), pcm.data(), last);
  outcome.output = output;
  if (m_fs.SameFile(path, output)) {
    m_reporter.Report(Failure{MessageId::kWaveWriteError1, 0, kOutputIsSource});
    return;
  }
  SaveWave(m_wave, m_reporter, output, pcm.data(), last);
}

void ConvertJob::ConvertWaveToLoop(const std::string& path, LoopFileBytes loopImage, PcmBytes pcm,
                                   JobOutcome& outcome) {
  std::uint16_t channels = 0;
  if (m_source != nullptr) {
    if (!m_source->Load(path, pcm, m_loadedBytes, channels, m_start)) return;
  } else {
    if (!LoadWave(m_wave, m_reporter, path, pcm, m_loadedBytes, m_start)) return;
    channels = m_wave.m_format.nChannels;
  }
  if (!m_ask.AskLoopParams(m_params)) {
    outcome.cancelled = true;
    return;
  }
  const std::string output = LoopNameFor(path, m_params.fileNumber);
  BuildLoopImage(m_params, channels, pcm, loopImage);
  if (m_dither) DitherLoopWords(m_params, channels, pcm, loopImage);
  outcome.output = output;
  if (m_fs.SameFile(path, output)) {
    m_reporter.Report(Failure{MessageId::kLoopWriteError, 0, kOutputIsSource});
    return;
  }
  WriteLoopFile(m_fs, m_reporter, output, loopImage.data(), m_params);
}

}  // namespace loopsmith
