// plavo-admin's work on project maps of growing size, without the process start: the check
// of a map and one user's projects (what "plavo-admin list --user" computes).
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "LargeMap.h"
#include "Manager.h"
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

void BM_Manager_ReadMapForUser(benchmark::State& state) {
  const MapFile map(state.range(0));
  for (auto _ : state) {
    Kestro::Manager manager;
    manager.init(map.directory, map.directory);
    manager.setUser("user7");
    manager.readMap(map.path);
    benchmark::DoNotOptimize(manager.getEligible().size());
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_Manager_ReadMapForUser)->Arg(1000)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace
