#pragma once

#include <windows.h>

#include <streambuf>
#include <string>

namespace loopsmith::cli {

// Text for a Windows console, written as UTF-16 with WriteConsoleW, so that
// every name shows right whatever the console's code page. The program's text
// is UTF-8; a sequence cut at the end of a write waits for its remaining bytes.
class ConsoleBuffer final : public std::streambuf {
 public:
  explicit ConsoleBuffer(HANDLE console) : m_console(console) {}
  // True when `handle` is a console rather than a pipe or a file.
  static bool IsConsole(HANDLE handle);

 protected:
  int_type overflow(int_type c) override;
  std::streamsize xsputn(const char* text, std::streamsize n) override;
  int sync() override;

 private:
  bool Flush(bool whole);

  HANDLE m_console;
  std::string m_pending;
  bool m_failed = false;
};

}  // namespace loopsmith::cli
