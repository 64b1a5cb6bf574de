#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace loopsmith {

// What the main window decides about drops, without a toolkit: only the first
// dropped item counts, and only when it is a local file; no drop is taken
// while one is being converted (the job runs modal loops of its own).
class DropGuard {
 public:
  // The file a "file:" URI names on this machine, as the file system's own
  // bytes (percent escapes decoded, nothing re-encoded, so a name that is not
  // UTF-8 survives). The host may be empty, "localhost" or `thisHost`.
  static std::optional<std::string> LocalPathOf(std::string_view uri, std::string_view thisHost);
  // The path a drop converts: the first dropped URI, if it names a local file.
  static std::optional<std::string> FirstPath(const std::vector<std::string>& uris,
                                              std::string_view thisHost);

  bool busy() const { return m_busy; }
  // Takes a drop: false while one is converting.
  bool Begin();
  void End() { m_busy = false; }

 private:
  bool m_busy = false;
};

}  // namespace loopsmith
