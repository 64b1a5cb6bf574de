#include "faulty_file_system.h"

namespace loopsmith::testing {

void FaultyFileSystem::FailOn(Op op, int nth, int error, std::size_t shortBy) {
  m_failOp = op;
  m_failAt = nth;
  m_error = error;
  m_shortBy = shortBy;
}

bool FaultyFileSystem::Fails(Op op) { return ++m_calls[op] == m_failAt && op == m_failOp; }

int FaultyFileSystem::OpenRead(const std::string& path, FileHandle& handle) {
  if (Fails(kOpenRead)) return -m_error;
  const int result = m_real.OpenRead(path, handle);
  if (result == 0) ++m_openCount;
  return result;
}

int FaultyFileSystem::CreateOutput(const std::string& target, FileHandle& handle) {
  if (Fails(kCreateOutput)) return -m_error;
  const int result = m_real.CreateOutput(target, handle);
  if (result == 0) ++m_openCount;
  return result;
}

std::int64_t FaultyFileSystem::Read(FileHandle file, void* buffer, std::size_t n) {
  if (Fails(kRead)) {
    if (m_shortBy == 0) return -m_error;
    // Fewer bytes than the file gave, as if it ended there.
    const std::int64_t got = m_real.Read(file, buffer, n);
    return got > static_cast<std::int64_t>(m_shortBy) ? got - static_cast<std::int64_t>(m_shortBy)
                                                      : 0;
  }
  return m_real.Read(file, buffer, n);
}

std::int64_t FaultyFileSystem::Write(FileHandle file, const void* buffer, std::size_t n) {
  if (Fails(kWrite)) {
    if (m_shortBy == 0) return -m_error;
    return m_real.Write(file, buffer, n > m_shortBy ? n - m_shortBy : 0);
  }
  return m_real.Write(file, buffer, n);
}

std::int64_t FaultyFileSystem::Seek(FileHandle file, std::int64_t offset, SeekFrom from) {
  if (Fails(kSeek)) return -m_error;
  return m_real.Seek(file, offset, from);
}

int FaultyFileSystem::CheckUnchanged(FileHandle file) {
  if (Fails(kCheckUnchanged)) return -m_error;
  return m_real.CheckUnchanged(file);
}

int FaultyFileSystem::Close(FileHandle file) {
  --m_openCount;
  // The descriptor is released even when close reports an error, as on Linux.
  const int result = m_real.Close(file);
  if (Fails(kClose)) return -m_error;
  return result;
}

int FaultyFileSystem::CommitOutput(FileHandle file) {
  --m_openCount;
  if (Fails(kCommitOutput)) {
    m_real.DiscardOutput(file);
    return -m_error;
  }
  return m_real.CommitOutput(file);
}

void FaultyFileSystem::DiscardOutput(FileHandle file) {
  --m_openCount;
  m_real.DiscardOutput(file);
}

}  // namespace loopsmith::testing
