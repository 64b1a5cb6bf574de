#include "card/card_moves.h"

#include <cerrno>
#include <cstdio>
#include <memory>
#include <optional>
#include <vector>

#include "base/content_check.h"
#include "base/journal.h"
#include "card/card.h"
#include "card/card_index.h"

namespace loopsmith::card {
namespace {

constexpr std::string_view kJournal = kSwapJournalName;
constexpr std::string_view kBetween = kSwapBetweenName;

// Whether `name` is exactly one of the card's fifty slot names.
bool IsSlotName(const std::string& name) {
  for (int n = 1; n <= kSlots; ++n) {
    if (name == SlotName(n)) return true;
  }
  return false;
}

// The swap journal's names on the disk with the folder, before any loop moves.
void SyncFolder(FileSystem& fs, const std::string& folder) {
  if (const auto access = fs.OpenRecoveryFolder(folder)) access->Sync();
}

// What tells one loop from another: its size and checksum, as text.
std::optional<std::string> Identity(FileSystem& fs, const std::string& path) {
  std::string identity = LoopIdentityOf(fs, path);
  if (identity.empty()) return std::nullopt;
  return identity;
}

Failure Problem(const std::string& what, int error = 0) {
  Failure failure = PlainFailure(what);
  failure.systemError = error;
  return failure;
}

int WriteText(FileSystem& fs, const std::string& path, const std::string& text) {
  OutputFile file(fs);
  if (const int created = file.Create(path); created != 0) return created;
  if (fs.Write(file.handle(), text.data(), text.size()) != static_cast<std::int64_t>(text.size())) {
    return -EIO;
  }
  return file.Commit();
}

bool Exists(FileSystem& fs, const std::string& path) {
  FileHandle file = FileHandle::kNone;
  if (fs.OpenRead(path, file) != 0) return false;
  fs.Close(file);
  return true;
}

// The card for this operation alone: on FAT, whose renames cannot refuse to
// replace, two runs' moves could otherwise both find a number free.
std::optional<Failure> HoldCard(FileSystem& fs, const std::string& folder,
                                std::unique_ptr<FolderLock>& lock) {
  const int locked = fs.LockFolder(folder, lock);
  if (locked == 0) return std::nullopt;
  return Problem(locked == -kErrorHeld ? "another run was changing this card and had not finished "
                                         "within a minute; try again once it is done"
                                       : "it cannot be held against other runs",
                 locked == -kErrorHeld ? 0 : -locked);
}

}  // namespace

std::optional<Failure> FinishInterruptedSwap(FileSystem& fs, const std::string& folder) {
  std::unique_ptr<FolderLock> lock;
  if (auto busy = HoldCard(fs, folder, lock)) return busy;
  // What killed runs left here goes first: a journal half written is among it.
  fs.SweepFolder(folder);
  const std::string journal = PathIn(folder, std::string(kJournal));
  const std::string between = PathIn(folder, std::string(kBetween));
  const auto text = ReadWhole(fs, journal, 4096);
  if (!text) {
    // No journal: a loop under the name in between was never started on.
    return std::nullopt;
  }
  // Four lines: the first name, the second, and the first loop's identity.
  std::vector<std::string> lines(1);
  for (const std::uint8_t c : *text) {
    if (c == '\n') {
      lines.emplace_back();
    } else {
      lines.back() += static_cast<char>(c);
    }
  }
  // Names read from the journal name nothing but two of this card's slots.
  if (lines.size() < 3 || !IsSlotName(lines[0]) || !IsSlotName(lines[1]) || lines[0] == lines[1]) {
    return Problem("its " + std::string(kJournal) +
                   " does not check out (not written by a swap of two of its numbers), so it "
                   "is left alone; remove it to go on");
  }
  if (Exists(fs, between) && Identity(fs, between) == lines[2]) {
    const std::string a = PathIn(folder, lines[0]);
    const std::string b = PathIn(folder, lines[1]);
    // Cut after the first step: b's loop goes to a; after the second, only the last is left.
    if (!Exists(fs, a)) {
      if (const int moved = fs.MoveNoReplace(b, a); moved != 0) {
        return Problem("a swap of " + lines[0] + " and " + lines[1] +
                           " was cut off and cannot "
                           "be finished",
                       -moved);
      }
    }
    if (const int moved = fs.MoveNoReplace(between, b); moved != 0) {
      return Problem("a swap of " + lines[0] + " and " + lines[1] +
                         " was cut off and cannot be "
                         "finished",
                     -moved);
    }
  }
  // Not started, done, or a journal cut short while it was written: it goes.
  if (const int removed = fs.Remove(journal); removed != 0) {
    return Problem("the journal of a swap cannot be removed", -removed);
  }
  return std::nullopt;
}

std::optional<Failure> MoveSlot(FileSystem& fs, const std::string& folder, int from, int to) {
  if (from == to) return Problem("a move takes two different numbers");
  std::unique_ptr<FolderLock> lock;
  if (auto busy = HoldCard(fs, folder, lock)) return busy;
  if (auto unfinished = FinishInterruptedSwap(fs, folder)) return unfinished;
  const std::string source = PathIn(folder, SlotName(from));
  if (!Exists(fs, source)) return Problem(SlotName(from) + " is free: nothing to move");
  if (const int moved = fs.MoveNoReplace(source, PathIn(folder, SlotName(to))); moved != 0) {
    return Problem(
        moved == -EEXIST ? SlotName(to) + " is taken: a move never replaces" : "it cannot be moved",
        moved == -EEXIST ? 0 : -moved);
  }
  return std::nullopt;
}

std::optional<Failure> SwapSlots(FileSystem& fs, const std::string& folder, int a, int b) {
  std::unique_ptr<FolderLock> lock;
  if (auto busy = HoldCard(fs, folder, lock)) return busy;
  if (auto unfinished = FinishInterruptedSwap(fs, folder)) return unfinished;
  const std::string first = PathIn(folder, SlotName(a));
  const std::string second = PathIn(folder, SlotName(b));
  const std::string between = PathIn(folder, std::string(kBetween));
  const std::string journal = PathIn(folder, std::string(kJournal));
  if (a == b) return Problem("a swap takes two different numbers");
  const auto identity = Identity(fs, first);
  if (!identity) return Problem(SlotName(a) + " is free or unreadable: use a move");
  if (!Exists(fs, second)) return Problem(SlotName(b) + " is free: use a move");
  if (const int written =
          WriteText(fs, journal, SlotName(a) + "\n" + SlotName(b) + "\n" + *identity + "\n");
      written != 0) {
    return Problem("the swap's journal cannot be written", -written);
  }
  SyncFolder(fs, folder);
  // a's loop out of the way, b's to a, a's to b; the journal goes last.
  int step = fs.MoveNoReplace(first, between);
  if (step == 0) step = fs.MoveNoReplace(second, first);
  if (step == 0) step = fs.MoveNoReplace(between, second);
  if (step != 0) {
    // Carried to its end where it can be; otherwise the next operation does it.
    (void)FinishInterruptedSwap(fs, folder);
    return Problem("the swap could not be done", -step);
  }
  if (const int removed = fs.Remove(journal); removed != 0) {
    return Problem("the swap's journal cannot be removed", -removed);
  }
  return std::nullopt;
}

std::optional<Failure> RemoveSlot(FileSystem& fs, const std::string& folder, int number,
                                  bool force) {
  std::unique_ptr<FolderLock> lock;
  if (auto busy = HoldCard(fs, folder, lock)) return busy;
  if (auto unfinished = FinishInterruptedSwap(fs, folder)) return unfinished;
  if (!force) {
    std::vector<FolderEntry> entries;
    (void)fs.ListFolder(folder, entries);
    for (const FolderEntry& entry : entries) {
      if (entry.name == SlotName(number) && entry.readOnly) {
        return Problem(SlotName(number) +
                       " is marked read-only, so it is kept; remove it on purpose (--force)");
      }
    }
  }
  if (const int removed = fs.Remove(PathIn(folder, SlotName(number))); removed != 0) {
    return Problem(removed == -ENOENT ? SlotName(number) + " is free" : "it cannot be removed",
                   removed == -ENOENT ? 0 : -removed);
  }
  return std::nullopt;
}

}  // namespace loopsmith::card
