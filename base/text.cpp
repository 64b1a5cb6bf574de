#include "base/text.h"

#include <cerrno>
#include <cstring>

#include "base/file_system.h"

namespace loopsmith {

std::string WithCommas(std::uint64_t value) {
  const std::string digits = std::to_string(value);
  std::string text;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) text += ',';
    text += digits[i];
  }
  return text;
}

std::string SystemErrorText(int error) { return std::strerror(error); }

}  // namespace loopsmith
