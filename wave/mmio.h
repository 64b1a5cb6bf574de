#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "core/file_system.h"

namespace loopsmith {

// A small RIFF chunk layer with the calls, flags and error numbers of the
// multimedia file I/O that the WAV reader and writer were designed around.
// Unbuffered: every read and write goes straight to the file seam.
using FOURCC = std::uint32_t;
using MMRESULT = std::uint16_t;

constexpr FOURCC MakeFourCC(char a, char b, char c, char d) {
  return static_cast<FOURCC>(static_cast<std::uint8_t>(a)) |
         static_cast<FOURCC>(static_cast<std::uint8_t>(b)) << 8 |
         static_cast<FOURCC>(static_cast<std::uint8_t>(c)) << 16 |
         static_cast<FOURCC>(static_cast<std::uint8_t>(d)) << 24;
}

inline constexpr FOURCC kFourCCRiff = MakeFourCC('R', 'I', 'F', 'F');
inline constexpr FOURCC kFourCCList = MakeFourCC('L', 'I', 'S', 'T');
inline constexpr FOURCC kFourCCWave = MakeFourCC('W', 'A', 'V', 'E');
inline constexpr FOURCC kFourCCFmt = MakeFourCC('f', 'm', 't', ' ');
inline constexpr FOURCC kFourCCData = MakeFourCC('d', 'a', 't', 'a');

inline constexpr MMRESULT MMSYSERR_NOERROR = 0;
inline constexpr MMRESULT MMIOERR_FILENOTFOUND = 257;
inline constexpr MMRESULT MMIOERR_OUTOFMEMORY = 258;
inline constexpr MMRESULT MMIOERR_CANNOTOPEN = 259;
inline constexpr MMRESULT MMIOERR_CANNOTCLOSE = 260;
inline constexpr MMRESULT MMIOERR_CANNOTREAD = 261;
inline constexpr MMRESULT MMIOERR_CANNOTWRITE = 262;
inline constexpr MMRESULT MMIOERR_CANNOTSEEK = 263;
inline constexpr MMRESULT MMIOERR_CHUNKNOTFOUND = 265;
inline constexpr MMRESULT MMIOERR_PATHNOTFOUND = 267;
inline constexpr MMRESULT MMIOERR_ACCESSDENIED = 268;
inline constexpr MMRESULT MMIOERR_TOOMANYOPENFILES = 271;
inline constexpr MMRESULT MMIOERR_INVALIDFILE = 272;

inline constexpr std::uint32_t MMIO_READ = 0x0000;
inline constexpr std::uint32_t MMIO_WRITE = 0x0001;
inline constexpr std::uint32_t MMIO_CREATE = 0x1000;
inline constexpr std::uint32_t MMIO_FINDCHUNK = 0x0010;
inline constexpr std::uint32_t MMIO_FINDRIFF = 0x0020;
inline constexpr std::uint32_t MMIO_CREATERIFF = 0x0020;
inline constexpr std::uint32_t MMIO_DIRTY = 0x10000000;

struct MMCKINFO {
  FOURCC ckid = 0;
  std::uint32_t cksize = 0;
  FOURCC fccType = 0;
  std::uint32_t dwDataOffset = 0;
  std::uint32_t dwFlags = 0;
};

// The status an errno from the file seam maps to.
MMRESULT MmioErrorFromErrno(int error);

class MmioFile {
 public:
  // MMIO_READ opens an existing file; MMIO_CREATE | MMIO_WRITE creates the file,
  // replacing one of that name only when Close succeeds. On failure returns null
  // with the status in `error`.
  static std::unique_ptr<MmioFile> Open(FileSystem& fs, const std::string& path,
                                        std::uint32_t flags, MMRESULT& error);
  ~MmioFile();
  MmioFile(const MmioFile&) = delete;
  MmioFile& operator=(const MmioFile&) = delete;

  // Byte counts, fewer at the end of the file, -1 on error.
  std::int32_t Read(void* buffer, std::int32_t n);
  std::int32_t Write(const void* buffer, std::int32_t n);
  // New position, or -1.
  std::int32_t Seek(std::int32_t offset, int origin);

  // MMIO_FINDRIFF: a RIFF chunk of ck.fccType; MMIO_FINDCHUNK: the first chunk
  // ck.ckid from the current position within `parent`. Leaves the position at
  // the chunk's data (after the form type of a RIFF chunk).
  MMRESULT Descend(MMCKINFO& ck, const MMCKINFO* parent, std::uint32_t flags);
  // Moves past the chunk and its pad byte; a created chunk first gets its size and pad written.
  MMRESULT Ascend(MMCKINFO& ck);
  MMRESULT CreateChunk(MMCKINFO& ck, std::uint32_t flags);
  MMRESULT Flush();
  // A written file takes its target's place here, and only if every write went
  // through; otherwise it is removed. The status tells of failures that the
  // caller had no result to see (in Ascend, Seek, Flush, or the close itself).
  MMRESULT Close();

  std::int64_t Size();

 private:
  MmioFile(FileSystem& fs, int fd) : fs_(fs), fd_(fd) {}
  explicit MmioFile(std::unique_ptr<ReplacingFile> output);
  bool ReadExact(void* buffer, std::size_t n);
  bool WriteAt(std::int64_t offset, const void* buffer, std::size_t n);

  FileSystem& fs_;
  int fd_ = -1;
  std::unique_ptr<ReplacingFile> output_;
  std::int64_t position_ = 0;
  // Some transfer went wrong: a written file must not replace its target, and a
  // read one is not trusted for anything further.
  bool failed_ = false;
  bool unreported_ = false;  // ... and the caller has had no result to see it in
};

}  // namespace loopsmith
