// plavo-admin's work on project maps of growing size, without the process start: the check
// of a map and one user's projects (what "plavo-admin list --user" computes).
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "Manager.h"
#include "MapCheck.h"

namespace {

// scripts/measure.sh's map: n list projects of three users each (user7 in some of them),
// every thousandth project global.
std::string writeMap(const std::string& directory, int64_t projects) {
  const std::string name = directory + "/projectmap.kconf";
  std::ofstream out(name, std::ios::binary);
  out << "projectmap {\n plavo {\n  projects {\n";
  char project[32];
  for (int64_t i = 0; i < projects; ++i) {
    std::snprintf(project, sizeof(project), "project%06lld", static_cast<long long>(i));
    if (i % 1000 == 0) {
      out << "   " << project << "(global) {\n   }\n";
      continue;
    }
    out << "   " << project << " {\n    type=list\n    user" << i % 97 << "\n    user" << i % 89
        << "(default)\n";
    if (i % 10 == 0) out << "    me\n";
    out << "   }\n";
  }
  out << "  }\n }\n}\n";
  return name;
}

struct MapFile {
  explicit MapFile(int64_t projects) {
    char pattern[] = "/tmp/admin-bench-XXXXXX";
    directory = mkdtemp(pattern);
    path = writeMap(directory, projects);
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
