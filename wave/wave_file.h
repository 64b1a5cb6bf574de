#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/file_system.h"
#include "base/messages.h"
#include "wave/riff_file.h"

namespace loopsmith {

// The format record as a WAV file stores it: 18 bytes, little-endian, no gaps.
struct WAVEFORMATEX {
  std::uint16_t wFormatTag = 0;
  std::uint16_t nChannels = 0;
  std::uint32_t nSamplesPerSec = 0;
  std::uint32_t nAvgBytesPerSec = 0;
  std::uint16_t nBlockAlign = 0;
  std::uint16_t wBitsPerSample = 0;
  std::uint16_t cbSize = 0;
};
inline constexpr std::int32_t kWaveFormatSize = 18;

inline constexpr std::uint16_t WAVE_FORMAT_PCM = 1;
inline constexpr std::uint16_t WAVE_FORMAT_EXTENSIBLE = 0xFFFE;
// An extensible format chunk: the 18 bytes, valid bits, channel mask, subformat GUID.
inline constexpr std::int32_t kExtensibleFormatSize = 40;

// Walks a WAV file's chunks: for reading it finds "fmt " and "data" and stops at
// the first sample byte; for writing it lays down everything before the samples
// and fills in the chunk sizes on closing. Open and close return 0 or an MMIOERR code.
class CWaveFile {
 public:
  CWaveFile(FileSystem& fs, Reporter& reporter) : m_fs(fs), m_reporter(reporter) {}

  void ResetForRead();
  MMRESULT OpenRead(const std::string& path);
  MMRESULT CloseRead();

  void SetFormat(std::uint16_t channels, std::uint32_t samplesPerSec, std::uint16_t bits);
  void ResetForWrite();
  MMRESULT OpenWrite(const std::string& path);
  MMRESULT CloseWrite();

  std::unique_ptr<RiffFile> m_hmmio;  // null when no file is open
  std::uint32_t m_dataSize = 0;       // cksize of the "data" chunk OpenRead found
  WAVEFORMATEX m_format;
  // An extensible format chunk's subformat, when the chunk is long enough to hold one.
  std::optional<std::array<std::uint8_t, 16>> m_subFormat;
  MMCKINFO m_riffChunk;  // writing only
  MMCKINFO m_subChunk;   // writing only: "fmt ", then "data"

 private:
  // Reports `id`, closes the file and returns `status`.
  MMRESULT FailOpen(MessageId id, MMRESULT status, std::string detail);
  void Report(MessageId id, int systemError, std::string detail);
  std::string WriteProblem() const;

  FileSystem& m_fs;
  Reporter& m_reporter;
};

// What a file is instead, from the first bytes the search for its RIFF chunk saw.
std::string RiffProblem(const std::vector<std::uint8_t>& head);

// The 18 stored bytes of a format record, and back.
void EncodeFormat(const WAVEFORMATEX& format, std::uint8_t* bytes);
WAVEFORMATEX DecodeFormat(const std::uint8_t* bytes);

}  // namespace loopsmith
