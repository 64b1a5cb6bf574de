#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "base/content_check.h"
#include "base/file_system.h"

namespace loopsmith {

// Files in memory: the browser's files, and the whole job fuzzed without a disk.
// An output is kept apart and takes its target's place on commit. It keeps
// the file seam's promises where memory can: a path that holds other files is
// a folder, refused for reading and writing; a read is checked against the
// bytes the file holds when CheckUnchanged asks. Two it cannot keep, having
// neither links nor "..": SameFile compares the paths as strings, and a
// folder's entries are only those whose path is the folder's, "/" and a name.
class MemoryFileSystem final : public FileSystem {
 public:
  std::map<std::string, std::vector<std::uint8_t>> files;
  // A file held only in part (the page reads a large file's start): its whole
  // size. A read that reaches past the part held fails with EAGAIN and sets
  // `wantedMore`, so the caller can hold more and try again; it never takes
  // the missing bytes for the end of the file.
  std::map<std::string, std::int64_t> wholeSizes;
  bool wantedMore = false;
  // Files this program may not write: listed so, and refused as a target.
  std::set<std::string> readOnly;

  int OpenRead(const std::string& path, FileHandle& handle) override;
  int CreateOutput(const std::string& target, FileHandle& handle) override;
  std::int64_t Read(FileHandle file, void* buffer, std::size_t n) override;
  std::int64_t Write(FileHandle file, const void* buffer, std::size_t n) override;
  std::int64_t Seek(FileHandle file, std::int64_t offset, SeekFrom from) override;
  int CheckUnchanged(FileHandle file) override;
  bool SameFile(const std::string& a, const std::string& b) override {
    return a == b && files.count(a) > 0;
  }
  int Close(FileHandle file) override;
  int CommitOutput(FileHandle file) override;
  void DiscardOutput(FileHandle file) override;
  // The files whose path is the folder's, "/" and a name.
  int ListFolder(const std::string& path, std::vector<FolderEntry>& entries) override;
  int CommitOutputNoReplace(FileHandle file) override;
  int MoveNoReplace(const std::string& from, const std::string& to) override;
  int Remove(const std::string& path) override;
  // The folder's files by name. No other process shares the memory, so every
  // lock is taken; a file's identity is its path and the count of the writes
  // that put a new file there.
  std::unique_ptr<RecoveryFolder> OpenRecoveryFolder(const std::string& folder) override;

  std::size_t openCount() const { return m_open.size(); }

 private:
  struct Open {
    std::string path;  // the target, for an output
    std::vector<std::uint8_t> output;
    std::int64_t position = 0;
    bool writable = false;
    bool fromJournal = false;    // `output` holds a cut-off copy's old bytes
    std::int64_t wholeSize = 0;  // a read's, at the open
    ReadLedger ledger;           // what a read handed out
  };
  bool IsFolder(const std::string& path) const;
  std::vector<std::uint8_t>& DataOf(Open& open);
  // The file's whole size, of which a part-held file holds only the start.
  std::int64_t WholeSizeOf(Open& open);

  friend class MemoryFolder;
  // A new file under `path`: another identity than the one it replaces.
  void Renew(const std::string& path) { m_born[path] = ++m_births; }

  std::map<std::intptr_t, Open> m_open;
  std::intptr_t m_next = 3;
  std::map<std::string, std::uint64_t> m_born;
  std::uint64_t m_births = 0;
};

}  // namespace loopsmith
