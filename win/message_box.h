#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <utility>

#include "base/messages.h"

namespace loopsmith::win {

// Shows one box: the exclamation icon, one OK button, the owner disabled meanwhile.
// Tests put a recorder in its place.
using MessagePresenter =
    std::function<void(HWND owner, const std::wstring& caption, const std::wstring& text)>;

void ShowWarningBox(HWND owner, const std::wstring& caption, const std::wstring& text);

// The running executable's file name without folder and extension.
std::wstring ApplicationCaption();

// Shows catalogue messages over the window in front: the Loop Parameters
// dialog while it is open, otherwise the main window.
class MessageBoxReporter final : public Reporter {
 public:
  void Report(const Failure& failure) override;

  void setPresenter(MessagePresenter presenter) { m_presenter = std::move(presenter); }
  // The window that owns the boxes from now on; returns the one before.
  HWND setOwner(HWND owner) { return std::exchange(m_owner, owner); }

 private:
  HWND m_owner = nullptr;
  MessagePresenter m_presenter = ShowWarningBox;
};

}  // namespace loopsmith::win
