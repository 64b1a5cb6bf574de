#include "base/windows_file_system.h"

#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <optional>
#include <random>
#include <thread>
#include <vector>

#include "base/journal.h"
#include "base/paths.h"
#include "base/text.h"

namespace loopsmith {
namespace {

HANDLE Native(FileHandle file) {
  return reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(file));
}
FileHandle Handle(HANDLE native) {
  return static_cast<FileHandle>(reinterpret_cast<std::intptr_t>(native));
}

// The errno a system error code stands for, so that the layers above speak one language.
int ErrnoOf(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
      return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      return EACCES;
    case ERROR_WRITE_PROTECT:
      return EROFS;
    case ERROR_TOO_MANY_OPEN_FILES:
      return EMFILE;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
      return ENOMEM;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return ENOSPC;
    case ERROR_FILENAME_EXCED_RANGE:
      return ENAMETOOLONG;
    case ERROR_DIRECTORY:
      return ENOTDIR;
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
      return EINVAL;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
      return EEXIST;
    default:
      return EIO;
  }
}

int LastError() { return -ErrnoOf(::GetLastError()); }

// Closes a file created here and removes it: what a failed write made goes again.
void DeleteAndClose(HANDLE file) {
  FILE_DISPOSITION_INFO disposition{TRUE};
  ::SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof disposition);
  ::CloseHandle(file);
}

bool MoveTo(HANDLE file, std::int64_t offset) {
  LARGE_INTEGER at{};
  at.QuadPart = offset;
  return ::SetFilePointerEx(file, at, nullptr, FILE_BEGIN) != 0;
}

class WindowsJournalIo final : public JournalIo {
 public:
  std::int64_t ReadAt(std::intptr_t file, void* buffer, std::size_t n, std::int64_t at) override {
    auto* bytes = static_cast<unsigned char*>(buffer);
    std::size_t done = 0;
    while (done < n) {
      OVERLAPPED where = At(at + static_cast<std::int64_t>(done));
      DWORD got = 0;
      const auto want = static_cast<DWORD>(std::min<std::size_t>(n - done, 1u << 20));
      if (!::ReadFile(Of(file), bytes + done, want, &got, &where)) {
        if (::GetLastError() == ERROR_HANDLE_EOF) break;
        return LastError();
      }
      if (got == 0) break;
      done += got;
    }
    return static_cast<std::int64_t>(done);
  }
  int WriteAt(std::intptr_t file, const void* buffer, std::size_t n, std::int64_t at) override {
    const auto* bytes = static_cast<const unsigned char*>(buffer);
    for (std::size_t done = 0; done < n;) {
      OVERLAPPED where = At(at + static_cast<std::int64_t>(done));
      DWORD put = 0;
      const auto want = static_cast<DWORD>(std::min<std::size_t>(n - done, 1u << 20));
      if (!::WriteFile(Of(file), bytes + done, want, &put, &where)) return LastError();
      if (put == 0) return -ENOSPC;
      done += put;
    }
    return 0;
  }
  std::int64_t Size(std::intptr_t file) override {
    LARGE_INTEGER size{};
    return ::GetFileSizeEx(Of(file), &size) ? size.QuadPart : LastError();
  }
  int SetSizeAndSync(std::intptr_t file, std::int64_t size) override {
    return MoveTo(Of(file), size) && ::SetEndOfFile(Of(file)) && ::FlushFileBuffers(Of(file))
               ? 0
               : LastError();
  }

 private:
  static HANDLE Of(std::intptr_t file) { return reinterpret_cast<HANDLE>(file); }
  static OVERLAPPED At(std::int64_t offset) {
    OVERLAPPED where{};
    where.Offset = static_cast<DWORD>(offset & 0xFFFFFFFF);
    where.OffsetHigh = static_cast<DWORD>(offset >> 32);
    return where;
  }
};

std::intptr_t Id(HANDLE file) { return reinterpret_cast<std::intptr_t>(file); }

// Copies a complete new version over a file that must keep its identity. A
// full disk must show before the first old byte is overwritten, so the space
// for the new length is allocated first: a longer end of file alone may be
// sparse (wine makes it so) and reserve nothing.
int CopyInPlace(HANDLE from, HANDLE to) {
  LARGE_INTEGER written{};
  LARGE_INTEGER old{};
  if (!::GetFileSizeEx(from, &written) || !::GetFileSizeEx(to, &old)) return LastError();
  if (written.QuadPart > old.QuadPart) {
    FILE_ALLOCATION_INFO allocation{};
    allocation.AllocationSize = written;
    if (!::SetFileInformationByHandle(to, FileAllocationInfo, &allocation, sizeof allocation)) {
      return LastError();
    }
  }
  WindowsJournalIo io;
  if (const int copied = CopyRange(io, Id(from), 0, Id(to), 0, written.QuadPart); copied != 0) {
    return copied;
  }
  // The old content beyond the new end goes only now, when all was written.
  if (!MoveTo(to, written.QuadPart) || !::SetEndOfFile(to) || !::FlushFileBuffers(to)) {
    return LastError();
  }
  return 0;
}

// The journal beside the file at `path`.
std::wstring JournalPathOf(const std::wstring& path) {
  return FolderOf(path) + L"\\" + Utf16(JournalName(Utf8(NameOf(path))));
}

// Opened shared with no one: another writer of it, or a reader, holds it for a
// moment only, so a busy file is tried again for a while.
HANDLE OpenExclusive(const std::wstring& path, DWORD access) {
  for (int tries = 0;; ++tries) {
    HANDLE file = ::CreateFileW(path.c_str(), access, 0, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE || ::GetLastError() != ERROR_SHARING_VIOLATION ||
        tries == 1000) {
      return file;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

// Puts back the old bytes of the file at `path` from its journal, if there is
// a complete one, into `target`, and removes the journal.
int RollBack(const std::wstring& path, HANDLE target) {
  HANDLE journal = OpenExclusive(JournalPathOf(path), GENERIC_READ | DELETE);
  if (journal == INVALID_HANDLE_VALUE) {
    return ::GetLastError() == ERROR_FILE_NOT_FOUND ? 0 : LastError();
  }
  WindowsJournalIo io;
  const auto head = CompleteJournal(io, Id(journal), Utf8(NameOf(path)));
  const int result = head ? PutBack(io, Id(journal), *head, Id(target)) : 0;
  if (result == 0) {
    DeleteAndClose(journal);
  } else {
    ::CloseHandle(journal);
  }
  return result;
}

// The copy over a file with other hard links, under a rollback journal that
// is complete and on the disk before the first old byte is overwritten.
int ReplaceInPlace(HANDLE from, HANDLE to, const std::wstring& path) {
  if (const int result = RollBack(path, to); result != 0) return result;
  HANDLE journal = ::CreateFileW(JournalPathOf(path).c_str(), GENERIC_READ | GENERIC_WRITE | DELETE,
                                 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_HIDDEN, nullptr);
  if (journal == INVALID_HANDLE_VALUE) return LastError();
  WindowsJournalIo io;
  const std::string name = Utf8(NameOf(path));
  int result = KeepInJournal(io, Id(to), name, Id(journal));
  if (result == 0) {
    result = CopyInPlace(from, to);
    // A copy that failed half way is undone from the journal as a crash would be.
    if (const auto head = result != 0 ? CompleteJournal(io, Id(journal), name) : std::nullopt) {
      (void)PutBack(io, Id(journal), *head, Id(to));
    }
  }
  DeleteAndClose(journal);
  return result;
}

// Our own files in `folder` that their writer left behind when it died: a
// journal's old bytes go back into its file, a temporary file goes. What is
// still open (its writer is at work) stays.
void SweepStrays(const std::wstring& folder) {
  WIN32_FIND_DATAW found{};
  const std::wstring pattern = folder + L"\\" + Utf16(std::string(kOwnFilePrefix)) + L"*";
  HANDLE listing = ::FindFirstFileW(pattern.c_str(), &found);
  if (listing == INVALID_HANDLE_VALUE) return;
  std::vector<std::wstring> names;
  do {
    if (!Utf8(found.cFileName).starts_with(kCardFilePrefix)) names.emplace_back(found.cFileName);
  } while (::FindNextFileW(listing, &found));
  ::FindClose(listing);
  WindowsJournalIo io;
  for (const std::wstring& name : names) {
    const std::wstring path = folder + L"\\" + name;
    HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ | DELETE, 0, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) continue;
    const auto head = IsJournalName(Utf8(name)) ? CompleteJournal(io, Id(file), {}) : std::nullopt;
    if (!head) {
      DeleteAndClose(file);  // a temporary file, or a journal cut short
      continue;
    }
    HANDLE target =
        ::CreateFileW((folder + L"\\" + Utf16(head->target)).c_str(), GENERIC_READ | GENERIC_WRITE,
                      0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (target != INVALID_HANDLE_VALUE && PutBack(io, Id(file), *head, Id(target)) == 0) {
      DeleteAndClose(file);
    } else {
      ::CloseHandle(file);
    }
    if (target != INVALID_HANDLE_VALUE) ::CloseHandle(target);
  }
}

bool IsDiskFile(HANDLE file) { return ::GetFileType(file) == FILE_TYPE_DISK; }

std::wstring TemporaryName(const std::wstring& folder) {
  static std::minstd_rand random(std::random_device{}());
  std::wstring name = L"\\.loopsmith-";
  const auto value = static_cast<unsigned>(random() & 0xFFFFFF);
  for (int shift = 20; shift >= 0; shift -= 4) name += L"0123456789abcdef"[(value >> shift) & 15];
  return folder + name;
}

}  // namespace

std::wstring WidePath(const std::string& path) {
  const std::wstring wide = Utf16(path);
  if (wide.empty()) return {};
  if (wide.size() < MAX_PATH - 12 || wide.rfind(L"\\\\?\\", 0) == 0) return wide;
  // Past the old limit only the \\?\ form works, and it takes no '/' and no
  // relative parts, so the full path is made first.
  const DWORD full = ::GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  if (full == 0) return wide;
  std::wstring absolute(full, L'\0');
  absolute.resize(::GetFullPathNameW(wide.c_str(), full, absolute.data(), nullptr));
  if (absolute.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC\\" + absolute.substr(2);
  return L"\\\\?\\" + absolute;
}

WindowsFileSystem::~WindowsFileSystem() {
  while (!m_outputs.empty()) DiscardOutput(static_cast<FileHandle>(m_outputs.begin()->first));
}

int WindowsFileSystem::OpenRead(const std::string& path, FileHandle& handle) {
  handle = FileHandle::kNone;
  const std::wstring wide = WidePath(path);
  if (wide.empty()) return -ENOENT;
  const DWORD attributes = ::GetFileAttributesW(wide.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    return -EISDIR;
  }
  // A copy over this file was cut off: its old bytes go back first.
  if (::GetFileAttributesW(JournalPathOf(wide).c_str()) != INVALID_FILE_ATTRIBUTES) {
    HANDLE target = OpenExclusive(wide, GENERIC_READ | GENERIC_WRITE);
    const int restored =
        target == INVALID_HANDLE_VALUE ? -kErrorInterrupted : RollBack(wide, target);
    if (target != INVALID_HANDLE_VALUE) ::CloseHandle(target);
    if (restored != 0) return -kErrorInterrupted;
  }
  // Shared with no other opener, so nobody changes it while it is read.
  HANDLE file = ::CreateFileW(wide.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (file == INVALID_HANDLE_VALUE) return LastError();
  BY_HANDLE_FILE_INFORMATION info{};
  if (!IsDiskFile(file) || !::GetFileInformationByHandle(file, &info)) {
    ::CloseHandle(file);
    return -EINVAL;  // a device or a pipe
  }
  m_reads[reinterpret_cast<std::intptr_t>(file)] =
      Snapshot{(std::uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow,
               (std::uint64_t{info.ftLastWriteTime.dwHighDateTime} << 32) |
                   info.ftLastWriteTime.dwLowDateTime};
  handle = Handle(file);
  return 0;
}

int WindowsFileSystem::CreateOutput(const std::string& target, FileHandle& handle) {
  handle = FileHandle::kNone;
  Output output;
  output.target = WidePath(target);
  if (output.target.empty()) return -ENOENT;
  const DWORD attributes = ::GetFileAttributesW(output.target.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES) {
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return -EISDIR;
    // The owner's "do not overwrite", whoever we run as.
    if (attributes & FILE_ATTRIBUTE_READONLY) return -EACCES;
    // Opening for writing without truncating asks the system whether it may
    // be written (the read-only mark, ACLs, a write-protected medium); it
    // also follows a symbolic link to the file it names.
    // Read too where allowed, into the journal of a copy in place.
    HANDLE file = ::CreateFileW(output.target.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE && ::GetLastError() == ERROR_ACCESS_DENIED) {
      file = ::CreateFileW(output.target.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    if (file == INVALID_HANDLE_VALUE) {
      const DWORD error = ::GetLastError();
      if (error != ERROR_FILE_NOT_FOUND || !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        return -ErrnoOf(error);
      }
      // A link to a file that is not there: the file it names is created.
      file = ::CreateFileW(output.target.c_str(), GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
      if (file == INVALID_HANDLE_VALUE) return LastError();
      m_outputs[reinterpret_cast<std::intptr_t>(file)] = std::move(output);
      handle = Handle(file);
      return 0;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (!IsDiskFile(file) || !::GetFileInformationByHandle(file, &info)) {
      ::CloseHandle(file);
      return -EINVAL;
    }
    wchar_t final[32768];
    const DWORD length = ::GetFinalPathNameByHandleW(file, final, 32768, FILE_NAME_NORMALIZED);
    if (length > 0 && length < 32768) output.target.assign(final, length);
    if (info.nNumberOfLinks > 1) {
      // A replacement would split the names apart: the file itself is written, at commit.
      output.inPlace = file;
    } else {
      ::CloseHandle(file);
    }
    output.replacing = true;
    output.attributes = attributes & ~DWORD{FILE_ATTRIBUTE_REPARSE_POINT};
  } else if (::GetLastError() != ERROR_FILE_NOT_FOUND) {
    return LastError();
  } else if (const HANDLE probe =
                 ::CreateFileW(output.target.c_str(), GENERIC_WRITE | DELETE, 0, nullptr,
                               CREATE_NEW, FILE_FLAG_DELETE_ON_CLOSE, nullptr);
             probe != INVALID_HANDLE_VALUE) {
    ::CloseHandle(probe);
  } else if (::GetLastError() == ERROR_FILE_EXISTS) {
    // The name is taken by something the attributes do not show: under wine,
    // a symbolic link to a file that is not there. A rename would put a file
    // in the link's place; an open that may create goes through the link and
    // creates the file it names, as Windows does for a link it shows.
    HANDLE file = ::CreateFileW(output.target.c_str(), GENERIC_WRITE | DELETE, 0, nullptr,
                                OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return LastError();
    LARGE_INTEGER size{};
    if (!IsDiskFile(file) || !::GetFileSizeEx(file, &size) || size.QuadPart != 0) {
      ::CloseHandle(file);
      return -EEXIST;
    }
    m_outputs[reinterpret_cast<std::intptr_t>(file)] = std::move(output);
    handle = Handle(file);
    return 0;
  }

  const std::wstring folder = FolderOf(output.target);
  SweepStrays(folder);
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::wstring temp = TemporaryName(folder);
    HANDLE file = ::CreateFileW(temp.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr,
                                CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      output.temp = std::move(temp);
      m_outputs[reinterpret_cast<std::intptr_t>(file)] = std::move(output);
      handle = Handle(file);
      return 0;
    }
    if (::GetLastError() != ERROR_FILE_EXISTS) break;
  }
  const int error = ::GetLastError() == ERROR_FILE_EXISTS ? -EEXIST : LastError();
  if (output.inPlace != nullptr) ::CloseHandle(output.inPlace);
  return error;
}

std::int64_t WindowsFileSystem::Read(FileHandle file, void* buffer, std::size_t n) {
  auto* bytes = static_cast<unsigned char*>(buffer);
  std::size_t done = 0;
  while (done < n) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(n - done, 1u << 30));
    DWORD got = 0;
    if (!::ReadFile(Native(file), bytes + done, chunk, &got, nullptr)) return LastError();
    if (got == 0) break;
    done += got;
  }
  return static_cast<std::int64_t>(done);
}

std::int64_t WindowsFileSystem::Write(FileHandle file, const void* buffer, std::size_t n) {
  const auto* bytes = static_cast<const unsigned char*>(buffer);
  std::size_t done = 0;
  while (done < n) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(n - done, 1u << 30));
    DWORD put = 0;
    if (!::WriteFile(Native(file), bytes + done, chunk, &put, nullptr)) {
      if (done > 0) break;
      return LastError();
    }
    if (put == 0) break;
    done += put;
  }
  return static_cast<std::int64_t>(done);
}

std::int64_t WindowsFileSystem::Seek(FileHandle file, std::int64_t offset, SeekFrom from) {
  LARGE_INTEGER distance{};
  distance.QuadPart = offset;
  LARGE_INTEGER at{};
  if (!::SetFilePointerEx(Native(file), distance, &at,
                          from == SeekFrom::kEnd ? FILE_END : FILE_BEGIN)) {
    return LastError();
  }
  return at.QuadPart;
}

int WindowsFileSystem::CheckUnchanged(FileHandle file) {
  const auto found = m_reads.find(static_cast<std::intptr_t>(file));
  if (found == m_reads.end()) return -EBADF;
  BY_HANDLE_FILE_INFORMATION info{};
  if (!::GetFileInformationByHandle(Native(file), &info)) return LastError();
  const std::uint64_t size = (std::uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow;
  const std::uint64_t written = (std::uint64_t{info.ftLastWriteTime.dwHighDateTime} << 32) |
                                info.ftLastWriteTime.dwLowDateTime;
  return size == found->second.size && written == found->second.written ? 0 : -kErrorChanged;
}

bool WindowsFileSystem::SameFile(const std::string& a, const std::string& b) {
  // The volume and file index of each, links followed; neither opened for access.
  auto identify = [](const std::string& path, BY_HANDLE_FILE_INFORMATION& info) {
    const std::wstring wide = WidePath(path);
    if (wide.empty()) return false;
    HANDLE file =
        ::CreateFileW(wide.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    const bool known = ::GetFileInformationByHandle(file, &info) != 0;
    ::CloseHandle(file);
    return known;
  };
  BY_HANDLE_FILE_INFORMATION first{};
  BY_HANDLE_FILE_INFORMATION second{};
  return identify(a, first) && identify(b, second) &&
         first.dwVolumeSerialNumber == second.dwVolumeSerialNumber &&
         first.nFileIndexHigh == second.nFileIndexHigh &&
         first.nFileIndexLow == second.nFileIndexLow;
}

int WindowsFileSystem::Close(FileHandle file) {
  m_reads.erase(static_cast<std::intptr_t>(file));
  return ::CloseHandle(Native(file)) ? 0 : LastError();
}

int WindowsFileSystem::CommitOutput(FileHandle file) {
  const auto found = m_outputs.find(static_cast<std::intptr_t>(file));
  if (found == m_outputs.end()) return -EBADF;
  Output output = std::move(found->second);
  m_outputs.erase(found);
  int result = 0;
  if (output.temp.empty()) {
    // A file created here through a link: it is gone again unless all of it got there.
    if (!::FlushFileBuffers(Native(file))) {
      result = LastError();
      DeleteAndClose(Native(file));
      return result;
    }
    return ::CloseHandle(Native(file)) ? 0 : LastError();
  }
  if (output.inPlace != nullptr) {
    result = ReplaceInPlace(Native(file), output.inPlace, output.target);
    ::CloseHandle(Native(file));
    ::DeleteFileW(output.temp.c_str());
    if (!::CloseHandle(output.inPlace) && result == 0) result = LastError();
    return result;
  }
  // The data reaches the disk before the name does, so that a crash can never
  // leave an empty file where the user's file was.
  if (output.replacing && !::FlushFileBuffers(Native(file))) result = LastError();
  if (!::CloseHandle(Native(file)) && result == 0) result = LastError();
  if (result == 0) {
    // ReplaceFileW keeps the old file's attributes, ACL and creation time.
    const BOOL moved = output.replacing
                           ? ::ReplaceFileW(output.target.c_str(), output.temp.c_str(), nullptr,
                                            REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr)
                           : ::MoveFileExW(output.temp.c_str(), output.target.c_str(),
                                           MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    if (!moved) result = LastError();
    // ReplaceFileW keeps them on Windows; said again for file systems that forget.
    if (moved && output.replacing) ::SetFileAttributesW(output.target.c_str(), output.attributes);
  }
  if (result != 0) ::DeleteFileW(output.temp.c_str());
  return result;
}

void WindowsFileSystem::DiscardOutput(FileHandle file) {
  const auto found = m_outputs.find(static_cast<std::intptr_t>(file));
  if (found == m_outputs.end()) return;
  if (found->second.temp.empty()) {
    DeleteAndClose(Native(file));
  } else {
    ::CloseHandle(Native(file));
    ::DeleteFileW(found->second.temp.c_str());
  }
  if (found->second.inPlace != nullptr) ::CloseHandle(found->second.inPlace);
  m_outputs.erase(found);
}

int WindowsFileSystem::ListFolder(const std::string& path, std::vector<FolderEntry>& entries) {
  entries.clear();
  const std::wstring folder = WidePath(path);
  if (folder.empty()) return -ENOENT;
  WIN32_FIND_DATAW found{};
  HANDLE listing = ::FindFirstFileW((folder + L"\\*").c_str(), &found);
  if (listing == INVALID_HANDLE_VALUE) return LastError();
  do {
    const std::wstring name = found.cFileName;
    if (name == L"." || name == L"..") continue;
    FolderEntry item;
    item.name = Utf8(name);
    item.regular = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
    item.readOnly = (found.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
    item.size =
        static_cast<std::int64_t>((std::uint64_t{found.nFileSizeHigh} << 32) | found.nFileSizeLow);
    entries.push_back(std::move(item));
  } while (::FindNextFileW(listing, &found));
  ::FindClose(listing);
  return 0;
}

int WindowsFileSystem::MoveNoReplace(const std::string& from, const std::string& to) {
  // Without MOVEFILE_REPLACE_EXISTING a taken name is refused.
  return ::MoveFileExW(WidePath(from).c_str(), WidePath(to).c_str(), MOVEFILE_WRITE_THROUGH)
             ? 0
             : LastError();
}

void WindowsFileSystem::SweepFolder(const std::string& folder) {
  const std::wstring wide = WidePath(folder);
  if (!wide.empty()) SweepStrays(wide);
}

int WindowsFileSystem::Remove(const std::string& path) {
  return ::DeleteFileW(WidePath(path).c_str()) ? 0 : LastError();
}

}  // namespace loopsmith
