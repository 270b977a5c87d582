#pragma once
// File-system doors of the core library. The library keeps Windows-form path texts;
// only these functions talk to the operating system.
#include <string>

namespace KestroCorelib::platform {

// The one place that turns a library path into the operating system's form
// (on POSIX every backslash becomes a forward slash; on Windows it is unchanged).
std::string osPath(const std::string& path);

// The wide form of a narrow file name, as the system's own narrow calls read it: on Windows
// through the ANSI code page (so that opening by the wide name and by the narrow name reach
// the same file), on POSIX byte by byte (Latin-1, so every byte survives).
std::wstring wideFileName(const std::string& name);

// Whether the file system reports the path accessible.
bool pathExists(const std::string& path);

// The status query of a path: false when it fails, otherwise isDirectory tells whether the
// path names a directory.
bool pathStatus(const std::string& path, bool& isDirectory);
bool pathStatus(const std::wstring& path, bool& isDirectory);

// The process's current directory; false (result untouched) on failure.
bool currentDirectory(std::string& result);

// The long form of a path; false (result untouched) when the system has none to offer.
bool longPathName(const std::string& path, std::string& result);

// The Windows directory; false (result untouched) where there is none.
bool windowsDirectory(std::string& result);

}  // namespace KestroCorelib::platform
