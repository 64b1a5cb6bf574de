#include "faulty_file_system.h"

#include <unistd.h>

namespace loopsmith::testing {

void FaultyFileSystem::FailOn(Op op, int nth, int error, std::size_t shortBy) {
  failOp_ = op;
  failAt_ = nth;
  error_ = error;
  shortBy_ = shortBy;
}

bool FaultyFileSystem::Fails(Op op) { return ++calls_[op] == failAt_ && op == failOp_; }

int FaultyFileSystem::OpenRead(const std::string& path) {
  if (Fails(kOpenRead)) return -error_;
  const int fd = real_.OpenRead(path);
  if (fd >= 0) ++open_;
  return fd;
}

int FaultyFileSystem::CreateTemp(const std::string& target, std::string& tempPath) {
  if (Fails(kCreateTemp)) return -error_;
  const int fd = real_.CreateTemp(target, tempPath);
  if (fd >= 0) ++open_;
  return fd;
}

std::int64_t FaultyFileSystem::Read(int fd, void* buffer, std::size_t n) {
  if (Fails(kRead)) {
    if (shortBy_ == 0) return -error_;
    return real_.Read(fd, buffer, n > shortBy_ ? n - shortBy_ : 0);
  }
  return real_.Read(fd, buffer, n);
}

std::int64_t FaultyFileSystem::Write(int fd, const void* buffer, std::size_t n) {
  if (Fails(kWrite)) {
    if (shortBy_ == 0) return -error_;
    return real_.Write(fd, buffer, n > shortBy_ ? n - shortBy_ : 0);
  }
  return real_.Write(fd, buffer, n);
}

std::int64_t FaultyFileSystem::Seek(int fd, std::int64_t offset, int whence) {
  if (Fails(kSeek)) return -error_;
  return real_.Seek(fd, offset, whence);
}

int FaultyFileSystem::Sync(int fd) {
  if (Fails(kSync)) return -error_;
  return real_.Sync(fd);
}

int FaultyFileSystem::Close(int fd) {
  --open_;
  // The descriptor is released even when close reports an error, as on Linux.
  const int result = real_.Close(fd);
  if (Fails(kClose)) return -error_;
  return result;
}

bool FaultyFileSystem::Exists(const std::string& path) { return real_.Exists(path); }

int FaultyFileSystem::Rename(const std::string& from, const std::string& to) {
  if (Fails(kRename)) return -error_;
  return real_.Rename(from, to);
}

int FaultyFileSystem::Remove(const std::string& path) {
  if (Fails(kRemove)) return -error_;
  return real_.Remove(path);
}

}  // namespace loopsmith::testing
