#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "core/file_system.h"

namespace loopsmith::testing {

// Files in memory, for fuzzing the whole job without touching the disk.
class MemoryFileSystem final : public FileSystem {
 public:
  std::map<std::string, std::vector<std::uint8_t>> files;

  int OpenRead(const std::string& path) override;
  int CreateTemp(const std::string& target, std::string& tempPath) override;
  std::int64_t Read(int fd, void* buffer, std::size_t n) override;
  std::int64_t Write(int fd, const void* buffer, std::size_t n) override;
  std::int64_t Seek(int fd, std::int64_t offset, int whence) override;
  int Sync(int fd) override;
  int Close(int fd) override;
  bool Exists(const std::string& path) override;
  int Rename(const std::string& from, const std::string& to) override;
  int Remove(const std::string& path) override;

  std::size_t openCount() const { return open_.size(); }

 private:
  struct Open {
    std::string path;
    std::int64_t position = 0;
    bool writable = false;
  };
  std::map<int, Open> open_;
  int next_ = 3;
  int temps_ = 0;
};

}  // namespace loopsmith::testing
