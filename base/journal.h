#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace loopsmith {

// Every file the file layer leaves in a folder for a moment starts so: the
// temporary files new outputs are written to, and the journals below. A
// stray one is ours to remove once nobody holds it.
inline constexpr std::string_view kOwnFilePrefix = ".loopsmith-";
// Except these: a card's move or swap in progress, which only the card's next
// operation may finish (a sweep would lose the loop held under such a name).
inline constexpr std::string_view kCardFilePrefix = ".loopsmith-swap";

// The rollback journal kept beside a file while new bytes are copied over it
// in place (a file with other hard links cannot be replaced by a rename): the
// old bytes, flushed before the file is touched and removed once the new
// bytes are flushed. Whoever finds a complete one puts the old bytes back; an
// incomplete one means the file was never touched.
//
// Layout: the 12 bytes "LSJOURNAL1\r\n", the file's name length (32 bits) and
// name, the old size and the old bytes' checksum (64 bits each), all little
// endian, then the old bytes. The head is written last, so a journal whose
// head reads and whose bytes match it is complete.
inline constexpr std::string_view kJournalMagic = "LSJOURNAL1\r\n";
// Room enough to read any head in one go: names are at most 255 bytes.
inline constexpr std::size_t kJournalHeadMax = 12 + 4 + 255 + 16;

struct JournalHead {
  std::string target;  // the file's name in its folder
  std::uint64_t size = 0;
  std::uint64_t checksum = 0;
  std::size_t bytes = 0;  // the head's own length: the old bytes start here
};

// The few calls on open files that keeping and reading a journal takes, from
// the platform's file layer; files are its own handles.
class JournalIo {
 public:
  virtual ~JournalIo() = default;
  // Bytes read at `at`: fewer only at the end; negative on failure.
  virtual std::int64_t ReadAt(std::intptr_t file, void* buffer, std::size_t n, std::int64_t at) = 0;
  // 0 once all n bytes are written at `at`.
  virtual int WriteAt(std::intptr_t file, const void* buffer, std::size_t n, std::int64_t at) = 0;
  virtual std::int64_t Size(std::intptr_t file) = 0;
  // Cuts or extends the file to `size`, then puts its data on the disk.
  virtual int SetSizeAndSync(std::intptr_t file, std::int64_t size) = 0;
};

// `count` bytes of `from` at `fromAt` to `to` at `toAt`: 0, or the failure
// (a short read is -EIO, a write that takes nothing -ENOSPC).
int CopyRange(JournalIo& io, std::intptr_t from, std::int64_t fromAt, std::intptr_t to,
              std::int64_t toAt, std::int64_t count);

// The old bytes of `target` (named `name` in its folder) into an empty
// `journal`, head last, then onto the disk.
int KeepInJournal(JournalIo& io, std::intptr_t target, const std::string& name,
                  std::intptr_t journal);
// The head of a complete journal for `name`; nothing where it is cut short
// (its file was never touched) or is another file's.
std::optional<JournalHead> CompleteJournal(JournalIo& io, std::intptr_t journal,
                                           const std::string& name);
// The journal's old bytes back into `target`, which ends where they end.
int PutBack(JournalIo& io, std::intptr_t journal, const JournalHead& head, std::intptr_t target);

// ".loopsmith-journal-" and 16 hex digits drawn from the file's name, so that
// whoever opens the file finds its journal without listing the folder.
std::string JournalName(std::string_view target);
bool IsJournalName(std::string_view name);
std::vector<std::uint8_t> MakeJournalHead(const JournalHead& head);
// The head at the start of `bytes`, or nothing where it is not a whole one.
std::optional<JournalHead> ParseJournalHead(std::span<const std::uint8_t> bytes);

}  // namespace loopsmith
