#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "base/journal.h"

namespace loopsmith {

enum class LockResult {
  kTaken,   // ours until the file is closed
  kHeld,    // another writer holds it
  kCannot,  // the file system cannot say (no lock daemon, no locks at all)
};

// The few calls that keeping and putting back journals take from a platform,
// all within one folder and by plain names: a name is never joined to a path
// the platform has not checked, and no link is followed. Files are the
// platform's own handles.
class RecoveryFolder {
 public:
  using File = std::intptr_t;
  virtual ~RecoveryFolder() = default;
  // Every name in the folder.
  virtual int List(std::vector<std::string>& names) = 0;
  // An existing regular file, opened without following a link and without
  // blocking: -ENOENT where there is none, -EINVAL for anything else (a
  // folder, a FIFO, a link, a device).
  virtual int Open(const std::string& name, bool write, File& file) = 0;
  // A new file for reading and writing, never over an existing one (-EEXIST).
  virtual int Create(const std::string& name, File& file) = 0;
  // Whether `file` is still the one `name` stands for (no sweep took it first).
  virtual bool StillNamed(File file, const std::string& name) = 0;
  virtual LockResult TryLock(File file) = 0;
  virtual int Identify(File file, FileIdentity& identity) = 0;
  // Bytes read at `at`: fewer only at the end; negative on failure.
  virtual std::int64_t ReadAt(File file, void* buffer, std::size_t n, std::int64_t at) = 0;
  // 0 once all n bytes are written at `at`.
  virtual int WriteAt(File file, const void* buffer, std::size_t n, std::int64_t at) = 0;
  virtual std::int64_t Size(File file) = 0;
  // Cuts or extends the file to `size`, then puts its data on the disk.
  virtual int SetSizeAndSync(File file, std::int64_t size) = 0;
  // Removes `name`, which `file` (open, and locked where locks work) is.
  virtual int Remove(File file, const std::string& name) = 0;
  virtual void Close(File file) = 0;
  // The folder's names on the disk.
  virtual void Sync() {}
};

// `count` bytes of `from` at `fromAt` to `to` at `toAt`: 0, or the failure
// (a short read is -EIO, a write that takes nothing -ENOSPC).
int CopyRange(RecoveryFolder& folder, RecoveryFolder::File from, std::int64_t fromAt,
              RecoveryFolder::File to, std::int64_t toAt, std::int64_t count);

// What a file of one of our shapes is, as a look that writes nothing finds it.
enum class Leftover {
  kTemporary,  // a new output a killed writer left, or one being written
  kCutShort,   // a journal cut short before its file was touched
  kPending,    // a journal whose old bytes go back into its file
  kChanged,    // a journal whose file has changed since the copy: left alone
  kNotOurs,    // a name of our shape that does not check out: left alone
};
struct LeftoverFile {
  std::string name;
  Leftover kind = Leftover::kNotOurs;
  std::string target;           // a journal's file, where it names one that may be used
  std::string why;              // in plain words, for --info
  std::int64_t oldBytesAt = 0;  // a pending journal's: where its old bytes start
};

// What a journal of `journalName` in the folder is, read and not applied;
// nothing where there is none.
std::optional<LeftoverFile> InspectJournal(RecoveryFolder& folder, const std::string& journalName);
// The files of our shapes in the folder, the swap's and the card's left out
// (the card's own operations judge those).
std::vector<LeftoverFile> InspectFolder(RecoveryFolder& folder);

// Removes what killed writers left in the folder and puts back the old bytes
// of complete journals, each only once its lock is taken. Where the file
// system cannot lock, nothing of another run is touched, unless `force` (the
// user's --recover, run when no other writer is at work). Returns what it
// left and why.
std::vector<LeftoverFile> Sweep(RecoveryFolder& folder, bool force);

// Puts back the journal of `name`, if it has one, into `target`, which the
// caller has open for writing and locked: 0 where there is none or it went
// back, -kErrorInterrupted where one is there and cannot be put back.
int PutBackJournalOf(RecoveryFolder& folder, const std::string& name, RecoveryFolder::File target);

// The copy of a whole new version over a file that keeps its identity.
// `target` is open for reading and writing and locked by the caller; `fresh`
// holds the new bytes. The old bytes go to a journal first, on the disk
// before a byte of the target is touched; `copy` then writes the new bytes;
// a failure is undone from the journal, and the journal goes once the new
// bytes are on the disk.
int CopyUnderJournal(RecoveryFolder& folder, const std::string& name, RecoveryFolder::File target,
                     RecoveryFolder::File fresh, const std::function<int()>& copy);

}  // namespace loopsmith
