#include "win/message_box.h"

#include <utility>

#include "base/paths.h"

namespace loopsmith::win {

void ShowWarningBox(HWND owner, const std::wstring& caption, const std::wstring& text) {
  ::MessageBoxW(owner, text.c_str(), caption.c_str(), MB_OK | MB_ICONEXCLAMATION);
}

std::wstring ApplicationCaption() {
  wchar_t path[MAX_PATH * 4];
  const DWORD length = ::GetModuleFileNameW(nullptr, path, MAX_PATH * 4);
  std::wstring name = NameOf(std::wstring(path, length));
  const auto dot = name.rfind(L'.');
  if (dot != std::wstring::npos) name.erase(dot);
  return name;
}

void MessageBoxReporter::Report(const Failure& failure) {
  const std::string_view text = MessageText(failure.id);
  m_presenter(m_owner, ApplicationCaption(), std::wstring(text.begin(), text.end()));
}

}  // namespace loopsmith::win
