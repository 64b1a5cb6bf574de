#include "base/recovery.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <thread>

#include "base/content_check.h"
#include "base/file_system.h"

namespace loopsmith {
namespace {

using File = RecoveryFolder::File;

constexpr const char* kRecoverHint = "; loopsmith-cli --recover on the folder puts it back";

// A file opened here, closed on every path out.
class Opened {
 public:
  explicit Opened(RecoveryFolder& folder) : m_folder(folder) {}
  Opened(const Opened&) = delete;
  Opened& operator=(const Opened&) = delete;
  ~Opened() {
    if (file >= 0) m_folder.Close(file);
  }
  File file = -1;

 private:
  RecoveryFolder& m_folder;
};

// The whole of a file no larger than `limit`, or nothing.
std::optional<std::vector<std::uint8_t>> ReadAll(RecoveryFolder& folder, File file,
                                                 std::int64_t limit) {
  const std::int64_t size = folder.Size(file);
  if (size < 0 || size > limit) return std::nullopt;
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
  if (folder.ReadAt(file, bytes.data(), bytes.size(), 0) != size) return std::nullopt;
  return bytes;
}

struct Journal {
  ParsedHead parsed;
  std::vector<std::uint8_t> old;  // the old bytes, once they check out
};

// The journal's head and old bytes, each checked; the fault where they are not whole.
Journal ReadJournal(RecoveryFolder& folder, File journal, const std::string& journalName) {
  Journal found;
  std::vector<std::uint8_t> head(JournalHeadMax());
  const std::int64_t got = folder.ReadAt(journal, head.data(), head.size(), 0);
  head.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
  found.parsed = ParseJournalHead(head, journalName);
  if (found.parsed.fault != HeadFault::kNone) return found;
  const JournalHead& h = *found.parsed.head;
  if (folder.Size(journal) != static_cast<std::int64_t>(h.bytes + h.oldSize)) {
    found.parsed.fault = HeadFault::kDamaged;
    return found;
  }
  found.old.resize(static_cast<std::size_t>(h.oldSize));
  if (folder.ReadAt(journal, found.old.data(), found.old.size(),
                    static_cast<std::int64_t>(h.bytes)) != static_cast<std::int64_t>(h.oldSize) ||
      PieceSums(found.old) != h.oldPieces) {
    found.parsed.fault = HeadFault::kDamaged;
  }
  return found;
}

// Whether `now` holds old bytes from `at` on: the old file's, then the zeros
// the space reserved past its end reads as.
bool HoldsOld(std::span<const std::uint8_t> now, std::size_t at,
              const std::vector<std::uint8_t>& old) {
  for (std::size_t i = 0; i < now.size(); ++i) {
    const std::size_t where = at + i;
    if (now[i] != (where < old.size() ? old[where] : 0)) return false;
  }
  return true;
}

// Whether the target is the very file the journal was made for, in a state a
// copy cut off can leave: each piece the old one or the new one.
bool AsCopyLeftIt(RecoveryFolder& folder, File target, const Journal& journal) {
  const JournalHead& head = *journal.parsed.head;
  FileIdentity identity;
  if (folder.Identify(target, identity) != 0 || identity != head.identity) return false;
  const std::int64_t size = folder.Size(target);
  const auto low = static_cast<std::int64_t>(std::min(head.oldSize, head.newSize));
  const auto high = static_cast<std::int64_t>(std::max(head.oldSize, head.newSize));
  if (size < low || size > high) return false;
  const auto now = ReadAll(folder, target, high);
  if (!now) return false;
  const std::size_t newSize = static_cast<std::size_t>(head.newSize);
  for (std::size_t at = 0, piece = 0; at < now->size(); at += kJournalPiece, ++piece) {
    const std::size_t end = std::min<std::size_t>(at + kJournalPiece, now->size());
    const std::span<const std::uint8_t> bytes(now->data() + at, end - at);
    if (HoldsOld(bytes, at, journal.old)) continue;
    // The new piece, whole, and past the new end (not yet cut) the old bytes.
    const std::size_t newEnd = std::min<std::size_t>(at + kJournalPiece, newSize);
    if (piece >= head.newPieces.size() || newEnd > end) return false;
    Checksum sum;
    sum.Add(bytes.data(), newEnd - at);
    if (sum.value() != head.newPieces[piece] ||
        !HoldsOld(bytes.subspan(newEnd - at), newEnd, journal.old)) {
      return false;
    }
  }
  return true;
}

int PutBack(RecoveryFolder& folder, File target, const std::vector<std::uint8_t>& old) {
  if (const int put = folder.WriteAt(target, old.data(), old.size(), 0); put != 0) return put;
  return folder.SetSizeAndSync(target, static_cast<std::int64_t>(old.size()));
}

std::string WhyNot(HeadFault fault) {
  switch (fault) {
    case HeadFault::kBadName:
      return "not ours: the file it names is no plain name in this folder; left alone";
    case HeadFault::kWrongFile:
      return "not ours: it names a file it was not made for; left alone";
    case HeadFault::kTooLarge:
      return "not ours: it claims more bytes than such a file holds; left alone";
    default:
      return "does not check out (damaged, or written by another program); left alone";
  }
}

// What a journal is by its own bytes: nothing where it names a file to judge.
std::optional<LeftoverFile> JudgeHead(const std::string& name, const Journal& read) {
  const HeadFault fault = read.parsed.fault;
  if (fault == HeadFault::kNone) return std::nullopt;
  if (fault == HeadFault::kCutShort) {
    return LeftoverFile{
        name, Leftover::kCutShort, {}, "a journal cut short before its file was touched"};
  }
  return LeftoverFile{name, Leftover::kNotOurs, {}, WhyNot(fault)};
}

// What a journal whose head checks out is, against its file, open in `target`.
LeftoverFile JudgeTarget(RecoveryFolder& folder, File target, const std::string& name,
                         const Journal& read) {
  const JournalHead& head = *read.parsed.head;
  if (target < 0 || !AsCopyLeftIt(folder, target, read)) {
    return {name, Leftover::kChanged, head.target,
            "the journal of a copy over " + head.target +
                " that was cut off; the file has changed since, so its old contents are "
                "not put back; left alone"};
  }
  return {name, Leftover::kPending, head.target,
          "the old contents of " + head.target +
              ", whose copy was cut off; the next conversion or card operation in this "
              "folder puts them back, or loopsmith-cli --recover where the file system "
              "cannot lock",
          static_cast<std::int64_t>(head.bytes)};
}

bool MayAct(LockResult lock, bool force) {
  return lock == LockResult::kTaken || (lock == LockResult::kCannot && force);
}

std::string Unlockable(const std::string& what) {
  return what + "; this file system cannot lock, so it is left for loopsmith-cli --recover";
}

}  // namespace

int CopyRange(RecoveryFolder& folder, File from, std::int64_t fromAt, File to, std::int64_t toAt,
              std::int64_t count) {
  std::vector<unsigned char> buffer(1 << 16);
  for (std::int64_t done = 0; done < count;) {
    const auto want = static_cast<std::size_t>(std::min<std::int64_t>(count - done, 1 << 16));
    const std::int64_t got = folder.ReadAt(from, buffer.data(), want, fromAt + done);
    if (got <= 0) return got < 0 ? static_cast<int>(got) : -EIO;
    const int put = folder.WriteAt(to, buffer.data(), static_cast<std::size_t>(got), toAt + done);
    if (put != 0) return put;
    done += got;
  }
  return 0;
}

std::optional<LeftoverFile> InspectJournal(RecoveryFolder& folder, const std::string& journalName) {
  Opened journal(folder);
  if (const int opened = folder.Open(journalName, false, journal.file); opened != 0) {
    if (opened == -ENOENT) return std::nullopt;
    return LeftoverFile{journalName,
                        Leftover::kNotOurs,
                        {},
                        opened == -EBUSY ? "a journal a writer holds: a copy under way"
                                         : "not a file this program made; left alone"};
  }
  const Journal read = ReadJournal(folder, journal.file, journalName);
  if (auto verdict = JudgeHead(journalName, read)) return verdict;
  Opened target(folder);
  (void)folder.Open(read.parsed.head->target, false, target.file);
  return JudgeTarget(folder, target.file, journalName, read);
}

std::vector<LeftoverFile> InspectFolder(RecoveryFolder& folder) {
  std::vector<std::string> names;
  std::vector<LeftoverFile> found;
  if (folder.List(names) != 0) return found;
  std::sort(names.begin(), names.end());
  for (const std::string& name : names) {
    if (IsJournalName(name)) {
      if (auto journal = InspectJournal(folder, name)) found.push_back(std::move(*journal));
    } else if (IsTemporaryName(name)) {
      found.push_back({name, Leftover::kTemporary, {}, "left by a write that was cut off"});
    }
  }
  return found;
}

std::vector<LeftoverFile> Sweep(RecoveryFolder& folder, bool force) {
  std::vector<std::string> names;
  std::vector<LeftoverFile> left;
  if (folder.List(names) != 0) return left;
  std::sort(names.begin(), names.end());
  for (const std::string& name : names) {
    const bool journal = IsJournalName(name);
    if (!journal && !IsTemporaryName(name)) continue;  // never the user's, never the card's
    Opened file(folder);
    const int opened = folder.Open(name, false, file.file);
    if (opened == -ENOENT) continue;
    if (opened != 0) {
      left.push_back({name,
                      Leftover::kNotOurs,
                      {},
                      opened == -EBUSY ? "in use by a writer at work"
                                       : "not a regular file, so not ours; left alone"});
      continue;
    }
    const LockResult lock = folder.TryLock(file.file);
    if (lock == LockResult::kHeld) continue;  // its writer is at work
    if (!MayAct(lock, force)) {
      left.push_back({name,
                      journal ? Leftover::kPending : Leftover::kTemporary,
                      {},
                      Unlockable("left by a write that was cut off, or one under way")});
      continue;
    }
    if (!journal) {
      (void)folder.Remove(file.file, name);
      continue;
    }
    const Journal read = ReadJournal(folder, file.file, name);
    if (auto verdict = JudgeHead(name, read)) {
      if (verdict->kind == Leftover::kCutShort) {
        (void)folder.Remove(file.file, name);
      } else {
        left.push_back(std::move(*verdict));
      }
      continue;
    }
    // Judged under the target's lock: only then is nobody changing it.
    const std::string& targetName = read.parsed.head->target;
    Opened target(folder);
    const LockResult held = folder.Open(targetName, true, target.file) == 0
                                ? folder.TryLock(target.file)
                                : LockResult::kHeld;
    if (!MayAct(held, force)) {
      left.push_back({name, Leftover::kPending, targetName,
                      "the old contents of " + targetName +
                          ", whose copy was cut off, could not be put back now" + kRecoverHint});
      continue;
    }
    LeftoverFile judged = JudgeTarget(folder, target.file, name, read);
    if (judged.kind != Leftover::kPending) {
      left.push_back(std::move(judged));
      continue;
    }
    if (PutBack(folder, target.file, read.old) != 0) {
      judged.why = "the old contents of " + targetName +
                   ", whose copy was cut off, could not be put back now" + kRecoverHint;
      left.push_back(std::move(judged));
      continue;
    }
    (void)folder.Remove(file.file, name);
  }
  return left;
}

int PutBackJournalOf(RecoveryFolder& folder, const std::string& name, File target) {
  const std::string journalName = JournalName(name);
  Opened journal(folder);
  // A sweep in another process may hold the journal a moment, until it finds
  // the target locked by this caller.
  for (int tries = 0;; ++tries) {
    const int opened = folder.Open(journalName, false, journal.file);
    if (opened == -ENOENT) return 0;
    if (opened == 0 && folder.TryLock(journal.file) != LockResult::kHeld) break;
    if (journal.file >= 0) folder.Close(journal.file);
    journal.file = -1;
    if (tries == 200 || (opened != 0 && opened != -EBUSY)) return -kErrorInterrupted;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  Journal read = ReadJournal(folder, journal.file, journalName);
  if (read.parsed.fault == HeadFault::kCutShort) {
    return folder.Remove(journal.file, journalName) == 0 ? 0 : -kErrorInterrupted;
  }
  if (read.parsed.fault != HeadFault::kNone || read.parsed.head->target != name ||
      !AsCopyLeftIt(folder, target, read) || PutBack(folder, target, read.old) != 0) {
    return -kErrorInterrupted;
  }
  return folder.Remove(journal.file, journalName) == 0 ? 0 : -kErrorInterrupted;
}

namespace {

// The old bytes of `target` into a new journal, on the disk with its name.
int OpenJournal(RecoveryFolder& folder, const std::string& name, File target, File fresh,
                File& journal) {
  journal = -1;
  const std::int64_t largest = LargestKeptFile(name);
  const auto old = ReadAll(folder, target, largest);
  const auto now = ReadAll(folder, fresh, largest);
  if (!IsPlainName(name) || !old || !now) return -EFBIG;
  // A journal a writer that died left: the old bytes first, so that the new
  // journal holds a whole file.
  if (const int restored = PutBackJournalOf(folder, name, target); restored != 0) return restored;
  JournalHead head;
  head.target = name;
  if (const int known = folder.Identify(target, head.identity); known != 0) return known;
  head.oldSize = old->size();
  head.newSize = now->size();
  head.oldPieces = PieceSums(*old);
  head.newPieces = PieceSums(*now);
  const auto bytes = MakeJournalHead(head);
  const std::string journalName = JournalName(name);
  for (int attempt = 0; attempt < 10; ++attempt) {
    File file = -1;
    if (const int created = folder.Create(journalName, file); created != 0) {
      // Another writer's journal where locks do not work: its copy comes first.
      return created == -EEXIST ? -EBUSY : created;
    }
    // A sweep could take a new, empty journal for one cut short before this
    // writer held it: then the name is gone, and it is made again.
    if (folder.TryLock(file) == LockResult::kHeld || !folder.StillNamed(file, journalName)) {
      folder.Close(file);
      continue;
    }
    // The old bytes, then the head over the zeros before them, then the disk.
    int result =
        folder.WriteAt(file, old->data(), old->size(), static_cast<std::int64_t>(bytes.size()));
    if (result == 0) result = folder.WriteAt(file, bytes.data(), bytes.size(), 0);
    if (result == 0) {
      result = folder.SetSizeAndSync(file, static_cast<std::int64_t>(bytes.size() + old->size()));
    }
    if (result != 0) {
      (void)folder.Remove(file, journalName);
      folder.Close(file);
      return result;
    }
    folder.Sync();
    journal = file;
    return 0;
  }
  return -EBUSY;
}

// Removes the journal once the copy is done, or puts its old bytes back first
// where the copy failed.
int CloseJournal(RecoveryFolder& folder, const std::string& name, File journal, File target,
                 bool putBack) {
  int result = 0;
  if (putBack) {
    // A copy that failed half way is undone as a crash would be.
    Journal read = ReadJournal(folder, journal, JournalName(name));
    result = read.parsed.fault == HeadFault::kNone ? PutBack(folder, target, read.old) : -EIO;
  }
  // Where the old bytes could not go back, the journal stays for the next run.
  if (result == 0) result = folder.Remove(journal, JournalName(name));
  folder.Close(journal);
  return result;
}

}  // namespace

int CopyUnderJournal(RecoveryFolder& folder, const std::string& name, File target, File fresh,
                     const std::function<int()>& copy) {
  File journal = -1;
  if (const int opened = OpenJournal(folder, name, target, fresh, journal); opened != 0) {
    return opened;
  }
  const int copied = copy();
  const int closed = CloseJournal(folder, name, journal, target, copied != 0);
  return copied != 0 ? copied : closed;
}

}  // namespace loopsmith
