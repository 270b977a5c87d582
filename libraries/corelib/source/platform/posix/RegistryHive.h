#pragma once
// The POSIX registry: one plain-text REGEDIT4 hive file per root key.
//
//   REGEDIT4
//
//   ; comments and blank lines survive every write
//   [HKEY_LOCAL_MACHINE\SOFTWARE\Kestro\Resources]
//   "InstallDir"="/opt/kestro"
//   "Count"=dword:0000002a
//   "List"=hex(7):61,00,62,00,00,00    (long byte lists continue after a trailing "\")
//
// RegistryHive is the text model of one hive: it parses the text, answers lookups and changes
// values while keeping every line it does not touch byte for byte. The hive-file functions
// below add the file discipline: readers take a shared lock, writers an exclusive lock and
// replace the whole file by an atomic rename, so a reader never sees a half-written hive and
// concurrent writers never lose each other's values.
//
// Key and value names compare without regard to ASCII case; a name keeps the spelling with
// which it was first written. All results are Windows error numbers (0 success, 2 not found,
// 5 access denied, 14 out of memory, 1015 hive not valid, others for other failures), because
// that is what the registry layer above understands.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/PlatformRegistry.h"

namespace KestroCorelib::platform {

class RegistryHive {
 public:
  struct Value {
    std::string name;  // spelling as first written; empty for the unnamed value "@"
    uint32_t type = 0;
    std::string data;  // raw bytes; a quoted string holds its text plus one NUL
  };

  // An empty hive of the root `rootName` (e.g. "HKEY_LOCAL_MACHINE").
  explicit RegistryHive(std::string rootName);

  // Replaces the model by `text`. An empty text (or only blank lines) is an empty hive.
  // On malformed text returns false, leaves the model empty and sets `error` to
  // "line N: reason".
  bool parse(const std::string& text, std::string& error);

  // The whole hive text: untouched lines exactly as parsed, changed and new ones appended.
  std::string text() const;

  // Whether the key exists: it has a section of its own or is the parent of one. `path` is
  // relative to the root ("" is the root key itself, which always exists).
  bool hasKey(const std::string& path) const;

  // All values of the key, in order of first appearance; a value given twice reads as the
  // last assignment (as importing the file would leave it).
  std::vector<Value> values(const std::string& path) const;

  // Adds a section for the key unless the key exists. Returns whether the text changed.
  bool createKey(const std::string& path);

  // Sets a value, adding the key's section when needed. Returns whether the text changed.
  bool setValue(const std::string& path, const std::string& name, uint32_t type,
                const std::string& data);

  // Whether a key path or value name can be stored: no line break or NUL, and (for paths)
  // no empty component except one trailing backslash.
  static bool isValidPath(const std::string& path);
  static bool isValidValueName(const std::string& name);

  // The text of one value line (with continuation lines, without the final line break).
  static std::string formatValue(const std::string& name, uint32_t type, const std::string& data,
                                 const std::string& newline);

 private:
  enum class Kind { Other, Section, Value };
  struct Item {
    std::string raw;  // exact text, line breaks included
    Kind kind = Kind::Other;
    std::string keyLower;    // Section and Value: the key path in lower case, relative to root
    std::string keySpelled;  // Section: the key path as written
    Value value;             // Value only
  };

  std::string normalisedPath(const std::string& path) const;
  std::string spelledPath(const std::string& path) const;
  void appendSection(const std::string& path);
  void terminateLine(std::string& raw) const;
  void ensureEndsWithNewline();
  void insertAt(std::size_t position, Item item);

  std::string rootName;
  std::vector<Item> items;
  std::string newline = "\n";  // the hive's own line break, used for new lines
  bool hasHeader = false;      // whether the text has its "REGEDIT4" line yet
};

// Where the hive of `rootName` lives: $KESTRO_REGISTRY_DIR/<root>.reg when that variable is
// set and not empty; otherwise HKEY_CURRENT_USER.reg in $XDG_CONFIG_HOME/kestro (default
// $HOME/.config/kestro) and every other hive in /etc/kestro.
std::string hivePath(const std::string& rootName);

// Reads and parses the hive under a shared lock. A missing file gives kRegNotFound; a hive
// that does not parse gives kRegCorrupt and `detail` names the file and line.
long readHiveFile(const std::string& rootName, RegistryHive& hive, std::string& detail);

// Changes the hive under an exclusive lock. `change` edits the parsed hive and returns an
// error number (0 to go on) and sets `changed`; when something changed, the whole new text
// goes to a temporary file in the same directory, is flushed and renamed over the hive. A
// missing hive (and directory) is created. A hive that does not parse is left untouched and
// gives kRegCorrupt.
long updateHiveFile(const std::string& rootName,
                    const std::function<long(RegistryHive& hive, bool& changed)>& change,
                    std::string& detail);

}  // namespace KestroCorelib::platform
