#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "base/file_system.h"

namespace loopsmith {

// The real thing on Windows: wide-character calls on UTF-8 paths, files
// opened shared with no one, binary always. An output keeps what the owner set
// up: a symbolic link is followed and stays (a file it names that is not there
// is created, and removed again if the write fails); otherwise a new file
// replaces the old one with its attributes. A file with other hard links keeps
// them: the new bytes go to a temporary file first and are copied over it only
// once they are all there and its new length is set, under the same rollback
// journal as on other systems. A read-only file is refused.
class WindowsFileSystem final : public FileSystem {
 public:
  WindowsFileSystem() = default;
  WindowsFileSystem(const WindowsFileSystem&) = delete;
  WindowsFileSystem& operator=(const WindowsFileSystem&) = delete;
  ~WindowsFileSystem() override;

  int OpenRead(const std::string& path, FileHandle& handle) override;
  int CreateOutput(const std::string& target, FileHandle& handle) override;
  std::int64_t Read(FileHandle file, void* buffer, std::size_t n) override;
  std::int64_t Write(FileHandle file, const void* buffer, std::size_t n) override;
  std::int64_t Seek(FileHandle file, std::int64_t offset, SeekFrom from) override;
  int CheckUnchanged(FileHandle file) override;
  bool SameFile(const std::string& a, const std::string& b) override;
  int Close(FileHandle file) override;
  int CommitOutput(FileHandle file) override;
  int CommitOutputNoReplace(FileHandle file) override;
  void DiscardOutput(FileHandle file) override;
  int ListFolder(const std::string& path, std::vector<FolderEntry>& entries) override;
  int MoveNoReplace(const std::string& from, const std::string& to) override;
  int Remove(const std::string& path) override;
  std::unique_ptr<RecoveryFolder> OpenRecoveryFolder(const std::string& folder) override;

 private:
  struct Snapshot {
    std::uint64_t size;
    std::uint64_t written;
    std::int64_t base = 0;  // where the file's bytes start: past a journal's head
  };
  int Commit(FileHandle file, bool noReplace);
  struct Output {
    std::wstring target;      // the file finally named, links followed
    std::wstring temp;        // the new bytes until they are put in place; empty when
                              // writing a file created here
    void* inPlace = nullptr;  // the target, open, when the new bytes are copied over it
    bool replacing = false;
    std::uint32_t attributes = 0;  // the replaced file's
  };
  std::map<std::intptr_t, Snapshot> m_reads;
  std::map<std::intptr_t, Output> m_outputs;
};

// UTF-8 to the wide form Windows calls take, with the long-path prefix where
// the path is longer than the old limit. Empty for bytes that are not UTF-8.
std::wstring WidePath(const std::string& path);

}  // namespace loopsmith
