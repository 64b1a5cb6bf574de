#pragma once

#include <cstdint>
#include <string>

namespace loopsmith {

// 1048576 -> "1,048,576", as every figure the user reads is written.
std::string WithCommas(std::uint64_t value);

// A file name as a line of text shows it: unchanged, or where it holds a
// newline or another control character, quoted as the shell reads it back
// ($'drums\n2.wav'), so that one name is never taken for two lines.
std::string QuotedName(const std::string& name);

// The system's own words for an errno value.
std::string SystemErrorText(int error);

}  // namespace loopsmith
