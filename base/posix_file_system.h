#pragma once

#include <map>
#include <string>

#include "base/file_system.h"

namespace loopsmith {

// The real thing on POSIX systems: calls retried on EINTR and on partial transfers.
class PosixFileSystem final : public FileSystem {
 public:
  PosixFileSystem() = default;
  PosixFileSystem(const PosixFileSystem&) = delete;
  PosixFileSystem& operator=(const PosixFileSystem&) = delete;
  ~PosixFileSystem() override;

  int OpenRead(const std::string& path, FileHandle& handle) override;
  int CreateOutput(const std::string& target, FileHandle& handle) override;
  std::int64_t Read(FileHandle file, void* buffer, std::size_t n) override;
  std::int64_t Write(FileHandle file, const void* buffer, std::size_t n) override;
  std::int64_t Seek(FileHandle file, std::int64_t offset, SeekFrom from) override;
  int Close(FileHandle file) override;
  int CommitOutput(FileHandle file) override;
  void DiscardOutput(FileHandle file) override;

 private:
  struct Output {
    std::string target;
    std::string temp;
  };
  std::map<int, Output> m_outputs;
};

}  // namespace loopsmith
