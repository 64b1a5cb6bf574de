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

  // A path in the folder, as the UTF-8 the program takes.
  std::string Path(const std::string& name) const;
  const std::filesystem::path& root() const { return m_root; }
  // Names of the entries in the folder, sorted.
  std::vector<std::string> Entries() const;

 private:
  std::filesystem::path m_root;
};

// A UTF-8 path as std::filesystem takes it (on Windows it would read a plain
// string as the ANSI code page).
std::filesystem::path FsPath(const std::string& utf8);
std::string Utf8Of(const std::filesystem::path& path);

std::vector<std::uint8_t> ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, const std::vector<std::uint8_t>& bytes);
// How many descriptors this process has open right now.
int OpenDescriptorCount();

}  // namespace loopsmith::testing
