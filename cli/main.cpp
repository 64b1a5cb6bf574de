#include <csignal>
#include <iostream>
#include <string>
#include <vector>

#include "base/platform_file_system.h"
#include "cli/cli.h"

#ifdef _WIN32
#include "base/text.h"
#include "cli/console_stream.h"

// Wildcards in the arguments are expanded by the runtime before wmain, as
// Windows console programs do (cmd.exe leaves them to the program); a quoted
// pattern, or one that matches nothing, stays as it was typed.
extern "C" {
int _dowildcard = -1;  // NOLINT: the mingw-w64 runtime's name
}

// The command line as Windows holds it, so that no name is lost to the ANSI
// code page; UTF-8 inside. A console is written in UTF-16, whatever its code
// page; a pipe or a file gets UTF-8.
int wmain(int argc, wchar_t** argv) {
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.push_back(loopsmith::Utf8(argv[i]));
  const HANDLE output = ::GetStdHandle(STD_OUTPUT_HANDLE);
  const HANDLE error = ::GetStdHandle(STD_ERROR_HANDLE);
  loopsmith::cli::ConsoleBuffer outputConsole(output);
  loopsmith::cli::ConsoleBuffer errorConsole(error);
  std::ostream consoleOut(&outputConsole);
  std::ostream consoleErr(&errorConsole);
  using loopsmith::cli::ConsoleBuffer;
  std::ostream& out = ConsoleBuffer::IsConsole(output) ? consoleOut : std::cout;
  std::ostream& err = ConsoleBuffer::IsConsole(error) ? consoleErr : std::cerr;
  loopsmith::PlatformFileSystem fs;
  const int status = loopsmith::cli::RunCli(args, fs, out, err);
  err.flush();
  return status;
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
