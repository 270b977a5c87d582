// Reading project maps of growing size: the bulk of a "plavo --set" run on a large map.
#include <benchmark/benchmark.h>
#include <pwd.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "Manager.h"

namespace {

// A map of n list projects of three users each (the current user in every tenth), every
// thousandth project global; the same shape as scripts/measure.sh generates.
std::string writeMap(const std::string& directory, int64_t projects) {
  const passwd* entry = getpwuid(geteuid());
  const std::string me = entry != nullptr ? entry->pw_name : "me";
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
    if (i % 10 == 0) out << "    " << me << "\n";
    out << "   }\n";
  }
  out << "  }\n }\n}\n";
  return name;
}

void BM_Manager_ReadMap(benchmark::State& state) {
  char pattern[] = "/tmp/manager-bench-XXXXXX";
  const std::string directory = mkdtemp(pattern);
  const std::string map = writeMap(directory, state.range(0));
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
