#include "base/posix_file_system.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/vfs.h>
#endif

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <functional>
#include <random>
#include <set>
#include <thread>
#include <utility>
#include <vector>

#include "base/journal.h"
#include "base/paths.h"

// Linux gives unnamed temporary files, paths-only folder handles and its
// /proc; every other POSIX system, and Linux built with
// LOOPSMITH_PORTABLE_POSIX (as the tests do once), takes the portable way.
#if defined(__linux__) && !defined(LOOPSMITH_PORTABLE_POSIX)
#define LOOPSMITH_LINUX_PATHS 1
#endif

namespace loopsmith {
namespace {

int Fd(FileHandle file) { return static_cast<int>(file); }
FileHandle Handle(int fd) { return static_cast<FileHandle>(fd); }

std::int64_t Nanoseconds(const timespec& time) {
  return static_cast<std::int64_t>(time.tv_sec) * 1'000'000'000 + time.tv_nsec;
}

// The file a name finally stands for, through every level of symbolic link;
// a dangling link gives the name it points to, which the create then makes.
int ResolveLinks(const std::string& path, std::string& resolved) {
  resolved = path;
  for (int depth = 0; depth < 40; ++depth) {
    struct stat info {};
    if (::lstat(resolved.c_str(), &info) != 0) return errno == ENOENT ? 0 : -errno;
    if (!S_ISLNK(info.st_mode)) return 0;
    std::vector<char> target(static_cast<std::size_t>(info.st_size > 0 ? info.st_size : 255) + 1);
    const ssize_t length = ::readlink(resolved.c_str(), target.data(), target.size());
    if (length < 0) return -errno;
    if (static_cast<std::size_t>(length) >= target.size()) return -ENAMETOOLONG;
    std::string next(target.data(), static_cast<std::size_t>(length));
    if (next.front() == '/') {
      resolved = std::move(next);
    } else {
      resolved = FolderOf(resolved).append("/").append(next);
    }
  }
  return -ELOOP;
}

std::int64_t ModifiedNs(const struct stat& info) {
#ifdef __APPLE__
  return Nanoseconds(info.st_mtimespec);
#else
  return Nanoseconds(info.st_mtim);
#endif
}

std::int64_t ChangedNs(const struct stat& info) {
#ifdef __APPLE__
  return Nanoseconds(info.st_ctimespec);
#else
  return Nanoseconds(info.st_ctim);
#endif
}

// Whether the file system's times are too coarse to show a rewrite made
// during a read: FAT and exFAT keep 2-second steps, and times in whole
// seconds (some network and FUSE file systems) cannot show one either.
bool CoarseTimes(int fd, const struct stat& info) {
  if (ModifiedNs(info) % 1'000'000'000 == 0) return true;
#ifdef __linux__
  struct statfs system {};
  constexpr long kMsdos = 0x4d44;
  constexpr long kExfat = 0x2011BAB0;
  if (::fstatfs(fd, &system) == 0 &&
      (static_cast<long>(system.f_type) == kMsdos || static_cast<long>(system.f_type) == kExfat)) {
    return true;
  }
#else
  (void)fd;
#endif
  return false;
}

// The data, and what is needed to read it back, on the disk.
int SyncData(int fd) {
#if defined(_POSIX_SYNCHRONIZED_IO) && _POSIX_SYNCHRONIZED_IO > 0 && !defined(__APPLE__)
  return ::fdatasync(fd);
#else
  return ::fsync(fd);
#endif
}

std::string RandomName() {
  static std::minstd_rand random(std::random_device{}());
  char name[32];
  std::snprintf(name, sizeof name, "%.*s%06x", static_cast<int>(kOwnFilePrefix.size()),
                kOwnFilePrefix.data(), static_cast<unsigned>(random() & 0xFFFFFF));
  return name;
}

// Advisory locks (flock) say which of our files is in use: a temporary file
// is held by its writer from its creation to its rename, a file copied over
// in place and its journal by their one writer to the end of the copy. The
// system lets go when a process dies, so a file nobody holds is a stray. A
// lock that cannot be had for another reason (ENOLCK on a share whose lock
// daemon is gone, EOPNOTSUPP) says nothing about other writers.
LockResult TryLock(int fd) {
  while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    if (errno == EINTR) continue;
    return errno == EWOULDBLOCK ? LockResult::kHeld : LockResult::kCannot;
  }
  return LockResult::kTaken;
}

// Waits for the other writer, for as long as a slow card may take to finish
// one copy, saying so (`notice`) before the wait; a holder that never lets go
// is given up on.
int Lock(int fd, std::chrono::milliseconds limit, const std::function<void()>& notice) {
  for (int tries = 0; tries < std::max<std::int64_t>(1, limit.count() / 10); ++tries) {
    if (TryLock(fd) != LockResult::kHeld) return 0;
    if (tries == 0) notice();
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return -kErrorHeld;
}

std::int64_t ReadAt(int fd, void* buffer, std::size_t n, std::int64_t at) {
  auto* bytes = static_cast<unsigned char*>(buffer);
  std::size_t done = 0;
  while (done < n) {
    const ssize_t got =
        ::pread(fd, bytes + done, n - done, static_cast<off_t>(at) + static_cast<off_t>(done));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return -errno;
    if (got == 0) break;
    done += static_cast<std::size_t>(got);
  }
  return static_cast<std::int64_t>(done);
}

int WriteAt(int fd, const void* buffer, std::size_t n, std::int64_t at) {
  const auto* bytes = static_cast<const unsigned char*>(buffer);
  for (std::size_t done = 0; done < n;) {
    const ssize_t put =
        ::pwrite(fd, bytes + done, n - done, static_cast<off_t>(at) + static_cast<off_t>(done));
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return put < 0 ? -errno : -ENOSPC;
    done += static_cast<std::size_t>(put);
  }
  return 0;
}

// A folder's list of names made durable, where the system allows it.
void SyncFolder(int folder) {
  const int fd = ::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  (void)::fsync(fd);
  ::close(fd);
}

// One folder, open, for the recovery rules: every name relative to it, no
// link followed, nothing that is not a regular file opened.
class PosixFolder final : public RecoveryFolder {
 public:
  explicit PosixFolder(int folder, bool owned = false) : m_folder(folder), m_owned(owned) {}
  PosixFolder(const PosixFolder&) = delete;
  PosixFolder& operator=(const PosixFolder&) = delete;
  ~PosixFolder() override {
    if (m_owned) ::close(m_folder);
  }

  int List(std::vector<std::string>& names) override {
    names.clear();
    const int listing = ::openat(m_folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (listing < 0) return -errno;
    DIR* dir = ::fdopendir(listing);
    if (dir == nullptr) {
      ::close(listing);
      return -EIO;
    }
    while (const dirent* entry = ::readdir(dir)) names.emplace_back(entry->d_name);
    ::closedir(dir);
    return 0;
  }
  int Open(const std::string& name, bool write, File& file) override {
    file = -1;
    // Without blocking, so a FIFO under the name cannot hang the run.
    const int fd =
        ::openat(m_folder, name.c_str(),
                 (write ? O_RDWR : O_RDONLY) | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) return errno == ENOENT ? -ENOENT : errno == ELOOP ? -EINVAL : -errno;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
      ::close(fd);
      return -EINVAL;
    }
    ::fcntl(fd, F_SETFL, 0);
    file = fd;
    return 0;
  }
  int Create(const std::string& name, File& file) override {
    const int fd =
        ::openat(m_folder, name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    file = fd;
    return fd < 0 ? -errno : 0;
  }
  bool StillNamed(File file, const std::string& name) override {
    struct stat named {};
    struct stat held {};
    return ::fstatat(m_folder, name.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
           ::fstat(static_cast<int>(file), &held) == 0 && named.st_dev == held.st_dev &&
           named.st_ino == held.st_ino;
  }
  LockResult TryLock(File file) override { return loopsmith::TryLock(static_cast<int>(file)); }
  int Identify(File file, FileIdentity& identity) override {
    struct stat info {};
    if (::fstat(static_cast<int>(file), &info) != 0) return -errno;
    identity = {static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino),
                0};
#if defined(LOOPSMITH_LINUX_PATHS) && defined(STATX_BTIME)
    // The birth time tells a file re-created under a reused inode number.
    struct statx extra {};
    if (::statx(static_cast<int>(file), "", AT_EMPTY_PATH, STATX_BTIME, &extra) == 0 &&
        (extra.stx_mask & STATX_BTIME) != 0) {
      identity.born = static_cast<std::uint64_t>(extra.stx_btime.tv_sec) * 1'000'000'000 +
                      extra.stx_btime.tv_nsec;
    }
#endif
    return 0;
  }
  std::int64_t ReadAt(File file, void* buffer, std::size_t n, std::int64_t at) override {
    return loopsmith::ReadAt(static_cast<int>(file), buffer, n, at);
  }
  int WriteAt(File file, const void* buffer, std::size_t n, std::int64_t at) override {
    return loopsmith::WriteAt(static_cast<int>(file), buffer, n, at);
  }
  std::int64_t Size(File file) override {
    struct stat info {};
    return ::fstat(static_cast<int>(file), &info) == 0 ? info.st_size : -errno;
  }
  int SetSizeAndSync(File file, std::int64_t size) override {
    const int fd = static_cast<int>(file);
    return ::ftruncate(fd, static_cast<off_t>(size)) == 0 && SyncData(fd) == 0 ? 0 : -errno;
  }
  int Remove(File file, const std::string& name) override {
    // Only while the name is still the file judged: never one put there since.
    if (!StillNamed(file, name)) return -ENOENT;
    return ::unlinkat(m_folder, name.c_str(), 0) == 0 ? 0 : -errno;
  }
  void Close(File file) override { ::close(static_cast<int>(file)); }
  void Sync() override { SyncFolder(m_folder); }

 private:
  int m_folder;
  bool m_owned;
};

// An unnamed file in `folder` where the file system has them, else a new
// short name. Made with 0666 as a plain create is, so the system applies the
// umask or the folder's default ACL, and nobody's umask is touched.
int CreateTemporary(int folder, std::string& name) {
  name.clear();
#ifdef LOOPSMITH_LINUX_PATHS
  // Held from the start, so that it is never taken for a stray once named.
  const int fd = ::openat(folder, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
  if (fd >= 0) {
    (void)TryLock(fd);
    return fd;
  }
  if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) return -errno;
#endif
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string candidate = RandomName();
    const int named =
        ::openat(folder, candidate.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (named >= 0) {
      // A sweep may have taken it for a stray before the lock: then another name.
      PosixFolder access(folder);
      if (TryLock(named) == LockResult::kHeld || !access.StillNamed(named, candidate)) {
        ::close(named);
        continue;
      }
      name = std::move(candidate);
      return named;
    }
    if (errno != EEXIST) return -errno;
  }
  return -EEXIST;
}

#ifdef LOOPSMITH_LINUX_PATHS
// Gives an unnamed file a name in `folder`, so that it can be renamed over the target.
int LinkTemporary(int fd, int folder, std::string& name) {
  const std::string self = "/proc/self/fd/" + std::to_string(fd);
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string candidate = RandomName();
    if (::linkat(AT_FDCWD, self.c_str(), folder, candidate.c_str(), AT_SYMLINK_FOLLOW) == 0) {
      name = std::move(candidate);
      return 0;
    }
    if (errno != EEXIST) return -errno;
  }
  return -EEXIST;
}
#endif

// The resolved target's folder, open for the calls relative to it.
int OpenFolder(const std::string& path) {
#ifdef LOOPSMITH_LINUX_PATHS
  return ::open(path.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
#else
  return ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
#endif
}

// `from` to `to` in one step; with `noReplace`, never over a file that is
// there (-EEXIST): renameat2 where the system has it, else a second name and
// the first one gone, else (FAT has neither) a rename once the name is seen
// free, with `to`'s folder held (`hold`, given it open) so that no other run
// of ours takes the name in between.
int Rename(int folder, const std::string& from, const std::string& to, bool noReplace,
           const std::function<int(int)>& hold) {
  if (!noReplace) {
    return ::renameat(folder, from.c_str(), folder, to.c_str()) == 0 ? 0 : -errno;
  }
#ifdef LOOPSMITH_LINUX_PATHS
  if (::renameat2(folder, from.c_str(), folder, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS) return -errno;
#endif
  if (::linkat(folder, from.c_str(), folder, to.c_str(), 0) == 0) {
    return ::unlinkat(folder, from.c_str(), 0) == 0 ? 0 : -errno;
  }
  if (errno == EEXIST) return -EEXIST;
  const auto slash = to.rfind('/');
  const std::string where = slash == std::string::npos ? "."
                            : slash == 0               ? "/"
                                                       : to.substr(0, slash);
  const int guard = ::openat(folder, where.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (guard < 0) return -errno;
  int result = hold(guard);
  struct stat taken {};
  if (result == 0 && ::fstatat(folder, to.c_str(), &taken, AT_SYMLINK_NOFOLLOW) == 0) {
    result = -EEXIST;
  }
  if (result == 0 && ::renameat(folder, from.c_str(), folder, to.c_str()) != 0) result = -errno;
  ::close(guard);
  return result;
}

// `path` opened and its facts read: the descriptor, or -errno with nothing left open.
int OpenAndStat(const std::string& path, int flags, struct stat& info) {
  const int fd = ::open(path.c_str(), flags);
  if (fd < 0) return -errno;
  if (::fstat(fd, &info) == 0) return fd;
  const int error = errno;
  ::close(fd);
  return -error;
}

// A folder held by LockFolder until this goes.
class PosixFolderLock final : public FolderLock {
 public:
  PosixFolderLock(int fd, std::set<std::pair<dev_t, ino_t>>& held, std::pair<dev_t, ino_t> key)
      : m_fd(fd), m_held(held), m_key(key) {
    m_held.insert(m_key);
  }
  PosixFolderLock(const PosixFolderLock&) = delete;
  PosixFolderLock& operator=(const PosixFolderLock&) = delete;
  ~PosixFolderLock() override {
    m_held.erase(m_key);
    ::close(m_fd);
  }

 private:
  int m_fd;
  std::set<std::pair<dev_t, ino_t>>& m_held;
  std::pair<dev_t, ino_t> m_key;
};

}  // namespace

PosixFileSystem::~PosixFileSystem() {
  while (!m_outputs.empty()) DiscardOutput(Handle(m_outputs.begin()->first));
}

int PosixFileSystem::OpenRead(const std::string& path, FileHandle& handle) {
  handle = FileHandle::kNone;
  // A file whose copy was cut off is read from its journal's old bytes, as
  // it will be once they are put back; nothing is written here.
  std::int64_t base = 0;
  int fd = OpenCutOffCopy(path, base);
  struct stat info {};
  // O_NONBLOCK keeps a FIFO from hanging the open; it is refused just below.
  if (fd < 0) {
    fd = OpenAndStat(path, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, info);
  } else if (::fstat(fd, &info) != 0) {
    const int error = errno;
    ::close(fd);
    return -error;
  }
  if (fd < 0) return fd;
  if (!S_ISREG(info.st_mode)) {
    ::close(fd);
    return S_ISDIR(info.st_mode) ? -EISDIR : -EINVAL;
  }
  ::fcntl(fd, F_SETFL, 0);
  if (base > 0 && ::lseek(fd, static_cast<off_t>(base), SEEK_SET) != base) {
    ::close(fd);
    return -EIO;
  }
  m_reads[fd] =
      Snapshot{info.st_size, ModifiedNs(info), ChangedNs(info), CoarseTimes(fd, info), {}, base};
  handle = Handle(fd);
  return 0;
}

std::optional<LeftoverFile> PosixFileSystem::CutOffCopyOf(const std::string& path) {
  // The journal is named for the file a link finally names.
  std::string resolved;
  if (ResolveLinks(path, resolved) != 0) return std::nullopt;
  return FileSystem::CutOffCopyOf(resolved);
}

int PosixFileSystem::OpenCutOffCopy(const std::string& path, std::int64_t& base) {
  base = 0;
  std::string resolved;
  if (ResolveLinks(path, resolved) != 0) return -1;
  const int folder = OpenFolder(FolderOf(resolved));
  if (folder < 0) return -1;
  PosixFolder access(folder, true);
  const auto found = InspectJournal(access, JournalName(NameOf(resolved)));
  if (!found || found->kind != Leftover::kPending) return -1;
  RecoveryFolder::File journal = -1;
  if (access.Open(found->name, false, journal) != 0) return -1;
  base = found->oldBytesAt;
  return static_cast<int>(journal);
}

int PosixFileSystem::CreateOutput(const std::string& target, FileHandle& handle) {
  handle = FileHandle::kNone;
  std::string resolved;
  if (const int result = ResolveLinks(target, resolved); result != 0) return result;
  Output output;
  output.name = NameOf(resolved);
  output.folder = OpenFolder(FolderOf(resolved));
  if (output.folder < 0) return -errno;
  auto fail = [&](int error) {
    ::close(output.folder);
    return -error;
  };
  {
    PosixFolder access(output.folder);
    (void)Sweep(access, false);
  }

  // Decided before a byte is written, as a plain create would decide it.
  struct stat old {};
  if (::fstatat(output.folder, output.name.c_str(), &old, AT_SYMLINK_NOFOLLOW) == 0) {
    if (S_ISDIR(old.st_mode)) return fail(EISDIR);
    if (!S_ISREG(old.st_mode)) return fail(EINVAL);
    // Whether it may be written is the system's to say (root, ACLs, read-only
    // mounts), so ask it by opening, without truncating.
    // A file with other hard links is read too, into the journal of its copy.
    const int access = old.st_nlink > 1 ? O_RDWR : O_WRONLY;
    const int fd =
        ::openat(output.folder, output.name.c_str(), access | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return fail(errno);
    if (old.st_nlink > 1) {
      // A rename would split the names apart: the file itself is written, at commit.
      ::fcntl(fd, F_SETFL, 0);
      output.inPlace = fd;
    } else {
      ::close(fd);
    }
    output.replacing = true;
  } else if (errno != ENOENT) {
    return fail(errno);
  }

  const int fd = CreateTemporary(output.folder, output.tempName);
  if (fd < 0) {
    if (output.inPlace >= 0) ::close(output.inPlace);
    return fail(-fd);
  }
  // The new file takes the old one's permissions and, where allowed, its
  // owner and group; a new name gets what a plain create would give.
  if (output.inPlace < 0 && output.replacing) {
    if (::fchown(fd, old.st_uid, old.st_gid) != 0)
      (void)::fchown(fd, static_cast<uid_t>(-1), old.st_gid);
    ::fchmod(fd, old.st_mode & 07777);
  }
  m_outputs[fd] = std::move(output);
  handle = Handle(fd);
  return 0;
}

std::int64_t PosixFileSystem::Read(FileHandle file, void* buffer, std::size_t n) {
  const auto read = m_reads.find(Fd(file));
  if (read != m_reads.end() && read->second.coarse) {
    const off_t at = ::lseek(Fd(file), 0, SEEK_CUR);
    const std::int64_t got = ReadAll(file, buffer, n);
    if (at >= 0 && got > 0) read->second.ledger.Note(at, buffer, static_cast<std::size_t>(got));
    return got;
  }
  return ReadAll(file, buffer, n);
}

std::int64_t PosixFileSystem::ReadAll(FileHandle file, void* buffer, std::size_t n) {
  auto* bytes = static_cast<unsigned char*>(buffer);
  std::size_t done = 0;
  while (done < n) {
    const ssize_t got = ::read(Fd(file), bytes + done, n - done);
    if (got < 0) {
      if (errno == EINTR) continue;
      return -errno;
    }
    if (got == 0) break;
    done += static_cast<std::size_t>(got);
  }
  return static_cast<std::int64_t>(done);
}

std::int64_t PosixFileSystem::Write(FileHandle file, const void* buffer, std::size_t n) {
  const auto* bytes = static_cast<const unsigned char*>(buffer);
  std::size_t done = 0;
  while (done < n) {
    const ssize_t put = ::write(Fd(file), bytes + done, n - done);
    if (put < 0) {
      if (errno == EINTR) continue;
      if (done > 0) break;
      return -errno;
    }
    if (put == 0) break;
    done += static_cast<std::size_t>(put);
  }
  return static_cast<std::int64_t>(done);
}

std::int64_t PosixFileSystem::BaseOf(FileHandle file) const {
  const auto read = m_reads.find(Fd(file));
  return read == m_reads.end() ? 0 : read->second.base;
}

std::int64_t PosixFileSystem::Seek(FileHandle file, std::int64_t offset, SeekFrom from) {
  const std::int64_t base = BaseOf(file);
  const bool end = from == SeekFrom::kEnd;
  if (!end && offset < 0) return -EINVAL;
  const off_t result = ::lseek(Fd(file), static_cast<off_t>(end ? offset : offset + base),
                               end ? SEEK_END : SEEK_SET);
  if (result >= 0 && result < base) {
    (void)::lseek(Fd(file), static_cast<off_t>(base), SEEK_SET);
    return -EINVAL;
  }
  return result < 0 ? -errno : static_cast<std::int64_t>(result) - base;
}

std::int64_t PosixFileSystem::NextData(FileHandle file, std::int64_t offset) {
  const std::int64_t base = BaseOf(file);
#ifdef SEEK_DATA
  const off_t data = ::lseek(Fd(file), static_cast<off_t>(offset + base), SEEK_DATA);
  if (data >= 0) return data - base;
  struct stat info {};
  // Past the last data there is only a hole up to the end.
  if (errno == ENXIO && ::fstat(Fd(file), &info) == 0 && info.st_size - base >= offset) {
    return info.st_size - base;
  }
#else
  (void)file;
  (void)base;
#endif
  return offset;
}

int PosixFileSystem::CheckUnchanged(FileHandle file) {
  const auto found = m_reads.find(Fd(file));
  if (found == m_reads.end()) return -EBADF;
  struct stat info {};
  if (::fstat(Fd(file), &info) != 0) return -errno;
  const Snapshot& then = found->second;
  const bool same = info.st_size == then.size && ModifiedNs(info) == then.modifiedNs &&
                    ChangedNs(info) == then.changedNs;
  if (!same) return -kErrorChanged;
  if (!then.coarse) return 0;
  const int fd = Fd(file);
  const bool holds = then.ledger.StillHolds(
      [fd](std::int64_t at, void* buffer, std::size_t n) { return ReadAt(fd, buffer, n, at); });
  return holds ? 0 : -kErrorChanged;
}

bool PosixFileSystem::SameFile(const std::string& a, const std::string& b) {
  struct stat first {};
  struct stat second {};
  return ::stat(a.c_str(), &first) == 0 && ::stat(b.c_str(), &second) == 0 &&
         first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

int PosixFileSystem::CopyInPlace(int from, int to) {
  struct stat written {};
  struct stat old {};
  if (::fstat(from, &written) != 0 || ::fstat(to, &old) != 0) return -errno;
    // A full disk must show before the first old byte is overwritten: the space
    // past the old end is reserved first (within it, the old blocks are reused).
#ifndef __APPLE__
  if (written.st_size > old.st_size) {
    const int reserved = ::posix_fallocate(to, old.st_size, written.st_size - old.st_size);
    if (reserved != 0 && reserved != EOPNOTSUPP && reserved != EINVAL) {
      // The old bytes are untouched; only its length may have grown, and goes back.
      const int restored = ::ftruncate(to, old.st_size);
      (void)restored;
      return -reserved;
    }
  }
#endif
  PosixFolder access(-1);
  if (const int copied = CopyRange(access, from, 0, to, 0, written.st_size); copied != 0) {
    return copied;
  }
  // The old content beyond the new end goes only now, when all was written.
  if (::ftruncate(to, written.st_size) != 0 || SyncData(to) != 0) return -errno;
  return 0;
}

int PosixFileSystem::Close(FileHandle file) {
  m_reads.erase(Fd(file));
  // Linux releases the descriptor even when close reports an error, so never retry.
  return ::close(Fd(file)) == 0 ? 0 : -errno;
}

int PosixFileSystem::CommitOutput(FileHandle file) { return Commit(file, false); }

int PosixFileSystem::CommitOutputNoReplace(FileHandle file) { return Commit(file, true); }

int PosixFileSystem::Commit(FileHandle file, bool noReplace) {
  const int fd = Fd(file);
  const auto found = m_outputs.find(fd);
  if (found == m_outputs.end()) return -EBADF;
  Output output = std::move(found->second);
  m_outputs.erase(found);

  int result = 0;
  if (noReplace && (output.replacing || output.inPlace >= 0)) {
    m_outputs[fd] = std::move(output);
    DiscardOutput(file);
    return -EEXIST;
  }
  if (output.inPlace >= 0) {
    // One writer at a time, from the journal to the end of the copy.
    result = Lock(output.inPlace, m_waitLimit, [&] { NoticeWait(output.name); });
    if (result == 0) {
      PosixFolder access(output.folder);
      result = CopyUnderJournal(access, output.name, output.inPlace, fd,
                                [&] { return CopyInPlace(fd, output.inPlace); });
    }
    ::close(fd);
    if (!output.tempName.empty()) ::unlinkat(output.folder, output.tempName.c_str(), 0);
    if (::close(output.inPlace) != 0 && result == 0) result = -errno;
    ::close(output.folder);
    return result;
  }
  // The data reaches the disk before the name does, so that a crash can never
  // leave an empty file where the user's file was. A new name risks nothing,
  // and skips the wait.
  if (output.replacing && SyncData(fd) != 0) result = -errno;
#ifdef LOOPSMITH_LINUX_PATHS
  if (result == 0 && output.tempName.empty())
    result = LinkTemporary(fd, output.folder, output.tempName);
#endif
  // Held until renamed, so that no sweep takes it for a stray in between.
  if (result == 0) {
    result = Rename(output.folder, output.tempName, output.name, noReplace,
                    [&](int guard) { return HoldFolder(guard, output.name); });
  }
  if (result != 0 && !output.tempName.empty()) {
    ::unlinkat(output.folder, output.tempName.c_str(), 0);
  }
  if (::close(fd) != 0 && result == 0) result = -errno;
  ::close(output.folder);
  return result;
}

void PosixFileSystem::DiscardOutput(FileHandle file) {
  const auto found = m_outputs.find(Fd(file));
  if (found == m_outputs.end()) return;
  ::close(found->first);
  if (found->second.inPlace >= 0) ::close(found->second.inPlace);
  if (!found->second.tempName.empty()) {
    ::unlinkat(found->second.folder, found->second.tempName.c_str(), 0);
  }
  ::close(found->second.folder);
  m_outputs.erase(found);
}

int PosixFileSystem::ListFolder(const std::string& path, std::vector<FolderEntry>& entries) {
  entries.clear();
  const int folder = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder < 0) return -errno;
  DIR* dir = ::fdopendir(folder);
  if (dir == nullptr) {
    const int error = errno;
    ::close(folder);
    return -error;
  }
  while (const dirent* entry = ::readdir(dir)) {
    const std::string_view name = entry->d_name;
    if (name == "." || name == "..") continue;
    FolderEntry item;
    item.name = name;
    struct stat info {};
    if (::fstatat(folder, entry->d_name, &info, 0) == 0) {
      item.regular = S_ISREG(info.st_mode);
      item.size = info.st_size;
      // The system's word, as for an output: root, ACLs and read-only mounts included.
      item.readOnly = ::faccessat(folder, entry->d_name, W_OK, AT_EACCESS) != 0;
    }
    entries.push_back(std::move(item));
  }
  ::closedir(dir);
  return 0;
}

int PosixFileSystem::MoveNoReplace(const std::string& from, const std::string& to) {
  return Rename(AT_FDCWD, from, to, true, [&](int guard) { return HoldFolder(guard, to); });
}

std::unique_ptr<RecoveryFolder> PosixFileSystem::OpenRecoveryFolder(const std::string& folder) {
  const int fd = OpenFolder(folder);
  if (fd < 0) return nullptr;
  return std::make_unique<PosixFolder>(fd, true);
}

int PosixFileSystem::Remove(const std::string& path) {
  return ::unlink(path.c_str()) == 0 ? 0 : -errno;
}

}  // namespace loopsmith

namespace loopsmith {

int PosixFileSystem::HoldFolder(int folder, const std::string& name) {
  struct stat info {};
  if (::fstat(folder, &info) == 0 && m_heldFolders.count({info.st_dev, info.st_ino}) > 0) return 0;
  return Lock(folder, m_waitLimit, [&] { NoticeWait(name); });
}

int PosixFileSystem::LockFolder(const std::string& folder, std::unique_ptr<FolderLock>& lock) {
  lock.reset();
  struct stat info {};
  const int fd =
      OpenAndStat(folder.empty() ? "." : folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC, info);
  if (fd < 0) return fd;
  // Held already by this run (a card operation calls another): nothing to add.
  const int held = HoldFolder(fd, folder);
  if (held != 0 || m_heldFolders.count({info.st_dev, info.st_ino}) > 0) {
    ::close(fd);
    return held;
  }
  lock = std::make_unique<PosixFolderLock>(fd, m_heldFolders, std::pair{info.st_dev, info.st_ino});
  return 0;
}

}  // namespace loopsmith
