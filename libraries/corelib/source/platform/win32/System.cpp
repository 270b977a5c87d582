// Where each fact comes from on Windows: the computer, workstation, version, keyboard, user and
// terminal-services calls, the local-group and address tables and the shell folders. Link with
// advapi32, netapi32, wtsapi32, iphlpapi and shell32.
#include <windows.h>
// After windows.h:
#include <iphlpapi.h>
#include <lm.h>
#include <shlobj.h>
#include <wtsapi32.h>

#include <memory>
#include <new>

#include "WinRegistry.h"
#include "platform/PlatformSystem.h"

namespace KestroCorelib::platform {

namespace {

std::string fromWide(const wchar_t* text, int bufferSize, bool& ok) {
  std::string buffer(static_cast<std::size_t>(bufferSize), '\0');
  int written = WideCharToMultiByte(CP_ACP, 0, text, -1, &buffer[0], bufferSize, nullptr, nullptr);
  ok = written > 0;
  return ok ? std::string(buffer.c_str()) : std::string();
}

std::string architecture(const SYSTEM_INFO& info) {
  switch (info.wProcessorArchitecture) {
  case 0:
    return "i" + std::to_string(info.dwProcessorType);
  case 1:
    return "mips";
  case 2:
    return "alpha";
  case 3:
    return "powerpc";
  case 6:
    return "ia64";
  case 9:
    return "amd64";
  case 10:
    return "ia32_on_win64";
  case 0xFFFF:
    return "unknown";
  default:
    return "error";
  }
}

std::string servicePack(const OSVERSIONINFOEXA& version) {
  return version.wServicePackMajor > 0 ? "_sp" + std::to_string(version.wServicePackMajor) : "";
}

std::string architecturePart(WORD architectureCode) {
  if (architectureCode == 9) return "_x64";
  if (architectureCode == 6) return "_ia64";
  return "";
}

// The version rules; versions they do not cover are named by their numbers, like 6.2 and up.
std::string osName(const OSVERSIONINFOEXA& version, WORD architectureCode) {
  const DWORD major = version.dwMajorVersion;
  const DWORD minor = version.dwMinorVersion;
  const bool workstation = version.wProductType == VER_NT_WORKSTATION;
  if (major == 3) return "windows_nt3" + servicePack(version);
  if (major == 4) return "windows_nt4" + servicePack(version);
  if (major == 5 && minor == 0) return "windows2000";
  if (major == 5 && minor == 1) return "windows_xp";
  if (major == 5 && minor == 2) {
    std::string edition;
    if (workstation) {
      edition = architectureCode == 9 ? "_xp_x64" : "";
    } else if (GetSystemMetrics(SM_SERVERR2) != 0) {
      edition = "_server2003_r2";
    } else if (version.wProductType == 2) {
      edition = "_nt-domain-controller";
    } else if (version.wProductType == 3) {
      edition = "_server2003";
    } else {
      edition = "_unknown";
    }
    return "windows" + edition + ((version.wSuiteMask & 0x200) != 0 ? "_home" : "") +
           servicePack(version);
  }
  if (major == 6 && minor == 0) {
    return std::string("windows") + (workstation ? "_vista" : "_server2008") +
           architecturePart(architectureCode) + servicePack(version);
  }
  if (major == 6 && minor == 1) {
    return std::string("windows") + (workstation ? "_7" : "__server2008R2") +
           architecturePart(architectureCode) + servicePack(version);
  }
  return "windows_" + std::to_string(major) + "." + std::to_string(minor);
}

struct LanguageSettings {
  const char* codeRoot;
  const char* codeKey;
  const char* codeValue;
};

std::string language(const LanguageSettings& settings) {
  std::string code;
  try {
    code = WinRegistry::getString(settings.codeRoot, settings.codeKey, settings.codeValue, false);
  } catch (const Exception&) {
    return "[unknown]";
  }
  if (code.size() < 8) code.insert(0, 8 - code.size(), '0');
  std::string name;
  try {
    name = WinRegistry::getString("HKEY_LOCAL_MACHINE",
                                  "SYSTEM\\ControlSet001\\Control\\Keyboard Layouts\\" + code,
                                  "Layout Text", false);
  } catch (const Exception&) {
    return "[unknown]";
  }
  try {
    return name + ":" +
           WinRegistry::getString("HKEY_LOCAL_MACHINE",
                                  "SYSTEM\\ControlSet001\\Control\\Keyboard Layout\\DosKeybCodes",
                                  code, false);
  } catch (const Exception&) {
    return name + ":[unknown]";
  }
}

std::string userName() {
  DWORD size = 20;
  while (true) {
    std::unique_ptr<char[]> buffer(new (std::nothrow) char[size]);
    if (!buffer) return "[unknown]";
    if (GetUserNameA(buffer.get(), &size)) return buffer.get();
    // The call reports a small buffer as ERROR_INSUFFICIENT_BUFFER; ERROR_MORE_DATA is
    // accepted too. Either way `size` now holds what it needs.
    DWORD error = GetLastError();
    if (error != ERROR_MORE_DATA && error != ERROR_INSUFFICIENT_BUFFER) return "[unknown]";
  }
}

}  // namespace

void fillSystemFacts(std::map<int, std::string>& items) {
  char host[129] = {};
  DWORD hostSize = 128;
  if (GetComputerNameA(host, &hostSize)) items[0] = std::string(host, hostSize);

  WKSTA_INFO_100* workstation = nullptr;
  if (NetWkstaGetInfo(nullptr, 100, reinterpret_cast<LPBYTE*>(&workstation)) == NERR_Success) {
    bool ok = false;
    std::string domain = fromWide(workstation->wki100_langroup, 200, ok);
    if (ok) items[9] = domain;
    NetApiBufferFree(workstation);
  }

  SYSTEM_INFO system = {};
  using NativeInfo = void(WINAPI*)(LPSYSTEM_INFO);
  auto native = reinterpret_cast<NativeInfo>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetNativeSystemInfo")));
  if (native != nullptr) {
    native(&system);
  } else {
    GetSystemInfo(&system);  // before XP: no other view exists
  }
  items[8] = architecture(system);

  OSVERSIONINFOEXA version = {};
  version.dwOSVersionInfoSize = sizeof version;
  if (!GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&version))) {
    items[3] = "windows_unknown";
  } else {
    items[15] = std::to_string(version.dwMajorVersion);
    items[16] = std::to_string(version.dwMinorVersion);
    items[4] = std::to_string(version.dwMajorVersion * 100 + version.dwMinorVersion);
    items[3] = version.dwPlatformId == VER_PLATFORM_WIN32_NT
                   ? osName(version, system.wProcessorArchitecture)
                   : "windows_unknown";
  }

  items[5] = language(
      {"HKEY_LOCAL_MACHINE", "SYSTEM\\CurrentControlSet\\Control\\Nls\\Language", "Default"});
  items[6] = language({"HKEY_CURRENT_USER", "Keyboard Layout\\Preload", "1"});
  items[7] = std::to_string(GetKeyboardType(0)) + "(" + std::to_string(GetKeyboardType(1)) + "," +
             std::to_string(GetKeyboardType(2)) + ")";
  items[10] = userName();
  DWORD session = 0;
  items[11] = ProcessIdToSessionId(GetCurrentProcessId(), &session) ? std::to_string(session) : "";
  items[14] = "little";
}

std::string platformName() { return "windows"; }

std::string remoteClientName() {
  DWORD session = 0;
  if (!ProcessIdToSessionId(GetCurrentProcessId(), &session)) return "";
  LPSTR name = nullptr;
  DWORD bytes = 0;
  if (!WTSQuerySessionInformationA(WTS_CURRENT_SERVER_HANDLE, session, WTSClientName, &name,
                                   &bytes))
    return "";
  std::string result = name != nullptr ? name : "";
  WTSFreeMemory(name);
  return result;
}

std::vector<std::string> localGroups() {
  std::vector<std::string> names;
  LOCALGROUP_INFO_0* groups = nullptr;
  DWORD read = 0;
  DWORD total = 0;
  DWORD_PTR resume = 0;
  NET_API_STATUS status = NetLocalGroupEnum(nullptr, 0, reinterpret_cast<LPBYTE*>(&groups),
                                            MAX_PREFERRED_LENGTH, &read, &total, &resume);
  if (status != NERR_Success) {
    if (groups != nullptr) NetApiBufferFree(groups);
    return names;
  }
  for (DWORD i = 0; i < read; ++i) {
    bool ok = false;
    std::string name = fromWide(groups[i].lgrpi0_name, 256, ok);
    if (ok) names.push_back(name);
  }
  NetApiBufferFree(groups);
  return names;
}

std::vector<std::string> localGroupMembers(const std::string& group) {
  std::vector<std::string> members;
  wchar_t wide[256] = {};
  if (MultiByteToWideChar(CP_ACP, 0, group.c_str(), -1, wide, 255) == 0) return members;
  LOCALGROUP_MEMBERS_INFO_3* list = nullptr;
  DWORD read = 0;
  DWORD total = 0;
  NET_API_STATUS status =
      NetLocalGroupGetMembers(nullptr, wide, 3, reinterpret_cast<LPBYTE*>(&list),
                              MAX_PREFERRED_LENGTH, &read, &total, nullptr);
  if (status != NERR_Success) {
    if (list != nullptr) NetApiBufferFree(list);
    return members;
  }
  for (DWORD i = 0; i < read; ++i) {
    bool ok = false;
    std::string name = fromWide(list[i].lgrmi3_domainandname, 256, ok);
    if (ok) members.push_back(name);
  }
  NetApiBufferFree(list);
  return members;
}

std::vector<uint32_t> ipv4Addresses() {
  std::vector<uint32_t> addresses;
  ULONG size = 28;
  std::vector<unsigned char> buffer(size);
  DWORD result;
  while ((result = GetIpAddrTable(reinterpret_cast<PMIB_IPADDRTABLE>(buffer.data()), &size,
                                  TRUE)) == ERROR_INSUFFICIENT_BUFFER) {
    buffer.assign(size, 0);
  }
  if (result != NO_ERROR) return addresses;
  const auto* table = reinterpret_cast<const MIB_IPADDRTABLE*>(buffer.data());
  for (DWORD i = 0; i < table->dwNumEntries; ++i) {
    // dwAddr holds the bytes in network order: the first octet is the lowest byte.
    DWORD address = table->table[i].dwAddr;
    addresses.push_back(((address & 0xFF) << 24) | (((address >> 8) & 0xFF) << 16) |
                        (((address >> 16) & 0xFF) << 8) | ((address >> 24) & 0xFF));
  }
  return addresses;
}

bool volumeSerial(const std::string& path, uint64_t& serial) {
  char volume[64];
  char fileSystem[64];
  DWORD number = 0;
  if (!GetVolumeInformationA(path.c_str(), volume, sizeof volume, &number, nullptr, nullptr,
                             fileSystem, sizeof fileSystem)) {
    return false;
  }
  serial = number;
  return true;
}

std::string shellFolder(int folder) {
  static const int csidl[] = {
      CSIDL_PERSONAL,         CSIDL_DESKTOPDIRECTORY,
      CSIDL_APPDATA,          CSIDL_STARTMENU,
      CSIDL_PROGRAMS,         CSIDL_STARTUP,
      CSIDL_APPDATA,          CSIDL_COMMON_DOCUMENTS,
      CSIDL_COMMON_STARTMENU, CSIDL_COMMON_PROGRAMS,
      CSIDL_COMMON_STARTUP,   CSIDL_COMMON_DESKTOPDIRECTORY,
      CSIDL_COMMON_APPDATA,   CSIDL_FONTS,
      CSIDL_WINDOWS,          CSIDL_SYSTEM,
      CSIDL_PROGRAM_FILES,    CSIDL_PROGRAM_FILES_COMMON,
      CSIDL_COMMON_APPDATA,
  };
  if (folder < 0 || folder > 18) return "";
  char path[262] = {};
  if (!SHGetSpecialFolderPathA(nullptr, path, csidl[folder], FALSE)) return "";
  return path;
}

}  // namespace KestroCorelib::platform
