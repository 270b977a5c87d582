#include "BuiltinImages.h"

#include <fx.h>

#include <map>
#include <utility>

// Generated from tool/images/*.gif by reswrap at build time (images/BuiltinImages.cmake).
namespace KestroImages {
extern const unsigned char i16_kestro[];
extern const unsigned char kestro_header[];
}  // namespace KestroImages

namespace Kestro {

namespace {

const unsigned char* dataFor(const std::string& name) {
  if (name == "i16_kestro") return KestroImages::i16_kestro;
  if (name == "kestro_header") return KestroImages::kestro_header;
  return nullptr;
}

}  // namespace

FXIcon* BuiltinImages::getIcon(FXApp* a, const std::string& name) {
  // Keyed by application as well as name: an icon belongs to one toolkit application, and
  // the tests make several in one process. The icons live as long as the process (the
  // table is never destroyed), like the icon table of the window they decorate.
  static auto* table = new std::map<std::pair<FXApp*, std::string>, FXIcon*>();
  if (a == nullptr) return nullptr;
  const unsigned char* data = dataFor(name);
  if (data == nullptr) return nullptr;
  FXIcon*& icon = (*table)[{a, name}];
  if (icon == nullptr) icon = new FXGIFIcon(a, data);
  return icon;
}

const unsigned char* BuiltinImages::headerData() { return KestroImages::kestro_header; }

}  // namespace Kestro
