// modbus-tester: the Modbus RTU test tool. Reads no command line and no
// settings; every run starts from the built-in defaults with the port closed.
#include <cstdio>
#include <exception>

#include "AppWindows.h"
#include "Ob_TModBCl.h"
#include "QtMessageBoxes.h"
#include "TesterApplication.h"

int main(int argc, char** argv) {
  TApplication app(argc, argv);
  QtMessageBoxes boxes;
  app.SetErrorDisplay(&boxes);
  try {
    CreateAppWindows(boxes);
    Form1->show();
    app.exec();
  } catch (const std::exception& error) {
    app.ShowException(error);
  }
  DestroyAppWindows();
  return 0;
}
