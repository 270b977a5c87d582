// Feeds arbitrary bytes to the POSIX registry's hive parser. A hive that parses must give back
// exactly its own text, and stay parseable with every value readable after values have been
// set in an existing key and in a new one; refused text must come with a line number. Nothing
// may crash, hang or leak.
//
//   CC=clang CXX=clang++ cmake -S . -B build-fuzz -DPLAVO_FUZZ=ON -DPLAVO_TESTS=OFF
//   cmake --build build-fuzz -j2 --target RegistryHiveFuzz
//   mkdir -p /tmp/hive-corpus && cp fuzz/corpus/registryhive/* /tmp/hive-corpus/
//   build-fuzz/bin/RegistryHiveFuzz -max_total_time=600 -max_len=4096 /tmp/hive-corpus
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/posix/RegistryHive.h"

using KestroCorelib::platform::RegistryHive;

namespace {

void require(bool condition) {
  if (!condition) std::abort();
}

bool hasValue(const RegistryHive& hive, const std::string& path, const std::string& name,
              uint32_t type, const std::string& data) {
  for (const RegistryHive::Value& value : hive.values(path)) {
    if (value.name.size() == name.size() && value.type == type && value.data == data) return true;
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  RegistryHive hive("HKEY_LOCAL_MACHINE");
  std::string error;
  if (!hive.parse(text, error)) {
    require(error.compare(0, 5, "line ") == 0);
    return 0;
  }
  require(hive.text() == text);

  // Values made of the input's own bytes, under a key named by its first line when that is
  // a valid key path, and under a fixed new key.
  std::string path = text.substr(0, text.find('\n'));
  if (!RegistryHive::isValidPath(path) || path.empty()) path = "Fuzz\\Existing";
  const std::string bytes = text.substr(text.size() / 2, 300);
  hive.setValue(path, "Name \"q\" \\", 1, bytes);
  hive.setValue("Fuzz\\New", "", 7, bytes + std::string(2, '\0'));
  hive.setValue("Fuzz\\New", "dword", 4, bytes.substr(0, 4));

  RegistryHive again("HKEY_LOCAL_MACHINE");
  require(again.parse(hive.text(), error));
  require(hasValue(again, path, "Name \"q\" \\", 1, bytes));
  require(hasValue(again, "fuzz\\new", "", 7, bytes + std::string(2, '\0')));
  require(hasValue(again, "FUZZ\\NEW", "dword", 4, bytes.substr(0, 4)));
  return 0;
}
