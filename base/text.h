#pragma once

#include <cstdint>
#include <string>

namespace loopsmith {

// 1048576 -> "1,048,576", as every figure the user reads is written.
std::string WithCommas(std::uint64_t value);

// The system's own words for an errno value.
std::string SystemErrorText(int error);

}  // namespace loopsmith
