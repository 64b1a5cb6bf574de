// Fuzzed journals and swap journals on a card in memory, met by every command
// that reads or changes a card. Whatever they hold, nothing outside the card's
// folder is written, none of the user's files changes, nothing grows past
// what a loop can be, and a command that only reads changes no byte.
//
// Input: one byte choosing the command and the journal's file name, then up
// to four parts split by "|~|": the journal's bytes, the swap journal's, the
// swap's loop in between, and a name.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "base/journal.h"
#include "base/memory_file_system.h"
#include "card/card.h"
#include "card/card_moves.h"
#include "fuzz_check.h"

namespace {

using Files = std::map<std::string, std::vector<std::uint8_t>>;

constexpr std::string_view kSeparator = "|~|";
constexpr std::string_view kCard = "card/";

std::vector<std::string> Parts(const std::uint8_t* data, std::size_t size) {
  std::vector<std::string> parts(1);
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  for (std::size_t at = 0; at < text.size();) {
    if (parts.size() < 4 && text.substr(at, kSeparator.size()) == kSeparator) {
      parts.emplace_back();
      at += kSeparator.size();
    } else {
      parts.back() += text[at++];
    }
  }
  parts.resize(4);
  return parts;
}

std::vector<std::uint8_t> Bytes(const std::string& text) { return {text.begin(), text.end()}; }

// A file the card's own commands may create: a slot's loop, or one of ours.
bool MayAppear(const std::string& path) {
  if (path.compare(0, kCard.size(), kCard) != 0) return false;
  const std::string name = path.substr(kCard.size());
  if (name.find('/') != std::string::npos) return false;
  for (int n = 1; n <= loopsmith::card::kSlots; ++n) {
    if (name == loopsmith::card::SlotName(n)) return true;
  }
  return loopsmith::IsOwnFileName(name);
}

// The user's own files: everything outside the card, its subfolder, and a
// file that only looks like one of ours.
bool IsUsers(const std::string& path) {
  return path.compare(0, kCard.size(), kCard) != 0 ||
         path.find('/', kCard.size()) != std::string::npos || path == "card/.loopsmith-notes.txt";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const int command = data[0] % 8;
  const auto parts = Parts(data + 1, size - 1);

  loopsmith::MemoryFileSystem fs;
  // Two small loops' worth of bytes: what matters is whose they are.
  fs.files["card/L01.T58"] = Bytes(std::string(600, 'a'));
  fs.files["card/L02.T58"] = Bytes(std::string(700, 'b'));
  fs.files["card/.loopsmith-notes.txt"] = Bytes("mine");
  fs.files["card/notes/keep.txt"] = Bytes("a folder of mine");
  fs.files["victim.txt"] = Bytes("outside the card");
  switch ((data[0] >> 3) % 4) {
    case 0:
      fs.files["card/" + loopsmith::JournalName("L01.T58")] = Bytes(parts[0]);
      break;
    case 1:
      fs.files["card/" + loopsmith::JournalName("L02.T58")] = Bytes(parts[0]);
      break;
    case 2:
      fs.files["card/" + loopsmith::JournalName(parts[3])] = Bytes(parts[0]);
      break;
    default:
      fs.files["card/" + parts[3]] = Bytes(parts[0]);
      break;
  }
  if (!parts[1].empty()) fs.files["card/.loopsmith-swap"] = Bytes(parts[1]);
  if (!parts[2].empty()) fs.files["card/.loopsmith-swap.T58"] = Bytes(parts[2]);
  const Files before = fs.files;

  bool readsOnly = false;
  switch (command) {
    case 0:
      (void)fs.SweepFolder("card");
      break;
    case 1:
      (void)fs.RecoverFolder("card");
      break;
    case 2:
      (void)loopsmith::card::RemoveSlot(fs, "card", 2);
      break;
    case 3:
      (void)loopsmith::card::SwapSlots(fs, "card", 1, 2);
      break;
    case 4:
      (void)loopsmith::card::MoveSlot(fs, "card", 1, 3);
      break;
    case 5:
      readsOnly = true;
      (void)fs.InspectFolder("card");
      break;
    case 6: {
      readsOnly = true;
      loopsmith::card::CardView card;
      (void)loopsmith::card::ReadCard(fs, "card", card);
      break;
    }
    default: {
      readsOnly = true;
      loopsmith::FileHandle file = loopsmith::FileHandle::kNone;
      if (fs.OpenRead("card/L01.T58", file) == 0) {
        std::uint8_t buffer[4096];
        while (fs.Read(file, buffer, sizeof buffer) > 0) {
        }
        fs.Close(file);
      }
      break;
    }
  }

  FUZZ_CHECK(fs.openCount() == 0);
  if (readsOnly) FUZZ_CHECK(fs.files == before);
  for (const auto& [path, bytes] : before) {
    if (IsUsers(path)) FUZZ_CHECK(fs.files.count(path) == 1 && fs.files.at(path) == bytes);
  }
  for (const auto& [path, bytes] : fs.files) {
    const auto was = before.find(path);
    FUZZ_CHECK(was != before.end() || MayAppear(path));
    // A journal puts back at most what a loop can be.
    const auto largest = static_cast<std::size_t>(loopsmith::LargestKeptFile("L01.T58"));
    FUZZ_CHECK(bytes.size() <= std::max(largest, was != before.end() ? was->second.size() : 0));
  }
  return 0;
}
