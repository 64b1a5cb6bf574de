#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace loopsmith::fuzz {

struct Seed {
  std::string name;
  std::vector<std::uint8_t> bytes;
};

// Small valid and hostile inputs for a target: "wave_load", "loop_read", "job", "adapt" or
// "recovery".
std::vector<Seed> Seeds(const std::string& target);

}  // namespace loopsmith::fuzz
