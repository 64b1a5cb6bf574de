#pragma once

#include <sys/types.h>

#include <cstdint>
#include <map>
#include <string>

#include "base/file_system.h"

namespace loopsmith {

// The real thing on POSIX systems: calls retried on EINTR and on partial
// transfers. An output keeps what the owner set up: a symbolic link stays a
// link and the file it names is written; otherwise a new file with the old
// one's permissions replaces it by rename. A file with other hard links keeps
// them: the new bytes go to a temporary file first, and only once they are all
// there, and the space for them is reserved, are they copied over the file
// itself. A failure up to then leaves it as it was; a crash or kill during the
// copy can leave it torn. A file that cannot be opened for writing is refused.
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
  std::int64_t NextData(FileHandle file, std::int64_t offset) override;
  int CheckUnchanged(FileHandle file) override;
  bool SameFile(const std::string& a, const std::string& b) override;
  int Close(FileHandle file) override;
  int CommitOutput(FileHandle file) override;
  void DiscardOutput(FileHandle file) override;

 private:
  // What a read file looked like when it was opened.
  struct Snapshot {
    std::int64_t size;
    std::int64_t modifiedNs;
    std::int64_t changedNs;
  };
  struct Output {
    int folder = -1;         // the resolved target's folder, open
    std::string name;        // the resolved target's name in it
    std::string tempName;    // the temporary file's name there, once it has one
    int inPlace = -1;        // the target itself, open, when it is copied over
    bool replacing = false;  // a file of that name exists
  };
  static int CopyInPlace(int from, int to);
  std::map<int, Snapshot> m_reads;
  std::map<int, Output> m_outputs;
};

}  // namespace loopsmith
