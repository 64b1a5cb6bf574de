#pragma once

// The command line run in the test's process, and sox as its oracle.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "base/posix_file_system.h"
#include "cli/cli.h"
#include "temp_dir.h"

namespace loopsmith::testing {

inline bool Sox(const std::string& arguments) {
  return std::system(("sox " + arguments + " 2>/dev/null").c_str()) == 0;
}

struct CliRun {
  int status;
  std::string out;
  std::string err;
};

inline CliRun Cli(const std::vector<std::string>& args) {
  PosixFileSystem files;
  std::ostringstream out;
  std::ostringstream err;
  const int status = cli::RunCli(args, files, out, err);
  return {status, out.str(), err.str()};
}

// Tests with sox as their oracle, in a folder of their own; skipped where sox is missing.
class SoxTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::system("command -v sox >/dev/null") != 0) GTEST_SKIP() << "sox is not installed";
  }
  TempDir dir;
};

// Word `i` of a loop file, as a signed 12-bit value.
inline int Word(const std::vector<std::uint8_t>& loop, std::size_t i) {
  const int word = loop[56 + 2 * i] << 8 | loop[57 + 2 * i];
  return word >= 2048 ? word - 4096 : word;
}

}  // namespace loopsmith::testing
