#pragma once
// The library's doors to the operating system's files that code outside the library needs
// when it talks to the system itself (the program's own platform folder): a path in the
// system's form, and whether a path is absolute there.
//
//   osPath("C:\\kestro\\log\\temp")   // POSIX: "C:/kestro/log/temp"; Windows: unchanged
//   isAbsoluteOsPath("/opt/kestro")   // POSIX: true; Windows: false ("C:\\opt" is)
#include <string>

namespace KestroCorelib::platform {

// The one place that turns a library path into the operating system's form
// (on POSIX every backslash becomes a forward slash; on Windows it is unchanged).
std::string osPath(const std::string& path);

// Whether a path (library form) is absolute for the operating system, so that it does not
// depend on the current directory: on POSIX it starts with a separator; on Windows with a
// drive and a separator ("C:\x") or two separators ("\\host\share").
bool isAbsoluteOsPath(const std::string& path);

}  // namespace KestroCorelib::platform
