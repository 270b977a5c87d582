#include "IconProviderBase.h"

#include "IconProvider.h"

namespace ImsAnswer = KestroCorelib::ImsAnswer;

namespace Kestro {

IconProviderBase::IconProviderBase()
    : ImsAgent("iconprovider-base"),
      iconHook(setMessageHook(false, "iconprovider", "get", "", 1)) {}

IconProviderBase::~IconProviderBase() { removeMessageHook(iconHook); }

int32_t IconProviderBase::receiveMessage(KestroCorelib::ImsMessage& message) {
  // The payload class is implied by the message type the hook selects.
  auto* parameter = static_cast<IconProviderParameter*>(message.parameter);
  if (parameter == nullptr || parameter->name == nullptr) return ImsAnswer::notHandled;
  parameter->result = getIcon(*parameter->name, parameter->application);
  return ImsAnswer::handled;
}

int32_t IconProviderBase::receiveHookedMessage(uint64_t hookId,
                                               KestroCorelib::ImsMessage& message) {
  return hookId == iconHook ? receiveMessage(message) : ImsAnswer::notHandled;
}

FX::FXIcon* IconProviderBase::getIcon(const std::string&, FX::FXApp*) { return nullptr; }

}  // namespace Kestro
