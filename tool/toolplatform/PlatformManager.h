#pragma once
// Operating-system door of the project ID file.
#include <string>

namespace Kestro::platform {

// Replaces the file name (library path form) by one holding exactly content: the bytes go to
// a new file in the same directory, created exclusively and without following links (mode
// 0644 less the umask), which is then renamed over name. A signal ending the run meanwhile
// removes the new file. On failure the new file is removed, name is left as it was, and
// reason tells why, naming the path as the system writes it:
//   "/opt/kestro/log/temp: Permission denied"
//   "/opt/kestro/log/temp/project_id-alice-3.idval belongs to the user mallory and cannot be
//    replaced"
bool replaceFile(const std::string& name, const std::string& content, std::string& reason);

}  // namespace Kestro::platform
