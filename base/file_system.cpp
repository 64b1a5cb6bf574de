#include "base/file_system.h"

#include "base/paths.h"

namespace loopsmith {

std::optional<LeftoverFile> FileSystem::CutOffCopyOf(const std::string& path) {
  const auto access = OpenRecoveryFolder(FolderOf(path));
  if (!access) return std::nullopt;
  const std::string journal = JournalName(NameOf(path));
  RecoveryFolder::File file = -1;
  const int opened = access->Open(journal, false, file);
  if (opened == -ENOENT) return std::nullopt;
  if (opened == 0) access->Close(file);
  return InspectJournal(*access, journal);
}

}  // namespace loopsmith
