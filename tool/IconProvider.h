#pragma once
// Asking for an icon over the message bus. Whoever serves pictures (the process-wide
// IconProviderFile) answers; the client does not need to know who.
//
//   IconProvider provider;
//   FXIcon* logo = provider.getIcon("header_kestro.png", app);  // null when nobody has it
#include <string>

#include "Ims.h"

namespace FX {
class FXApp;
class FXIcon;
}  // namespace FX

namespace Kestro {

// Payload of an icon request ("iconprovider"/"get"/""): the file name asked for, the
// application the icon is made for, and the answer.
class IconProviderParameter : public KestroCorelib::ImsMessageParameter {
 public:
  IconProviderParameter(const std::string* requestedName, FX::FXApp* forApplication)
      : name(requestedName), application(forApplication) {}

  const std::string* name;  // not owned
  FX::FXIcon* result = nullptr;
  FX::FXApp* application;
};

class IconProvider : public KestroCorelib::ImsAgent {
 public:
  IconProvider();

  // The icon for file `fileName` made on application `a`, or null when no provider handled
  // the request or none could load it. The icon belongs to the provider that answered:
  // do not delete it.
  FX::FXIcon* getIcon(const std::string& fileName, FX::FXApp* a);
};

}  // namespace Kestro
