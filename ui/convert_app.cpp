#include "ui/convert_app.h"

#include "base/version.h"
#include "ui/convert_dlg.h"

namespace loopsmith::ui {

CConvertApp::CConvertApp(int& argc, char** argv) : QApplication(argc, argv) {
  // What a version resource would carry. The display name stays unset so that
  // window captions are exactly our own.
  setApplicationName(QStringLiteral("Loopsmith"));
  setApplicationVersion(QString::fromLatin1(kVersion));
  setProperty("productName", QString::fromLatin1(kProductName));
  setDesktopFileName(QStringLiteral("loopsmith"));
  setWindowIcon(ApplicationIcon());
}

}  // namespace loopsmith::ui
