#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/file_system.h"
#include "base/messages.h"
#include "card/card_index.h"
#include "core/loop_params.h"

namespace loopsmith::card {

inline constexpr int kSlots = kMaxFileNumber;

// A loop file in a slot, from its header and size alone.
struct SlotFile {
  std::string name;  // "L07.T58"
  LoopParams params;
  std::uint32_t loopSamples = 0;
  double seconds = 0;
  std::int64_t size = 0;
  bool readOnly = false;
  std::optional<Failure> problem;  // why it does not read, as --info says it
  std::optional<LoopName> named;   // what the card's index says of it
};

// Number N: free, or the loop file named for it.
struct Slot {
  int number = 0;
  std::optional<SlotFile> file;
};

// A file beside the slots that the sampler may not see, and why.
struct Stray {
  std::string name;
  std::string why;
};

// A folder as the sampler sees it: fifty slots L01.T58 ... L50.T58, and
// the other .T58 names and leftovers listed apart.
struct CardView {
  std::array<Slot, kSlots> slots;
  std::vector<Stray> strays;
  std::string indexProblem;  // why the card's index of names was ignored
  // The numbers of the free slots, lowest first.
  std::vector<int> FreeNumbers() const;
};

// Reads the folder's listing and each loop file's header; where the card has
// an index of names, each readable loop whole too, for the identity its name
// is kept under. Writes nothing. 0, or the listing's failure.
int ReadCard(FileSystem& fs, const std::string& folder, CardView& card);

// "L07.T58" for 7.
std::string SlotName(int number);

// `name` in the card's folder, which may end in a separator already.
std::string PathIn(const std::string& folder, const std::string& name);

// A small file's whole bytes; nothing where it does not read or holds more
// than `limit` bytes (the card's own files come from anyone).
std::optional<std::vector<std::uint8_t>> ReadWhole(FileSystem& fs, const std::string& path,
                                                   std::size_t limit);

}  // namespace loopsmith::card
