#include "base/journal.h"

#include <algorithm>
#include <cerrno>
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
  for (int i = count - 1; i >= 0; --i)
    value = (value << 8) | bytes[at + static_cast<std::size_t>(i)];
  return value;
}

// `count` bytes from `from` at `fromAt` to `to` at `toAt`, adding them to `sum`.
int Copy(JournalIo& io, std::intptr_t from, std::int64_t fromAt, std::intptr_t to,
         std::int64_t toAt, std::int64_t count, Checksum* sum) {
  std::vector<unsigned char> buffer(1 << 16);
  for (std::int64_t done = 0; done < count;) {
    const auto want = static_cast<std::size_t>(std::min<std::int64_t>(count - done, 1 << 16));
    const std::int64_t got = io.ReadAt(from, buffer.data(), want, fromAt + done);
    if (got <= 0) return got < 0 ? static_cast<int>(got) : -EIO;
    if (sum != nullptr) sum->Add(buffer.data(), static_cast<std::size_t>(got));
    if (to >= 0) {
      const int put = io.WriteAt(to, buffer.data(), static_cast<std::size_t>(got), toAt + done);
      if (put != 0) return put;
    }
    done += got;
  }
  return 0;
}

}  // namespace

int CopyRange(JournalIo& io, std::intptr_t from, std::int64_t fromAt, std::intptr_t to,
              std::int64_t toAt, std::int64_t count) {
  return Copy(io, from, fromAt, to, toAt, count, nullptr);
}

int KeepInJournal(JournalIo& io, std::intptr_t target, const std::string& name,
                  std::intptr_t journal) {
  const std::int64_t size = io.Size(target);
  if (size < 0) return static_cast<int>(size);
  JournalHead head{name, static_cast<std::uint64_t>(size), 0, 0};
  const auto at = static_cast<std::int64_t>(MakeJournalHead(head).size());
  Checksum sum;
  if (const int copied = Copy(io, target, 0, journal, at, size, &sum); copied != 0) return copied;
  head.checksum = sum.value();
  const auto bytes = MakeJournalHead(head);
  if (const int put = io.WriteAt(journal, bytes.data(), bytes.size(), 0); put != 0) return put;
  return io.SetSizeAndSync(journal, at + size);
}

std::optional<JournalHead> CompleteJournal(JournalIo& io, std::intptr_t journal,
                                           const std::string& name) {
  std::vector<std::uint8_t> bytes(kJournalHeadMax);
  const std::int64_t got = io.ReadAt(journal, bytes.data(), bytes.size(), 0);
  if (got <= 0) return std::nullopt;
  bytes.resize(static_cast<std::size_t>(got));
  auto head = ParseJournalHead(bytes);
  if (!head || (!name.empty() && head->target != name) ||
      io.Size(journal) != static_cast<std::int64_t>(head->bytes + head->size)) {
    return std::nullopt;
  }
  Checksum sum;
  if (Copy(io, journal, static_cast<std::int64_t>(head->bytes), -1, 0,
           static_cast<std::int64_t>(head->size), &sum) != 0 ||
      sum.value() != head->checksum) {
    return std::nullopt;
  }
  return head;
}

int PutBack(JournalIo& io, std::intptr_t journal, const JournalHead& head, std::intptr_t target) {
  const auto size = static_cast<std::int64_t>(head.size);
  if (const int copied =
          Copy(io, journal, static_cast<std::int64_t>(head.bytes), target, 0, size, nullptr);
      copied != 0) {
    return copied;
  }
  return io.SetSizeAndSync(target, size);
}

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
  const auto length = static_cast<std::size_t>(TakeLittle(bytes, magic, 4));
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
