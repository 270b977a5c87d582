// Feeds arbitrary bytes to the .kconf reader, once as a plain file and once under a ".gz"
// name (zlib passes data that is not gzip through unchanged, so carriage returns reach the
// reader), then walks, names and clones whatever tree comes back. The reader may refuse
// the input with one of its errors; it must never crash, hang or leak.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "ConfFile.h"

using namespace KestroCorelib;

namespace {

std::string tempPath(const char* extension) {
  // tmpfs where there is one: the two files are rewritten for every input.
  const char* dir = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
  return std::string(dir) + "/conffile-fuzz-" + std::to_string(getpid()) + extension;
}

bool writeBytes(const std::string& path, const uint8_t* data, size_t size) {
  std::FILE* stream = std::fopen(path.c_str(), "wb");
  if (stream == nullptr) return false;
  const bool ok = std::fwrite(data, 1, size, stream) == size;
  return std::fclose(stream) == 0 && ok;
}

// Every node must be reachable by the dotted path of its names, unless one of them holds a
// dot; every child must point back at its parent.
void checkTree(const ConfNodePtr& top) {
  struct Item {
    ConfNodePtr node;
    std::string path;
    bool reachable;
  };
  std::vector<Item> work{{top, std::string(), true}};
  while (!work.empty()) {
    Item item = std::move(work.back());
    work.pop_back();
    if (!item.path.empty() && item.reachable && top->findByPath(item.path) != item.node) {
      __builtin_trap();
    }
    if (item.node->getFullName().size() < item.node->getName().size()) __builtin_trap();
    for (const std::string& name : item.node->getChildNames()) {
      ConfNodePtr child = item.node->getChild(name);
      if (child->getParent() != item.node.get() || name.empty()) __builtin_trap();
      if (child->getType() == ConfNode::TypeList) (void)child->getList().size();
      if (child->getType() == ConfNode::TypeFile) (void)child->getFile();
      work.push_back({child, item.path.empty() ? name : item.path + "." + name,
                      item.reachable && name.find('.') == std::string::npos});
    }
  }
  ConfNodePtr copy = ConfNode::clone(top);
  if (copy->getChildNames() != top->getChildNames()) __builtin_trap();
}

void loadOne(const std::string& path) {
  try {
    ConfNodePtr top = ConfFile().load(path);
    if (!top) __builtin_trap();  // load never returns an empty handle
    checkTree(top);
  } catch (const Exception& e) {
    (void)e.getText();  // rendering the error must be safe too
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string plain = tempPath(".kconf");
  static const std::string packed = tempPath(".kconf.gz");
  if (writeBytes(plain, data, size)) loadOne(plain);
  if (writeBytes(packed, data, size)) loadOne(packed);
  return 0;
}
