#pragma once

#include <QApplication>

namespace loopsmith::ui {

// The application object, the program's only global state: it carries the
// program's name, version and icon, and saves nothing.
class CConvertApp final : public QApplication {
  Q_OBJECT

 public:
  CConvertApp(int& argc, char** argv);
};

}  // namespace loopsmith::ui
