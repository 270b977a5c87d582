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

// Everything a tree holds, node by node in file order, as one text.
std::string describe(const ConfNodePtr& top) {
  std::string text;
  std::vector<std::pair<const ConfNode*, size_t>> work{{top.get(), 0}};
  while (!work.empty()) {
    const auto [node, depth] = work.back();
    work.pop_back();
    text += std::to_string(depth) + " " + node->getName() + " " + std::to_string(node->getType()) +
            " " + std::to_string(node->getLine()) + " " + node->getSeparator() + " [" +
            node->getValue() + "]";
    for (const auto& [name, value] : node->getAttributes()) text += " " + name + "=" + value;
    if (node->getType() == ConfNode::TypeList) {
      for (const std::string& element : node->getList()) text += " <" + element + ">";
    }
    text += "\n";
    const std::vector<ConfNodePtr>& children = node->getChildren();
    for (auto child = children.rbegin(); child != children.rend(); ++child) {
      work.emplace_back(child->get(), depth + 1);
    }
  }
  return text;
}

// The tree read, or the error with the file's name taken out.
std::string loadOne(const std::string& path) {
  try {
    ConfNodePtr top = ConfFile().load(path);
    if (!top) __builtin_trap();  // load never returns an empty handle
    checkTree(top);
    return describe(top);
  } catch (const Exception& e) {
    std::string text = e.getText();  // rendering the error must be safe too
    // The name comes last; the input itself may hold it (the fuzzer learns it) earlier.
    const size_t at = text.rfind(path);
    if (at != std::string::npos) text.replace(at, path.size(), "<file>");
    return "error: " + text;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string plain = tempPath(".kconf");
  static const std::string packed = tempPath(".kconf.gz");
  const std::string fromPlain = writeBytes(plain, data, size) ? loadOne(plain) : "";
  const std::string fromPacked = writeBytes(packed, data, size) ? loadOne(packed) : "";
  // A plain file is read a run at a time, a compressed one a byte at a time: without carriage
  // returns (which only plain files drop) and without gzip's magic bytes (which make the
  // second one really compressed), both ways must read the same.
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  const bool comparable =
      bytes.find('\r') == std::string::npos && !(size >= 2 && data[0] == 0x1f && data[1] == 0x8b);
  if (comparable && fromPlain != fromPacked) __builtin_trap();
  return 0;
}
