// The program's entry point: builds the application and runs its mode.
#include "Plavo.h"

int main(int argc, char** argv) {
  KestroCorelib::AppFrame::installSignalHandler();
  KestroCorelib::AppFrame::setArguments(argc, argv);
  return Kestro::Plavo::runProgram(argc, argv);
}
