#pragma once
// The library's only door to the registry: string and string-list values under a root key
// named by its full text, keys created on write, every failure one of ten exception classes.
//
//   std::string dir = WinRegistry::getString("HKEY_LOCAL_MACHINE", "SOFTWARE\\Kestro\\Resources",
//                                            "InstallDir", false);
//   WinRegistry::setStringList("HKEY_CURRENT_USER", "SOFTWARE\\Kestro", "Recent", {"a", "b"},
//   false);
//
// Roots: "HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE", "HKEY_USERS",
// "HKEY_PERFORMANCE_DATA", "HKEY_CURRENT_CONFIG", compared exactly (no short forms such as
// HKLM). Paths use '\' (a '/' is turned into '\') and pass through mapResourcePath, so the
// environment variable KESTRO_ENV can redirect the key SOFTWARE\Kestro\Resources.
//
// On POSIX the registry is a set of REGEDIT4 hive files, one per root, in $KESTRO_REGISTRY_DIR
// (else HKEY_CURRENT_USER.reg in $XDG_CONFIG_HOME/kestro or ~/.config/kestro and the others in
// /etc/kestro). A hive that is not valid REGEDIT4 text is never rewritten: reading and writing
// it fail with Get_UnknownError / Set_UnknownError, whose nested exception names the file and
// the line. `view64` only matters to 32-bit processes on 64-bit Windows.
#include <cstdint>
#include <string>
#include <vector>

#include "Exception.h"

namespace KestroCorelib {

namespace platform {
struct RegistryKey;
}

class WinRegistry : public Throws {
 public:
  KESTRO_EXCEPTION(Get_BadArguments);  // the root name is not in the root table
  KESTRO_EXCEPTION(Get_NotFound);      // the key or value does not exist or cannot be read
  KESTRO_EXCEPTION(Get_AccessDenied);  // opening the key was refused
  KESTRO_EXCEPTION(Get_OutOfMemory);
  KESTRO_EXCEPTION(Get_UnknownError);  // any other failure to open the key or read the value
                                       // (such as a value above 64 MiB)
  KESTRO_EXCEPTION(Get_WrongType);     // the value has another registry type than asked for
  KESTRO_EXCEPTION(Set_BadArguments);  // the root name is unknown, or a list has an empty element
  KESTRO_EXCEPTION(Set_AccessDenied);
  KESTRO_EXCEPTION(Set_OutOfMemory);
  KESTRO_EXCEPTION(Set_UnknownError);

  // Registry type codes and access masks used here.
  static constexpr uint32_t typeString = 1;      // REG_SZ
  static constexpr uint32_t typeBinary = 3;      // REG_BINARY
  static constexpr uint32_t typeDword = 4;       // REG_DWORD
  static constexpr uint32_t typeStringList = 7;  // REG_MULTI_SZ
  static constexpr uint32_t keyRead = 0x20019;   // KEY_READ
  static constexpr uint32_t keyWrite = 0x20006;  // KEY_WRITE
  static constexpr uint32_t keyWow64View64 = 0x100;

  // An open key; it never outlives one public operation.
  using Key = platform::RegistryKey*;

  // The REG_SZ value, trailing NULs removed.
  static std::string getString(const std::string& root, const std::string& path,
                               const std::string& name, bool view64);
  // The REG_MULTI_SZ value. Elements end at each NUL; two NULs in a row end the list, so
  //   bytes "a\0b\0\0" -> {"a", "b"};  "a\0\0b\0\0" -> {"a"};  "\0" (an empty list) -> {""}
  static std::vector<std::string> getStringList(const std::string& root, const std::string& path,
                                                const std::string& name, bool view64);
  // Writes the text plus its terminating NUL as REG_SZ, creating the key and its parents.
  static void setString(const std::string& root, const std::string& path, const std::string& name,
                        const std::string& value, bool view64);
  // Writes each element plus a NUL, then one more NUL, as REG_MULTI_SZ. A list with an empty
  // element cannot be read back whole (see getStringList): it raises Set_BadArguments
  //   "Cannot set "HKEY_CURRENT_USER\SOFTWARE\Kestro"->"Recent" because element 2 of the
  //   list is empty"
  // and nothing is written. The empty list is written as a single NUL.
  static void setStringList(const std::string& root, const std::string& path,
                            const std::string& name, const std::vector<std::string>& values,
                            bool view64);

  // The bytes of a value of `expectedType` with trailing NULs cut (a value of only NULs keeps
  // them all). Get_WrongType when the value has another type:
  //   "Cannot get "HKEY_LOCAL_MACHINE\SOFTWARE\X"->"Count" of type 1 because the actual type is 4"
  static std::string getRawValue(const std::string& root, const std::string& path,
                                 const std::string& name, uint32_t expectedType, bool view64);
  static void setRawValue(const std::string& root, const std::string& path, const std::string& name,
                          uint32_t type, const void* data, uint32_t size, bool view64);

  // The steps the operations above chain. openKey and createKey look the root up (raising
  // Get_/Set_BadArguments) and map the path; readValue and writeValue close the key whatever
  // happens. `keyText` (root, '\', the caller's path) names the key in error messages.
  static Key openKey(const std::string& root, const std::string& path, uint32_t accessMask,
                     bool view64);
  static Key createKey(const std::string& root, const std::string& path, bool view64);
  static std::string readValue(Key key, const std::string& keyText, const std::string& name,
                               uint32_t expectedType);
  // readValue with the query it makes: platform::queryRegistryValue (RegQueryValueExA's
  // contract) above; a test passes a stand-in that answers as a particular Windows does (such
  // as performance data's "more data" without a size).
  using ValueQuery = long (*)(Key key, const std::string& name, uint32_t* type, unsigned char* data,
                              uint32_t* size);
  static std::string readValue(Key key, const std::string& keyText, const std::string& name,
                               uint32_t expectedType, ValueQuery query);
  static void writeValue(Key key, const std::string& keyText, const std::string& name,
                         uint32_t type, const void* data, uint32_t size);

  // The path actually used: '/' becomes '\'; then, when KESTRO_ENV is set (even empty) and the
  // path begins with "SOFTWARE\Kestro\Resources" (case-sensitive), that beginning is replaced
  // by the variable's value.
  //   KESTRO_ENV=SOFTWARE\Kestro\Test: "SOFTWARE/Kestro/Resources/Sub" ->
  //   "SOFTWARE\Kestro\Test\Sub"
  static std::string mapResourcePath(const std::string& path);
};

}  // namespace KestroCorelib
