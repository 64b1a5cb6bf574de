#pragma once

#include <QApplication>

namespace loopsmith::ui {

// The application object, the program's only global state: it shows the main
// window until the user closes it, and saves nothing.
class CConvertApp final : public QApplication {
  Q_OBJECT

 public:
  CConvertApp(int& argc, char** argv);
  // Runs the main window modally; false: the program then ends.
  bool InitInstance();
};

}  // namespace loopsmith::ui
