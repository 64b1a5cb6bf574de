#include "base/file_system.h"

#include "base/paths.h"

namespace loopsmith {

std::optional<LeftoverFile> FileSystem::CutOffCopyOf(const std::string& path) {
  const auto access = OpenRecoveryFolder(FolderOf(path));
  return access ? InspectJournal(*access, JournalName(NameOf(path))) : std::nullopt;
}

}  // namespace loopsmith
