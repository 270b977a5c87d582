#pragma once
// Registry doors of the core library: the five calls WinRegistry makes, with the semantics
// and Windows error numbers of their advapi32 counterparts (RegOpenKeyExA, RegCreateKeyExA,
// RegQueryValueExA, RegSetValueExA, RegCloseKey). On Windows they are those calls; on POSIX
// they work on REGEDIT4 hive files (see posix/RegistryHive.h). Nothing above this header
// knows which one runs.
#include <cstdint>
#include <string>

namespace KestroCorelib::platform {

// The Windows error numbers the calls below answer with, on every platform.
constexpr long kRegSuccess = 0;
constexpr long kRegNotFound = 2;           // ERROR_FILE_NOT_FOUND
constexpr long kRegAccessDenied = 5;       // ERROR_ACCESS_DENIED
constexpr long kRegOutOfMemory = 14;       // ERROR_OUTOFMEMORY
constexpr long kRegGeneralFailure = 31;    // ERROR_GEN_FAILURE: an I/O error of another kind
constexpr long kRegInvalidParameter = 87;  // ERROR_INVALID_PARAMETER: a name the format cannot hold
constexpr long kRegMoreData = 234;         // ERROR_MORE_DATA
constexpr long kRegCorrupt = 1015;         // ERROR_REGISTRY_CORRUPT: the hive is not REGEDIT4 text
constexpr long kRegElementNotFound = 1168;  // ERROR_NOT_FOUND

// An open key. On Windows the pointer is the HKEY itself.
struct RegistryKey;

// The predefined root keys, in the order of RegistryRoot.
enum class RegistryRoot {
  ClassesRoot,
  CurrentUser,
  LocalMachine,
  Users,
  PerformanceData,
  CurrentConfig,
};

// The predefined handle of a root; it needs no closing.
RegistryKey* predefinedRegistryKey(RegistryRoot root);

// Opens an existing key below `parent` for `access` (KEY_READ, plus KEY_WOW64_64KEY for the
// 64-bit view). kRegSuccess, else one of the error numbers above (or another Windows error number).
long openRegistryKey(RegistryKey* parent, const std::string& path, uint32_t access,
                     RegistryKey** key);

// Creates (with all missing parents) or opens a key for `access` (KEY_WRITE ...).
long createRegistryKey(RegistryKey* parent, const std::string& path, uint32_t access,
                       RegistryKey** key);

// Reads a value. `data` may be null to learn only type and size. When `*size` is too small,
// returns kRegMoreData with `*size` set to the size needed. A missing value is kRegNotFound.
long queryRegistryValue(RegistryKey* key, const std::string& name, uint32_t* type,
                        unsigned char* data, uint32_t* size);

// Writes a value of `type` with `size` bytes from `data`.
long setRegistryValue(RegistryKey* key, const std::string& name, uint32_t type,
                      const unsigned char* data, uint32_t size);

// Closes a key opened or created above (predefined keys are left alone).
void closeRegistryKey(RegistryKey* key);

// A description of the last failure of this thread's registry calls for diagnostics, such as
// the hive file and line that is not valid; empty when the platform has nothing to add.
std::string lastRegistryErrorDetail();

}  // namespace KestroCorelib::platform
