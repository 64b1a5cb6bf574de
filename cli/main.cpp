#include <iostream>
#include <string>
#include <vector>

#include "base/posix_file_system.h"
#include "cli/cli.h"

int main(int argc, char** argv) {
  std::ios::sync_with_stdio(false);
  const std::vector<std::string> args(argv + 1, argv + argc);
  loopsmith::PosixFileSystem fs;
  return loopsmith::cli::RunCli(args, fs, std::cout, std::cerr);
}
