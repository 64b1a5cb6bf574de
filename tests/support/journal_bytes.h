#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/content_check.h"
#include "base/journal.h"

namespace loopsmith::testing {

// A complete journal holding `old` for the file `name`, as a killed copy leaves it.
inline std::vector<std::uint8_t> Journal(const std::string& name,
                                         const std::vector<std::uint8_t>& old) {
  Checksum sum;
  sum.Add(old.data(), old.size());
  auto bytes = MakeJournalHead({name, old.size(), sum.value(), 0});
  bytes.insert(bytes.end(), old.begin(), old.end());
  return bytes;
}

}  // namespace loopsmith::testing
