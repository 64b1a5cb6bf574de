#pragma once

#include <array>
#include <cstddef>
#include <string>

#include "base/platform_file_system.h"

namespace loopsmith::testing {

// The real file system, with one chosen call made to fail or come up short.
class FaultyFileSystem final : public FileSystem {
 public:
  enum Op {
    kOpenRead,
    kCreateOutput,
    kRead,
    kWrite,
    kSeek,
    kCheckUnchanged,
    kClose,
    kCommitOutput,
    kOpCount
  };

  // The nth call (from 1) of `op` fails with `error`, or, for reads and writes
  // with `shortBy` > 0, moves that many bytes fewer than asked.
  void FailOn(Op op, int nth, int error = 5 /* EIO */, std::size_t shortBy = 0);
  int Calls(Op op) const { return m_calls[op]; }
  int openDescriptors() const { return m_openCount; }

  int OpenRead(const std::string& path, FileHandle& handle) override;
  int CreateOutput(const std::string& target, FileHandle& handle) override;
  std::int64_t Read(FileHandle file, void* buffer, std::size_t n) override;
  std::int64_t Write(FileHandle file, const void* buffer, std::size_t n) override;
  std::int64_t Seek(FileHandle file, std::int64_t offset, SeekFrom from) override;
  std::int64_t NextData(FileHandle file, std::int64_t offset) override {
    return m_real.NextData(file, offset);
  }
  int CheckUnchanged(FileHandle file) override;
  bool SameFile(const std::string& a, const std::string& b) override {
    return m_real.SameFile(a, b);
  }
  int Close(FileHandle file) override;
  int CommitOutput(FileHandle file) override;
  void DiscardOutput(FileHandle file) override;

 private:
  bool Fails(Op op);

  PlatformFileSystem m_real;
  std::array<int, kOpCount> m_calls{};
  Op m_failOp = kOpCount;
  int m_failAt = 0;
  int m_error = 5;
  std::size_t m_shortBy = 0;
  int m_openCount = 0;
};

}  // namespace loopsmith::testing
