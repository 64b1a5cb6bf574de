// Without libFuzzer: runs the built-in seeds and every file named on the
// command line (or found in the folders named) through the target once.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "seeds.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

int RunFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in),
                                        std::istreambuf_iterator<char>()};
  LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  int runs = 0;
  for (const auto& seed : loopsmith::fuzz::Seeds(LOOPSMITH_FUZZ_TARGET)) {
    LLVMFuzzerTestOneInput(seed.bytes.data(), seed.bytes.size());
    ++runs;
  }
  for (int i = 1; i < argc; ++i) {
    const std::filesystem::path path(argv[i]);
    if (std::filesystem::is_directory(path)) {
      for (const auto& entry : std::filesystem::directory_iterator(path)) {
        if (entry.is_regular_file()) runs += RunFile(entry.path());
      }
    } else {
      runs += RunFile(path);
    }
  }
  // A failing input aborts before this line, so reaching it means every one passed.
  std::printf("replayed %d inputs, every one passed\n", runs);
  return 0;
}
