#include "core/output_names.h"

#include <string_view>

#include "base/paths.h"
#include "base/text.h"
#include "core/loop_params.h"

namespace loopsmith {

Direction DirectionOf(const std::string& path) {
  if (EndsWithIgnoringCase(path, ".T58")) return Direction::kLoopToWave;
  if (EndsWithIgnoringCase(path, ".WAV")) return Direction::kWaveToLoop;
  return Direction::kNone;
}

// Paths are UTF-8: '.', '/' and '\\' never occur inside a multibyte
// character, so plain byte searches find the right ones.

std::string WaveNameFor(const std::string& loopPath) {
  const auto dot = loopPath.rfind('.');
  return (dot == std::string::npos ? loopPath : loopPath.substr(0, dot)) + ".WAV";
}

std::string FolderOfDrop(const std::string& path) { return FolderOf(path); }

std::string LoopNameFor(const std::string& wavePath, std::uint8_t fileNumber) {
  const auto slash = LastSeparator(wavePath);
  std::string name = slash == std::string::npos ? std::string() : wavePath.substr(0, slash + 1);
  name += fileNumber < 10 ? "L0" : "L";
  name += std::to_string(fileNumber);
  name += ".T58";
  return name;
}

std::string BatchNumberProblem(int firstNumber, int waves) {
  if (waves == 0 || firstNumber + waves - 1 <= kMaxFileNumber) return {};
  return std::to_string(waves) + (waves == 1 ? " WAV file" : " WAV files") + " from number " +
         std::to_string(firstNumber) + " would pass L50.T58";
}

}  // namespace loopsmith
