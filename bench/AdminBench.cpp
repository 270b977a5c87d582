// plavo-admin's check of project maps of growing size, without the process start. One user's
// projects (what "plavo-admin list --user" computes) is ManagerBench's BM_Manager_ReadMap.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "LargeMap.h"
#include "MapCheck.h"

namespace {

struct MapFile {
  explicit MapFile(int64_t projects) {
    char pattern[] = "/tmp/admin-bench-XXXXXX";
    directory = mkdtemp(pattern);
    path = writeLargeMap(directory, projects, "me");
  }
  ~MapFile() { std::system(("rm -rf '" + directory + "'").c_str()); }
  std::string directory, path;
};

void BM_MapCheck_Run(benchmark::State& state) {
  const MapFile map(state.range(0));
  for (auto _ : state) {
    const Kestro::MapCheck::Result result = Kestro::MapCheck::run(map.path, {});
    benchmark::DoNotOptimize(result.warnings.size());
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_MapCheck_Run)->Arg(1000)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace
