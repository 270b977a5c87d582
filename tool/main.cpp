// The program's entry point: builds the application and runs its mode.
#include "Plavo.h"

int main(int argc, char** argv) {
  KestroCorelib::AppFrame::installSignalHandler();
  KestroCorelib::AppFrame::setArguments(argc, argv);
  try {
    Kestro::Plavo app(argc, argv);
    switch (app.getState()) {
    case KestroCorelib::AppFrame::StateFinished:  // help, version or revision shown
      return 0;
    case KestroCorelib::AppFrame::StateFailed:
      return 2;
    default:
      return app.run();
    }
  } catch (...) {
    // Nothing is reported here: the frame that would show it may be what failed.
    return 2;
  }
}
