// The floor of a plavo run: a program that does nothing but load the GUI toolkit's shared
// libraries (linked with --no-as-needed by scripts/measure.sh) and, with the argument "app",
// construct the toolkit's application object as the application frame always does.
#include <fx.h>

#include <cstring>

int main(int argc, char** argv) {
  if (argc > 1 && std::strcmp(argv[1], "app") == 0) {
    FX::FXApp application("Floor", "Kestro");
    return 0;
  }
  return 0;
}
