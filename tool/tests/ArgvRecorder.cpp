// A child for the launcher's Windows tests: writes its argv, as its runtime split the command
// line, one "[argument]" per line to "out" in its own folder, then "KESTRO_PROJECT=<value>" when
// that variable is set.
#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
  std::string self = argv[0];
  const std::size_t slash = self.find_last_of("\\/");
  const std::string out = (slash == std::string::npos ? "" : self.substr(0, slash + 1)) + "out";
  std::FILE* file = std::fopen(out.c_str(), "wb");
  if (file == nullptr) return 1;
  for (int i = 0; i < argc; ++i) std::fprintf(file, "[%s]\n", argv[i]);
  if (const char* project = std::getenv("KESTRO_PROJECT")) {
    std::fprintf(file, "KESTRO_PROJECT=%s\n", project);
  }
  return std::fclose(file) == 0 ? 0 : 1;
}
