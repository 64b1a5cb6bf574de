#include "app/drop_guard.h"

namespace loopsmith {

std::optional<std::string> DropGuard::FirstPath(
    const std::vector<std::optional<std::string>>& items) {
  if (items.empty() || !items.front() || items.front()->empty()) return std::nullopt;
  return items.front();
}

bool DropGuard::Begin() {
  if (m_busy) return false;
  m_busy = true;
  return true;
}

}  // namespace loopsmith
