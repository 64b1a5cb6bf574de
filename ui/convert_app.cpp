#include "ui/convert_app.h"

#include <QIcon>

#include "ui/convert_dlg.h"

namespace loopsmith::ui {

CConvertApp::CConvertApp(int& argc, char** argv) : QApplication(argc, argv) {
  // What a version resource would carry. The display name stays unset so that
  // window captions are exactly our own.
  setApplicationName(QStringLiteral("Loopsmith"));
  setApplicationVersion(QStringLiteral("1.0.0.0"));
  setProperty("productName", QStringLiteral("Loopsmith for TQ-58"));
  setDesktopFileName(QStringLiteral("loopsmith"));
  setWindowIcon(ApplicationIcon());
}

bool CConvertApp::InitInstance() {
  CConvertDlg dialog;
  dialog.exec();
  return false;
}

}  // namespace loopsmith::ui
