#pragma once
// The two pictures compiled into the program, drawn by scripts/make-images.sh and held as
// GIF data:
//   "i16_kestro"     16 x 16    window icon
//   "kestro_header"  2083 x 50  header banner
//
//   FXIcon* icon = BuiltinImages::getIcon(app, "i16_kestro");   // same object every time
//   FXIcon* none = BuiltinImages::getIcon(app, "nothing");      // null
#include <string>

namespace FX {
class FXApp;
class FXIcon;
}  // namespace FX

namespace Kestro {

class BuiltinImages {
 public:
  // The toolkit icon of a built-in picture, made on the first request for `a` and kept in
  // a process-wide table, or null for a name that is not built in. The icon belongs to
  // the table: do not delete it. It is not created in the toolkit; the window using it
  // does that when it is created.
  static FX::FXIcon* getIcon(FX::FXApp* a, const std::string& name);

  // The banner's GIF data, for callers that need an icon of their own (one they may
  // scale or delete) rather than the shared one.
  static const unsigned char* headerData();
};

}  // namespace Kestro
