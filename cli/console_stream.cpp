#include "cli/console_stream.h"

#include "base/text.h"

namespace loopsmith::cli {

bool ConsoleBuffer::IsConsole(HANDLE handle) {
  DWORD mode = 0;
  return handle != INVALID_HANDLE_VALUE && handle != nullptr && ::GetConsoleMode(handle, &mode);
}

ConsoleBuffer::int_type ConsoleBuffer::overflow(int_type c) {
  if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
  m_pending.push_back(traits_type::to_char_type(c));
  if (c == '\n' && !Flush(false)) return traits_type::eof();
  return c;
}

std::streamsize ConsoleBuffer::xsputn(const char* text, std::streamsize n) {
  m_pending.append(text, static_cast<std::size_t>(n));
  return m_pending.find('\n') == std::string::npos || Flush(false) ? n : 0;
}

int ConsoleBuffer::sync() { return Flush(true) ? 0 : -1; }

bool ConsoleBuffer::Flush(bool whole) {
  // Everything up to the last complete UTF-8 sequence; the rest waits.
  std::size_t end = m_pending.size();
  if (!whole) {
    std::size_t lead = end;
    while (lead > 0 && end - lead < 4 &&
           (static_cast<unsigned char>(m_pending[lead - 1]) & 0xC0) == 0x80) {
      --lead;
    }
    if (lead > 0) {
      const auto first = static_cast<unsigned char>(m_pending[lead - 1]);
      const std::size_t length = first >= 0xF0 ? 4 : first >= 0xE0 ? 3 : first >= 0xC0 ? 2 : 1;
      if (end - (lead - 1) < length) end = lead - 1;
    }
  }
  const std::wstring wide = Utf16(m_pending.substr(0, end));
  m_pending.erase(0, end);
  for (std::size_t done = 0; done < wide.size() && !m_failed;) {
    DWORD written = 0;
    const auto count = static_cast<DWORD>(wide.size() - done);
    if (!::WriteConsoleW(m_console, wide.data() + done, count, &written, nullptr) || written == 0) {
      m_failed = true;
    }
    done += written;
  }
  return !m_failed;
}

}  // namespace loopsmith::cli
