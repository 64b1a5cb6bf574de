#include "wave/wave_file.h"

#include <algorithm>
#include <cstdio>

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
  auto get16 = [&](int at) { return static_cast<std::uint16_t>(bytes[at] | bytes[at + 1] << 8); };
  auto get32 = [&](int at) {
    return static_cast<std::uint32_t>(get16(at)) | static_cast<std::uint32_t>(get16(at + 2)) << 16;
  };
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

void CWaveFile::ResetForRead() {
  m_hmmio.reset();
  m_dataSize = 0;
  m_format = WAVEFORMATEX{};
}

MMRESULT CWaveFile::FailOpen(MessageId id, MMRESULT status) {
  m_reporter.Report(id);
  m_hmmio->Close();  // nothing more is reported for this close
  m_hmmio.reset();
  return status;
}

MMRESULT CWaveFile::OpenRead(const std::string& path) {
  if (m_hmmio) {
    m_reporter.Report(MessageId::kWaveOpenError3);
    return MMIOERR_CANNOTOPEN;
  }
  m_dataSize = 0;
  if (path.empty()) {
    m_reporter.Report(MessageId::kWaveOpenError1);
    return MMIOERR_FILENOTFOUND;
  }
  MMRESULT status = MMSYSERR_NOERROR;
  m_hmmio = MmioFile::Open(m_fs, path, MMIO_READ, status);
  if (!m_hmmio) {
    m_reporter.Report(MessageId::kWaveOpenError2);
    return status;
  }

  MMCKINFO riff;
  riff.fccType = kFourCCWave;
  status = m_hmmio->Descend(riff, nullptr, MMIO_FINDRIFF);
  if (status != 0) return FailOpen(MessageId::kWaveReadError2, status);

  MMCKINFO chunk;
  chunk.ckid = kFourCCFmt;
  status = m_hmmio->Descend(chunk, &riff, MMIO_FINDCHUNK);
  if (status != 0) return FailOpen(MessageId::kWaveReadError3, status);

  // A short format chunk leaves the later fields 0; a long one is read up to cbSize.
  m_format = WAVEFORMATEX{};
  const auto wanted = static_cast<std::int32_t>(std::min<std::uint32_t>(chunk.cksize, 18));
  std::uint8_t stored[kWaveFormatSize] = {};
  if (m_hmmio->Read(stored, wanted) != wanted) {
    return FailOpen(MessageId::kWaveReadError1, MMIOERR_CANNOTREAD);
  }
  m_format = DecodeFormat(stored);
  m_hmmio->Ascend(chunk);

  // The search goes on after "fmt ", so a "data" chunk in front of it is not found.
  chunk.ckid = kFourCCData;
  status = m_hmmio->Descend(chunk, &riff, MMIO_FINDCHUNK);
  if (status != 0) return FailOpen(MessageId::kWaveReadError4, status);

  m_dataSize = chunk.cksize;
  return MMSYSERR_NOERROR;
}

MMRESULT CWaveFile::CloseRead() {
  if (!m_hmmio) return MMSYSERR_NOERROR;
  const MMRESULT result = m_hmmio->Close();
  m_hmmio.reset();
  if (result != 0) m_reporter.Report(MessageId::kWaveCloseError1);
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
    m_reporter.Report(MessageId::kWaveOpenError3);
    return MMIOERR_CANNOTOPEN;
  }
  if (path.empty()) {
    m_reporter.Report(MessageId::kWaveOpenError1);
    return MMIOERR_FILENOTFOUND;
  }
  MMRESULT status = MMSYSERR_NOERROR;
  m_hmmio = MmioFile::Open(m_fs, path, MMIO_CREATE | MMIO_WRITE, status);
  if (!m_hmmio) {
    m_reporter.Report(MessageId::kWaveWriteError1);
    return status;
  }
  m_hmmio->Seek(0, SEEK_SET);

  // The writer names a chunk it cannot create after the reader's message for a missing one.
  m_riffChunk.fccType = kFourCCWave;
  m_riffChunk.cksize = 0;
  status = m_hmmio->CreateChunk(m_riffChunk, MMIO_CREATERIFF);
  if (status != 0) return FailOpen(MessageId::kWaveReadError2, status);

  m_subChunk.ckid = kFourCCFmt;
  m_subChunk.cksize = kWaveFormatSize;
  status = m_hmmio->CreateChunk(m_subChunk, 0);
  if (status != 0) return FailOpen(MessageId::kWaveReadError3, status);

  std::uint8_t stored[kWaveFormatSize];
  EncodeFormat(m_format, stored);
  if (m_hmmio->Write(stored, kWaveFormatSize) != kWaveFormatSize) {
    return FailOpen(MessageId::kWaveWriteError2, MMIOERR_CANNOTWRITE);
  }
  m_hmmio->Ascend(m_subChunk);

  m_subChunk.ckid = kFourCCData;
  m_subChunk.cksize = 0;
  status = m_hmmio->CreateChunk(m_subChunk, 0);
  if (status != 0) return FailOpen(MessageId::kWaveReadError4, status);
  return MMSYSERR_NOERROR;
}

MMRESULT CWaveFile::CloseWrite() {
  if (!m_hmmio) return MMSYSERR_NOERROR;
  m_hmmio->Ascend(m_subChunk);
  m_hmmio->Ascend(m_riffChunk);
  m_hmmio->Flush();
  const MMRESULT result = m_hmmio->Close();
  m_hmmio.reset();
  if (result != 0) m_reporter.Report(MessageId::kWaveCloseError1);
  return result;
}

}  // namespace loopsmith
