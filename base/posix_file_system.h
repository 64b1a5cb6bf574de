#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>

#include "base/content_check.h"
#include "base/file_system.h"

namespace loopsmith {

// The real thing on POSIX systems: calls retried on EINTR and on partial
// transfers. An output keeps what the owner set up: a symbolic link stays a
// link and the file it names is written; otherwise a new file with the old
// one's permissions replaces it by rename. A file with other hard links keeps
// them: the new bytes go to a temporary file first, and only once they are all
// there, and the space for them is reserved, are they copied over the file
// itself, one writer at a time (flock), under a rollback journal beside it: a
// failure leaves it as it was, and a crash or kill during the copy leaves the
// old bytes in the journal, which the next open of the file, or the next
// output into its folder, puts back. Our own temporary files that a killed
// writer left are removed by the next output into that folder. Where times
// are too coarse to show a change (FAT), a file read is read again at the
// check. A file that cannot be opened for writing is refused.
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
  int ListFolder(const std::string& path, std::vector<FolderEntry>& entries) override;
  int CommitOutputNoReplace(FileHandle file) override;
  int MoveNoReplace(const std::string& from, const std::string& to) override;
  int Remove(const std::string& path) override;
  std::unique_ptr<RecoveryFolder> OpenRecoveryFolder(const std::string& folder) override;
  std::optional<LeftoverFile> CutOffCopyOf(const std::string& path) override;
  // flock on the folder: a lock another process sees, and a card in one
  // place; held folders are known by device and inode, so that a rename
  // inside a card operation does not wait for its own run.
  int LockFolder(const std::string& folder, std::unique_ptr<FolderLock>& lock) override;
  // How long a run waits for another that holds a file or folder it needs:
  // as long as a slow card may take to finish one copy.
  void SetWaitLimit(std::chrono::milliseconds limit) { m_waitLimit = limit; }

 private:
  // What a read file looked like when it was opened; where its times are too
  // coarse to show a change, what was read, to be read again.
  struct Snapshot {
    std::int64_t size;
    std::int64_t modifiedNs;
    std::int64_t changedNs;
    bool coarse;
    ReadLedger ledger;
    std::int64_t base = 0;  // where the file's bytes start: past a journal's head
  };
  struct Output {
    int folder = -1;         // the resolved target's folder, open
    std::string name;        // the resolved target's name in it
    std::string tempName;    // the temporary file's name there, once it has one
    int inPlace = -1;        // the target itself, open, when it is copied over
    bool replacing = false;  // a file of that name exists
  };
  static int CopyInPlace(int from, int to);
  int Commit(FileHandle file, bool noReplace);
  // The journal of a file whose copy was cut off, open at its old bytes
  // (`base`), or -1.
  int OpenCutOffCopy(const std::string& path, std::int64_t& base);
  std::int64_t BaseOf(FileHandle file) const;
  std::int64_t ReadAll(FileHandle file, void* buffer, std::size_t n);
  // Waits until `folder` (open) is held, unless this run holds it already;
  // `name` is what the wait notice names.
  int HoldFolder(int folder, const std::string& name);
  std::map<int, Snapshot> m_reads;
  std::map<int, Output> m_outputs;
  std::set<std::pair<dev_t, ino_t>> m_heldFolders;
  std::chrono::milliseconds m_waitLimit{60'000};
};

}  // namespace loopsmith
