#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace loopsmith {

// The narrow seam under every file the program touches. Both file formats go
// through it, so tests can make any single call fail or come up short.
// Failures are returned as negative errno values.
class FileSystem {
 public:
  virtual ~FileSystem() = default;

  // Opens an existing regular file for reading; folders, FIFOs and devices are refused.
  virtual int OpenRead(const std::string& path) = 0;
  // Creates a new empty file with a fresh name beside `target`, for writing.
  virtual int CreateTemp(const std::string& target, std::string& tempPath) = 0;
  // Both move up to n bytes; a short count means end of file (read) or a full medium (write).
  virtual std::int64_t Read(int fd, void* buffer, std::size_t n) = 0;
  virtual std::int64_t Write(int fd, const void* buffer, std::size_t n) = 0;
  // Returns the new offset from the start of the file.
  virtual std::int64_t Seek(int fd, std::int64_t offset, int whence) = 0;
  virtual int Sync(int fd) = 0;
  virtual int Close(int fd) = 0;
  virtual bool Exists(const std::string& path) = 0;
  virtual int Rename(const std::string& from, const std::string& to) = 0;
  virtual int Remove(const std::string& path) = 0;
};

// The real thing: POSIX calls, retried on EINTR and on partial transfers.
class PosixFileSystem final : public FileSystem {
 public:
  int OpenRead(const std::string& path) override;
  int CreateTemp(const std::string& target, std::string& tempPath) override;
  std::int64_t Read(int fd, void* buffer, std::size_t n) override;
  std::int64_t Write(int fd, const void* buffer, std::size_t n) override;
  std::int64_t Seek(int fd, std::int64_t offset, int whence) override;
  int Sync(int fd) override;
  int Close(int fd) override;
  bool Exists(const std::string& path) override;
  int Rename(const std::string& from, const std::string& to) override;
  int Remove(const std::string& path) override;
};

// A file written under a temporary name and put in place of its target only once
// it is complete, so a failed write never costs the user the file they had.
class ReplacingFile {
 public:
  explicit ReplacingFile(FileSystem& fs) : fs_(fs) {}
  ReplacingFile(const ReplacingFile&) = delete;
  ReplacingFile& operator=(const ReplacingFile&) = delete;
  ~ReplacingFile() { Discard(); }

  int Create(const std::string& target);  // 0 or a negative errno
  bool IsOpen() const { return fd_ >= 0; }
  int fd() const { return fd_; }
  FileSystem& fs() const { return fs_; }
  // Closes and renames over the target, syncing first when there is a target to
  // replace; on any failure the temporary file is removed and the target stays
  // as it was. 0 or a negative errno.
  int Commit();
  // Closes and removes the temporary file; the target is not touched.
  void Discard();

 private:
  FileSystem& fs_;
  int fd_ = -1;
  std::string target_;
  std::string temp_;
};

}  // namespace loopsmith
