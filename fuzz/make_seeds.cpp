// Writes the seed corpus of every fuzz target into FOLDER/<target>/.
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "seeds.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_fuzz_seeds FOLDER\n");
    return 2;
  }
  for (const char* target : {"wave_load", "loop_read", "job", "adapt", "recovery"}) {
    const std::filesystem::path folder = std::filesystem::path(argv[1]) / target;
    std::filesystem::create_directories(folder);
    for (const auto& seed : loopsmith::fuzz::Seeds(target)) {
      std::ofstream out(folder / seed.name, std::ios::binary);
      out.write(reinterpret_cast<const char*>(seed.bytes.data()),
                static_cast<std::streamsize>(seed.bytes.size()));
    }
  }
  return 0;
}
