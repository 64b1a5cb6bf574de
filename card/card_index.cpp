#include "card/card_index.h"

#include <memory>
#include <optional>
#include <vector>

#include "base/content_check.h"
#include "base/journal.h"
#include "card/card.h"
#include "core/loop_format.h"

namespace loopsmith::card {
namespace {

constexpr std::string_view kFirstLine = "loopsmith card index 1";
// Fifty loops' names with room to spare; a larger file is not ours.
constexpr std::size_t kLargestIndex = std::size_t{256} * 1024;
constexpr std::size_t kLongestField = 255;

// Tabs and line ends in a name would split its line: written as \t \n \r, and \\ for \.
std::string Escaped(std::string_view field) {
  std::string out;
  for (const char c : field) {
    switch (c) {
      case '\\':
        out += "\\\\";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::optional<std::string> Unescaped(std::string_view field) {
  std::string out;
  for (std::size_t i = 0; i < field.size(); ++i) {
    if (field[i] != '\\') {
      out += field[i];
      continue;
    }
    if (++i == field.size()) return std::nullopt;
    switch (field[i]) {
      case '\\':
        out += '\\';
        break;
      case 't':
        out += '\t';
        break;
      case 'n':
        out += '\n';
        break;
      case 'r':
        out += '\r';
        break;
      default:
        return std::nullopt;
    }
  }
  if (out.size() > kLongestField) return std::nullopt;
  return out;
}

// "262200 0123456789abcdef", of a size a loop file can have.
bool IsIdentity(std::string_view text) {
  const auto space = text.find(' ');
  if (space == std::string_view::npos || text.size() - space - 1 != 16) return false;
  if (space == 0 || space > 6) return false;
  std::size_t size = 0;
  for (const char c : text.substr(0, space)) {
    if (c < '0' || c > '9') return false;
    size = size * 10 + static_cast<std::size_t>(c - '0');
  }
  if (size > kLargestLoopFile) return false;
  for (const char c : text.substr(space + 1)) {
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  }
  return true;
}

std::vector<std::string_view> Split(std::string_view text, char at) {
  std::vector<std::string_view> parts;
  for (std::size_t start = 0;;) {
    const auto end = text.find(at, start);
    parts.push_back(text.substr(start, end == std::string_view::npos ? end : end - start));
    if (end == std::string_view::npos) return parts;
    start = end + 1;
  }
}

}  // namespace

std::string LoopIdentity(const std::uint8_t* bytes, std::size_t size) {
  Checksum sum;
  sum.Add(bytes, size);
  std::string text = std::to_string(size) + ' ';
  for (int shift = 60; shift >= 0; shift -= 4)
    text += "0123456789abcdef"[(sum.value() >> shift) & 15];
  return text;
}

std::string LoopIdentityOf(FileSystem& fs, const std::string& path) {
  const auto bytes = ReadWhole(fs, path, kLargestLoopFile);
  return bytes ? LoopIdentity(bytes->data(), bytes->size()) : std::string();
}

std::string IndexText(const CardIndex& index) {
  std::string text(kFirstLine);
  text += '\n';
  for (const auto& [identity, name] : index.names) {
    text += identity + '\t' + Escaped(name.source) + '\t' + Escaped(name.made) + '\t' +
            Escaped(name.label) + '\n';
  }
  return text;
}

CardIndex ParseIndex(std::string_view text) {
  CardIndex index;
  const auto lines = Split(text, '\n');
  if (lines.empty() || lines[0] != kFirstLine || !lines.back().empty()) {
    index.problem = "its first line is not an index's, or its last line is cut short";
    return index;
  }
  for (std::size_t n = 1; n + 1 < lines.size(); ++n) {
    const auto fields = Split(lines[n], '\t');
    std::optional<std::string> source, made, label;
    if (fields.size() == 4 && IsIdentity(fields[0])) {
      source = Unescaped(fields[1]);
      made = Unescaped(fields[2]);
      label = Unescaped(fields[3]);
    }
    if (!source || !made || !label) {
      index.names.clear();
      index.problem = "its line " + std::to_string(n + 1) + " does not read";
      return index;
    }
    index.names[std::string(fields[0])] = {*source, *made, *label};
  }
  return index;
}

CardIndex ReadIndex(FileSystem& fs, const std::string& folder) {
  const std::string path = PathIn(folder, std::string(kCardFileName));
  FileHandle probe = FileHandle::kNone;
  if (fs.OpenRead(path, probe) != 0) return {};  // none: no names yet
  fs.Close(probe);
  const auto bytes = ReadWhole(fs, path, kLargestIndex);
  if (!bytes) return {{}, "it cannot be read, or is larger than an index can be"};
  return ParseIndex(std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()));
}

int WriteIndex(FileSystem& fs, const std::string& folder, const CardIndex& index) {
  // Only the loops on the card now: a loop removed takes its name with it.
  CardIndex kept;
  for (int n = 1; n <= kSlots; ++n) {
    const std::string identity = LoopIdentityOf(fs, PathIn(folder, SlotName(n)));
    if (const auto found = index.names.find(identity); found != index.names.end()) {
      kept.names.insert(*found);
    }
  }
  const std::string text = IndexText(kept);
  OutputFile file(fs);
  if (const int created = file.Create(PathIn(folder, std::string(kCardFileName))); created != 0) {
    return created;
  }
  if (fs.Write(file.handle(), text.data(), text.size()) != static_cast<std::int64_t>(text.size())) {
    return -EIO;
  }
  return file.Commit();
}

namespace {

// The index read, changed by `change` and written, under the card's lock:
// two runs naming loops at once would each write it without the other's names.
template <typename Change>
int ChangeIndex(FileSystem& fs, const std::string& folder, Change change) {
  std::unique_ptr<FolderLock> lock;
  if (const int locked = fs.LockFolder(folder, lock); locked != 0) return locked;
  CardIndex index = ReadIndex(fs, folder);
  if (const int failed = change(index); failed != 0) return failed;
  return WriteIndex(fs, folder, index);
}

// The index with the entry of slot `number`'s loop changed by `change`, written.
template <typename Change>
int ChangeSlot(FileSystem& fs, const std::string& folder, int number, Change change) {
  return ChangeIndex(fs, folder, [&](CardIndex& index) {
    const std::string identity = LoopIdentityOf(fs, PathIn(folder, SlotName(number)));
    if (identity.empty()) return -ENOENT;
    change(index.names[identity]);
    return 0;
  });
}

}  // namespace

int RecordSlot(FileSystem& fs, const std::string& folder, int number, const std::string& source,
               const std::string& made) {
  return ChangeSlot(fs, folder, number, [&](LoopName& name) {
    name.source = source.substr(0, kLongestField);
    name.made = made;
  });
}

int LabelSlot(FileSystem& fs, const std::string& folder, int number, const std::string& label) {
  return ChangeSlot(fs, folder, number,
                    [&](LoopName& name) { name.label = label.substr(0, kLongestField); });
}

int AdoptNames(FileSystem& fs, const std::string& folder, std::string_view backup) {
  if (backup.size() > kLargestIndex) return 0;
  const CardIndex from = ParseIndex(backup);
  if (!from.problem.empty() || from.names.empty()) return 0;
  return ChangeIndex(fs, folder, [&](CardIndex& index) {
    // Only what the card lacks (ParseIndex refused any field too long for
    // one); WriteIndex then keeps the loops on it alone.
    for (const auto& [identity, name] : from.names) {
      LoopName& mine = index.names[identity];
      if (mine.source.empty()) {
        mine.source = name.source;
        mine.made = name.made;
      }
      if (mine.label.empty()) mine.label = name.label;
    }
    return 0;
  });
}

}  // namespace loopsmith::card
