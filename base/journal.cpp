#include "base/journal.h"

#include <algorithm>
#include <array>
#include <cstdio>

#include "base/content_check.h"
#include "base/text.h"

namespace loopsmith {
namespace {

constexpr std::string_view kJournalPrefix = ".loopsmith-journal-";
constexpr std::size_t kNameMax = 255;
// The head's fixed fields after the name: identity (3), sizes (2), piece size.
constexpr std::size_t kFixedAfterName = 5 * std::size_t{8} + 4;

bool AllHex(std::string_view digits) {
  return std::all_of(digits.begin(), digits.end(),
                     [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
}

void PutLittle(std::vector<std::uint8_t>& out, std::uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

// Reads little-endian numbers from the front of a head, and says when it ran out.
class HeadReader {
 public:
  explicit HeadReader(std::span<const std::uint8_t> bytes) : m_bytes(bytes) {}
  bool Has(std::size_t n) const { return m_bytes.size() - m_at >= n; }
  std::uint64_t Take(int count) {
    std::uint64_t value = 0;
    for (int i = count - 1; i >= 0; --i)
      value = (value << 8) | m_bytes[m_at + static_cast<std::size_t>(i)];
    m_at += static_cast<std::size_t>(count);
    return value;
  }
  std::string_view Text(std::size_t n) {
    const std::string_view text(reinterpret_cast<const char*>(m_bytes.data()) + m_at, n);
    m_at += n;
    return text;
  }
  std::size_t at() const { return m_at; }

 private:
  std::span<const std::uint8_t> m_bytes;
  std::size_t m_at = 0;
};

std::size_t PieceCount(std::uint64_t size) {
  return static_cast<std::size_t>((size + kJournalPiece - 1) / kJournalPiece);
}

}  // namespace

bool IsTemporaryName(std::string_view name) {
  return name.size() == kOwnFilePrefix.size() + 6 && name.starts_with(kOwnFilePrefix) &&
         AllHex(name.substr(kOwnFilePrefix.size()));
}

bool IsJournalName(std::string_view name) {
  return name.size() == kJournalPrefix.size() + 16 && name.starts_with(kJournalPrefix) &&
         AllHex(name.substr(kJournalPrefix.size()));
}

bool IsCardFileName(std::string_view name) {
  return name == kSwapJournalName || name == kSwapBetweenName || name == kCardFileName;
}

bool IsOwnFileName(std::string_view name) {
  return IsTemporaryName(name) || IsJournalName(name) || IsCardFileName(name);
}

bool IsPlainName(std::string_view name) {
  if (name.empty() || name.size() > kNameMax || name == "." || name == "..") return false;
  for (const char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F || c == '/' || c == '\\' || c == ':') return false;
    // What Windows refuses in a name, so no platform reads it as a pattern or pipe.
    if (c == '<' || c == '>' || c == '"' || c == '|' || c == '?' || c == '*') return false;
  }
  if (name.back() == '.' || name.back() == ' ') return false;
  // Windows opens its devices under these names, with any extension.
  const std::string stem = AsciiLower(std::string(name.substr(0, name.find('.'))));
  static constexpr std::array<std::string_view, 6> kDevices = {"con", "prn",    "aux",
                                                               "nul", "conin$", "conout$"};
  if (std::find(kDevices.begin(), kDevices.end(), stem) != kDevices.end()) return false;
  if (stem.size() == 4 && (stem.starts_with("com") || stem.starts_with("lpt")) &&
      ((stem[3] >= '0' && stem[3] <= '9') || static_cast<unsigned char>(stem[3]) >= 0x80)) {
    return false;
  }
  return true;
}

std::int64_t LargestKeptFile(std::string_view name) {
  const std::string text(name);
  // A loop file is at most its header and 262,144 words.
  if (EndsWithIgnoringCase(text, ".t58")) return 524'344;
  // A loop brought back is one channel of at most 262,144 samples; the rest
  // allows for the chunks another program may have added to the old file.
  if (EndsWithIgnoringCase(text, ".wav")) return 1 << 20;
  return 0;
}

std::string JournalName(std::string_view target) {
  Checksum sum;
  sum.Add(target.data(), target.size());
  char hex[17];
  std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(sum.value()));
  return std::string(kJournalPrefix) + hex;
}

std::vector<std::uint64_t> PieceSums(std::span<const std::uint8_t> bytes) {
  std::vector<std::uint64_t> sums;
  for (std::size_t at = 0; at < bytes.size(); at += kJournalPiece) {
    Checksum sum;
    sum.Add(bytes.data() + at, std::min<std::size_t>(kJournalPiece, bytes.size() - at));
    sums.push_back(sum.value());
  }
  return sums;
}

std::vector<std::uint8_t> MakeJournalHead(const JournalHead& head) {
  std::vector<std::uint8_t> out(kJournalMagic.begin(), kJournalMagic.end());
  PutLittle(out, kJournalVersion, 4);
  PutLittle(out, head.target.size(), 4);
  out.insert(out.end(), head.target.begin(), head.target.end());
  PutLittle(out, head.identity.volume, 8);
  PutLittle(out, head.identity.index, 8);
  PutLittle(out, head.identity.born, 8);
  PutLittle(out, head.oldSize, 8);
  PutLittle(out, head.newSize, 8);
  PutLittle(out, kJournalPiece, 4);
  for (const std::uint64_t sum : head.oldPieces) PutLittle(out, sum, 8);
  for (const std::uint64_t sum : head.newPieces) PutLittle(out, sum, 8);
  Checksum check;
  check.Add(out.data(), out.size());
  PutLittle(out, check.value(), 8);
  return out;
}

std::size_t JournalHeadMax() {
  const std::size_t pieces = PieceCount(static_cast<std::uint64_t>(1) << 20);
  return kJournalMagic.size() + 4 + 4 + kNameMax + kFixedAfterName + 2 * pieces * 8 + 8;
}

ParsedHead ParseJournalHead(std::span<const std::uint8_t> bytes, std::string_view journalName) {
  const std::size_t magic = kJournalMagic.size();
  // The head goes on last, over zeros: none yet means the file was never touched.
  const auto start = bytes.first(std::min(bytes.size(), magic));
  if (std::all_of(start.begin(), start.end(), [](std::uint8_t b) { return b == 0; })) {
    return {std::nullopt, HeadFault::kCutShort};
  }
  HeadReader read(bytes);
  if (!read.Has(magic + 8) || read.Text(magic) != kJournalMagic ||
      read.Take(4) != kJournalVersion) {
    return {std::nullopt, HeadFault::kDamaged};
  }
  const auto length = static_cast<std::size_t>(read.Take(4));
  if (length == 0 || length > kNameMax || !read.Has(length + kFixedAfterName)) {
    return {std::nullopt, HeadFault::kDamaged};
  }
  JournalHead head;
  head.target = std::string(read.Text(length));
  head.identity = {read.Take(8), read.Take(8), read.Take(8)};
  head.oldSize = read.Take(8);
  head.newSize = read.Take(8);
  if (read.Take(4) != kJournalPiece) return {std::nullopt, HeadFault::kDamaged};
  // Sizes are checked before they size anything.
  const std::int64_t largest = LargestKeptFile(head.target);
  const bool sane = head.oldSize <= static_cast<std::uint64_t>(largest) &&
                    head.newSize <= static_cast<std::uint64_t>(largest);
  const std::size_t pieces = sane ? PieceCount(head.oldSize) + PieceCount(head.newSize) : 0;
  if (sane && !read.Has(pieces * 8 + 8)) return {std::nullopt, HeadFault::kDamaged};
  if (sane) {
    for (std::size_t i = 0; i < PieceCount(head.oldSize); ++i)
      head.oldPieces.push_back(read.Take(8));
    for (std::size_t i = 0; i < PieceCount(head.newSize); ++i)
      head.newPieces.push_back(read.Take(8));
    Checksum check;
    check.Add(bytes.data(), read.at());
    if (read.Take(8) != check.value()) return {std::nullopt, HeadFault::kDamaged};
    head.bytes = read.at();
  }
  // Nothing read from the journal may name a file it was not made for.
  if (!IsPlainName(head.target)) return {std::move(head), HeadFault::kBadName};
  if (JournalName(head.target) != journalName) return {std::move(head), HeadFault::kWrongFile};
  if (!sane) return {std::move(head), HeadFault::kTooLarge};
  return {std::move(head), HeadFault::kNone};
}

}  // namespace loopsmith
