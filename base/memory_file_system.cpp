#include "base/memory_file_system.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "base/journal.h"
#include "base/paths.h"

namespace loopsmith {

class MemoryFolder final : public RecoveryFolder {
 public:
  MemoryFolder(MemoryFileSystem& fs, std::string folder) : m_fs(fs), m_prefix(std::move(folder)) {
    if (!m_prefix.empty() && m_prefix.back() != '/') m_prefix += '/';
  }
  int List(std::vector<std::string>& names) override {
    names.clear();
    std::vector<FolderEntry> entries;
    m_fs.ListFolder(m_prefix, entries);
    for (auto& entry : entries) names.push_back(std::move(entry.name));
    return 0;
  }
  int Open(const std::string& name, bool write, File& file) override {
    const std::string path = m_prefix + name;
    if (m_fs.IsFolder(path)) return -EINVAL;
    if (m_fs.files.count(path) == 0) return -ENOENT;
    if (write && m_fs.readOnly.count(path) > 0) return -EACCES;
    file = static_cast<File>(m_paths.size());
    m_paths.push_back(path);
    return 0;
  }
  int Create(const std::string& name, File& file) override {
    const std::string path = m_prefix + name;
    if (m_fs.files.count(path) > 0 || m_fs.IsFolder(path)) return -EEXIST;
    m_fs.files[path];
    m_fs.Renew(path);
    file = static_cast<File>(m_paths.size());
    m_paths.push_back(path);
    return 0;
  }
  bool StillNamed(File file, const std::string& name) override {
    return m_fs.files.count(PathOf(file)) > 0 && PathOf(file) == m_prefix + name;
  }
  LockResult TryLock(File /*file*/) override { return LockResult::kTaken; }
  int Identify(File file, FileIdentity& identity) override {
    Checksum sum;
    sum.Add(PathOf(file).data(), PathOf(file).size());
    const auto born = m_fs.m_born.find(PathOf(file));
    identity = {1, sum.value(), born == m_fs.m_born.end() ? 0 : born->second};
    return 0;
  }
  std::int64_t ReadAt(File file, void* buffer, std::size_t n, std::int64_t at) override {
    const auto found = m_fs.files.find(PathOf(file));
    if (found == m_fs.files.end()) return -ENOENT;
    const auto& data = found->second;
    if (at < 0 || static_cast<std::size_t>(at) >= data.size()) return 0;
    const std::size_t count = std::min(n, data.size() - static_cast<std::size_t>(at));
    std::memcpy(buffer, data.data() + at, count);
    return static_cast<std::int64_t>(count);
  }
  int WriteAt(File file, const void* buffer, std::size_t n, std::int64_t at) override {
    const auto found = m_fs.files.find(PathOf(file));
    if (found == m_fs.files.end() || at < 0) return -ENOENT;
    auto& data = found->second;
    if (data.size() < static_cast<std::size_t>(at) + n)
      data.resize(static_cast<std::size_t>(at) + n);
    if (n > 0) std::memcpy(data.data() + at, buffer, n);
    return 0;
  }
  std::int64_t Size(File file) override {
    const auto found = m_fs.files.find(PathOf(file));
    return found == m_fs.files.end() ? -ENOENT : static_cast<std::int64_t>(found->second.size());
  }
  int SetSizeAndSync(File file, std::int64_t size) override {
    const auto found = m_fs.files.find(PathOf(file));
    if (found == m_fs.files.end() || size < 0) return -ENOENT;
    found->second.resize(static_cast<std::size_t>(size));
    return 0;
  }
  int Remove(File file, const std::string& name) override {
    if (!StillNamed(file, name)) return -ENOENT;
    return m_fs.Remove(PathOf(file));
  }
  void Close(File /*file*/) override {}

 private:
  const std::string& PathOf(File file) const {
    static const std::string kNone;
    return file >= 0 && static_cast<std::size_t>(file) < m_paths.size()
               ? m_paths[static_cast<std::size_t>(file)]
               : kNone;
  }
  MemoryFileSystem& m_fs;
  std::string m_prefix;
  std::vector<std::string> m_paths;
};

std::unique_ptr<RecoveryFolder> MemoryFileSystem::OpenRecoveryFolder(const std::string& folder) {
  return std::make_unique<MemoryFolder>(*this, folder);
}

std::vector<std::uint8_t>& MemoryFileSystem::DataOf(Open& open) {
  return open.writable || open.fromJournal ? open.output : files[open.path];
}

std::int64_t MemoryFileSystem::WholeSizeOf(Open& open) {
  const auto whole = open.writable ? wholeSizes.end() : wholeSizes.find(open.path);
  return whole != wholeSizes.end() ? whole->second : static_cast<std::int64_t>(DataOf(open).size());
}

bool MemoryFileSystem::IsFolder(const std::string& path) const {
  const auto after = files.upper_bound(path + "/");
  return after != files.end() && after->first.compare(0, path.size() + 1, path + "/") == 0;
}

int MemoryFileSystem::OpenRead(const std::string& path, FileHandle& handle) {
  if (IsFolder(path)) return -EISDIR;
  if (files.find(path) == files.end()) return -ENOENT;
  Open& open = m_open[m_next];
  open.path = path;
  // A file whose copy was cut off reads as its journal will put it back.
  if (const auto cutOff = CutOffCopyOf(path); cutOff && cutOff->kind == Leftover::kPending) {
    const std::string folder = FolderOf(path);
    const auto& journal = files[(folder.ends_with('/') ? folder : folder + "/") + cutOff->name];
    open.output.assign(journal.begin() + static_cast<std::ptrdiff_t>(cutOff->oldBytesAt),
                       journal.end());
    open.fromJournal = true;
  }
  open.wholeSize = WholeSizeOf(open);
  handle = static_cast<FileHandle>(m_next++);
  return 0;
}

int MemoryFileSystem::CreateOutput(const std::string& target, FileHandle& handle) {
  if (IsFolder(target)) return -EISDIR;
  if (readOnly.count(target) > 0) return -EACCES;
  m_open[m_next] = {target, {}, 0, true, false, 0, {}};
  handle = static_cast<FileHandle>(m_next++);
  return 0;
}

std::int64_t MemoryFileSystem::Read(FileHandle file, void* buffer, std::size_t n) {
  auto it = m_open.find(static_cast<std::intptr_t>(file));
  if (it == m_open.end()) return -EBADF;
  const auto& data = DataOf(it->second);
  const std::int64_t whole = WholeSizeOf(it->second);
  if (n > 0 && whole > static_cast<std::int64_t>(data.size()) &&
      it->second.position + static_cast<std::int64_t>(n) > static_cast<std::int64_t>(data.size()) &&
      it->second.position < whole) {
    wantedMore = true;
    return -EAGAIN;
  }
  const auto at = static_cast<std::size_t>(
      std::min<std::int64_t>(it->second.position, static_cast<std::int64_t>(data.size())));
  const std::size_t count = std::min(n, data.size() - at);
  if (count > 0) std::memcpy(buffer, data.data() + at, count);
  if (!it->second.writable) it->second.ledger.Note(static_cast<std::int64_t>(at), buffer, count);
  it->second.position += static_cast<std::int64_t>(count);
  return static_cast<std::int64_t>(count);
}

std::int64_t MemoryFileSystem::Write(FileHandle file, const void* buffer, std::size_t n) {
  auto it = m_open.find(static_cast<std::intptr_t>(file));
  if (it == m_open.end() || !it->second.writable) return -EBADF;
  auto& data = it->second.output;
  const auto at = static_cast<std::size_t>(it->second.position);
  if (data.size() < at + n) data.resize(at + n);
  if (n > 0) std::memcpy(data.data() + at, buffer, n);
  it->second.position += static_cast<std::int64_t>(n);
  return static_cast<std::int64_t>(n);
}

std::int64_t MemoryFileSystem::Seek(FileHandle file, std::int64_t offset, SeekFrom from) {
  auto it = m_open.find(static_cast<std::intptr_t>(file));
  if (it == m_open.end()) return -EBADF;
  const std::int64_t base = from == SeekFrom::kEnd ? WholeSizeOf(it->second) : 0;
  if (base + offset < 0) return -EINVAL;
  it->second.position = base + offset;
  return it->second.position;
}

int MemoryFileSystem::CheckUnchanged(FileHandle file) {
  auto it = m_open.find(static_cast<std::intptr_t>(file));
  if (it == m_open.end()) return -EBADF;
  Open& open = it->second;
  if (open.fromJournal) return 0;
  if (files.count(open.path) == 0 || WholeSizeOf(open) != open.wholeSize) return -kErrorChanged;
  const auto& data = files[open.path];
  const bool holds = open.ledger.StillHolds([&](std::int64_t at, void* buffer, std::size_t n) {
    if (at < 0 || static_cast<std::size_t>(at) + n > data.size()) return std::int64_t{-1};
    std::memcpy(buffer, data.data() + at, n);
    return static_cast<std::int64_t>(n);
  });
  return holds ? 0 : -kErrorChanged;
}

int MemoryFileSystem::Close(FileHandle file) {
  return m_open.erase(static_cast<std::intptr_t>(file)) ? 0 : -EBADF;
}

int MemoryFileSystem::CommitOutput(FileHandle file) {
  auto it = m_open.find(static_cast<std::intptr_t>(file));
  if (it == m_open.end() || !it->second.writable) return -EBADF;
  files[it->second.path] = std::move(it->second.output);
  Renew(it->second.path);
  m_open.erase(it);
  return 0;
}

int MemoryFileSystem::CommitOutputNoReplace(FileHandle file) {
  auto it = m_open.find(static_cast<std::intptr_t>(file));
  if (it == m_open.end() || !it->second.writable) return -EBADF;
  if (files.count(it->second.path) > 0) {
    m_open.erase(it);
    return -EEXIST;
  }
  return CommitOutput(file);
}

void MemoryFileSystem::DiscardOutput(FileHandle file) {
  m_open.erase(static_cast<std::intptr_t>(file));
}

int MemoryFileSystem::ListFolder(const std::string& path, std::vector<FolderEntry>& entries) {
  entries.clear();
  const std::string prefix = path.empty() || path.back() == '/' ? path : path + "/";
  for (const auto& [name, bytes] : files) {
    if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) continue;
    const std::string rest = name.substr(prefix.size());
    if (rest.find('/') != std::string::npos) continue;
    const auto whole = wholeSizes.find(name);
    entries.push_back(
        {rest, true, readOnly.count(name) > 0,
         whole != wholeSizes.end() ? whole->second : static_cast<std::int64_t>(bytes.size())});
  }
  return 0;
}

int MemoryFileSystem::MoveNoReplace(const std::string& from, const std::string& to) {
  const auto found = files.find(from);
  if (found == files.end()) return -ENOENT;
  if (files.count(to) > 0) return -EEXIST;
  files[to] = std::move(found->second);
  files.erase(from);
  m_born[to] = m_born[from];
  m_born.erase(from);
  if (const auto whole = wholeSizes.find(from); whole != wholeSizes.end()) {
    wholeSizes[to] = whole->second;
    wholeSizes.erase(whole);
  }
  if (readOnly.erase(from) > 0) readOnly.insert(to);
  return 0;
}

int MemoryFileSystem::Remove(const std::string& path) {
  m_born.erase(path);
  wholeSizes.erase(path);
  readOnly.erase(path);
  return files.erase(path) > 0 ? 0 : -ENOENT;
}

}  // namespace loopsmith
