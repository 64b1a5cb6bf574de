#include <csignal>
#include <iostream>
#include <string>
#include <vector>

#include "base/platform_file_system.h"
#include "cli/cli.h"

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

// The command line as Windows holds it, so that no name is lost to the ANSI
// code page; UTF-8 inside, and on the console.
int wmain(int argc, wchar_t** argv) {
  ::SetConsoleOutputCP(CP_UTF8);
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.push_back(loopsmith::Utf8(argv[i]));
  loopsmith::PlatformFileSystem fs;
  return loopsmith::cli::RunCli(args, fs, std::cout, std::cerr);
}
#else
int main(int argc, char** argv) {
  // Past a file size limit, a write then fails with its own message instead of
  // the process being killed with a temporary file left behind.
  std::signal(SIGXFSZ, SIG_IGN);
  std::ios::sync_with_stdio(false);
  const std::vector<std::string> args(argv + 1, argv + argc);
  loopsmith::PlatformFileSystem fs;
  return loopsmith::cli::RunCli(args, fs, std::cout, std::cerr);
}
#endif
