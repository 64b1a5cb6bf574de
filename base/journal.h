#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace loopsmith {

// The names of the files the file layer leaves in a folder for a moment. Only
// names of exactly these shapes are ever removed or acted on; any other name,
// ".loopsmith-notes.txt" say, is the user's.
//   ".loopsmith-" and 6 lowercase hex digits     a new output being written
//   ".loopsmith-journal-" and 16 lowercase hex   a rollback journal (below)
//   ".loopsmith-swap", ".loopsmith-swap.T58"     a card's swap in progress
//   ".loopsmith-card"                            a card's lock and index
inline constexpr std::string_view kOwnFilePrefix = ".loopsmith-";
inline constexpr std::string_view kSwapJournalName = ".loopsmith-swap";
inline constexpr std::string_view kSwapBetweenName = ".loopsmith-swap.T58";
inline constexpr std::string_view kCardFileName = ".loopsmith-card";

bool IsTemporaryName(std::string_view name);
bool IsJournalName(std::string_view name);
bool IsCardFileName(std::string_view name);
// Any of the shapes above.
bool IsOwnFileName(std::string_view name);

// Whether `name` can only ever name a file in the folder it is looked up in,
// on every platform: one path component, no "." or "..", no separator of
// either kind, no NUL or other control byte, no drive or stream colon, no
// Windows device name, no trailing dot or space that Windows would strip.
bool IsPlainName(std::string_view name);

// The largest file a journal may hold the old bytes of, by the kind its name
// says; 0 for a name that is no output of ours (its journal is not applied).
std::int64_t LargestKeptFile(std::string_view name);

// What tells one file from another on its volume: device and inode, volume
// and file index, and where the system keeps one, the time it was made, so
// that a file re-created under a reused number is not taken for the old one.
struct FileIdentity {
  std::uint64_t volume = 0;
  std::uint64_t index = 0;
  std::uint64_t born = 0;
  bool operator==(const FileIdentity&) const = default;
};

// The rollback journal kept beside a file while new bytes are copied over it
// in place (a file with other hard links cannot be replaced by a rename). Its
// layout, every number little-endian:
//   magic      12 bytes "LSJOURNAL\r\n\x1a"
//   version    u32, 2
//   name       u32 length (1 to 255), then the file's name in its folder
//   identity   u64 volume, u64 index, u64 born (see FileIdentity)
//   sizes      u64 old size, u64 new size
//   piece      u32 piece size, 4096
//   pieces     one u64 checksum per piece of the old bytes, then one per
//              piece of the new bytes (the last piece of each may be short)
//   check      u64 checksum of every head byte before it
//   old bytes  old size of them, to the end of the file
// Checksums are Checksum's (content_check.h). The head is written last, over
// zeros: a journal whose head does not read was cut short before its file
// was touched. The old bytes are put back only while the file is the one
// named (same identity) and each of its pieces is the old piece or the new
// one, as a copy cut off leaves it; a file changed since then is left alone.
inline constexpr std::string_view kJournalMagic{"LSJOURNAL\r\n\x1a", 12};
inline constexpr std::uint32_t kJournalVersion = 2;
inline constexpr std::uint32_t kJournalPiece = 4096;

struct JournalHead {
  std::string target;  // the file's name in its folder
  FileIdentity identity;
  std::uint64_t oldSize = 0;
  std::uint64_t newSize = 0;
  std::vector<std::uint64_t> oldPieces;
  std::vector<std::uint64_t> newPieces;
  std::size_t bytes = 0;  // the head's own length: the old bytes start here
};

// ".loopsmith-journal-" and 16 hex digits drawn from the file's name, so that
// whoever opens the file finds its journal without listing the folder.
std::string JournalName(std::string_view target);
// Each piece's checksum, pieces of kJournalPiece bytes.
std::vector<std::uint64_t> PieceSums(std::span<const std::uint8_t> bytes);
std::vector<std::uint8_t> MakeJournalHead(const JournalHead& head);

// Why a journal's head is not one to act on.
enum class HeadFault { kNone, kCutShort, kDamaged, kBadName, kWrongFile, kTooLarge };
struct ParsedHead {
  std::optional<JournalHead> head;
  HeadFault fault = HeadFault::kNone;
};
// The head at the start of `bytes`, checked: its magic, version, checksum,
// sizes and name, and that `journalName` (the journal's own name) is the one
// derived from that name. A start of zeros, or nothing, is a head cut short.
ParsedHead ParseJournalHead(std::span<const std::uint8_t> bytes, std::string_view journalName);
// The most bytes a head can take: the name and the pieces of two of the
// largest files kept.
std::size_t JournalHeadMax();

}  // namespace loopsmith
