#include "wave/wave_io.h"

#include <array>
#include <cstdio>

#include "base/text.h"

namespace loopsmith {

namespace {

// KSDATAFORMAT_SUBTYPE_PCM: 00000001-0000-0010-8000-00AA00389B71, as stored.
constexpr std::array<std::uint8_t, 16> kPcmSubFormat = {
    0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

// Samples are PCM under tag 1, under tag 0 (which some old writers put on
// PCM), and in an extensible chunk whose subformat says PCM or that is too
// short to say anything else. Any other tag is another encoding: an Ogg
// stream read as PCM would become a loop of noise.
bool IsPcm(const WAVEFORMATEX& format, const std::optional<std::array<std::uint8_t, 16>>& sub) {
  if (format.wFormatTag == WAVE_FORMAT_PCM || format.wFormatTag == 0) return true;
  return format.wFormatTag == WAVE_FORMAT_EXTENSIBLE && (!sub || *sub == kPcmSubFormat);
}

std::string Hex(unsigned value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%04X", value);
  return text;
}

}  // namespace

std::string FormatProblems(const WAVEFORMATEX& format,
                           const std::optional<std::array<std::uint8_t, 16>>& subFormat) {
  std::string text;
  auto add = [&](const std::string& problem) { text += (text.empty() ? "" : "; ") + problem; };
  if (!IsPcm(format, subFormat)) {
    add(format.wFormatTag == WAVE_FORMAT_EXTENSIBLE
            ? "its samples are not PCM (extensible subformat)"
            : "its samples are not PCM (format tag " + Hex(format.wFormatTag) + ")");
  }
  if (format.nChannels != 1 && format.nChannels != 2) {
    add(std::to_string(format.nChannels) + " channels, needs 1 or 2");
  }
  if (format.nSamplesPerSec != kSampleRate) {
    add(WithCommas(format.nSamplesPerSec) + " Hz, needs 44,100");
  }
  if (format.wBitsPerSample != 16) add(std::to_string(format.wBitsPerSample) + " bits, needs 16");
  return text;
}

std::string SecondsText(std::uint64_t frames) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3f s", static_cast<double>(frames) / kSampleRate);
  return text;
}

Failure StartPastEnd(std::uint64_t startFrame, std::uint64_t frames) {
  return PlainFailure("the start, " + SecondsText(startFrame) + ", is at or past its end, " +
                      SecondsText(frames));
}

bool LoadWave(CWaveFile& wave, Reporter& reporter, const std::string& path, PcmBytes pcm,
              std::uint32_t& loadedBytes, std::uint32_t startFrame) {
  wave.ResetForRead();
  if (wave.OpenRead(path) != 0) return false;

  // The byte rate, block align and cbSize are deliberately not examined.
  const WAVEFORMATEX& format = wave.m_format;
  std::string problems = FormatProblems(format, wave.m_subFormat);
  if (!problems.empty()) {
    wave.CloseRead();
    reporter.Report(Failure{MessageId::kWaveFormatError, 0, std::move(problems)});
    return false;
  }

  const std::uint32_t cap = format.nChannels == 1 ? kMonoLoadCap : kStereoLoadCap;
  std::uint32_t skipped = 0;
  if (startFrame > 0) {
    const std::uint32_t frameBytes = 2u * format.nChannels;
    const std::uint32_t frames = wave.m_dataSize / frameBytes;
    if (startFrame >= frames) {
      wave.CloseRead();
      reporter.Report(StartPastEnd(startFrame, frames));
      return false;
    }
    skipped = startFrame * frameBytes;
    if (!wave.m_hmmio->Skip(skipped)) {
      const int error = wave.m_hmmio->lastError();
      wave.CloseRead();
      reporter.Report(Failure{MessageId::kWaveReadError, error, "it cannot be read"});
      return false;
    }
  }
  const std::uint32_t left = wave.m_dataSize - skipped;
  loadedBytes = left < cap ? left : cap;
  const std::int32_t got = wave.m_hmmio->Read(pcm.data(), static_cast<std::int32_t>(loadedBytes));
  if (got != static_cast<std::int32_t>(loadedBytes)) {
    const int error = wave.m_hmmio->lastError();
    Failure failure =
        got < 0 ? Failure{MessageId::kWaveReadError, error, "it cannot be read"}
                : Failure{MessageId::kWaveReadError, 0,
                          "its data chunk claims " + WithCommas(wave.m_dataSize) +
                              " bytes, file holds " +
                              WithCommas(std::uint64_t{skipped} + static_cast<std::uint64_t>(got))};
    wave.CloseRead();
    reporter.Report(failure);
    return false;
  }
  // Samples from a file that changed while they were read may be half old, half new.
  if (const int changed = wave.m_hmmio->CheckUnchanged(); changed != 0) {
    wave.CloseRead();
    reporter.Report(ChangedFailure(MessageId::kWaveReadError, -changed));
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
    reporter.Report(
        error != 0 ? Failure{MessageId::kWaveWriteError, error, "its samples could not be written"}
                   : Failure{MessageId::kWaveWriteError, 0,
                             "its samples could not be written: the disk is full"});
    return false;
  }
  return wave.CloseWrite() == 0;
}

}  // namespace loopsmith
