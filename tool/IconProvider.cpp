#include "IconProvider.h"

namespace Kestro {

IconProvider::IconProvider() : ImsAgent("iconprovider") {}

FX::FXIcon* IconProvider::getIcon(const std::string& fileName, FX::FXApp* a) {
  IconProviderParameter parameter(&fileName, a);
  KestroCorelib::ImsMessage message("iconprovider", "get", "", &parameter);
  return sendMessage(message) ? parameter.result : nullptr;
}

}  // namespace Kestro
