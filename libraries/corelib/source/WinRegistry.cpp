#include "WinRegistry.h"

#include <map>
#include <new>

#include "ParamStream.h"
#include "StringTools.h"
#include "platform/PlatformRegistry.h"

namespace KestroCorelib {

namespace {

// The largest value a read takes in. HKEY_PERFORMANCE_DATA answers "more data" without a
// defined size (its data grows between calls), so the buffer there grows by doubling and the
// read has to end somewhere.
constexpr uint32_t kLargestValue = 64u * 1024 * 1024;

// Built on first use; the system calls the registry from one thread.
const std::map<std::string, platform::RegistryRoot>& rootTable() {
  static const std::map<std::string, platform::RegistryRoot> table = {
      {"HKEY_CLASSES_ROOT", platform::RegistryRoot::ClassesRoot},
      {"HKEY_CURRENT_USER", platform::RegistryRoot::CurrentUser},
      {"HKEY_LOCAL_MACHINE", platform::RegistryRoot::LocalMachine},
      {"HKEY_USERS", platform::RegistryRoot::Users},
      {"HKEY_PERFORMANCE_DATA", platform::RegistryRoot::PerformanceData},
      {"HKEY_CURRENT_CONFIG", platform::RegistryRoot::CurrentConfig},
  };
  return table;
}

ParamStream params(const std::string& first, const std::string& second) {
  ParamStream p;
  p << first << second;
  return p;
}

// The fixed message of an unknown error says little; what the platform knows (such as the
// hive file and line that is not valid) travels along as a nested exception.
template <typename Error> Error withPlatformDetail(Error error) {
  std::string detail = platform::lastRegistryErrorDetail();
  if (!detail.empty()) {
    ParamStream p;
    p << detail;
    error.addNested(Exception("@winregistry.platform.detail{%};", p));
  }
  return error;
}

}  // namespace

std::string WinRegistry::mapResourcePath(const std::string& path) {
  static const std::string prefix = "SOFTWARE\\Kestro\\Resources";
  std::string mapped = path;
  StringTools::replaceChar(mapped, '/', '\\');
  std::string environment;
  if (mapped.compare(0, prefix.size(), prefix) == 0 &&
      StringTools::getEnv("KESTRO_ENV", environment)) {
    return environment + mapped.substr(prefix.size());
  }
  return mapped;
}

WinRegistry::Key WinRegistry::openKey(const std::string& root, const std::string& path,
                                      uint32_t accessMask, bool view64) {
  auto found = rootTable().find(root);
  if (found == rootTable().end()) {
    ParamStream p;
    p << root;
    throw Get_BadArguments("@winregistry.get.bad-arguments{Invalid argument \"%\"};",
                           KESTRO_SOURCE_TAG, p);
  }
  std::string mapped = mapResourcePath(path);
  Key key = nullptr;
  long result = platform::openRegistryKey(platform::predefinedRegistryKey(found->second), mapped,
                                          accessMask | (view64 ? keyWow64View64 : 0), &key);
  switch (result) {
  case platform::kRegSuccess:
    return key;
  case platform::kRegNotFound:
  case platform::kRegElementNotFound:
    throw Get_NotFound("@winregistry.get.not-found{Could not find registry key \"%\"->\"%\"};",
                       KESTRO_SOURCE_TAG, params(root, mapped));
  case platform::kRegAccessDenied:
    throw Get_AccessDenied(
        "@winregistry.get.access-denied{Access denied when trying to get \"%\"->\"%\"};",
        KESTRO_SOURCE_TAG, params(root, mapped));
  case platform::kRegOutOfMemory:
    throw Get_OutOfMemory(outOfMemoryMessage, KESTRO_SOURCE_TAG);
  default:
    throw withPlatformDetail(Get_UnknownError(
        "@winregistry.get.unknown-error{Unknown error when trying to get \"%\"->\"%\"};",
        KESTRO_SOURCE_TAG, params(root, mapped)));
  }
}

WinRegistry::Key WinRegistry::createKey(const std::string& root, const std::string& path,
                                        bool view64) {
  auto found = rootTable().find(root);
  if (found == rootTable().end()) {
    ParamStream p;
    p << root;
    throw Set_BadArguments("@winregistry.set.bad-arguments{Invalid argument \"%\"};",
                           KESTRO_SOURCE_TAG, p);
  }
  std::string mapped = mapResourcePath(path);
  Key key = nullptr;
  long result = platform::createRegistryKey(platform::predefinedRegistryKey(found->second), mapped,
                                            keyWrite | (view64 ? keyWow64View64 : 0), &key);
  switch (result) {
  case platform::kRegSuccess:
    return key;
  case platform::kRegAccessDenied:
    throw Set_AccessDenied(
        "@winregistry.set.access-denied{Access denied when trying to set \"%\"->\"%\"};",
        KESTRO_SOURCE_TAG, params(root, mapped));
  case platform::kRegOutOfMemory:
    throw Set_OutOfMemory(outOfMemoryMessage, KESTRO_SOURCE_TAG);
  default:
    throw withPlatformDetail(Set_UnknownError(
        "@winregistry.set.unknown-error{Unknown error when trying to set \"%\"->\"%\"};",
        KESTRO_SOURCE_TAG, params(root, mapped)));
  }
}

std::string WinRegistry::readValue(Key key, const std::string& keyText, const std::string& name,
                                   uint32_t expectedType) {
  return readValue(key, keyText, name, expectedType, platform::queryRegistryValue);
}

std::string WinRegistry::readValue(Key key, const std::string& keyText, const std::string& name,
                                   uint32_t expectedType, ValueQuery query) {
  std::vector<unsigned char> buffer;
  uint32_t type = 0;
  uint32_t size = 256;
  long result = platform::kRegMoreData;
  while (result == platform::kRegMoreData) {
    try {
      buffer.assign(size, 0);
    } catch (const std::bad_alloc&) {
      platform::closeRegistryKey(key);
      throw Get_OutOfMemory(outOfMemoryMessage, KESTRO_SOURCE_TAG);
    }
    const uint32_t offered = static_cast<uint32_t>(buffer.size());
    size = offered;
    result = query(key, name, &type, buffer.data(), &size);
    if (result != platform::kRegMoreData) break;
    if (offered >= kLargestValue) {
      platform::closeRegistryKey(key);
      throw Get_UnknownError(
          "@winregistry.get.unknown-error{Unknown error when trying to get \"%\"->\"%\"};",
          KESTRO_SOURCE_TAG, params(keyText, name));
    }
    // At least double, whatever size came back (none is defined for performance data).
    const uint32_t doubled = offered > kLargestValue / 2 ? kLargestValue : offered * 2;
    size = size > doubled && size <= kLargestValue ? size : doubled;
  }
  platform::closeRegistryKey(key);
  if (result != platform::kRegSuccess) {
    throw Get_NotFound("@winregistry.get.not-found{Could not find registry key \"%\"->\"%\"};",
                       KESTRO_SOURCE_TAG, params(keyText, name));
  }
  if (type != expectedType) {
    ParamStream p;
    p << keyText << name << expectedType << type;
    throw Get_WrongType(
        "@winregistry.get.wrong-type{Cannot get \"%\"->\"%\" of type % because the actual type is "
        "%};",
        KESTRO_SOURCE_TAG, p);
  }
  return std::string(buffer.begin(), buffer.begin() + size);
}

void WinRegistry::writeValue(Key key, const std::string& keyText, const std::string& name,
                             uint32_t type, const void* data, uint32_t size) {
  long result =
      platform::setRegistryValue(key, name, type, static_cast<const unsigned char*>(data), size);
  platform::closeRegistryKey(key);
  switch (result) {
  case platform::kRegSuccess:
    return;
  case platform::kRegAccessDenied:
    throw Set_AccessDenied(
        "@winregistry.set.access-denied{Access denied when trying to set \"%\"->\"%\"};",
        KESTRO_SOURCE_TAG, params(keyText, name));
  case platform::kRegOutOfMemory:
    throw Set_OutOfMemory(outOfMemoryMessage, KESTRO_SOURCE_TAG);
  default:
    throw withPlatformDetail(Set_UnknownError(
        "@winregistry.set.unknown-error{Unknown error when trying to set \"%\"->\"%\"};",
        KESTRO_SOURCE_TAG, params(keyText, name)));
  }
}

std::string WinRegistry::getRawValue(const std::string& root, const std::string& path,
                                     const std::string& name, uint32_t expectedType, bool view64) {
  Key key = openKey(root, path, keyRead, view64);
  std::string bytes = readValue(key, root + "\\" + path, name, expectedType);
  // Trailing NULs go, unless nothing else is left.
  std::size_t end = bytes.find_last_not_of('\0');
  if (end != std::string::npos) bytes.resize(end + 1);
  return bytes;
}

void WinRegistry::setRawValue(const std::string& root, const std::string& path,
                              const std::string& name, uint32_t type, const void* data,
                              uint32_t size, bool view64) {
  Key key = createKey(root, path, view64);
  writeValue(key, root + "\\" + path, name, type, data, size);
}

std::string WinRegistry::getString(const std::string& root, const std::string& path,
                                   const std::string& name, bool view64) {
  return getRawValue(root, path, name, typeString, view64);
}

std::vector<std::string> WinRegistry::getStringList(const std::string& root,
                                                    const std::string& path,
                                                    const std::string& name, bool view64) {
  std::string bytes = getRawValue(root, path, name, typeStringList, view64);
  std::vector<std::string> list;
  std::string current;
  bool afterNul = false;
  for (char c : bytes) {
    if (c != '\0') {
      current += c;
      afterNul = false;
      continue;
    }
    // An empty element in the middle ends the list: "a\0\0b" reads as {"a"}.
    if (afterNul) break;
    list.push_back(current);
    current.clear();
    afterNul = true;
  }
  if (!current.empty()) list.push_back(current);
  return list;
}

void WinRegistry::setString(const std::string& root, const std::string& path,
                            const std::string& name, const std::string& value, bool view64) {
  std::string bytes = value + '\0';
  setRawValue(root, path, name, typeString, bytes.data(), static_cast<uint32_t>(bytes.size()),
              view64);
}

void WinRegistry::setStringList(const std::string& root, const std::string& path,
                                const std::string& name, const std::vector<std::string>& values,
                                bool view64) {
  // An empty element would write two NULs in a row, which end the list when it is read: the
  // elements after it would be lost unseen. Refused before anything is written.
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (!values[i].empty()) continue;
    ParamStream p;
    p << root + "\\" + path << name << static_cast<uint64_t>(i + 1);
    throw Set_BadArguments(
        "@winregistry.set.bad-arguments{Cannot set \"%\"->\"%\" because element % of the list "
        "is empty};",
        KESTRO_SOURCE_TAG, p);
  }
  std::string bytes;
  for (const std::string& value : values) bytes += value + '\0';
  bytes += '\0';
  setRawValue(root, path, name, typeStringList, bytes.data(), static_cast<uint32_t>(bytes.size()),
              view64);
}

}  // namespace KestroCorelib
