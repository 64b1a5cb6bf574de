#include "core/convert_job.h"

#include "core/loop_file.h"
#include "core/loop_format.h"
#include "core/loop_length.h"
#include "core/sample_transforms.h"
#include "wave/wave_io.h"

namespace loopsmith {

ConvertJob::ConvertJob(FileSystem& fs, Reporter& reporter, LoopParamsSource& params,
                       BufferAllocator& allocator)
    : m_fs(fs),
      m_reporter(reporter),
      m_ask(params),
      m_allocator(allocator),
      m_wave(fs, m_reporter) {}

JobOutcome ConvertJob::Run(const std::string& path) {
  JobOutcome outcome;
  m_reporter.count = 0;
  outcome.direction = DirectionOf(path);

  // Both buffers are asked for before either is tested, and both are fresh and
  // zero-filled: the transforms read zeros past the loaded data.
  m_loopImage = static_cast<std::uint8_t*>(m_allocator.AllocateZeroed(kLoopImageElements * 2));
  m_pcm = static_cast<std::uint8_t*>(m_allocator.AllocateZeroed(kPcmElements * 2));
  if (m_loopImage == nullptr || m_pcm == nullptr) {
    m_reporter.Report(MessageId::kMemoryError);
  } else if (outcome.direction == Direction::kLoopToWave) {
    ConvertLoopToWave(path, outcome);
  } else if (outcome.direction == Direction::kWaveToLoop) {
    ConvertWaveToLoop(path, outcome);
  }
  if (m_loopImage != nullptr) m_allocator.Free(m_loopImage);
  if (m_pcm != nullptr) m_allocator.Free(m_pcm);
  m_loopImage = nullptr;
  m_pcm = nullptr;

  outcome.reported = m_reporter.count > 0;
  return outcome;
}

void ConvertJob::ConvertLoopToWave(std::string path, JobOutcome& outcome) {
  if (!ReadLoopFile(m_fs, m_reporter, path, m_loopImage, m_params)) return;
  path = WaveNameFor(path);
  LoopToPcm(m_loopImage, m_pcm, SampleCount(m_params.measureMode, m_params.tempo));
  outcome.output = path;
  SaveWave(m_wave, m_reporter, path, m_pcm, m_params);
}

void ConvertJob::ConvertWaveToLoop(const std::string& path, JobOutcome& outcome) {
  if (!LoadWave(m_wave, m_reporter, path, m_pcm, m_loadedBytes)) return;
  if (!m_ask.AskLoopParams(m_params)) {
    outcome.cancelled = true;
    return;
  }
  const std::string output = LoopNameFor(path, m_params.fileNumber);
  BuildLoopImage(m_params, m_wave.m_format.nChannels, m_pcm, m_loopImage);
  outcome.output = output;
  WriteLoopFile(m_fs, m_reporter, output, m_loopImage, m_params);
}

}  // namespace loopsmith
