#pragma once

#include <array>
#include <cstddef>
#include <string>

#include "core/file_system.h"

namespace loopsmith::testing {

// The real file system, with one chosen call made to fail or come up short.
class FaultyFileSystem final : public FileSystem {
 public:
  enum Op {
    kOpenRead,
    kCreateTemp,
    kRead,
    kWrite,
    kSeek,
    kSync,
    kClose,
    kRename,
    kRemove,
    kOpCount
  };

  // The nth call (from 1) of `op` fails with `error`, or, for reads and writes
  // with `shortBy` > 0, moves that many bytes fewer than asked.
  void FailOn(Op op, int nth, int error = 5 /* EIO */, std::size_t shortBy = 0);
  int Calls(Op op) const { return calls_[op]; }
  int openDescriptors() const { return open_; }

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

 private:
  bool Fails(Op op);

  PosixFileSystem real_;
  std::array<int, kOpCount> calls_{};
  Op failOp_ = kOpCount;
  int failAt_ = 0;
  int error_ = 5;
  std::size_t shortBy_ = 0;
  int open_ = 0;
};

}  // namespace loopsmith::testing
