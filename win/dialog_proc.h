#pragma once

#include <windows.h>

namespace loopsmith::win {

// The dialog procedure of a class that handles its dialog's messages in
// OnMessage: the object comes with WM_INITDIALOG and is kept in the dialog's
// user data; messages before it (WM_SETFONT) go to the dialog manager.
template <class Dialog>
INT_PTR CALLBACK DialogProcOf(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    ::SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
    reinterpret_cast<Dialog*>(lParam)->m_hwnd = hwnd;
  }
  auto* self = reinterpret_cast<Dialog*>(::GetWindowLongPtrW(hwnd, DWLP_USER));
  return self != nullptr ? self->OnMessage(message, wParam, lParam) : FALSE;
}

}  // namespace loopsmith::win
