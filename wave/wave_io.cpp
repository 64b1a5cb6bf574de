#include "wave/wave_io.h"

#include "core/loop_length.h"

namespace loopsmith {

bool LoadWave(CWaveFile& wave, Reporter& reporter, const std::string& path, std::uint8_t* pcm,
              std::uint32_t& loadedBytes) {
  wave.ResetForRead();
  if (wave.OpenRead(path) != 0) return false;

  // The format tag, byte rate, block align and cbSize are deliberately not examined.
  const WAVEFORMATEX& format = wave.m_format;
  if ((format.nChannels != 1 && format.nChannels != 2) || format.nSamplesPerSec != kSampleRate ||
      format.wBitsPerSample != 16) {
    wave.CloseRead();
    reporter.Report(MessageId::kWaveFormatError);
    return false;
  }

  const std::uint32_t cap = format.nChannels == 1 ? kMonoLoadCap : kStereoLoadCap;
  loadedBytes = wave.m_dataSize < cap ? wave.m_dataSize : cap;
  if (wave.m_hmmio->Read(pcm, static_cast<std::int32_t>(loadedBytes)) !=
      static_cast<std::int32_t>(loadedBytes)) {
    wave.CloseRead();
    reporter.Report(MessageId::kWaveReadError);
    return false;
  }
  return wave.CloseRead() == 0;
}

bool SaveWave(CWaveFile& wave, Reporter& reporter, const std::string& path, const std::uint8_t* pcm,
              const LoopParams& params) {
  wave.ResetForWrite();
  wave.SetFormat(1, kSampleRate, 16);
  if (wave.OpenWrite(path) != 0) return false;

  const auto bytes =
      static_cast<std::int32_t>(2 * SampleCount(params.measureMode, params.tempo) + 2);
  if (wave.m_hmmio->Write(pcm, bytes) != bytes) {
    wave.CloseWrite();
    reporter.Report(MessageId::kWaveWriteError);
    return false;
  }
  return wave.CloseWrite() == 0;
}

}  // namespace loopsmith
