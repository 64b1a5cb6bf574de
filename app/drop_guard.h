#pragma once

#include <optional>
#include <string>
#include <vector>

namespace loopsmith {

// What the main window decides about drops, without a toolkit: only the first
// dropped item counts, and only when it is a local file; no drop is taken
// while one is being converted (the job runs modal loops of its own).
class DropGuard {
 public:
  // The path a drop converts: the first item, if it is a local file (items
  // that are not are given as nullopt).
  static std::optional<std::string> FirstPath(const std::vector<std::optional<std::string>>& items);

  bool busy() const { return m_busy; }
  // Takes a drop: false while one is converting.
  bool Begin();
  void End() { m_busy = false; }

 private:
  bool m_busy = false;
};

}  // namespace loopsmith
