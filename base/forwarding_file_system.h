#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "base/file_system.h"

namespace loopsmith {

// Hands every call to another file system: the base of a layer that watches
// or changes a few calls (the changes a card operation made, faults in tests).
class ForwardingFileSystem : public FileSystem {
 public:
  explicit ForwardingFileSystem(FileSystem& inner) : m_inner(inner) {}

  int OpenRead(const std::string& path, FileHandle& handle) override {
    return m_inner.OpenRead(path, handle);
  }
  int CreateOutput(const std::string& target, FileHandle& handle) override {
    return m_inner.CreateOutput(target, handle);
  }
  std::int64_t Read(FileHandle file, void* buffer, std::size_t n) override {
    return m_inner.Read(file, buffer, n);
  }
  std::int64_t Write(FileHandle file, const void* buffer, std::size_t n) override {
    return m_inner.Write(file, buffer, n);
  }
  std::int64_t Seek(FileHandle file, std::int64_t offset, SeekFrom from) override {
    return m_inner.Seek(file, offset, from);
  }
  std::int64_t NextData(FileHandle file, std::int64_t offset) override {
    return m_inner.NextData(file, offset);
  }
  int CheckUnchanged(FileHandle file) override { return m_inner.CheckUnchanged(file); }
  bool SameFile(const std::string& a, const std::string& b) override {
    return m_inner.SameFile(a, b);
  }
  int Close(FileHandle file) override { return m_inner.Close(file); }
  int CommitOutput(FileHandle file) override { return m_inner.CommitOutput(file); }
  void DiscardOutput(FileHandle file) override { m_inner.DiscardOutput(file); }
  int ListFolder(const std::string& path, std::vector<FolderEntry>& entries) override {
    return m_inner.ListFolder(path, entries);
  }
  int MoveNoReplace(const std::string& from, const std::string& to) override {
    return m_inner.MoveNoReplace(from, to);
  }
  int Remove(const std::string& path) override { return m_inner.Remove(path); }
  int CommitOutputNoReplace(FileHandle file) override {
    return m_inner.CommitOutputNoReplace(file);
  }
  std::unique_ptr<RecoveryFolder> OpenRecoveryFolder(const std::string& folder) override {
    return m_inner.OpenRecoveryFolder(folder);
  }
  std::optional<LeftoverFile> CutOffCopyOf(const std::string& path) override {
    return m_inner.CutOffCopyOf(path);
  }
  int LockFolder(const std::string& folder, std::unique_ptr<FolderLock>& lock) override {
    return m_inner.LockFolder(folder, lock);
  }
  void SetWaitNotice(std::function<void(const std::string&)> notice) override {
    m_inner.SetWaitNotice(std::move(notice));
  }

 private:
  FileSystem& m_inner;
};

}  // namespace loopsmith
