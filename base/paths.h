#pragma once

#include <cstddef>
#include <string>

namespace loopsmith {

// Where a path's last name begins: after the last "/", or on Windows after
// the last "/" or "\". npos where there is no separator.
template <typename Char>
std::size_t LastSeparator(const std::basic_string<Char>& path) {
  for (std::size_t at = path.size(); at-- > 0;) {
#ifdef _WIN32
    if (path[at] == Char('\\')) return at;
#endif
    if (path[at] == Char('/')) return at;
  }
  return std::basic_string<Char>::npos;
}

// The name at the end of a path; the whole path where there is no separator.
template <typename Char>
std::basic_string<Char> NameOf(const std::basic_string<Char>& path) {
  const std::size_t at = LastSeparator(path);
  return at == std::basic_string<Char>::npos ? path : path.substr(at + 1);
}

// The folder a path names a file in: "." for a bare name, the root itself for
// a file in the root.
template <typename Char>
std::basic_string<Char> FolderOf(const std::basic_string<Char>& path) {
  const std::size_t at = LastSeparator(path);
  if (at == std::basic_string<Char>::npos) return std::basic_string<Char>(1, Char('.'));
  return path.substr(0, at == 0 ? 1 : at);
}

}  // namespace loopsmith
