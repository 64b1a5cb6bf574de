#include "memory_file_system.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace loopsmith::testing {

int MemoryFileSystem::OpenRead(const std::string& path) {
  if (files.find(path) == files.end()) return -ENOENT;
  open_[next_] = {path, 0, false};
  return next_++;
}

int MemoryFileSystem::CreateTemp(const std::string& target, std::string& tempPath) {
  tempPath = target + ".tmp" + std::to_string(temps_++);
  files[tempPath].clear();
  open_[next_] = {tempPath, 0, true};
  return next_++;
}

std::int64_t MemoryFileSystem::Read(int fd, void* buffer, std::size_t n) {
  auto it = open_.find(fd);
  if (it == open_.end()) return -EBADF;
  const auto& data = files[it->second.path];
  const auto at = static_cast<std::size_t>(
      std::min<std::int64_t>(it->second.position, static_cast<std::int64_t>(data.size())));
  const std::size_t count = std::min(n, data.size() - at);
  if (count > 0) std::memcpy(buffer, data.data() + at, count);
  it->second.position += static_cast<std::int64_t>(count);
  return static_cast<std::int64_t>(count);
}

std::int64_t MemoryFileSystem::Write(int fd, const void* buffer, std::size_t n) {
  auto it = open_.find(fd);
  if (it == open_.end() || !it->second.writable) return -EBADF;
  auto& data = files[it->second.path];
  const auto at = static_cast<std::size_t>(it->second.position);
  if (data.size() < at + n) data.resize(at + n);
  if (n > 0) std::memcpy(data.data() + at, buffer, n);
  it->second.position += static_cast<std::int64_t>(n);
  return static_cast<std::int64_t>(n);
}

std::int64_t MemoryFileSystem::Seek(int fd, std::int64_t offset, int whence) {
  auto it = open_.find(fd);
  if (it == open_.end()) return -EBADF;
  std::int64_t base = 0;
  if (whence == SEEK_CUR) base = it->second.position;
  if (whence == SEEK_END) base = static_cast<std::int64_t>(files[it->second.path].size());
  if (base + offset < 0) return -EINVAL;
  it->second.position = base + offset;
  return it->second.position;
}

int MemoryFileSystem::Sync(int fd) { return open_.count(fd) ? 0 : -EBADF; }

int MemoryFileSystem::Close(int fd) { return open_.erase(fd) ? 0 : -EBADF; }

bool MemoryFileSystem::Exists(const std::string& path) { return files.count(path) != 0; }

int MemoryFileSystem::Rename(const std::string& from, const std::string& to) {
  auto it = files.find(from);
  if (it == files.end()) return -ENOENT;
  files[to] = std::move(it->second);
  files.erase(from);
  return 0;
}

int MemoryFileSystem::Remove(const std::string& path) { return files.erase(path) ? 0 : -ENOENT; }

}  // namespace loopsmith::testing
