// Reading a large project map: 100,000 projects of 10 users each (about 10 MB), loaded with
// ConfFile::load, beside plain reads of the same bytes in the same run, so that the reader's
// own cost shows as a ratio independent of the machine:
//   BM_ConfFile_Load          the whole reader, tree included
//   BM_ConfFile_FileGetChar   the same bytes through File::getChar, the reader's only input path
//   BM_ConfFile_Fread         the same bytes with one fread into a buffer
// Throughput is reported as bytes_per_second (MB/s = that / 1e6).
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "ConfFile.h"
#include "File.h"

using namespace KestroCorelib;

namespace {

constexpr int projectCount = 100000;
constexpr int usersPerProject = 10;

// The map is written once per process into a temporary directory and removed at exit.
class MapFile {
 public:
  MapFile() {
    char pattern[] = "/tmp/conffile-bench-XXXXXX";
    if (mkdtemp(pattern) == nullptr) std::abort();
    dir = pattern;
    path = dir + "/projectmap.kconf";
    std::mt19937 rng(42);
    std::string text =
        "projectmap {\n plavo {\n  gui {\n   title=Select Project\n  }\n"
        "  projects {\n";
    char line[64];
    for (int p = 0; p < projectCount; ++p) {
      std::snprintf(line, sizeof line, "\tp%06d%s {\n\ttype=list\n", p,
                    p % 50 == 0 ? "(global)" : "");
      text += line;
      for (int u = 0; u < usersPerProject; ++u) {
        std::snprintf(line, sizeof line, "\tu%05u%s\n", static_cast<unsigned>(rng() % 100000),
                      u == 0 ? "(default)" : "");
        text += line;
      }
      text += "\t}\n";
    }
    text += "  }\n }\n}\n";
    size = text.size();
    std::ofstream(path, std::ios::binary) << text;
  }
  ~MapFile() {
    unlink(path.c_str());
    rmdir(dir.c_str());
  }
  std::string dir;
  std::string path;
  size_t size = 0;
};

const MapFile& map() {
  static const MapFile file;
  return file;
}

void BM_ConfFile_Load(benchmark::State& state) {
  const MapFile& file = map();
  for (auto _ : state) {
    ConfNodePtr top = ConfFile().load(file.path);
    benchmark::DoNotOptimize(top.get());
    state.PauseTiming();
    if (top->findByPath("plavo.projects")->getChildNames().size() != projectCount) {
      state.SkipWithError("wrong tree");
    }
    top.reset();  // freeing 100,000 nodes is not the reader's work
    state.ResumeTiming();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * file.size));
  state.counters["MB"] = static_cast<double>(file.size) / 1e6;
}
BENCHMARK(BM_ConfFile_Load)->Unit(benchmark::kMillisecond);

void BM_ConfFile_FileGetChar(benchmark::State& state) {
  const MapFile& file = map();
  for (auto _ : state) {
    File input(file.path);
    if (!input.open()) state.SkipWithError("cannot open");
    char c;
    size_t sum = 0;
    while (input.getChar(c)) sum += static_cast<unsigned char>(c);
    benchmark::DoNotOptimize(sum);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * file.size));
}
BENCHMARK(BM_ConfFile_FileGetChar)->Unit(benchmark::kMillisecond);

void BM_ConfFile_Fread(benchmark::State& state) {
  const MapFile& file = map();
  std::vector<char> buffer(file.size);
  for (auto _ : state) {
    std::FILE* stream = std::fopen(file.path.c_str(), "rb");
    if (stream == nullptr) state.SkipWithError("cannot open");
    size_t got = std::fread(buffer.data(), 1, buffer.size(), stream);
    std::fclose(stream);
    benchmark::DoNotOptimize(got);
    benchmark::DoNotOptimize(buffer.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * file.size));
}
BENCHMARK(BM_ConfFile_Fread)->Unit(benchmark::kMillisecond);

}  // namespace
