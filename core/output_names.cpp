#include "core/output_names.h"

#include "core/loop_params.h"

#include <string_view>

namespace loopsmith {
namespace {

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    auto fold = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; };
    if (fold(a[i]) != fold(b[i])) return false;
  }
  return true;
}

}  // namespace

Direction DirectionOf(const std::string& path) {
  const std::string_view ext =
      path.size() < 4 ? std::string_view(path) : std::string_view(path).substr(path.size() - 4);
  if (EqualsIgnoringCase(ext, ".T58")) return Direction::kLoopToWave;
  if (EqualsIgnoringCase(ext, ".WAV")) return Direction::kWaveToLoop;
  return Direction::kNone;
}

// Paths are UTF-8: '.', '/' and '\\' never occur inside a multibyte
// character, so plain byte searches find the right ones. Windows takes either
// slash between folders.
#ifdef _WIN32
constexpr const char* kSeparators = "/\\";
#else
constexpr const char* kSeparators = "/";
#endif

std::string WaveNameFor(const std::string& loopPath) {
  const auto dot = loopPath.rfind('.');
  return (dot == std::string::npos ? loopPath : loopPath.substr(0, dot)) + ".WAV";
}

std::string FolderOfDrop(const std::string& path) {
  const auto slash = path.find_last_of(kSeparators);
  if (slash == std::string::npos) return ".";
  return slash == 0 ? path.substr(0, 1) : path.substr(0, slash);
}

std::string LoopNameFor(const std::string& wavePath, std::uint8_t fileNumber) {
  const auto slash = wavePath.find_last_of(kSeparators);
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
