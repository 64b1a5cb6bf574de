#pragma once

#include <cstdint>
#include <string>

namespace loopsmith {

// 1048576 -> "1,048,576", as every figure the user reads is written.
std::string WithCommas(std::uint64_t value);

// The system's own words for an errno value.
std::string SystemErrorText(int error);

// Why a file could not be opened, for any errno an open gives.
std::string OpenFailureText(int error);

// Why a file's content cannot be trusted after a failed check that it is unchanged.
std::string ChangedText(int error);

}  // namespace loopsmith
