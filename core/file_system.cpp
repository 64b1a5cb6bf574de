#include "core/file_system.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <random>

namespace loopsmith {
namespace {

std::string FolderOf(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string NameOf(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

int PosixFileSystem::OpenRead(const std::string& path) {
  // O_NONBLOCK keeps a FIFO from hanging the open; it is refused just below.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return -errno;
  struct stat info {};
  if (::fstat(fd, &info) != 0) {
    const int error = errno;
    ::close(fd);
    return -error;
  }
  if (!S_ISREG(info.st_mode)) {
    ::close(fd);
    return S_ISDIR(info.st_mode) ? -EISDIR : -EINVAL;
  }
  ::fcntl(fd, F_SETFL, 0);
  return fd;
}

int PosixFileSystem::CreateTemp(const std::string& target, std::string& tempPath) {
  // The temporary file lives in the target's folder so the final rename cannot cross devices.
  std::random_device seed;
  std::minstd_rand random(seed());
  const std::string stem = FolderOf(target) + "." + NameOf(target) + ".";
  for (int attempt = 0; attempt < 100; ++attempt) {
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, "%06x~", static_cast<unsigned>(random() & 0xFFFFFF));
    std::string candidate = stem + suffix;
    const int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) {
      tempPath = std::move(candidate);
      return fd;
    }
    if (errno != EEXIST) return -errno;
  }
  return -EEXIST;
}

std::int64_t PosixFileSystem::Read(int fd, void* buffer, std::size_t n) {
  auto* bytes = static_cast<unsigned char*>(buffer);
  std::size_t done = 0;
  while (done < n) {
    const ssize_t got = ::read(fd, bytes + done, n - done);
    if (got < 0) {
      if (errno == EINTR) continue;
      return -errno;
    }
    if (got == 0) break;
    done += static_cast<std::size_t>(got);
  }
  return static_cast<std::int64_t>(done);
}

std::int64_t PosixFileSystem::Write(int fd, const void* buffer, std::size_t n) {
  const auto* bytes = static_cast<const unsigned char*>(buffer);
  std::size_t done = 0;
  while (done < n) {
    const ssize_t put = ::write(fd, bytes + done, n - done);
    if (put < 0) {
      if (errno == EINTR) continue;
      return done > 0 ? static_cast<std::int64_t>(done) : -errno;
    }
    if (put == 0) break;
    done += static_cast<std::size_t>(put);
  }
  return static_cast<std::int64_t>(done);
}

std::int64_t PosixFileSystem::Seek(int fd, std::int64_t offset, int whence) {
  const off_t result = ::lseek(fd, static_cast<off_t>(offset), whence);
  return result < 0 ? -errno : static_cast<std::int64_t>(result);
}

int PosixFileSystem::Sync(int fd) { return ::fdatasync(fd) == 0 ? 0 : -errno; }

int PosixFileSystem::Close(int fd) {
  // Linux releases the descriptor even when close reports an error, so never retry.
  return ::close(fd) == 0 ? 0 : -errno;
}

bool PosixFileSystem::Exists(const std::string& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0;
}

int PosixFileSystem::Rename(const std::string& from, const std::string& to) {
  return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : -errno;
}

int PosixFileSystem::Remove(const std::string& path) {
  return ::unlink(path.c_str()) == 0 ? 0 : -errno;
}

int ReplacingFile::Create(const std::string& target) {
  Discard();
  const int fd = fs_.CreateTemp(target, temp_);
  if (fd < 0) return fd;
  fd_ = fd;
  target_ = target;
  return 0;
}

int ReplacingFile::Commit() {
  if (fd_ < 0) return -EBADF;
  // The data reaches the disk before the name does, so that a crash can never
  // leave an empty file where the user's file was. A new name risks nothing,
  // and skips the wait.
  int result = fs_.Exists(target_) ? fs_.Sync(fd_) : 0;
  const int closed = fs_.Close(fd_);
  fd_ = -1;
  if (result == 0) result = closed;
  if (result == 0) result = fs_.Rename(temp_, target_);
  if (result != 0) fs_.Remove(temp_);
  temp_.clear();
  return result;
}

void ReplacingFile::Discard() {
  if (fd_ < 0) return;
  fs_.Close(fd_);
  fd_ = -1;
  fs_.Remove(temp_);
  temp_.clear();
}

}  // namespace loopsmith
