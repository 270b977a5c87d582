// The generated map the benchmarks read, the same shape as scripts/make-large-map.sh writes:
// n list projects of three users each (user in every tenth), every thousandth project global.
#pragma once

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>

// Writes directory/projectmap.kconf and returns its name.
inline std::string writeLargeMap(const std::string& directory, int64_t projects,
                                 const std::string& user) {
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
    if (i % 10 == 0) out << "    " << user << "\n";
    out << "   }\n";
  }
  out << "  }\n }\n}\n";
  return name;
}
