#include "wave/wave_io.h"

#include "base/text.h"

namespace loopsmith {

std::string FormatProblems(const WAVEFORMATEX& format) {
  std::string text;
  auto add = [&](const std::string& problem) { text += (text.empty() ? "" : "; ") + problem; };
  if (format.nChannels != 1 && format.nChannels != 2) {
    add(std::to_string(format.nChannels) + " channels, needs 1 or 2");
  }
  if (format.nSamplesPerSec != kSampleRate) {
    add(WithCommas(format.nSamplesPerSec) + " Hz, needs 44,100");
  }
  if (format.wBitsPerSample != 16) add(std::to_string(format.wBitsPerSample) + " bits, needs 16");
  return text;
}

bool LoadWave(CWaveFile& wave, Reporter& reporter, const std::string& path, std::uint8_t* pcm,
              std::uint32_t& loadedBytes) {
  wave.ResetForRead();
  if (wave.OpenRead(path) != 0) return false;

  // The format tag, byte rate, block align and cbSize are deliberately not examined.
  const WAVEFORMATEX& format = wave.m_format;
  std::string problems = FormatProblems(format);
  if (!problems.empty()) {
    wave.CloseRead();
    reporter.Report(Failure{MessageId::kWaveFormatError, 0, std::move(problems)});
    return false;
  }

  const std::uint32_t cap = format.nChannels == 1 ? kMonoLoadCap : kStereoLoadCap;
  loadedBytes = wave.m_dataSize < cap ? wave.m_dataSize : cap;
  const std::int32_t got = wave.m_hmmio->Read(pcm, static_cast<std::int32_t>(loadedBytes));
  if (got != static_cast<std::int32_t>(loadedBytes)) {
    const int error = wave.m_hmmio->lastError();
    std::string detail = got < 0 ? "it cannot be read: " + SystemErrorText(error)
                                 : "its data chunk claims " + WithCommas(wave.m_dataSize) +
                                       " bytes, file holds " +
                                       WithCommas(static_cast<std::uint64_t>(got));
    wave.CloseRead();
    reporter.Report(Failure{MessageId::kWaveReadError, error, std::move(detail)});
    return false;
  }
  // Samples from a file that changed while they were read may be half old, half new.
  if (const int changed = wave.m_hmmio->CheckUnchanged(); changed != 0) {
    wave.CloseRead();
    reporter.Report(Failure{MessageId::kWaveReadError, -changed, ChangedText(-changed)});
    return false;
  }
  return wave.CloseRead() == 0;
}

bool SaveWave(CWaveFile& wave, Reporter& reporter, const std::string& path, const std::uint8_t* pcm,
              std::uint32_t lastSample) {
  wave.ResetForWrite();
  wave.SetFormat(1, kSampleRate, 16);
  if (wave.OpenWrite(path) != 0) return false;

  const auto bytes = static_cast<std::int32_t>(2 * lastSample + 2);
  if (wave.m_hmmio->Write(pcm, bytes) != bytes) {
    const int error = wave.m_hmmio->lastError();
    wave.CloseWrite();
    reporter.Report(Failure{MessageId::kWaveWriteError, error,
                            "its samples could not be written: " +
                                (error != 0 ? SystemErrorText(error) : "the disk is full")});
    return false;
  }
  return wave.CloseWrite() == 0;
}

}  // namespace loopsmith
