#include "card/card.h"

#include <algorithm>
#include <charconv>

#include "base/journal.h"
#include "base/text.h"
#include "core/loop_file.h"
#include "core/loop_length.h"
#include "core/output_names.h"
#include "wave/wave_io.h"

namespace loopsmith::card {
namespace {

// The number a name like "L07.T58", "l7.t58" or "L51.T58" stands for, in any
// case and with or without the leading zero; 0 for any other name.
int NumberIn(const std::string& name) {
  const std::string lower = AsciiLower(name);
  if (lower.size() < 6 || lower.front() != 'l' || !lower.ends_with(".t58")) return 0;
  const std::string digits = lower.substr(1, lower.size() - 5);
  int number = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
  if (error != std::errc{} || end != digits.data() + digits.size()) return 0;
  return number;
}

}  // namespace

std::string PathIn(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  const char last = folder.back();
  return last == '/' || last == '\\' ? folder + name : folder + "/" + name;
}

std::optional<std::vector<std::uint8_t>> ReadWhole(FileSystem& fs, const std::string& path,
                                                   std::size_t limit) {
  FileHandle file = FileHandle::kNone;
  if (fs.OpenRead(path, file) != 0) return std::nullopt;
  std::vector<std::uint8_t> bytes;
  std::uint8_t buffer[4096];
  for (;;) {
    const std::int64_t got = fs.Read(file, buffer, sizeof buffer);
    if (got < 0 || bytes.size() + static_cast<std::size_t>(got) > limit) {
      fs.Close(file);
      return std::nullopt;
    }
    if (got == 0) break;
    bytes.insert(bytes.end(), buffer, buffer + got);
  }
  fs.Close(file);
  return bytes;
}

std::string SlotName(int number) {
  return (number < 10 ? "L0" : "L") + std::to_string(number) + ".T58";
}

std::vector<int> CardView::FreeNumbers() const {
  std::vector<int> free;
  for (const Slot& slot : slots) {
    if (!slot.file) free.push_back(slot.number);
  }
  return free;
}

int ReadCard(FileSystem& fs, const std::string& folder, CardView& card) {
  card = CardView{};
  for (int n = 1; n <= kSlots; ++n) card.slots[static_cast<std::size_t>(n - 1)].number = n;
  std::vector<FolderEntry> entries;
  if (const int listed = fs.ListFolder(folder, entries); listed != 0) return listed;
  std::sort(entries.begin(), entries.end(),
            [](const FolderEntry& a, const FolderEntry& b) { return a.name < b.name; });
  for (const FolderEntry& entry : entries) {
    if (entry.name == kSwapJournalName || entry.name == kSwapBetweenName) {
      card.strays.push_back({entry.name,
                             "a swap that was cut off; the next move, swap or removal here "
                             "finishes it"});
      continue;
    }
    // Other names that start as ours but are not of our shapes are the user's.
    if (IsOwnFileName(entry.name)) continue;
    const int number = NumberIn(entry.name);
    if (number == 0 && !EndsWithIgnoringCase(entry.name, ".t58")) continue;
    if (number < 1 || number > kSlots) {
      card.strays.push_back({entry.name, "no number the sampler reads (L01.T58 to L50.T58)"});
      continue;
    }
    const std::string proper = SlotName(number);
    Slot& slot = card.slots[static_cast<std::size_t>(number - 1)];
    // A card that does not tell case apart opens one file under both spellings.
    if (entry.name != proper && !fs.SameFile(PathIn(folder, proper), PathIn(folder, entry.name))) {
      // On a file system that tells case apart, both spellings can be there.
      const bool both = std::any_of(entries.begin(), entries.end(),
                                    [&](const FolderEntry& e) { return e.name == proper; });
      card.strays.push_back({entry.name, both ? "a second file for number " +
                                                    std::to_string(number) + " beside " + proper
                                              : "the sampler reads " + proper + ", spelt so"});
      continue;
    }
    if (!entry.regular) {
      card.strays.push_back({entry.name, "not a file"});
      continue;
    }
    SlotFile file;
    file.name = entry.name;
    file.readOnly = entry.readOnly;
    file.size = entry.size;
    std::int64_t size = entry.size;
    file.problem = CheckLoopFile(fs, PathIn(folder, entry.name), file.params, size);
    if (size >= 0) file.size = size;
    if (!file.problem) {
      file.loopSamples = SampleCount(file.params.measureMode, file.params.tempo) + 1;
      file.seconds = static_cast<double>(file.loopSamples) / kSampleRate;
    }
    slot.file = std::move(file);
  }
  // Names from the card's index, by each loop's bytes: only where there is one.
  const CardIndex index = ReadIndex(fs, folder);
  card.indexProblem = index.problem;
  for (Slot& slot : card.slots) {
    if (index.names.empty() || !slot.file || slot.file->problem) continue;
    const auto found = index.names.find(LoopIdentityOf(fs, PathIn(folder, slot.file->name)));
    if (found != index.names.end()) slot.file->named = found->second;
  }
  // What cut-off writes left, as the file layer judges it; read, never applied.
  for (LeftoverFile& left : fs.InspectFolder(folder)) {
    card.strays.push_back({std::move(left.name), std::move(left.why)});
  }
  std::sort(card.strays.begin(), card.strays.end(),
            [](const Stray& a, const Stray& b) { return a.name < b.name; });
  return 0;
}

}  // namespace loopsmith::card
