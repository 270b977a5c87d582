// Reading project maps of growing size: the bulk of a "plavo --set" run on a large map.
#include <benchmark/benchmark.h>
#include <pwd.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "LargeMap.h"
#include "Manager.h"

namespace {

// The current user's name, so that readMap finds projects for the user running it.
std::string currentUserName() {
  const passwd* entry = getpwuid(geteuid());
  return entry != nullptr ? entry->pw_name : "me";
}

void BM_Manager_ReadMap(benchmark::State& state) {
  char pattern[] = "/tmp/manager-bench-XXXXXX";
  const std::string directory = mkdtemp(pattern);
  const std::string map = writeLargeMap(directory, state.range(0), currentUserName());
  std::ifstream size(map, std::ios::binary | std::ios::ate);
  const int64_t bytes = static_cast<int64_t>(size.tellg());
  for (auto _ : state) {
    Kestro::Manager manager;
    manager.init(directory, directory);
    manager.readMap(map);
    benchmark::DoNotOptimize(manager.getEligible().size());
  }
  state.SetBytesProcessed(state.iterations() * bytes);
  state.SetItemsProcessed(state.iterations() * state.range(0));
  std::system(("rm -rf '" + directory + "'").c_str());
}
BENCHMARK(BM_Manager_ReadMap)->Arg(10)->Arg(1000)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace
