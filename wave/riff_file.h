#pragma once

#include <array>
#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "base/file_system.h"
#include "wave/chunk_walker.h"

namespace loopsmith {

// A small RIFF chunk layer with the calls, chunk records and error numbers of
// the multimedia file I/O that the WAV reader and writer were designed around,
// and just the parts of it they use.
using FOURCC = std::uint32_t;
using MMRESULT = std::uint16_t;

constexpr FOURCC MakeFourCC(char a, char b, char c, char d) {
  return static_cast<FOURCC>(static_cast<std::uint8_t>(a)) |
         static_cast<FOURCC>(static_cast<std::uint8_t>(b)) << 8 |
         static_cast<FOURCC>(static_cast<std::uint8_t>(c)) << 16 |
         static_cast<FOURCC>(static_cast<std::uint8_t>(d)) << 24;
}

inline constexpr FOURCC kFourCCRiff = MakeFourCC('R', 'I', 'F', 'F');
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

struct MMCKINFO {
  FOURCC ckid = 0;
  std::uint32_t cksize = 0;
  FOURCC fccType = 0;
  std::uint32_t dwDataOffset = 0;
  bool dirty = false;  // created here: its size is written on ascending
};

// The status an errno from the file seam maps to.
MMRESULT MmioErrorFromErrno(int error);

class RiffFile {
 public:
  // Opens an existing file for reading, or creates an output for writing. On
  // failure returns null with the status in `error` and the errno in `systemError`.
  static std::unique_ptr<RiffFile> OpenRead(FileSystem& fs, const std::string& path,
                                            MMRESULT& error, int& systemError);
  static std::unique_ptr<RiffFile> Create(FileSystem& fs, const std::string& path, MMRESULT& error,
                                          int& systemError);
  ~RiffFile();
  RiffFile(const RiffFile&) = delete;
  RiffFile& operator=(const RiffFile&) = delete;

  // Byte counts, fewer at the end of the file, -1 on error.
  std::int32_t Read(void* buffer, std::int32_t n);
  // Moves a read on by `n` bytes without reading them (a loop taken from later in the file).
  bool Skip(std::int64_t n);
  std::int32_t Write(const void* buffer, std::int32_t n);

  // With `parent` null: the first RIFF chunk of form ck.fccType; otherwise the
  // first chunk ck.ckid from the current position within `parent`. Leaves the
  // position at the chunk's data (after the form type of a RIFF chunk).
  MMRESULT Descend(MMCKINFO& ck, const MMCKINFO* parent);
  // Moves past the chunk and its pad byte; a created chunk first gets its size and pad written.
  MMRESULT Ascend(MMCKINFO& ck);
  // Writes a chunk header at the current position; a RIFF chunk takes its form type too.
  MMRESULT CreateChunk(MMCKINFO& ck);
  // A written file takes its target's place here, and only if every write went
  // through; otherwise it is discarded. The status tells of failures that the
  // caller had no result to see (in Ascend, or the close itself).
  MMRESULT Close();

  // 0, or -kErrorChanged when another program changed the file since it was opened.
  int CheckUnchanged() { return m_fs.CheckUnchanged(m_file); }
  // The errno of the last failed call, 0 if none failed.
  int lastError() const { return m_lastError; }
  // The file's first bytes as the search for the RIFF chunk found them (up to 12).
  const std::vector<std::uint8_t>& head() const { return m_head; }

 private:
  // The chunk walk's reads, through the buffer.
  class WalkBytes final : public ChunkBytes {
   public:
    explicit WalkBytes(RiffFile& file) : m_file(file) {}
    std::int64_t ReadAt(std::int64_t offset, void* out, std::size_t n) override {
      m_file.m_position = offset;
      return m_file.ReadBuffered(out, n);
    }

   private:
    RiffFile& m_file;
  };

  RiffFile(FileSystem& fs, FileHandle file, bool output);
  bool ReadExact(void* buffer, std::size_t n);
  std::int64_t ReadBuffered(void* buffer, std::size_t n);
  bool SeekTo(std::int64_t offset);
  std::int64_t SkipEmptyChunks(std::int64_t from);
  bool WriteAt(std::int64_t offset, const void* buffer, std::size_t n);
  void Fail(std::int64_t result);

  FileSystem& m_fs;
  FileHandle m_file;
  bool m_output;
  std::int64_t m_position = 0;
  // Reading goes through this buffer, so a walk over many small chunks costs
  // one system call per buffer, not one per chunk. It holds the bytes from
  // m_bufferStart up to m_bufferStart + m_buffered.
  std::vector<std::uint8_t> m_buffer;
  std::int64_t m_bufferStart = 0;
  std::size_t m_buffered = 0;
  std::int64_t m_filePosition = 0;  // where the file's own offset is
  // A short read is the end of the file; nothing past it is read again.
  std::int64_t m_knownEnd = std::numeric_limits<std::int64_t>::max();
  std::vector<std::uint8_t> m_head;
  int m_lastError = 0;
  // Some transfer went wrong: a written file must not replace its target, and a
  // read one is not trusted for anything further.
  bool m_failed = false;
  bool m_unreported = false;  // ... and the caller has had no result to see it in
};

}  // namespace loopsmith
