#include "wave/riff_file.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>

#include "base/bytes.h"

namespace loopsmith {
namespace {

constexpr std::int64_t kMaxOffset = std::numeric_limits<std::uint32_t>::max();
// The buffer starts small and grows while a walk keeps needing more, so that
// a file of a million empty chunks costs a few large reads.
constexpr std::size_t kBufferSize = std::size_t{256} * 1024;
constexpr std::size_t kLargestBuffer = std::size_t{8} * 1024 * 1024;

}  // namespace

MMRESULT MmioErrorFromErrno(int error) {
  switch (error) {
    case ENOENT:
      return MMIOERR_FILENOTFOUND;
    case ENOTDIR:
      return MMIOERR_PATHNOTFOUND;
    case EACCES:
    case EPERM:
    case EROFS:
      return MMIOERR_ACCESSDENIED;
    case EMFILE:
    case ENFILE:
      return MMIOERR_TOOMANYOPENFILES;
    case EISDIR:
    case EINVAL:
      return MMIOERR_INVALIDFILE;
    case ENOMEM:
      return MMIOERR_OUTOFMEMORY;
    default:
      return MMIOERR_CANNOTOPEN;
  }
}

std::unique_ptr<RiffFile> RiffFile::OpenRead(FileSystem& fs, const std::string& path,
                                             MMRESULT& error, int& systemError) {
  FileHandle file = FileHandle::kNone;
  const int result = fs.OpenRead(path, file);
  systemError = -result;
  error = result == 0 ? MMSYSERR_NOERROR : MmioErrorFromErrno(-result);
  if (result != 0) return nullptr;
  return std::unique_ptr<RiffFile>(new RiffFile(fs, file, false));
}

std::unique_ptr<RiffFile> RiffFile::Create(FileSystem& fs, const std::string& path, MMRESULT& error,
                                           int& systemError) {
  FileHandle file = FileHandle::kNone;
  const int result = fs.CreateOutput(path, file);
  systemError = -result;
  error = result == 0         ? MMSYSERR_NOERROR
          : result == -ENOENT ? MMIOERR_PATHNOTFOUND
                              : MmioErrorFromErrno(-result);
  if (result != 0) return nullptr;
  return std::unique_ptr<RiffFile>(new RiffFile(fs, file, true));
}

RiffFile::RiffFile(FileSystem& fs, FileHandle file, bool output)
    : m_fs(fs), m_file(file), m_output(output) {}

RiffFile::~RiffFile() {
  // Close() is the normal way out; this only keeps a forgotten handle from leaking.
  if (m_file == FileHandle::kNone) return;
  if (m_output) {
    m_fs.DiscardOutput(m_file);
  } else {
    m_fs.Close(m_file);
  }
}

void RiffFile::Fail(std::int64_t result) {
  m_failed = true;
  if (result < 0) m_lastError = static_cast<int>(-result);
}

std::int64_t RiffFile::ReadBuffered(void* buffer, std::size_t n) {
  auto* out = static_cast<std::uint8_t*>(buffer);
  std::size_t done = 0;
  while (done < n) {
    const std::int64_t offset = m_position - m_bufferStart;
    if (offset >= 0 && static_cast<std::size_t>(offset) < m_buffered) {
      const std::size_t take = std::min(n - done, m_buffered - static_cast<std::size_t>(offset));
      std::memcpy(out + done, m_buffer.data() + offset, take);
      done += take;
      m_position += static_cast<std::int64_t>(take);
      continue;
    }
    if (m_position >= m_knownEnd) break;
    if (m_filePosition != m_position) {
      const std::int64_t moved = m_fs.Seek(m_file, m_position, SeekFrom::kStart);
      if (moved != m_position) {
        Fail(moved);
        return -1;
      }
      m_filePosition = m_position;
    }
    const std::size_t wanted = n - done;
    if (wanted >= kBufferSize) {  // large reads go straight to the caller
      const std::int64_t got = m_fs.Read(m_file, out + done, wanted);
      if (got < 0) {
        Fail(got);
        return -1;
      }
      done += static_cast<std::size_t>(got);
      m_position += got;
      m_filePosition = m_position;
      if (static_cast<std::size_t>(got) < wanted) m_knownEnd = m_position;
      break;
    }
    const std::size_t size = m_buffer.empty() ? kBufferSize
                             : m_buffered == m_buffer.size()
                                 ? std::min(m_buffer.size() * 2, kLargestBuffer)
                                 : m_buffer.size();
    m_buffer.resize(size);
    const std::int64_t got = m_fs.Read(m_file, m_buffer.data(), size);
    if (got < 0) {
      Fail(got);
      return -1;
    }
    m_bufferStart = m_position;
    m_buffered = static_cast<std::size_t>(got);
    m_filePosition = m_position + got;
    // A short count is the end of the file: take what there is and stop.
    if (static_cast<std::size_t>(got) < size) {
      m_knownEnd = m_filePosition;
      const std::size_t take = std::min(n - done, m_buffered);
      std::memcpy(out + done, m_buffer.data(), take);
      done += take;
      m_position += static_cast<std::int64_t>(take);
      break;
    }
  }
  return static_cast<std::int64_t>(done);
}

std::int32_t RiffFile::Read(void* buffer, std::int32_t n) {
  if (n < 0 || m_failed || m_output) return -1;
  const std::int64_t got = ReadBuffered(buffer, static_cast<std::size_t>(n));
  return static_cast<std::int32_t>(got);
}

bool RiffFile::Skip(std::int64_t n) {
  if (n < 0 || m_failed || m_output || m_position + n > kMaxOffset) return false;
  return SeekTo(m_position + n);
}

std::int32_t RiffFile::Write(const void* buffer, std::int32_t n) {
  if (n < 0 || !m_output) return -1;
  const std::int64_t put = m_fs.Write(m_file, buffer, static_cast<std::size_t>(n));
  if (put != n) Fail(put);
  if (put < 0) return -1;
  m_position += put;
  return static_cast<std::int32_t>(put);
}

bool RiffFile::ReadExact(void* buffer, std::size_t n) {
  return ReadBuffered(buffer, n) == static_cast<std::int64_t>(n);
}

bool RiffFile::SeekTo(std::int64_t offset) {
  if (!m_output) {  // reading seeks lazily, at the next fill of the buffer
    m_position = offset;
    return true;
  }
  const std::int64_t moved = m_fs.Seek(m_file, offset, SeekFrom::kStart);
  if (moved != offset) {
    Fail(moved);
    return false;
  }
  m_position = offset;
  return true;
}

bool RiffFile::WriteAt(std::int64_t offset, const void* buffer, std::size_t n) {
  if (!SeekTo(offset)) return false;
  const std::int64_t put = m_fs.Write(m_file, buffer, n);
  if (put > 0) m_position += put;
  if (put < 0) m_lastError = static_cast<int>(-put);
  return put == static_cast<std::int64_t>(n);
}

MMRESULT RiffFile::Descend(MMCKINFO& ck, const MMCKINFO* parent) {
  // Positions are 64-bit so that no size in a hostile file can wrap them;
  // the search ends at the parent's end, or at the end of the file.
  if (m_failed) return MMIOERR_CANNOTREAD;  // a lost position would find the wrong chunk
  const std::int64_t limit =
      parent ? std::int64_t{parent->dwDataOffset} + parent->cksize : kMaxOffset;
  WalkBytes bytes(*this);
  ChunkWalker walker(bytes, false, m_position);
  for (;;) {
    const std::int64_t start = walker.position();
    if (start + 8 > limit) return MMIOERR_CHUNKNOTFOUND;
    const std::optional<ChunkHeader> chunk = walker.Next();
    std::uint8_t header[12] = {};
    if (walker.headerBytes() > 0) {
      std::memcpy(header, walker.raw(), static_cast<std::size_t>(walker.headerBytes()));
    }
    const bool whole = chunk.has_value();
    const FOURCC id = LoadLE32(header);
    const bool isRiff = whole && id == kFourCCRiff;
    const bool hasForm = isRiff && ReadExact(header + 8, 4);
    if (start == 0) {  // kept to say what the file is when it is not a WAV file
      m_head.assign(header, header + (m_position - start));
    }
    if (!whole || (isRiff && !hasForm)) return MMIOERR_CHUNKNOTFOUND;
    const std::uint32_t size = chunk->size;
    const FOURCC form = hasForm ? LoadLE32(header + 8) : 0;
    const std::int64_t dataOffset = chunk->body();
    if (dataOffset > kMaxOffset) return MMIOERR_CHUNKNOTFOUND;

    const bool match = parent == nullptr ? isRiff && form == ck.fccType : id == ck.ckid;
    if (match) {
      ck.ckid = id;
      ck.cksize = size;
      ck.fccType = form;
      ck.dwDataOffset = static_cast<std::uint32_t>(dataOffset);
      ck.dirty = false;
      return MMSYSERR_NOERROR;
    }
    // Skip the chunk and its pad byte; every step moves on by at least 8 bytes.
    std::int64_t next = chunk->next();
    if (id == 0 && size == 0 && (parent == nullptr || ck.ckid != 0)) next = SkipEmptyChunks(next);
    if (next > kMaxOffset) return MMIOERR_CHUNKNOTFOUND;
    if (!SeekTo(next)) return MMIOERR_CANNOTSEEK;
    walker.MoveTo(next);
  }
}

std::int64_t RiffFile::SkipEmptyChunks(std::int64_t from) {
  // A run of zero bytes is a run of empty chunks of id 0, which no search
  // here looks for: step over all of them that the buffer holds at once, 8
  // bytes at a time as the walk would.
  const std::int64_t offset = from - m_bufferStart;
  if (offset < 0 || static_cast<std::size_t>(offset) >= m_buffered) return from;
  const auto begin = m_buffer.begin() + static_cast<std::ptrdiff_t>(offset);
  const auto end = m_buffer.begin() + static_cast<std::ptrdiff_t>(m_buffered);
  const auto firstSet = std::find_if(begin, end, [](std::uint8_t b) { return b != 0; });
  std::int64_t zeros = firstSet - begin;
  if (firstSet == end && from + zeros < m_knownEnd) {
    // Zeros up to the end of the buffer may go on as a hole of a sparse file,
    // which reads as zeros too: the file system says where data starts again.
    const std::int64_t data = m_fs.NextData(m_file, from + zeros);
    m_filePosition = -1;  // it may have moved the file's offset
    if (data > from + zeros) zeros = data - from;
  }
  return from + zeros / 8 * 8;
}

MMRESULT RiffFile::Ascend(MMCKINFO& ck) {
  if (ck.dirty) {
    const std::int64_t written = m_position - ck.dwDataOffset;
    if (written < 0 || written > kMaxOffset) {
      m_failed = m_unreported = true;
      return MMIOERR_CANNOTWRITE;
    }
    const auto actual = static_cast<std::uint32_t>(written);
    const std::int64_t end = m_position;
    bool ok = true;
    if (actual != ck.cksize) {
      std::uint8_t size[4];
      StoreLE32(actual, size);
      ok = WriteAt(std::int64_t{ck.dwDataOffset} - 4, size, 4);
      ck.cksize = actual;
    }
    if (ok && (actual & 1)) {
      const std::uint8_t pad = 0;
      ok = WriteAt(end, &pad, 1);
    }
    ck.dirty = false;
    if (!ok) {
      m_failed = m_unreported = true;
      return MMIOERR_CANNOTWRITE;
    }
  }
  const std::int64_t next = std::int64_t{ck.dwDataOffset} + PaddedSize(ck.cksize);
  if (!SeekTo(next)) {
    m_unreported = m_output;
    return MMIOERR_CANNOTSEEK;
  }
  return MMSYSERR_NOERROR;
}

MMRESULT RiffFile::CreateChunk(MMCKINFO& ck) {
  if (!m_output) return MMIOERR_CANNOTWRITE;
  const bool hasForm = ck.ckid == kFourCCRiff;
  std::uint8_t header[12];
  StoreLE32(ck.ckid, header);
  StoreLE32(ck.cksize, header + 4);
  StoreLE32(ck.fccType, header + 8);
  const std::size_t length = hasForm ? 12 : 8;
  const std::int64_t start = m_position;
  if (start + 8 > kMaxOffset) return MMIOERR_CANNOTWRITE;
  const std::int64_t put = m_fs.Write(m_file, header, length);
  if (put > 0) m_position += put;
  if (put != static_cast<std::int64_t>(length)) {
    Fail(put);
    return MMIOERR_CANNOTWRITE;
  }
  ck.dwDataOffset = static_cast<std::uint32_t>(start + 8);
  ck.dirty = true;
  return MMSYSERR_NOERROR;
}

MMRESULT RiffFile::Close() {
  const FileHandle file = m_file;
  m_file = FileHandle::kNone;
  if (!m_output) {
    const int result = m_fs.Close(file);
    if (result != 0) m_lastError = -result;
    return result == 0 ? MMSYSERR_NOERROR : MMIOERR_CANNOTCLOSE;
  }
  if (m_failed) {
    m_fs.DiscardOutput(file);
    return m_unreported ? MMIOERR_CANNOTWRITE : MMSYSERR_NOERROR;
  }
  const int result = m_fs.CommitOutput(file);
  if (result != 0) m_lastError = -result;
  return result == 0 ? MMSYSERR_NOERROR : MMIOERR_CANNOTCLOSE;
}

}  // namespace loopsmith
