#pragma once
// Operating-system door of the project ID file.
#include <string>

namespace Kestro::platform {

// Replaces the file name (library path form) by one holding exactly content: the bytes go to
// a new file in the same directory, created exclusively and without following links, which
// is then renamed over name. On failure the new file is removed and name is left as it was.
bool replaceFile(const std::string& name, const std::string& content);

}  // namespace Kestro::platform
