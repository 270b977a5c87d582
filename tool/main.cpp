#include <cstdio>

int main() {
  std::puts("plavo: the run modes are not in place yet");
  return 0;
}
