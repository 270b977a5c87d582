#include "IconProviderBase.h"

#include "IconProvider.h"

namespace Kestro {

IconProviderBase::IconProviderBase()
    : ImsAgent("iconprovider-base"), iconHook(setMessageHook(false, "iconprovider", "get", "", 1)) {}

IconProviderBase::~IconProviderBase() { removeMessageHook(iconHook); }

int32_t IconProviderBase::receiveMessage(KestroCorelib::ImsMessage& message) {
    // The payload class is implied by the message type the hook selects.
    auto* parameter = static_cast<IconProviderParameter*>(message.parameter);
    if (parameter == nullptr || parameter->name == nullptr) return 1;
    parameter->result = getIcon(*parameter->name, parameter->application);
    return 2;
}

int32_t IconProviderBase::receiveHookedMessage(uint64_t hookId, KestroCorelib::ImsMessage& message) {
    return hookId == iconHook ? receiveMessage(message) : 1;
}

FX::FXIcon* IconProviderBase::getIcon(const std::string&, FX::FXApp*) { return nullptr; }

}  // namespace Kestro
