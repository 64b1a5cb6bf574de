#include "wave/mmio.h"

#include <cerrno>
#include <cstdio>
#include <limits>

namespace loopsmith {
namespace {

std::uint32_t LoadLE32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

void StoreLE32(std::uint32_t v, std::uint8_t* p) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

constexpr std::int64_t kMaxOffset = std::numeric_limits<std::uint32_t>::max();

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

std::unique_ptr<MmioFile> MmioFile::Open(FileSystem& fs, const std::string& path,
                                         std::uint32_t flags, MMRESULT& error) {
  error = MMSYSERR_NOERROR;
  if (flags & MMIO_CREATE) {
    auto output = std::make_unique<ReplacingFile>(fs);
    const int result = output->Create(path);
    if (result != 0) {
      error = result == -ENOENT ? MMIOERR_PATHNOTFOUND : MmioErrorFromErrno(-result);
      return nullptr;
    }
    return std::unique_ptr<MmioFile>(new MmioFile(std::move(output)));
  }
  const int fd = fs.OpenRead(path);
  if (fd < 0) {
    error = MmioErrorFromErrno(-fd);
    return nullptr;
  }
  return std::unique_ptr<MmioFile>(new MmioFile(fs, fd));
}

MmioFile::MmioFile(std::unique_ptr<ReplacingFile> output)
    : fs_(output->fs()), fd_(output->fd()), output_(std::move(output)) {}

MmioFile::~MmioFile() {
  // Close() is the normal way out; this only keeps a forgotten handle from leaking.
  if (fd_ >= 0 && !output_) fs_.Close(fd_);
}

std::int32_t MmioFile::Read(void* buffer, std::int32_t n) {
  if (n < 0 || failed_) return -1;
  const std::int64_t got = fs_.Read(fd_, buffer, static_cast<std::size_t>(n));
  if (got < 0) return -1;
  position_ += got;
  return static_cast<std::int32_t>(got);
}

std::int32_t MmioFile::Write(const void* buffer, std::int32_t n) {
  if (n < 0 || !output_) return -1;
  const std::int64_t put = fs_.Write(fd_, buffer, static_cast<std::size_t>(n));
  if (put != n) failed_ = true;
  if (put < 0) return -1;
  position_ += put;
  return static_cast<std::int32_t>(put);
}

std::int32_t MmioFile::Seek(std::int32_t offset, int origin) {
  std::int64_t target = offset;
  if (origin == SEEK_CUR) target += position_;
  const std::int64_t result =
      origin == SEEK_END ? fs_.Seek(fd_, offset, SEEK_END) : fs_.Seek(fd_, target, SEEK_SET);
  if (result < 0 || result > kMaxOffset) {
    failed_ = unreported_ = true;
    return -1;
  }
  position_ = result;
  return static_cast<std::int32_t>(result);
}

std::int64_t MmioFile::Size() {
  const std::int64_t end = fs_.Seek(fd_, 0, SEEK_END);
  fs_.Seek(fd_, position_, SEEK_SET);
  return end;
}

bool MmioFile::ReadExact(void* buffer, std::size_t n) {
  const std::int64_t got = fs_.Read(fd_, buffer, n);
  if (got > 0) position_ += got;
  return got == static_cast<std::int64_t>(n);
}

bool MmioFile::WriteAt(std::int64_t offset, const void* buffer, std::size_t n) {
  if (fs_.Seek(fd_, offset, SEEK_SET) != offset) return false;
  position_ = offset;
  const std::int64_t put = fs_.Write(fd_, buffer, n);
  if (put > 0) position_ += put;
  return put == static_cast<std::int64_t>(n);
}

MMRESULT MmioFile::Descend(MMCKINFO& ck, const MMCKINFO* parent, std::uint32_t flags) {
  // Positions are 64-bit so that no size in a hostile file can wrap them;
  // the search ends at the parent's end, or at the end of the file.
  if (failed_) return MMIOERR_CANNOTREAD;  // a lost position would find the wrong chunk
  const std::int64_t limit =
      parent ? std::int64_t{parent->dwDataOffset} + parent->cksize : kMaxOffset;
  for (;;) {
    const std::int64_t start = position_;
    if (start + 8 > limit) return MMIOERR_CHUNKNOTFOUND;
    std::uint8_t header[12];
    if (!ReadExact(header, 8)) return MMIOERR_CHUNKNOTFOUND;
    const FOURCC id = LoadLE32(header);
    const std::uint32_t size = LoadLE32(header + 4);
    const bool hasForm = id == kFourCCRiff || id == kFourCCList;
    if (hasForm && !ReadExact(header + 8, 4)) return MMIOERR_CHUNKNOTFOUND;
    const FOURCC form = hasForm ? LoadLE32(header + 8) : 0;
    const std::int64_t dataOffset = start + 8;
    if (dataOffset > kMaxOffset) return MMIOERR_CHUNKNOTFOUND;

    const bool match = (flags & MMIO_FINDRIFF)    ? id == kFourCCRiff && form == ck.fccType
                       : (flags & MMIO_FINDCHUNK) ? id == ck.ckid
                                                  : true;
    if (match) {
      ck.ckid = id;
      ck.cksize = size;
      ck.fccType = form;
      ck.dwDataOffset = static_cast<std::uint32_t>(dataOffset);
      ck.dwFlags = 0;
      return MMSYSERR_NOERROR;
    }
    // Skip the chunk and its pad byte; every step moves on by at least 8 bytes.
    const std::int64_t next = dataOffset + size + (size & 1);
    if (next > kMaxOffset) return MMIOERR_CHUNKNOTFOUND;
    if (fs_.Seek(fd_, next, SEEK_SET) != next) {
      failed_ = true;
      return MMIOERR_CANNOTSEEK;
    }
    position_ = next;
  }
}

MMRESULT MmioFile::Ascend(MMCKINFO& ck) {
  if (ck.dwFlags & MMIO_DIRTY) {
    const std::int64_t written = position_ - ck.dwDataOffset;
    if (written < 0 || written > kMaxOffset) {
      failed_ = unreported_ = true;
      return MMIOERR_CANNOTWRITE;
    }
    const auto actual = static_cast<std::uint32_t>(written);
    const std::int64_t end = position_;
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
    ck.dwFlags &= ~MMIO_DIRTY;
    if (!ok) {
      failed_ = unreported_ = true;
      return MMIOERR_CANNOTWRITE;
    }
  }
  const std::int64_t next = std::int64_t{ck.dwDataOffset} + ck.cksize + (ck.cksize & 1);
  if (fs_.Seek(fd_, next, SEEK_SET) != next) {
    failed_ = unreported_ = true;
    return MMIOERR_CANNOTSEEK;
  }
  position_ = next;
  return MMSYSERR_NOERROR;
}

MMRESULT MmioFile::CreateChunk(MMCKINFO& ck, std::uint32_t flags) {
  if (!output_) return MMIOERR_CANNOTWRITE;
  if (flags & MMIO_CREATERIFF) ck.ckid = kFourCCRiff;
  const bool hasForm = ck.ckid == kFourCCRiff || ck.ckid == kFourCCList;
  std::uint8_t header[12];
  StoreLE32(ck.ckid, header);
  StoreLE32(ck.cksize, header + 4);
  StoreLE32(ck.fccType, header + 8);
  const std::size_t length = hasForm ? 12 : 8;
  const std::int64_t start = position_;
  if (start + 8 > kMaxOffset) return MMIOERR_CANNOTWRITE;
  const std::int64_t put = fs_.Write(fd_, header, length);
  if (put > 0) position_ += put;
  if (put != static_cast<std::int64_t>(length)) {
    failed_ = true;
    return MMIOERR_CANNOTWRITE;
  }
  ck.dwDataOffset = static_cast<std::uint32_t>(start + 8);
  ck.dwFlags = MMIO_DIRTY;
  return MMSYSERR_NOERROR;
}

MMRESULT MmioFile::Flush() { return MMSYSERR_NOERROR; }  // nothing is buffered

MMRESULT MmioFile::Close() {
  if (!output_) {
    const int result = fs_.Close(fd_);
    fd_ = -1;
    return result == 0 ? MMSYSERR_NOERROR : MMIOERR_CANNOTCLOSE;
  }
  fd_ = -1;
  if (failed_) {
    output_->Discard();
    return unreported_ ? MMIOERR_CANNOTWRITE : MMSYSERR_NOERROR;
  }
  return output_->Commit() == 0 ? MMSYSERR_NOERROR : MMIOERR_CANNOTCLOSE;
}

}  // namespace loopsmith
