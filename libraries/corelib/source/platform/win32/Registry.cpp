// The registry calls are advapi32's ANSI entry points; a RegistryKey* is the HKEY itself.
#include <windows.h>

#include "platform/PlatformRegistry.h"

namespace KestroCorelib::platform {

namespace {

HKEY handle(RegistryKey* key) { return reinterpret_cast<HKEY>(key); }
RegistryKey* wrap(HKEY key) { return reinterpret_cast<RegistryKey*>(key); }

// The predefined handles are the values 0x80000000 to 0x80000006.
bool isPredefined(HKEY key) {
  auto value = reinterpret_cast<ULONG_PTR>(key) & 0xFFFFFFFFu;
  return value >= 0x80000000u && value <= 0x80000006u;
}

}  // namespace

RegistryKey* predefinedRegistryKey(RegistryRoot root) {
  switch (root) {
  case RegistryRoot::ClassesRoot:
    return wrap(HKEY_CLASSES_ROOT);
  case RegistryRoot::CurrentUser:
    return wrap(HKEY_CURRENT_USER);
  case RegistryRoot::LocalMachine:
    return wrap(HKEY_LOCAL_MACHINE);
  case RegistryRoot::Users:
    return wrap(HKEY_USERS);
  case RegistryRoot::PerformanceData:
    return wrap(HKEY_PERFORMANCE_DATA);
  case RegistryRoot::CurrentConfig:
    return wrap(HKEY_CURRENT_CONFIG);
  }
  return nullptr;
}

long openRegistryKey(RegistryKey* parent, const std::string& path, uint32_t access,
                     RegistryKey** key) {
  HKEY opened = nullptr;
  LONG result = RegOpenKeyExA(handle(parent), path.c_str(), 0, access, &opened);
  *key = result == ERROR_SUCCESS ? wrap(opened) : nullptr;
  return result;
}

long createRegistryKey(RegistryKey* parent, const std::string& path, uint32_t access,
                       RegistryKey** key) {
  HKEY created = nullptr;
  char noClass[] = "";
  LONG result = RegCreateKeyExA(handle(parent), path.c_str(), 0, noClass, REG_OPTION_NON_VOLATILE,
                                access, nullptr, &created, nullptr);
  *key = result == ERROR_SUCCESS ? wrap(created) : nullptr;
  return result;
}

long queryRegistryValue(RegistryKey* key, const std::string& name, uint32_t* type,
                        unsigned char* data, uint32_t* size) {
  DWORD valueType = 0;
  DWORD valueSize = *size;
  LONG result = RegQueryValueExA(handle(key), name.c_str(), nullptr, &valueType, data, &valueSize);
  if (type != nullptr) *type = valueType;
  *size = valueSize;
  return result;
}

long setRegistryValue(RegistryKey* key, const std::string& name, uint32_t type,
                      const unsigned char* data, uint32_t size) {
  return RegSetValueExA(handle(key), name.c_str(), 0, type, data, size);
}

void closeRegistryKey(RegistryKey* key) {
  // Windows keeps the performance data provider loaded until its root is closed, so that
  // root, unlike the other predefined keys, is closed after use.
  if (key != nullptr && (!isPredefined(handle(key)) || handle(key) == HKEY_PERFORMANCE_DATA)) {
    RegCloseKey(handle(key));
  }
}

// Windows reports everything through the error number.
std::string lastRegistryErrorDetail() { return std::string(); }

}  // namespace KestroCorelib::platform
