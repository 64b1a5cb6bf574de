#include "wave/wave_file.h"

#include <algorithm>
#include <cstring>

#include "base/bytes.h"
#include "base/text.h"

namespace loopsmith {

void EncodeFormat(const WAVEFORMATEX& format, std::uint8_t* bytes) {
  auto put16 = [&](int at, std::uint16_t v) {
    bytes[at] = static_cast<std::uint8_t>(v);
    bytes[at + 1] = static_cast<std::uint8_t>(v >> 8);
  };
  auto put32 = [&](int at, std::uint32_t v) {
    put16(at, static_cast<std::uint16_t>(v));
    put16(at + 2, static_cast<std::uint16_t>(v >> 16));
  };
  put16(0, format.wFormatTag);
  put16(2, format.nChannels);
  put32(4, format.nSamplesPerSec);
  put32(8, format.nAvgBytesPerSec);
  put16(12, format.nBlockAlign);
  put16(14, format.wBitsPerSample);
  put16(16, format.cbSize);
}

WAVEFORMATEX DecodeFormat(const std::uint8_t* bytes) {
  auto get16 = [&](int at) { return LoadLE16(bytes + at); };
  auto get32 = [&](int at) { return LoadLE32(bytes + at); };
  WAVEFORMATEX format;
  format.wFormatTag = get16(0);
  format.nChannels = get16(2);
  format.nSamplesPerSec = get32(4);
  format.nAvgBytesPerSec = get32(8);
  format.nBlockAlign = get16(12);
  format.wBitsPerSample = get16(14);
  format.cbSize = get16(16);
  return format;
}

std::string CWaveFile::WriteProblem() const { return "it could not be written"; }

std::string RiffProblem(const std::vector<std::uint8_t>& head) {
  auto quoted = [&](std::size_t from) {
    std::string text = "\"";
    for (std::size_t i = from; i < from + 4; ++i) {
      const auto c = static_cast<char>(head[i]);
      text += (c >= 0x20 && c < 0x7F) ? c : '?';
    }
    return text + "\"";
  };
  if (head.size() >= 4 && std::memcmp(head.data(), "RF64", 4) == 0) {
    return "it is an RF64 file; only RIFF files are read";
  }
  if (head.size() >= 4 && std::memcmp(head.data(), "RIFF", 4) != 0) return "it is not a RIFF file";
  if (head.size() < 12) return "it is too short for a RIFF header";
  return "its RIFF form is " + quoted(8) + ", needs \"WAVE\"";
}

void CWaveFile::ResetForRead() {
  m_hmmio.reset();
  m_dataSize = 0;
  m_format = WAVEFORMATEX{};
}

void CWaveFile::Report(MessageId id, int systemError, std::string detail) {
  m_reporter.Report(Failure{id, systemError, std::move(detail)});
}

MMRESULT CWaveFile::FailOpen(MessageId id, MMRESULT status, std::string detail) {
  Report(id, m_hmmio->lastError(), std::move(detail));
  m_hmmio->Close();  // nothing more is reported for this close
  m_hmmio.reset();
  return status;
}

MMRESULT CWaveFile::OpenRead(const std::string& path) {
  if (m_hmmio) {
    Report(MessageId::kWaveOpenError3, 0, "a file is open already");
    return MMIOERR_CANNOTOPEN;
  }
  m_dataSize = 0;
  if (path.empty()) {
    Report(MessageId::kWaveOpenError1, 0, "the path is empty");
    return MMIOERR_FILENOTFOUND;
  }
  MMRESULT status = MMSYSERR_NOERROR;
  int systemError = 0;
  m_hmmio = RiffFile::OpenRead(m_fs, path, status, systemError);
  if (!m_hmmio) {
    m_reporter.Report(OpenFailure(MessageId::kWaveOpenError2, systemError));
    return status;
  }

  MMCKINFO riff;
  riff.fccType = kFourCCWave;
  status = m_hmmio->Descend(riff, nullptr);
  if (status != 0) {
    return FailOpen(MessageId::kWaveReadError2, status, RiffProblem(m_hmmio->head()));
  }

  MMCKINFO chunk;
  chunk.ckid = kFourCCFmt;
  status = m_hmmio->Descend(chunk, &riff);
  if (status != 0) {
    return FailOpen(MessageId::kWaveReadError3, status,
                    "there is no \"fmt \" chunk in its RIFF chunk");
  }

  // A short format chunk leaves the later fields 0; a long one is read up to
  // cbSize, and an extensible one up to its subformat.
  m_format = WAVEFORMATEX{};
  m_subFormat.reset();
  const auto wanted = static_cast<std::int32_t>(
      std::min<std::uint32_t>(chunk.cksize, static_cast<std::uint32_t>(kExtensibleFormatSize)));
  std::uint8_t stored[kExtensibleFormatSize] = {};
  const std::int32_t got = m_hmmio->Read(stored, wanted);
  if (got < std::min(wanted, kWaveFormatSize)) {
    return FailOpen(MessageId::kWaveReadError1, MMIOERR_CANNOTREAD,
                    "its \"fmt \" chunk is cut short by the end of the file");
  }
  m_format = DecodeFormat(stored);
  if (m_format.wFormatTag == WAVE_FORMAT_EXTENSIBLE && got == kExtensibleFormatSize) {
    m_subFormat.emplace();
    std::copy(stored + 24, stored + 40, m_subFormat->begin());
  }
  m_hmmio->Ascend(chunk);

  // The search goes on after "fmt ", so a "data" chunk in front of it is not found.
  chunk.ckid = kFourCCData;
  status = m_hmmio->Descend(chunk, &riff);
  if (status != 0) {
    return FailOpen(MessageId::kWaveReadError4, status,
                    "there is no \"data\" chunk after \"fmt \"");
  }

  m_dataSize = chunk.cksize;
  return MMSYSERR_NOERROR;
}

MMRESULT CWaveFile::CloseRead() {
  if (!m_hmmio) return MMSYSERR_NOERROR;
  const MMRESULT result = m_hmmio->Close();
  const int error = m_hmmio->lastError();
  m_hmmio.reset();
  if (result != 0) {
    Report(MessageId::kWaveCloseError1, error, "it could not be closed");
  }
  return result;
}

void CWaveFile::SetFormat(std::uint16_t channels, std::uint32_t samplesPerSec, std::uint16_t bits) {
  const std::uint32_t bytesPerSample = bits / 8u;
  m_format.wFormatTag = WAVE_FORMAT_PCM;
  m_format.nChannels = channels;
  m_format.nSamplesPerSec = samplesPerSec;
  m_format.nAvgBytesPerSec = bytesPerSample * channels * samplesPerSec;
  m_format.nBlockAlign = static_cast<std::uint16_t>(bytesPerSample * channels);
  m_format.wBitsPerSample = bits;
  m_format.cbSize = 0;
}

void CWaveFile::ResetForWrite() {
  m_hmmio.reset();
  m_riffChunk = MMCKINFO{};
  m_subChunk = MMCKINFO{};
}

MMRESULT CWaveFile::OpenWrite(const std::string& path) {
  if (m_hmmio) {
    Report(MessageId::kWaveOpenError3, 0, "a file is open already");
    return MMIOERR_CANNOTOPEN;
  }
  if (path.empty()) {
    Report(MessageId::kWaveOpenError1, 0, "the path is empty");
    return MMIOERR_FILENOTFOUND;
  }
  MMRESULT status = MMSYSERR_NOERROR;
  int systemError = 0;
  m_hmmio = RiffFile::Create(m_fs, path, status, systemError);
  if (!m_hmmio) {
    Report(MessageId::kWaveWriteError1, systemError, "it cannot be created");
    return status;
  }

  // The writer names a chunk it cannot create after the reader's message for a missing one.
  m_riffChunk.fccType = kFourCCWave;
  m_riffChunk.cksize = 0;
  m_riffChunk.ckid = kFourCCRiff;
  status = m_hmmio->CreateChunk(m_riffChunk);
  if (status != 0) return FailOpen(MessageId::kWaveReadError2, status, WriteProblem());

  m_subChunk.ckid = kFourCCFmt;
  m_subChunk.cksize = kWaveFormatSize;
  status = m_hmmio->CreateChunk(m_subChunk);
  if (status != 0) return FailOpen(MessageId::kWaveReadError3, status, WriteProblem());

  std::uint8_t stored[kWaveFormatSize];
  EncodeFormat(m_format, stored);
  if (m_hmmio->Write(stored, kWaveFormatSize) != kWaveFormatSize) {
    return FailOpen(MessageId::kWaveWriteError2, MMIOERR_CANNOTWRITE, WriteProblem());
  }
  m_hmmio->Ascend(m_subChunk);

  m_subChunk.ckid = kFourCCData;
  m_subChunk.cksize = 0;
  status = m_hmmio->CreateChunk(m_subChunk);
  if (status != 0) return FailOpen(MessageId::kWaveReadError4, status, WriteProblem());
  return MMSYSERR_NOERROR;
}

MMRESULT CWaveFile::CloseWrite() {
  if (!m_hmmio) return MMSYSERR_NOERROR;
  m_hmmio->Ascend(m_subChunk);
  m_hmmio->Ascend(m_riffChunk);
  const MMRESULT result = m_hmmio->Close();
  const int error = m_hmmio->lastError();
  m_hmmio.reset();
  if (result != 0) {
    Report(MessageId::kWaveCloseError1, error, "it could not be written");
  }
  return result;
}

}  // namespace loopsmith
