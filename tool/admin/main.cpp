// plavo-admin's entry point: builds the application and runs its command.
#include "PlavoAdmin.h"

int main(int argc, char** argv) {
  KestroCorelib::AppFrame::installSignalHandler();
  KestroCorelib::AppFrame::setArguments(argc, argv);
  try {
    Kestro::PlavoAdmin app(argc, argv);
    switch (app.getState()) {
    case KestroCorelib::AppFrame::StateFinished:  // help or version shown
      return 0;
    case KestroCorelib::AppFrame::StateFailed:
      return 2;
    default:
      return app.run();
    }
  } catch (...) {
    return 2;
  }
}
