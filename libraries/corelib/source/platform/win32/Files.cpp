#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <cerrno>
#include <cstdio>
#include <vector>

#include "FileReplace.h"
#include "platform/PlatformFiles.h"

namespace KestroCorelib::platform {

std::string osPath(const std::string& path) { return path; }

std::wstring wideFileName(const std::string& name) {
  if (name.empty()) return std::wstring();
  // The narrow calls (fopen, the gzip reader's open) read names in the ANSI code page; a byte
  // by byte widening would name another file as soon as the name leaves ASCII.
  const int size = static_cast<int>(name.size());
  const int length = ::MultiByteToWideChar(CP_ACP, 0, name.data(), size, nullptr, 0);
  if (length <= 0) return std::wstring();
  std::wstring result(static_cast<std::size_t>(length), L'\0');
  ::MultiByteToWideChar(CP_ACP, 0, name.data(), size, result.data(), length);
  return result;
}

bool pathExists(const std::string& path) { return ::_access(path.c_str(), 0) == 0; }

namespace {

PathKind kindOf(unsigned mode) {
  if ((mode & _S_IFDIR) != 0) return PathKind::Directory;
  return (mode & _S_IFREG) != 0 ? PathKind::RegularFile : PathKind::Other;
}

}  // namespace

PathKind pathKind(const std::string& path) {
  struct _stat status {};
  if (::_stat(path.c_str(), &status) != 0) return PathKind::Missing;
  return kindOf(status.st_mode);
}

PathKind pathKind(const std::wstring& path) {
  struct _stat status {};
  if (::_wstat(path.c_str(), &status) != 0) return PathKind::Missing;
  return kindOf(status.st_mode);
}

int openRegularFile(const std::string& path) {
  const int descriptor = ::_open(path.c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT);
  if (descriptor < 0) return -1;
  struct _stat status {};
  int error = 0;
  if (::_fstat(descriptor, &status) != 0) {
    error = errno;
  } else if (kindOf(status.st_mode) != PathKind::RegularFile) {
    error = kindOf(status.st_mode) == PathKind::Directory ? EISDIR : EINVAL;
  }
  if (error == 0) return descriptor;
  ::_close(descriptor);
  errno = error;
  return -1;
}

void closeDescriptor(int descriptor) { ::_close(descriptor); }

bool isAbsoluteOsPath(const std::string& path) {
  const auto separator = [](char c) { return c == '\\' || c == '/'; };
  if (path.size() >= 3 && path[1] == ':' && separator(path[2])) return true;
  return path.size() >= 2 && separator(path[0]) && separator(path[1]);
}

bool currentDirectory(std::string& result) {
  DWORD size = ::GetCurrentDirectoryA(0, nullptr);
  if (size == 0) return false;
  std::vector<char> buffer(size + 1);
  DWORD written = ::GetCurrentDirectoryA(static_cast<DWORD>(buffer.size()), buffer.data());
  if (written == 0 || written >= buffer.size()) return false;
  result.assign(buffer.data(), written);
  return true;
}

bool longPathName(const std::string& path, std::string& result) {
  // Most paths fit a small buffer; a larger need is reported as the size to ask again with.
  std::vector<char> buffer(50);
  DWORD needed = ::GetLongPathNameA(path.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
  if (needed == 0) return false;
  if (needed >= buffer.size()) {
    buffer.resize(needed + 1);
    needed = ::GetLongPathNameA(path.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
    if (needed == 0 || needed >= buffer.size()) return false;
  }
  result.assign(buffer.data(), needed);
  return true;
}

bool windowsDirectory(std::string& result) {
  char buffer[MAX_PATH];
  UINT length = ::GetWindowsDirectoryA(buffer, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return false;
  result.assign(buffer, length);
  return true;
}

}  // namespace KestroCorelib::platform

namespace KestroCorelib {

FileReplaceResult replaceFileContent(const std::string& name, const std::string& content,
                                     const FileReplaceOptions& options) {
  FileReplaceResult result;
  for (int attempt = 0; attempt < 100; ++attempt) {
    char suffix[32];
    std::snprintf(suffix, sizeof(suffix), ".%08lx%04x", GetTickCount(),
                  static_cast<unsigned>(GetCurrentProcessId() + attempt) & 0xFFFF);
    const std::string temporary = name + suffix;
    // CREATE_NEW fails on any existing entry, a reparse point included.
    HANDLE file = CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
      const DWORD error = GetLastError();
      if (error == ERROR_FILE_EXISTS) continue;
      // A new file that cannot be made is the directory's fault (missing, no right to write):
      // the new file's made-up name would tell the user nothing.
      const std::size_t separator = name.find_last_of("/\\");
      result.error = static_cast<int>(error);
      result.path = separator == std::string::npos ? std::string(".") : name.substr(0, separator);
      return result;
    }
    DWORD written = 0;
    bool ok =
        content.empty() ||
        (WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr) &&
         written == content.size());
    if (ok && options.durable) ok = FlushFileBuffers(file) != 0;
    const bool closed = CloseHandle(file) != 0;
    const DWORD flags = MOVEFILE_REPLACE_EXISTING | (options.durable ? MOVEFILE_WRITE_THROUGH : 0);
    if (ok && closed && MoveFileExA(temporary.c_str(), name.c_str(), flags)) return result;
    result.error = static_cast<int>(GetLastError());
    result.path = name;
    DeleteFileA(temporary.c_str());
    return result;
  }
  result.error = ERROR_FILE_EXISTS;
  result.path = name;
  return result;
}

}  // namespace KestroCorelib
