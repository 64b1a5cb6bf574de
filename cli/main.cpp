#include <csignal>
#include <iostream>
#include <string>
#include <vector>

#include "base/platform_file_system.h"
#include "cli/cli.h"

int main(int argc, char** argv) {
  // Past a file size limit, a write then fails with its own message instead of
  // the process being killed with a temporary file left behind.
  std::signal(SIGXFSZ, SIG_IGN);
  std::ios::sync_with_stdio(false);
  const std::vector<std::string> args(argv + 1, argv + argc);
  loopsmith::PlatformFileSystem fs;
  return loopsmith::cli::RunCli(args, fs, std::cout, std::cerr);
}
