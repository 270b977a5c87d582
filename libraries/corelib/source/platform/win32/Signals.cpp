#include "platform/PlatformSignals.h"

namespace KestroCorelib::platform {

// The Win32 build keeps the signals' original behaviour: nothing is held or removed.
EndSignalsHeld::EndSignalsHeld() : saved{} {}
EndSignalsHeld::~EndSignalsHeld() = default;

void setPendingFile(const std::string& /*osPath*/) {}
void clearPendingFile() {}
void removePendingFile() {}

}  // namespace KestroCorelib::platform
