#include "base/journal.h"

#include <cstdio>

#include "base/content_check.h"

namespace loopsmith {
namespace {

constexpr std::string_view kJournalPrefix = ".loopsmith-journal-";

void PutLittle(std::vector<std::uint8_t>& out, std::uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

std::uint64_t TakeLittle(std::span<const std::uint8_t> bytes, std::size_t at, int count) {
  std::uint64_t value = 0;
  for (int i = count - 1; i >= 0; --i) value = (value << 8) | bytes[at + static_cast<std::size_t>(i)];
  return value;
}

}  // namespace

std::string JournalName(std::string_view target) {
  Checksum sum;
  sum.Add(target.data(), target.size());
  char hex[17];
  std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(sum.value()));
  return std::string(kJournalPrefix) + hex;
}

bool IsJournalName(std::string_view name) {
  return name.size() == kJournalPrefix.size() + 16 && name.starts_with(kJournalPrefix);
}

std::vector<std::uint8_t> MakeJournalHead(const JournalHead& head) {
  std::vector<std::uint8_t> out(kJournalMagic.begin(), kJournalMagic.end());
  PutLittle(out, head.target.size(), 4);
  out.insert(out.end(), head.target.begin(), head.target.end());
  PutLittle(out, head.size, 8);
  PutLittle(out, head.checksum, 8);
  return out;
}

std::optional<JournalHead> ParseJournalHead(std::span<const std::uint8_t> bytes) {
  const std::size_t magic = kJournalMagic.size();
  if (bytes.size() < magic + 4 ||
      std::string_view(reinterpret_cast<const char*>(bytes.data()), magic) != kJournalMagic) {
    return std::nullopt;
  }
  const std::uint64_t length = TakeLittle(bytes, magic, 4);
  // A name is one path component; anything longer is not a head of ours.
  if (length == 0 || length > 255 || bytes.size() < magic + 4 + length + 16) return std::nullopt;
  JournalHead head;
  head.target.assign(reinterpret_cast<const char*>(bytes.data()) + magic + 4, length);
  head.size = TakeLittle(bytes, magic + 4 + length, 8);
  head.checksum = TakeLittle(bytes, magic + 4 + length + 8, 8);
  head.bytes = magic + 4 + length + 16;
  return head;
}

}  // namespace loopsmith
