#pragma once
// The program's Windows failures as a user reads them: the subject, then the system's own text
// for the error number without its line end, or "error N" when the system has none.
//
//   systemErrorText("C:\\kestro\\log\\temp\\x.idval", ERROR_ACCESS_DENIED)
//     -> "C:\kestro\log\temp\x.idval: Access is denied."
#include <string>

namespace Kestro::platform {

std::string systemErrorText(const std::string& subject, unsigned long error);

}  // namespace Kestro::platform
