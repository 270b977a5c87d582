// WARNING: only generic POSIX code belongs in this folder.
// The registry calls on REGEDIT4 hive files: a key handle is the root, the path and (for keys
// opened for reading) a snapshot of the key's values taken under the hive's shared lock, so
// that one read sees one consistent state of the file.
#include <memory>
#include <new>
#include <vector>

#include "StringTools.h"
#include "platform/PlatformRegistry.h"
#include "platform/posix/RegistryHive.h"

namespace KestroCorelib::platform {

struct RegistryKey {
  std::string root;
  std::string path;  // below the root, without a trailing backslash
  uint32_t access = 0;
  bool predefined = false;
  bool loaded = false;  // whether `values` holds the key's values
  std::vector<RegistryHive::Value> values;
};

namespace {

constexpr uint32_t kKeyQueryValue = 0x0001;
constexpr uint32_t kKeySetValue = 0x0002;
constexpr uint32_t kAllAccess = 0xF003F;

thread_local std::string lastDetail;

std::string childPath(const RegistryKey* parent, const std::string& path) {
  std::string child = path;
  if (!child.empty() && child.back() == '\\') child.pop_back();
  if (parent->path.empty()) return child;
  return child.empty() ? parent->path : parent->path + "\\" + child;
}

long loadValues(RegistryKey& key) {
  RegistryHive hive(key.root);
  long result = readHiveFile(key.root, hive, lastDetail);
  if (result != kRegSuccess) return result;
  if (!hive.hasKey(key.path)) return kRegNotFound;
  key.values = hive.values(key.path);
  key.loaded = true;
  return kRegSuccess;
}

}  // namespace

RegistryKey* predefinedRegistryKey(RegistryRoot root) {
  static RegistryKey roots[] = {
      {"HKEY_CLASSES_ROOT", "", kAllAccess, true, false, {}},
      {"HKEY_CURRENT_USER", "", kAllAccess, true, false, {}},
      {"HKEY_LOCAL_MACHINE", "", kAllAccess, true, false, {}},
      {"HKEY_USERS", "", kAllAccess, true, false, {}},
      {"HKEY_PERFORMANCE_DATA", "", kAllAccess, true, false, {}},
      {"HKEY_CURRENT_CONFIG", "", kAllAccess, true, false, {}},
  };
  return &roots[static_cast<int>(root)];
}

long openRegistryKey(RegistryKey* parent, const std::string& path, uint32_t access,
                     RegistryKey** key) {
  lastDetail.clear();
  *key = nullptr;
  if (parent == nullptr) return kRegInvalidParameter;
  // No key can have an empty name, so such a path names nothing.
  if (!RegistryHive::isValidPath(path)) return kRegNotFound;
  try {
    auto opened = std::make_unique<RegistryKey>();
    opened->root = parent->root;
    opened->path = childPath(parent, path);
    opened->access = access;
    long result = loadValues(*opened);
    if (result != kRegSuccess) return result;
    *key = opened.release();
    return kRegSuccess;
  } catch (const std::bad_alloc&) {
    return kRegOutOfMemory;
  }
}

long createRegistryKey(RegistryKey* parent, const std::string& path, uint32_t access,
                       RegistryKey** key) {
  lastDetail.clear();
  *key = nullptr;
  if (parent == nullptr || !RegistryHive::isValidPath(path)) return kRegInvalidParameter;
  try {
    auto created = std::make_unique<RegistryKey>();
    created->root = parent->root;
    created->path = childPath(parent, path);
    created->access = access;
    long result = updateHiveFile(
        created->root,
        [&](RegistryHive& hive, bool& changed) {
          changed = hive.createKey(created->path);
          return kRegSuccess;
        },
        lastDetail);
    if (result != kRegSuccess) return result;
    *key = created.release();
    return kRegSuccess;
  } catch (const std::bad_alloc&) {
    return kRegOutOfMemory;
  }
}

long queryRegistryValue(RegistryKey* key, const std::string& name, uint32_t* type,
                        unsigned char* data, uint32_t* size) {
  lastDetail.clear();
  if (key == nullptr || size == nullptr) return kRegInvalidParameter;
  if ((key->access & kKeyQueryValue) == 0) return kRegAccessDenied;
  if (!key->loaded) {
    long result = loadValues(*key);
    if (result != kRegSuccess) return result;
  }
  for (const RegistryHive::Value& value : key->values) {
    if (!StringTools::equalsNoCase(value.name, name)) continue;
    if (type != nullptr) *type = value.type;
    auto needed = static_cast<uint32_t>(value.data.size());
    if (data != nullptr && *size < needed) {
      *size = needed;
      return kRegMoreData;
    }
    if (data != nullptr) value.data.copy(reinterpret_cast<char*>(data), needed);
    *size = needed;
    return kRegSuccess;
  }
  return kRegNotFound;
}

long setRegistryValue(RegistryKey* key, const std::string& name, uint32_t type,
                      const unsigned char* data, uint32_t size) {
  lastDetail.clear();
  if (key == nullptr || (data == nullptr && size != 0)) return kRegInvalidParameter;
  if ((key->access & kKeySetValue) == 0) return kRegAccessDenied;
  if (!RegistryHive::isValidValueName(name)) return kRegInvalidParameter;
  try {
    std::string bytes =
        data == nullptr ? std::string() : std::string(reinterpret_cast<const char*>(data), size);
    long result = updateHiveFile(
        key->root,
        [&](RegistryHive& hive, bool& changed) {
          changed = hive.setValue(key->path, name, type, bytes);
          return kRegSuccess;
        },
        lastDetail);
    if (result == kRegSuccess) key->loaded = false;
    return result;
  } catch (const std::bad_alloc&) {
    return kRegOutOfMemory;
  }
}

void closeRegistryKey(RegistryKey* key) {
  if (key != nullptr && !key->predefined) delete key;
}

std::string lastRegistryErrorDetail() { return lastDetail; }

}  // namespace KestroCorelib::platform
