#pragma once

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/recovery.h"

namespace loopsmith {

// An open file, as the platform's file layer knows it; nothing above that
// layer looks inside.
enum class FileHandle : std::intptr_t { kNone = -1 };

enum class SeekFrom { kStart, kEnd };

// The error of a file whose copy in place was cut off, and whose old bytes
// could not be put back from its journal.
#ifdef ENOTRECOVERABLE
inline constexpr int kErrorInterrupted = ENOTRECOVERABLE;
#else
inline constexpr int kErrorInterrupted = 131;  // Linux's
#endif

// The error of a file that another program changed while it was read.
#ifdef ESTALE
inline constexpr int kErrorChanged = ESTALE;
#else
inline constexpr int kErrorChanged = 116;      // where errno has no such number, Linux's
#endif

// The error of a file or folder another program kept for itself longer than
// a run waits: it is left alone, and the run says so.
inline constexpr int kErrorHeld = EBUSY;

// A folder held against other runs that change its names, until it goes.
class FolderLock {
 public:
  virtual ~FolderLock() = default;
};

// One name in a folder, as a listing gives it.
struct FolderEntry {
  std::string name;
  bool regular = false;   // a regular file, links followed
  bool readOnly = false;  // this program may not write it
  std::int64_t size = 0;
};

// The narrow seam under every file the program touches. Both file formats go
// through it, so tests can make any single call fail or come up short.
// Paths are the platform's own bytes. Failures are negative errno values (a
// platform without errno maps its own codes to them).
class FileSystem {
 public:
  virtual ~FileSystem() = default;

  // Opens an existing regular file for reading; folders, FIFOs and devices
  // are refused. It never writes: a file whose copy was cut off is read as
  // its journal will put it back.
  virtual int OpenRead(const std::string& path, FileHandle& handle) = 0;
  // Opens `target` for writing a new version of it, as a plain create and
  // truncate would, and refused where that would be: a folder, FIFO or device,
  // or an existing file that may not be written. Where it can, the platform
  // writes a new file and puts it in place on commit, so that the old one
  // stays until the new one is complete.
  virtual int CreateOutput(const std::string& target, FileHandle& handle) = 0;
  // Both move up to n bytes; a short count means end of file (read) or a full medium (write).
  virtual std::int64_t Read(FileHandle file, void* buffer, std::size_t n) = 0;
  virtual std::int64_t Write(FileHandle file, const void* buffer, std::size_t n) = 0;
  // Returns the new offset from the start of the file.
  virtual std::int64_t Seek(FileHandle file, std::int64_t offset, SeekFrom from) = 0;
  // Where data may next be found at or after `offset` in a file opened for
  // reading: a sparse file's holes read as zeros, and a file system that keeps
  // them can say where one ends (the file's size when only a hole is left).
  // `offset` itself where it cannot tell. May move the file's offset.
  virtual std::int64_t NextData(FileHandle /*file*/, std::int64_t offset) { return offset; }
  // 0 while a file opened for reading is as it was at the open; -kErrorChanged once
  // another program has changed it, since what was read may then be a mix.
  virtual int CheckUnchanged(FileHandle file) = 0;
  // Whether two paths name one existing file, through links of either kind, so
  // that an output never overwrites the very file it was made from.
  virtual bool SameFile(const std::string& a, const std::string& b) = 0;
  // Closes a file opened for reading.
  virtual int Close(FileHandle file) = 0;
  // Puts a completely written output in place and closes it; on failure the
  // target is as it was. A target with other hard links is copied over, not
  // replaced: a crash during that copy leaves its old bytes in a journal
  // beside it, which the next output into that folder puts back. The handle
  // is gone either way.
  virtual int CommitOutput(FileHandle file) = 0;
  // The same, but never over a file that is there by then: -EEXIST, and the
  // output is discarded. No check-then-act window: the rename itself refuses.
  virtual int CommitOutputNoReplace(FileHandle file) {
    DiscardOutput(file);
    return -ENOSYS;
  }
  // Closes an output and forgets it; the target is as it was.
  virtual void DiscardOutput(FileHandle file) = 0;
  // The names in a folder ("." and ".." left out), in no order; 0 or a
  // failure. A layer that has no folders lists none.
  virtual int ListFolder(const std::string& /*path*/, std::vector<FolderEntry>& entries) {
    entries.clear();
    return -ENOTDIR;
  }
  // Gives a file a new name in one step, and never over another file: -EEXIST
  // when `to` is taken. Either name holds the file at every instant.
  virtual int MoveNoReplace(const std::string& /*from*/, const std::string& /*to*/) {
    return -ENOSYS;
  }
  // Removes a file's name.
  virtual int Remove(const std::string& /*path*/) { return -ENOSYS; }
  // One folder's files, for the recovery rules (recovery.h); nothing where
  // the layer has no folders.
  virtual std::unique_ptr<RecoveryFolder> OpenRecoveryFolder(const std::string& /*folder*/) {
    return nullptr;
  }
  // Removes what runs that were killed left of the layer's own files in
  // `folder` (never one a live run holds) and puts back the old bytes of
  // copies cut off; every output into a folder does so. What it had to leave,
  // and why.
  std::vector<LeftoverFile> SweepFolder(const std::string& folder) {
    const auto access = OpenRecoveryFolder(folder);
    return access ? Sweep(*access, false) : std::vector<LeftoverFile>{};
  }
  // The same where the file system cannot lock, on the user's word that no
  // other writer is at work (--recover).
  std::vector<LeftoverFile> RecoverFolder(const std::string& folder) {
    const auto access = OpenRecoveryFolder(folder);
    return access ? Sweep(*access, true) : std::vector<LeftoverFile>{};
  }
  // The layer's files in `folder` and what each is, read and never changed.
  std::vector<LeftoverFile> InspectFolder(const std::string& folder) {
    const auto access = OpenRecoveryFolder(folder);
    return access ? loopsmith::InspectFolder(*access) : std::vector<LeftoverFile>{};
  }
  // The journal of a copy over the file at `path` that was cut off, if there
  // is one: OpenRead then reads the file as it will be once it is put back.
  virtual std::optional<LeftoverFile> CutOffCopyOf(const std::string& path);
  // Holds `folder` against the other runs that change its names, waiting
  // for one that does; 0, or -kErrorHeld where it never let go. A card's
  // moves and swaps take it for their whole course. Where the file system
  // has no rename that refuses to replace (FAT), every such rename into the
  // folder takes it too, so that two runs never both find a name free. A
  // layer whose renames always refuse needs none.
  virtual int LockFolder(const std::string& /*folder*/, std::unique_ptr<FolderLock>& lock) {
    lock.reset();
    return 0;
  }
  // Told the name another run holds, once, before a wait for it begins.
  virtual void SetWaitNotice(std::function<void(const std::string&)> notice) {
    m_waitNotice = std::move(notice);
  }

 protected:
  void NoticeWait(const std::string& name) const {
    if (m_waitNotice) m_waitNotice(name);
  }

 private:
  std::function<void(const std::string&)> m_waitNotice;
};

// An output that is discarded unless committed, on every path out.
class OutputFile {
 public:
  explicit OutputFile(FileSystem& fs) : m_fs(fs) {}
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;
  ~OutputFile() { Discard(); }

  int Create(const std::string& target) {
    Discard();
    return m_fs.CreateOutput(target, m_handle);
  }
  FileHandle handle() const { return m_handle; }
  int Commit() {
    const FileHandle file = Release();
    return file == FileHandle::kNone ? -EBADF : m_fs.CommitOutput(file);
  }
  void Discard() {
    const FileHandle file = Release();
    if (file != FileHandle::kNone) m_fs.DiscardOutput(file);
  }

 private:
  FileHandle Release() {
    const FileHandle file = m_handle;
    m_handle = FileHandle::kNone;
    return file;
  }

  FileSystem& m_fs;
  FileHandle m_handle = FileHandle::kNone;
};

}  // namespace loopsmith
