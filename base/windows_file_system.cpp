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

OVERLAPPED At(std::int64_t offset) {
  OVERLAPPED where{};
  where.Offset = static_cast<DWORD>(offset & 0xFFFFFFFF);
  where.OffsetHigh = static_cast<DWORD>(offset >> 32);
  return where;
}

// One folder for the recovery rules. A file opened here is shared with no
// one, which is the lock: another writer's file cannot be opened at all
// (-EBUSY), and nobody can take one of ours while it is open.
class WindowsFolder final : public RecoveryFolder {
 public:
  explicit WindowsFolder(std::wstring folder) : m_folder(std::move(folder)) {}

  int List(std::vector<std::string>& names) override {
    names.clear();
    WIN32_FIND_DATAW found{};
    HANDLE listing = ::FindFirstFileW((m_folder + L"\\*").c_str(), &found);
    if (listing == INVALID_HANDLE_VALUE) return LastError();
    do {
      const std::wstring name = found.cFileName;
      if (name != L"." && name != L"..") names.push_back(Utf8(name));
    } while (::FindNextFileW(listing, &found));
    ::FindClose(listing);
    return 0;
  }
  int Open(const std::string& name, bool write, File& file) override {
    file = -1;
    if (!IsPlainName(name)) return -EINVAL;
    HANDLE handle =
        ::CreateFileW(PathOf(name).c_str(), GENERIC_READ | (write ? GENERIC_WRITE : 0) | DELETE, 0,
                      nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
      const DWORD error = ::GetLastError();
      if (error == ERROR_SHARING_VIOLATION) return -EBUSY;
      if (error == ERROR_FILE_NOT_FOUND) return -ENOENT;
      return error == ERROR_ACCESS_DENIED ? -EINVAL : -ErrnoOf(error);
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (::GetFileType(handle) != FILE_TYPE_DISK || !::GetFileInformationByHandle(handle, &info) ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0) {
      ::CloseHandle(handle);
      return -EINVAL;
    }
    file = Id(handle);
    return 0;
  }
  int Create(const std::string& name, File& file) override {
    file = -1;
    if (!IsPlainName(name)) return -EINVAL;
    HANDLE handle = ::CreateFileW(PathOf(name).c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0,
                                  nullptr, CREATE_NEW, FILE_ATTRIBUTE_HIDDEN, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return LastError();
    file = Id(handle);
    return 0;
  }
  bool StillNamed(File /*file*/, const std::string& /*name*/) override { return true; }
  LockResult TryLock(File /*file*/) override { return LockResult::kTaken; }
  int Identify(File file, FileIdentity& identity) override {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(Of(file), &info)) return LastError();
    identity = {info.dwVolumeSerialNumber,
                (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow,
                (std::uint64_t{info.ftCreationTime.dwHighDateTime} << 32) |
                    info.ftCreationTime.dwLowDateTime};
    return 0;
  }
  std::int64_t ReadAt(File file, void* buffer, std::size_t n, std::int64_t at) override {
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
  int WriteAt(File file, const void* buffer, std::size_t n, std::int64_t at) override {
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
  std::int64_t Size(File file) override {
    LARGE_INTEGER size{};
    return ::GetFileSizeEx(Of(file), &size) ? size.QuadPart : LastError();
  }
  int SetSizeAndSync(File file, std::int64_t size) override {
    return MoveTo(Of(file), size) && ::SetEndOfFile(Of(file)) && ::FlushFileBuffers(Of(file))
               ? 0
               : LastError();
  }
  int Remove(File file, const std::string& /*name*/) override {
    FILE_DISPOSITION_INFO disposition{TRUE};
    return ::SetFileInformationByHandle(Of(file), FileDispositionInfo, &disposition,
                                        sizeof disposition)
               ? 0
               : LastError();
  }
  void Close(File file) override { ::CloseHandle(Of(file)); }

 private:
  static HANDLE Of(File file) { return reinterpret_cast<HANDLE>(file); }
  static File Id(HANDLE file) { return reinterpret_cast<File>(file); }
  std::wstring PathOf(const std::string& name) const { return m_folder + L"\\" + Utf16(name); }
  std::wstring m_folder;
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
  WindowsFolder access(L".");
  if (const int copied = CopyRange(access, Id(from), 0, Id(to), 0, written.QuadPart); copied != 0) {
    return copied;
  }
  // The old content beyond the new end goes only now, when all was written.
  if (!MoveTo(to, written.QuadPart) || !::SetEndOfFile(to) || !::FlushFileBuffers(to)) {
    return LastError();
  }
  return 0;
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
  // A file whose copy was cut off is read from its journal's old bytes, as
  // it will be once they are put back; nothing is written here.
  std::int64_t base = 0;
  HANDLE file = INVALID_HANDLE_VALUE;
  if (const auto found = CutOffCopyOf(path); found && found->kind == Leftover::kPending) {
    HANDLE journal =
        ::CreateFileW((FolderOf(wide) + L"\\" + Utf16(found->name)).c_str(), GENERIC_READ,
                      FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (journal != INVALID_HANDLE_VALUE && MoveTo(journal, found->oldBytesAt)) {
      base = found->oldBytesAt;
      file = journal;
    } else if (journal != INVALID_HANDLE_VALUE) {
      ::CloseHandle(journal);
    }
  }
  // Shared with no other opener, so nobody changes it while it is read.
  if (file == INVALID_HANDLE_VALUE) {
    file = ::CreateFileW(wide.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  }
  if (file == INVALID_HANDLE_VALUE) return LastError();
  BY_HANDLE_FILE_INFORMATION info{};
  if (!IsDiskFile(file) || !::GetFileInformationByHandle(file, &info)) {
    ::CloseHandle(file);
    return -EINVAL;  // a device or a pipe
  }
  m_reads[reinterpret_cast<std::intptr_t>(file)] =
      Snapshot{(std::uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow,
               (std::uint64_t{info.ftLastWriteTime.dwHighDateTime} << 32) |
                   info.ftLastWriteTime.dwLowDateTime,
               base};
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
  {
    WindowsFolder access(folder);
    (void)Sweep(access, false);
  }
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
  const auto read = m_reads.find(static_cast<std::intptr_t>(file));
  const std::int64_t base = read == m_reads.end() ? 0 : read->second.base;
  const bool end = from == SeekFrom::kEnd;
  if (!end && offset < 0) return -EINVAL;
  LARGE_INTEGER distance{};
  distance.QuadPart = end ? offset : offset + base;
  LARGE_INTEGER at{};
  if (!::SetFilePointerEx(Native(file), distance, &at, end ? FILE_END : FILE_BEGIN)) {
    return LastError();
  }
  if (at.QuadPart < base) {
    (void)MoveTo(Native(file), base);
    return -EINVAL;
  }
  return at.QuadPart - base;
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

int WindowsFileSystem::CommitOutput(FileHandle file) { return Commit(file, false); }

int WindowsFileSystem::CommitOutputNoReplace(FileHandle file) { return Commit(file, true); }

int WindowsFileSystem::Commit(FileHandle file, bool noReplace) {
  const auto found = m_outputs.find(static_cast<std::intptr_t>(file));
  if (found == m_outputs.end()) return -EBADF;
  if (noReplace && (found->second.replacing || found->second.inPlace != nullptr)) {
    DiscardOutput(file);
    return -EEXIST;
  }
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
    WindowsFolder access(FolderOf(output.target));
    result =
        CopyUnderJournal(access, Utf8(NameOf(output.target)), Id(output.inPlace), Id(Native(file)),
                         [&] { return CopyInPlace(Native(file), output.inPlace); });
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
    const BOOL moved =
        noReplace
            ? ::MoveFileExW(output.temp.c_str(), output.target.c_str(), MOVEFILE_WRITE_THROUGH)
        : output.replacing ? ::ReplaceFileW(output.target.c_str(), output.temp.c_str(), nullptr,
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

std::unique_ptr<RecoveryFolder> WindowsFileSystem::OpenRecoveryFolder(const std::string& folder) {
  const std::wstring wide = WidePath(folder);
  if (wide.empty()) return nullptr;
  return std::make_unique<WindowsFolder>(wide);
}

int WindowsFileSystem::Remove(const std::string& path) {
  const std::wstring wide = WidePath(path);
  if (::DeleteFileW(wide.c_str())) return 0;
  const int error = LastError();
  // The caller has decided (a loop marked read-only goes only with --force):
  // the read-only attribute, which DeleteFile refuses, goes first.
  const DWORD attributes = ::GetFileAttributesW(wide.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_READONLY) == 0 ||
      !::SetFileAttributesW(wide.c_str(), attributes & ~DWORD{FILE_ATTRIBUTE_READONLY})) {
    return error;
  }
  if (::DeleteFileW(wide.c_str())) return 0;
  const int again = LastError();
  ::SetFileAttributesW(wide.c_str(), attributes);
  return again;
}

}  // namespace loopsmith
