#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <vector>

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

bool pathStatus(const std::string& path, bool& isDirectory) {
  struct _stat status {};
  if (::_stat(path.c_str(), &status) != 0) return false;
  isDirectory = (status.st_mode & _S_IFDIR) != 0;
  return true;
}

bool pathStatus(const std::wstring& path, bool& isDirectory) {
  struct _stat status {};
  if (::_wstat(path.c_str(), &status) != 0) return false;
  isDirectory = (status.st_mode & _S_IFDIR) != 0;
  return true;
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
