#pragma once
// File-system doors of the core library. The library keeps Windows-form path texts;
// only these functions talk to the operating system. The atomic replacement of a file,
// replaceFileContent, is one of them too; it is public (FileReplace.h), since the program
// writes its own file with it.
#include <string>

#include "OsFiles.h"  // osPath and isAbsoluteOsPath: the program's platform code uses them too

namespace KestroCorelib::platform {

// The wide form of a narrow file name, as the system's own narrow calls read it: on Windows
// through the ANSI code page (so that opening by the wide name and by the narrow name reach
// the same file), on POSIX byte by byte (Latin-1, so every byte survives).
std::wstring wideFileName(const std::string& name);

// Whether the file system reports the path accessible.
bool pathExists(const std::string& path);

// What a path names, links followed. Other is anything that is neither a directory nor a
// regular file: a FIFO, a device, a socket.
enum class PathKind { Missing, Directory, RegularFile, Other };
PathKind pathKind(const std::string& path);
PathKind pathKind(const std::wstring& path);

// Opens path for reading only when it is a regular file once links are followed, and gives
// the C runtime's descriptor (binary mode); -1 otherwise, with errno EISDIR for a directory
// and EINVAL for a FIFO, device or socket. Nothing waits: a FIFO is looked at without
// waiting for a writer, and a device is never read.
int openRegularFile(const std::string& path);
// Closes such a descriptor.
void closeDescriptor(int descriptor);

// The process's current directory; false (result untouched) on failure.
bool currentDirectory(std::string& result);

// The long form of a path; false (result untouched) when the system has none to offer.
bool longPathName(const std::string& path, std::string& result);

// The Windows directory; false (result untouched) where there is none.
bool windowsDirectory(std::string& result);

}  // namespace KestroCorelib::platform
