// The real main window, shown, with each file named on the command line
// dropped on it in turn, so that a driver outside can work the Loop Parameters
// dialog with real mouse and keys (tests/win/real_input_test.py). For each drop
// it prints where the dialog's controls are on the screen once the dialog is
// up, each message box it shows, and the file the drop wrote.
#include <windows.h>
// After windows.h, which they build on.
#include <commctrl.h>

#include <cstdio>
#include <string>

#include "base/text.h"
#include "base/windows_file_system.h"
#include "shell_drop.h"
#include "win/convert_dlg.h"
#include "win/resource.h"

namespace {

void Say(const std::string& line) {
  std::fputs((line + "\n").c_str(), stdout);
  std::fflush(stdout);
}

std::string Rect(const char* name, RECT rect) {
  return std::string(name) + " " + std::to_string(rect.left) + " " + std::to_string(rect.top) +
         " " + std::to_string(rect.right) + " " + std::to_string(rect.bottom);
}

RECT OnScreen(HWND window, RECT rect) {
  ::MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

RECT ItemOnScreen(HWND dialog, int id) {
  RECT rect;
  ::GetWindowRect(::GetDlgItem(dialog, id), &rect);
  return rect;
}

void CALLBACK TellWhereTheDialogIs(HWND, UINT, UINT_PTR timer, DWORD) {
  HWND dialog = ::FindWindowW(nullptr, L"Loop Parameters");
  if (dialog == nullptr || !::IsWindowVisible(dialog)) return;
  ::KillTimer(nullptr, timer);
  HWND slider = ::GetDlgItem(dialog, IDC_TEMPO_SLIDER);
  RECT channel{};
  RECT thumb{};
  ::SendMessageW(slider, TBM_GETCHANNELRECT, 0, reinterpret_cast<LPARAM>(&channel));
  ::SendMessageW(slider, TBM_GETTHUMBRECT, 0, reinterpret_cast<LPARAM>(&thumb));
  Say(Rect("channel", OnScreen(slider, channel)));
  Say(Rect("thumb", OnScreen(slider, thumb)));
  Say(Rect("field", ItemOnScreen(dialog, IDC_FILE_NUMBER)));
  Say(Rect("stepper", ItemOnScreen(dialog, IDC_FILE_NUMBER_STEPPER)));
  Say(Rect("ok", ItemOnScreen(dialog, IDOK)));
  Say("dialog");
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_BAR_CLASSES | ICC_UPDOWN_CLASS};
  ::InitCommonControlsEx(&controls);
  loopsmith::win::CConvertDlg window;
  if (window.Create() == nullptr) return 1;
  ::ShowWindow(window.hwnd(), SW_SHOW);
  window.reporter().setPresenter(
      [](HWND owner, const std::wstring& caption, const std::wstring& text) {
        Say("box " + loopsmith::Utf8(text));
        loopsmith::win::ShowWarningBox(owner, caption, text);
      });
  for (int i = 1; i < argc; ++i) {
    ::SetTimer(nullptr, 0, 20, TellWhereTheDialogIs);
    ::SendMessageW(window.hwnd(), WM_DROPFILES,
                   reinterpret_cast<WPARAM>(loopsmith::testing::MakeDrop(argv[i])), 0);
    const auto& outcome = window.lastOutcome();
    Say(outcome.Converted() ? "wrote " + outcome.output : std::string("none"));
  }
  return 0;
}
