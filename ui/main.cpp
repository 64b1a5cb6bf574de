#include <csignal>

#include "ui/convert_app.h"
#include "ui/convert_dlg.h"

int main(int argc, char** argv) {
  // Past a file size limit, a write fails with its own message instead of
  // the program being killed.
  std::signal(SIGXFSZ, SIG_IGN);
  loopsmith::ui::CConvertApp app(argc, argv);
  // The main window runs modally; when the user closes it the program ends.
  loopsmith::ui::CConvertDlg window;
  window.exec();
  return 0;
}
