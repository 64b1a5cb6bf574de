#include "base/posix_file_system.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <random>

namespace loopsmith {
namespace {

int Fd(FileHandle file) { return static_cast<int>(file); }
FileHandle Handle(int fd) { return static_cast<FileHandle>(fd); }

std::string FolderOf(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string NameOf(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool Exists(const std::string& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0;
}

}  // namespace

PosixFileSystem::~PosixFileSystem() {
  while (!m_outputs.empty()) DiscardOutput(Handle(m_outputs.begin()->first));
}

int PosixFileSystem::OpenRead(const std::string& path, FileHandle& handle) {
  handle = FileHandle::kNone;
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
  handle = Handle(fd);
  return 0;
}

int PosixFileSystem::CreateOutput(const std::string& target, FileHandle& handle) {
  handle = FileHandle::kNone;
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
      m_outputs[fd] = Output{target, std::move(candidate)};
      handle = Handle(fd);
      return 0;
    }
    if (errno != EEXIST) return -errno;
  }
  return -EEXIST;
}

std::int64_t PosixFileSystem::Read(FileHandle file, void* buffer, std::size_t n) {
  auto* bytes = static_cast<unsigned char*>(buffer);
  std::size_t done = 0;
  while (done < n) {
    const ssize_t got = ::read(Fd(file), bytes + done, n - done);
    if (got < 0) {
      if (errno == EINTR) continue;
      return -errno;
    }
    if (got == 0) break;
    done += static_cast<std::size_t>(got);
  }
  return static_cast<std::int64_t>(done);
}

std::int64_t PosixFileSystem::Write(FileHandle file, const void* buffer, std::size_t n) {
  const auto* bytes = static_cast<const unsigned char*>(buffer);
  std::size_t done = 0;
  while (done < n) {
    const ssize_t put = ::write(Fd(file), bytes + done, n - done);
    if (put < 0) {
      if (errno == EINTR) continue;
      return done > 0 ? static_cast<std::int64_t>(done) : -errno;
    }
    if (put == 0) break;
    done += static_cast<std::size_t>(put);
  }
  return static_cast<std::int64_t>(done);
}

std::int64_t PosixFileSystem::Seek(FileHandle file, std::int64_t offset, SeekFrom from) {
  const off_t result =
      ::lseek(Fd(file), static_cast<off_t>(offset), from == SeekFrom::kEnd ? SEEK_END : SEEK_SET);
  return result < 0 ? -errno : static_cast<std::int64_t>(result);
}

int PosixFileSystem::Close(FileHandle file) {
  // Linux releases the descriptor even when close reports an error, so never retry.
  return ::close(Fd(file)) == 0 ? 0 : -errno;
}

int PosixFileSystem::CommitOutput(FileHandle file) {
  const auto found = m_outputs.find(Fd(file));
  if (found == m_outputs.end()) return -EBADF;
  const Output output = found->second;
  m_outputs.erase(found);
  // The data reaches the disk before the name does, so that a crash can never
  // leave an empty file where the user's file was. A new name risks nothing,
  // and skips the wait.
  int result = Exists(output.target) && ::fdatasync(Fd(file)) != 0 ? -errno : 0;
  const int closed = ::close(Fd(file)) == 0 ? 0 : -errno;
  if (result == 0) result = closed;
  if (result == 0 && ::rename(output.temp.c_str(), output.target.c_str()) != 0) result = -errno;
  if (result != 0) ::unlink(output.temp.c_str());
  return result;
}

void PosixFileSystem::DiscardOutput(FileHandle file) {
  const auto found = m_outputs.find(Fd(file));
  if (found == m_outputs.end()) return;
  ::close(found->first);
  ::unlink(found->second.temp.c_str());
  m_outputs.erase(found);
}

}  // namespace loopsmith
