#pragma once
// The icon side of a picture provider: answers "iconprovider"/"get" requests (see
// IconProvider) by calling getIcon, which a concrete provider overrides.
#include <cstdint>
#include <string>

#include "Ims.h"

namespace FX {
class FXApp;
class FXIcon;
}  // namespace FX

namespace Kestro {

class IconProviderBase : public KestroCorelib::ImsAgent {
 public:
  // Registers the hook "iconprovider"/"get"/"" (priority 1); the destructor removes it.
  IconProviderBase();
  ~IconProviderBase() override;

  // An icon request: 1 (not handled) when the payload names no file; otherwise the
  // payload's result is set from getIcon and the answer is 2, even for a null icon, so
  // that other providers may still answer.
  int32_t receiveMessage(KestroCorelib::ImsMessage& message) override;
  // As receiveMessage for the own hook; 1 for any other hook id.
  int32_t receiveHookedMessage(uint64_t hookId, KestroCorelib::ImsMessage& message) override;

  // The icon for `fileName` made on application `a`; this base has none (null).
  virtual FX::FXIcon* getIcon(const std::string& fileName, FX::FXApp* a);

 protected:
  uint64_t iconHook;
};

}  // namespace Kestro
