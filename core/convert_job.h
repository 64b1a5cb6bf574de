#pragma once

#include <cstdint>
#include <string>

#include "base/file_system.h"
#include "base/messages.h"
#include "base/work_buffers.h"
#include "core/loop_format.h"
#include "core/loop_params.h"
#include "core/output_names.h"
#include "wave/wave_file.h"
#include "wave/wave_io.h"

namespace loopsmith {

// Asks the user for the loop parameters of one WAV-to-loop conversion: the
// window shows its dialog, the command line answers from its options.
class LoopParamsSource {
 public:
  virtual ~LoopParamsSource() = default;
  // True (OK): params hold tempo (BPM x 10), measure mode and file number 1-50.
  virtual bool AskLoopParams(LoopParams& params) = 0;
};

// Where a WAV-to-loop conversion's samples come from. Without one the job
// loads WAV files itself, strictly; a front end may bring a decoder of other
// kinds of file. On success `pcm` holds loadedBytes of 16-bit little-endian
// 44,100 Hz samples from frame `startFrame` on, `channels` 1 or 2 interleaved;
// on failure (a start at or past the end among them) it has reported.
class PcmSource {
 public:
  virtual ~PcmSource() = default;
  virtual bool Load(const std::string& path, PcmBytes pcm, std::uint32_t& loadedBytes,
                    std::uint16_t& channels, std::uint32_t startFrame) = 0;
};

struct JobOutcome {
  Direction direction = Direction::kNone;
  bool cancelled = false;
  bool reported = false;  // at least one message was shown
  std::string output;     // the output path, once the job went as far as writing it
  bool Converted() const { return !output.empty() && !reported; }
};

// Everything that happens to one dropped path: load the source, convert, name
// and write the output. Each step reports its own failures.
class ConvertJob {
 public:
  ConvertJob(FileSystem& fs, Reporter& reporter, LoopParamsSource& params,
             BufferAllocator& allocator);

  JobOutcome Run(const std::string& path) { return Run(path, DirectionOf(path)); }
  // With the direction decided by the caller, for files named otherwise.
  JobOutcome Run(const std::string& path, Direction direction);

  void setPcmSource(PcmSource* source) { m_source = source; }
  // TPDF dither at the step from 16 to 12 bits; off unless asked for.
  void setDither(bool dither) { m_dither = dither; }
  // The loop is taken from this frame of the sound (44,100 Hz) on, as from a
  // file cut there; 0, the file's first sample, unless asked for.
  void setStart(std::uint32_t frame) { m_start = frame; }

  const LoopParams& loopParams() const { return m_params; }

 private:
  class CountingReporter final : public Reporter {
   public:
    explicit CountingReporter(Reporter& inner) : m_inner(inner) {}
    void Report(const Failure& failure) override {
      ++m_count;
      m_inner.Report(failure);
    }
    int m_count = 0;

   private:
    Reporter& m_inner;
  };

  void ConvertLoopToWave(const std::string& path, LoopFileBytes loopImage, PcmBytes pcm,
                         JobOutcome& outcome);
  void ConvertWaveToLoop(const std::string& path, LoopFileBytes loopImage, PcmBytes pcm,
                         JobOutcome& outcome);

  FileSystem& m_fs;
  CountingReporter m_reporter;
  LoopParamsSource& m_ask;
  BufferAllocator& m_allocator;
  CWaveFile m_wave;
  LoopParams m_params;
  std::uint32_t m_loadedBytes = 0;
  PcmSource* m_source = nullptr;
  bool m_dither = false;
  std::uint32_t m_start = 0;
};

}  // namespace loopsmith
