#pragma once
// Operating-system door of the project ID file.
#include <string>

namespace Kestro::platform {

// Replaces the file name (library path form) by one holding exactly content, with the
// library's replaceFileContent: the bytes go to a new file in the same directory, created
// exclusively and without following links (mode 0644 less the umask), which is then renamed
// over name. A signal ending the run meanwhile removes the new file. On failure the new file is
// removed, name is left as it was, and reason tells why, naming the path as the system writes
// it:
//   "/opt/kestro/log/temp: Permission denied"
//   "/opt/kestro/log/temp/project_id-alice-3.idval belongs to the user mallory and cannot be
//    replaced"
//
// The ID file is not synced to the disk. It is rewritten at every registration and only
// describes the running session, which a crash of the system ends anyway; a sync would make
// every start wait for the disk. So a run that ends at any point (killed or crashed) leaves
// the old file or the new one, whole, but a system crash shortly after a registration may
// leave the old content, or on file systems that write data later than names an empty file
// (which the administrators' listing reports as malformed); the next registration writes it
// anew. (A run killed with SIGKILL while saving also leaves
// its temporary "<name>.<hex digits>" file beside it.)
bool replaceFile(const std::string& name, const std::string& content, std::string& reason);

}  // namespace Kestro::platform
