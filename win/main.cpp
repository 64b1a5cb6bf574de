#include <windows.h>
// After windows.h, which they build on.
#include <commctrl.h>

#include "win/convert_dlg.h"

// The application: the common controls, then the main window until the user
// closes it. Nothing is saved.
int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_BAR_CLASSES | ICC_UPDOWN_CLASS};
  ::InitCommonControlsEx(&controls);
  loopsmith::win::CConvertDlg window;
  window.DoModal();
  return 0;
}
