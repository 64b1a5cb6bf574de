#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/file_system.h"
#include "base/journal.h"

namespace loopsmith::testing {

// What the layer calls the identity of `name` in `folder`.
inline FileIdentity IdentityIn(FileSystem& fs, const std::string& folder, const std::string& name) {
  FileIdentity identity;
  const auto access = fs.OpenRecoveryFolder(folder);
  RecoveryFolder::File file = -1;
  if (access && access->Open(name, false, file) == 0) {
    access->Identify(file, identity);
    access->Close(file);
  }
  return identity;
}

// A complete journal holding `old` for the file `name` of `identity`, as a
// copy of `now` over it that was killed leaves it.
inline std::vector<std::uint8_t> Journal(const std::string& name,
                                         const std::vector<std::uint8_t>& old,
                                         const FileIdentity& identity = {},
                                         const std::vector<std::uint8_t>& now = {}) {
  JournalHead head{name, identity, old.size(), now.size(), PieceSums(old), PieceSums(now), 0};
  auto bytes = MakeJournalHead(head);
  bytes.insert(bytes.end(), old.begin(), old.end());
  return bytes;
}

}  // namespace loopsmith::testing
