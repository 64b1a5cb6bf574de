#include "app/drop_guard.h"

#include <algorithm>

#include "base/text.h"

namespace loopsmith {
namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::optional<std::string> DropGuard::LocalPathOf(std::string_view uri, std::string_view thisHost) {
  constexpr std::string_view kScheme = "file://";
  if (uri.size() <= kScheme.size() || !EqualsIgnoringCase(uri.substr(0, kScheme.size()), kScheme)) {
    return std::nullopt;
  }
  uri.remove_prefix(kScheme.size());
  const auto slash = uri.find('/');
  if (slash == std::string_view::npos) return std::nullopt;
  const std::string_view host = uri.substr(0, slash);
  if (!host.empty() && !EqualsIgnoringCase(host, "localhost") &&
      (thisHost.empty() || !EqualsIgnoringCase(host, thisHost))) {
    return std::nullopt;  // a file on another machine
  }
  std::string path;
  for (std::size_t i = slash; i < uri.size(); ++i) {
    if (uri[i] == '?' || uri[i] == '#') break;
    const int high = uri[i] == '%' && i + 2 < uri.size() ? HexValue(uri[i + 1]) : -1;
    const int low = high >= 0 ? HexValue(uri[i + 2]) : -1;
    if (low >= 0) {
      path += static_cast<char>(high * 16 + low);
      i += 2;
    } else {
      path += uri[i];
    }
  }
  if (path.find('\0') != std::string::npos) return std::nullopt;
  return path;
}

std::optional<std::string> DropGuard::FirstPath(const std::vector<std::string>& uris,
                                                std::string_view thisHost) {
  if (uris.empty()) return std::nullopt;
  return LocalPathOf(uris.front(), thisHost);
}

bool DropGuard::Begin() {
  if (m_busy) return false;
  m_busy = true;
  return true;
}

}  // namespace loopsmith
