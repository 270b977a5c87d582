#pragma once
// What a signal that ends the process must clean up: the temporary file a save is writing.
// The guard and the record are public (OsFiles.h, which shows their use): the program's
// own saves use them too. Here is the handler's side.
#include "OsFiles.h"

namespace KestroCorelib::platform {

// In a signal handler: removes the pending file, if any. Async-signal-safe.
void removePendingFile();

}  // namespace KestroCorelib::platform
