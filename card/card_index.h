#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>

#include "base/file_system.h"

namespace loopsmith::card {

// Names on a card's loops, which the loop file has no room for, kept beside
// them in ".loopsmith-card" (the sampler reads only L01.T58 ... L50.T58).
// Each entry ties a loop's identity, its size and checksum, to the sound it
// was made from, when, and the musician's own label: a loop moved by another
// tool keeps its name, and one changed or unknown has none.
struct LoopName {
  std::string source;  // the sound file's name, without its folder
  std::string made;    // "2026-12-08 16:30", local time
  std::string label;   // the musician's; empty until given
};

struct CardIndex {
  std::map<std::string, LoopName> names;  // by LoopIdentity
  // Why a damaged index was ignored; empty where it read, or is not there.
  // A damaged index never blocks the card, and is replaced only by a write.
  std::string problem;
};

// "262200 0123456789abcdef": a loop's bytes as the index and the swap journal know them.
std::string LoopIdentity(const std::uint8_t* bytes, std::size_t size);
// The same of the file at `path`; empty where it does not read.
std::string LoopIdentityOf(FileSystem& fs, const std::string& path);

// The index's text and back, apart from the files (the layout is in the README).
std::string IndexText(const CardIndex& index);
CardIndex ParseIndex(std::string_view text);

// The folder's index: empty without one, and empty with `problem` set where
// it does not read.
CardIndex ReadIndex(FileSystem& fs, const std::string& folder);
// Names for the loops now on the card only, written whole in one step; 0 or
// the failure.
int WriteIndex(FileSystem& fs, const std::string& folder, const CardIndex& index);

// The loop now in slot `number` was made from `source` at `made`; a label it
// had (the same bytes made again) is kept. Read, changed and written in one go.
int RecordSlot(FileSystem& fs, const std::string& folder, int number, const std::string& source,
               const std::string& made);
// The loop in slot `number` gets the musician's `label` (empty: none).
int LabelSlot(FileSystem& fs, const std::string& folder, int number, const std::string& label);

// Names from a backup's index (its text, from anyone) for the loops now on
// the card, where they have none: a card put back from its backup gets its
// names back, and a name given on the card since is kept. A backup index that does
// not read adds nothing.
int AdoptNames(FileSystem& fs, const std::string& folder, std::string_view backup);

}  // namespace loopsmith::card
