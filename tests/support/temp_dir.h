#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace loopsmith::testing {

// A fresh folder for one test, removed with everything in it afterwards.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  std::string Path(const std::string& name) const { return (m_root / name).string(); }
  const std::filesystem::path& root() const { return m_root; }
  // Names of the entries in the folder, sorted.
  std::vector<std::string> Entries() const;

 private:
  std::filesystem::path m_root;
};

std::vector<std::uint8_t> ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, const std::vector<std::uint8_t>& bytes);
// How many descriptors this process has open right now.
int OpenDescriptorCount();

}  // namespace loopsmith::testing
