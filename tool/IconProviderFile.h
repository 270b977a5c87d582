#pragma once
// The picture provider of the process: serves icons and images from files found in its
// directories, with one pixel-budgeted cache for both. One instance exists per process,
// built before main, with its hooks on the bus from then on:
//
//   IconProviderFile::instance().addDirectory(L"/opt/kestro/config/");
//   FXIcon* logo = IconProvider().getIcon("header_kestro.png", app);  // served from here
//   FXIcon* again = IconProvider().getIcon("header_kestro.png", app); // same object, cached
#include <cstdint>
#include <map>
#include <string>

#include "IconProviderBase.h"
#include "ImageProviderBase.h"

namespace FX {
class FXIcon;
}  // namespace FX

namespace Kestro {

class IconProviderFile : public IconProviderBase, public ImageProviderBase {
 public:
  // The process-wide provider.
  static IconProviderFile& instance();

  // Registers (after the two bases' hooks) "imageiconprovider"/""/"", through which image
  // requests reach the image side; the destructor removes it.
  IconProviderFile();
  // Deletes the cached icons, or keeps them until the process ends once their toolkit
  // application is gone (see ImageProviderBase).
  ~IconProviderFile() override;

  // General type "iconprovider" → icon side, "imageprovider" → image side, else 1.
  int32_t receiveMessage(KestroCorelib::ImsMessage& message) override;
  // The icon hook → icon side, the image-icon hook → image side, any other id → 1.
  int32_t receiveHookedMessage(uint64_t hookId, KestroCorelib::ImsMessage& message) override;

  // The icon for file `fileName`, or null (no application, empty name, file not found,
  // extension not png/jpg/gif in any case, unreadable file). The first request fixes the
  // application every picture is made on. Icons are cached: the same name gives the
  // same object without reading the file again. The icon stays the provider's and is not
  // created in the toolkit; the window showing it does that.
  FX::FXIcon* getIcon(const std::string& fileName, FX::FXApp* a) override;

 protected:
  FX::FXImage* takeCached(CacheKind kind, const std::wstring& fileName) override;

  uint64_t imageIconHook;
  std::map<std::wstring, FX::FXIcon*> icons;
};

}  // namespace Kestro
