#include "ui/convert_app.h"

int main(int argc, char** argv) {
  loopsmith::ui::CConvertApp app(argc, argv);
  app.InitInstance();
  return 0;
}
