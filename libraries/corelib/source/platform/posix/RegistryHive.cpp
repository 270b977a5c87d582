// WARNING: only generic POSIX code belongs in this folder.
#include "platform/posix/RegistryHive.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <unordered_map>
#include <utility>

#include "FileReplace.h"
#include "StringTools.h"
#include "WinRegistry.h"
#include "platform/PlatformFiles.h"

namespace KestroCorelib::platform {

namespace {

const char kHeader[] = "REGEDIT4";

bool isBlank(char c) { return c == ' ' || c == '\t'; }

std::string trim(const std::string& text) {
  std::size_t begin = 0;
  std::size_t end = text.size();
  while (begin < end && isBlank(text[begin])) ++begin;
  while (end > begin && isBlank(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

// The line without its line break (LF or CR LF).
std::string lineContent(const std::string& raw) {
  std::size_t end = raw.size();
  if (end > 0 && raw[end - 1] == '\n') --end;
  if (end > 0 && raw[end - 1] == '\r') --end;
  return raw.substr(0, end);
}

std::string lineBreakOf(const std::string& raw) {
  if (raw.size() >= 2 && raw.compare(raw.size() - 2, 2, "\r\n") == 0) return "\r\n";
  if (!raw.empty() && raw.back() == '\n') return "\n";
  return "";
}

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Parses 1 to 8 hex digits making up all of `text`.
bool parseHexNumber(const std::string& text, uint32_t& number) {
  if (text.empty() || text.size() > 8) return false;
  number = 0;
  for (char c : text) {
    int digit = hexDigit(c);
    if (digit < 0) return false;
    number = number * 16 + static_cast<uint32_t>(digit);
  }
  return true;
}

bool startsWithNoCase(const std::string& text, std::size_t pos, std::string_view prefix) {
  if (text.size() - pos < prefix.size()) return false;
  return StringTools::equalsNoCase(std::string_view(text).substr(pos, prefix.size()), prefix);
}

// Reads a quoted text starting at text[pos] == '"'. Inside the quotes "\\" is a backslash and
// "\"" a quote; any other backslash stands for itself, as administrators tend to write
// "C:\opt" by hand. `pos` ends just after the closing quote.
bool parseQuoted(const std::string& text, std::size_t& pos, std::string& result) {
  result.clear();
  ++pos;
  while (pos < text.size()) {
    char c = text[pos++];
    if (c == '"') return true;
    if (c == '\\' && pos < text.size() && (text[pos] == '\\' || text[pos] == '"')) {
      result += text[pos++];
    } else {
      result += c;
    }
  }
  return false;
}

std::string quote(const std::string& text) {
  std::string result = "\"";
  for (char c : text) {
    if (c == '\\' || c == '"') result += '\\';
    result += c;
  }
  return result + "\"";
}

// Comma-separated bytes of two hex digits; blanks around them are allowed.
bool parseHexBytes(const std::string& text, std::string& bytes) {
  bytes.clear();
  if (trim(text).empty()) return true;
  std::size_t start = 0;
  while (true) {
    std::size_t comma = text.find(',', start);
    std::string token =
        trim(text.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
    uint32_t byte = 0;
    if (token.size() > 2 || !parseHexNumber(token, byte)) return false;
    bytes += static_cast<char>(byte);
    if (comma == std::string::npos) return true;
    start = comma + 1;
  }
}

std::vector<std::string> splitPath(const std::string& path) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (true) {
    std::size_t slash = path.find('\\', start);
    parts.push_back(
        path.substr(start, slash == std::string::npos ? std::string::npos : slash - start));
    if (slash == std::string::npos) return parts;
    start = slash + 1;
  }
}

std::string withoutTrailingBackslash(const std::string& path) {
  if (!path.empty() && path.back() == '\\') return path.substr(0, path.size() - 1);
  return path;
}

bool hasBadCharacter(const std::string& text) {
  return text.find_first_of(std::string("\n\r\0", 3)) != std::string::npos;
}

// A REG_SZ value fits between quotes when it is text followed by exactly one NUL and holds
// no line break; anything else is written as hex(1) so that no byte is lost.
bool isQuotable(const std::string& data) {
  if (data.empty() || data.back() != '\0') return false;
  return !hasBadCharacter(data.substr(0, data.size() - 1));
}

// The lines of the text, each with its line break (the last one may have none).
std::vector<std::string> splitLines(const std::string& text) {
  std::vector<std::string> lines;
  for (std::size_t start = 0; start < text.size();) {
    std::size_t end = text.find('\n', start);
    end = end == std::string::npos ? text.size() : end + 1;
    lines.push_back(text.substr(start, end - start));
    start = end;
  }
  return lines;
}

// A key line "[ROOT\path]" (trimmed) of the hive of rootName: the path as written, without
// the root and a trailing backslash ("" for the root key itself).
bool parseKeyLine(const std::string& line, const std::string& rootName, std::string& path,
                  std::string& reason) {
  if (line.back() != ']') {
    reason = "a key line does not end with \"]\"";
    return false;
  }
  const std::string inner = line.substr(1, line.size() - 2);
  const std::size_t slash = inner.find('\\');
  const std::string root = inner.substr(0, slash);
  if (!StringTools::equalsNoCase(root, rootName)) {
    reason = "the key \"" + inner + "\" is not under " + rootName;
    return false;
  }
  path = slash == std::string::npos ? "" : inner.substr(slash + 1);
  if ((slash != std::string::npos && withoutTrailingBackslash(path).empty()) ||
      !RegistryHive::isValidPath(path)) {
    reason = "the key \"" + inner + "\" has an empty name";
    return false;
  }
  path = withoutTrailingBackslash(path);
  return true;
}

// The name of a value line up to its '=': "name" or @ (the unnamed value). `pos` ends after
// the '=' and the blanks behind it.
bool parseValueName(const std::string& line, std::size_t& pos, std::string& name,
                    std::string& reason) {
  pos = 0;
  if (line[0] == '@') {
    pos = 1;
  } else if (!parseQuoted(line, pos, name)) {
    reason = "the value name has no closing quote";
    return false;
  }
  while (pos < line.size() && isBlank(line[pos])) ++pos;
  if (pos >= line.size() || line[pos] != '=') {
    reason = "no \"=\" after the value name";
    return false;
  }
  ++pos;
  while (pos < line.size() && isBlank(line[pos])) ++pos;
  return true;
}

// "text" after the '=' at line[pos]: a string value, stored with its NUL.
bool parseTextData(const std::string& line, std::size_t pos, RegistryHive::Value& value,
                   std::string& reason) {
  std::string data;
  if (!parseQuoted(line, pos, data)) {
    reason = "the text value has no closing quote";
    return false;
  }
  if (!trim(line.substr(pos)).empty()) {
    reason = "text after the closing quote";
    return false;
  }
  value.type = WinRegistry::typeString;
  value.data = data + '\0';
  return true;
}

// dword:N after the '=': four bytes, least significant first.
bool parseDwordData(const std::string& line, std::size_t pos, RegistryHive::Value& value,
                    std::string& reason) {
  uint32_t number = 0;
  if (!parseHexNumber(trim(line.substr(pos + 6)), number)) {
    reason = "a dword value needs 1 to 8 hex digits";
    return false;
  }
  value.type = WinRegistry::typeDword;
  for (int shift = 0; shift < 32; shift += 8) {
    value.data += static_cast<char>((number >> shift) & 0xFF);
  }
  return true;
}

// hex:bytes or hex(N):bytes after the '='. A trailing backslash continues the byte list on
// the next line: `next` (the line's index in `lines`) moves on and the line joins `raw`.
bool parseHexData(const std::string& line, std::size_t pos, const std::vector<std::string>& lines,
                  std::size_t& next, std::string& raw, RegistryHive::Value& value,
                  std::string& reason) {
  pos += 3;
  value.type = WinRegistry::typeBinary;
  if (pos < line.size() && line[pos] == '(') {
    std::size_t close = line.find(')', pos);
    if (close == std::string::npos ||
        !parseHexNumber(line.substr(pos + 1, close - pos - 1), value.type)) {
      reason = "a hex(N) value needs a type number of 1 to 8 hex digits";
      return false;
    }
    pos = close + 1;
  }
  if (pos >= line.size() || line[pos] != ':') {
    reason = "no \":\" after \"hex\"";
    return false;
  }
  std::string bytesText = line.substr(pos + 1);
  while (!bytesText.empty() && bytesText.back() == '\\') {
    bytesText.pop_back();
    if (next + 1 >= lines.size()) {
      reason = "the last line is continued";
      return false;
    }
    ++next;
    raw += lines[next];
    bytesText += trim(lineContent(lines[next]));
  }
  if (!parseHexBytes(bytesText, value.data)) {
    reason = "bytes must be two hex digits separated by commas";
    return false;
  }
  return true;
}

// A value line (trimmed): its name, then its data by kind. `next` and `raw` as for
// parseHexData.
bool parseValueLine(const std::string& line, const std::vector<std::string>& lines,
                    std::size_t& next, std::string& raw, RegistryHive::Value& value,
                    std::string& reason) {
  std::size_t pos = 0;
  if (!parseValueName(line, pos, value.name, reason)) return false;
  if (pos < line.size() && line[pos] == '"') return parseTextData(line, pos, value, reason);
  if (startsWithNoCase(line, pos, "dword:")) return parseDwordData(line, pos, value, reason);
  if (startsWithNoCase(line, pos, "hex")) {
    return parseHexData(line, pos, lines, next, raw, value, reason);
  }
  reason = "unknown kind of value (expected \"text\", dword: or hex:)";
  return false;
}

}  // namespace

RegistryHive::RegistryHive(std::string root) : rootName(std::move(root)) {}

bool RegistryHive::isValidPath(const std::string& path) {
  if (hasBadCharacter(path)) return false;
  std::string trimmed = withoutTrailingBackslash(path);
  if (trimmed.empty()) return true;
  for (const std::string& part : splitPath(trimmed)) {
    if (part.empty()) return false;
  }
  return true;
}

bool RegistryHive::isValidValueName(const std::string& name) { return !hasBadCharacter(name); }

bool RegistryHive::parse(const std::string& text, std::string& error) {
  items.clear();
  newline = "\n";
  hasHeader = false;
  const std::vector<std::string> lines = splitLines(text);
  if (!lines.empty() && lineBreakOf(lines.front()) == "\r\n") newline = "\r\n";

  bool inSection = false;
  std::string currentKey;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    Item item;
    item.raw = lines[i];
    std::string content = lineContent(lines[i]);
    if (i == 0 && content.compare(0, 3, "\xEF\xBB\xBF") == 0) content.erase(0, 3);
    const std::string line = trim(content);

    // Each step leaves a reason when the line is wrong.
    std::string reason;
    if (line.empty() || (hasHeader && line[0] == ';')) {
      // A blank line or a comment: kept as it is.
    } else if (!hasHeader) {
      if (line == kHeader) {
        hasHeader = true;
      } else {
        reason = "the first line is not \"REGEDIT4\"";
      }
    } else if (line[0] == '[') {
      std::string path;
      if (parseKeyLine(line, rootName, path, reason)) {
        item.kind = Kind::Section;
        item.keySpelled = path;
        item.keyLower = StringTools::lowerCopy(path);
        currentKey = item.keyLower;
        inSection = true;
      }
    } else if (line[0] != '"' && line[0] != '@') {
      reason = "not a key, a value or a comment";
    } else if (!inSection) {
      reason = "a value before the first key";
    } else if (parseValueLine(line, lines, i, item.raw, item.value, reason)) {
      item.kind = Kind::Value;
      item.keyLower = currentKey;
    }
    if (!reason.empty()) {
      error = "line " + std::to_string(i + 1) + ": " + reason;
      items.clear();
      hasHeader = false;
      return false;
    }
    items.push_back(std::move(item));
  }
  return true;
}

std::string RegistryHive::text() const {
  std::string result;
  for (const Item& item : items) result += item.raw;
  return result;
}

std::string RegistryHive::normalisedPath(const std::string& path) const {
  return StringTools::lowerCopy(withoutTrailingBackslash(path));
}

bool RegistryHive::hasKey(const std::string& path) const {
  std::string key = normalisedPath(path);
  if (key.empty()) return true;
  for (const Item& item : items) {
    if (item.kind != Kind::Section) continue;
    if (item.keyLower == key ||
        (item.keyLower.size() > key.size() && item.keyLower.compare(0, key.size(), key) == 0 &&
         item.keyLower[key.size()] == '\\')) {
      return true;
    }
  }
  return false;
}

std::vector<RegistryHive::Value> RegistryHive::values(const std::string& path) const {
  std::string key = normalisedPath(path);
  std::vector<Value> result;
  std::unordered_map<std::string, std::size_t> index;
  for (const Item& item : items) {
    if (item.kind != Kind::Value || item.keyLower != key) continue;
    auto found = index.emplace(StringTools::lowerCopy(item.value.name), result.size());
    if (found.second) {
      result.push_back(item.value);
    } else {
      result[found.first->second].type = item.value.type;
      result[found.first->second].data = item.value.data;
    }
  }
  return result;
}

// A new key is spelled like the keys that already share its leading components, so that
// writing "software\kestro\New" next to [..\SOFTWARE\Kestro\Resources] gives SOFTWARE\Kestro\New.
std::string RegistryHive::spelledPath(const std::string& path) const {
  std::vector<std::string> parts = splitPath(withoutTrailingBackslash(path));
  std::vector<std::vector<std::string>> sections;
  for (const Item& item : items) {
    if (item.kind == Kind::Section && !item.keySpelled.empty()) {
      sections.push_back(splitPath(item.keySpelled));
    }
  }
  std::string result;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    std::string spelled = parts[i];
    for (const auto& section : sections) {
      if (section.size() <= i) continue;
      bool same = true;
      for (std::size_t j = 0; j <= i && same; ++j)
        same = StringTools::equalsNoCase(section[j], parts[j]);
      if (same) {
        spelled = section[i];
        break;
      }
    }
    result += (i == 0 ? "" : "\\") + spelled;
  }
  return result;
}

// Ends the text of a last line that has no line break. A stray CR at its end becomes part of
// the CR LF pair, since the parser reads "x\r" at the end of the text as the line "x".
void RegistryHive::terminateLine(std::string& raw) const {
  if (!lineBreakOf(raw).empty()) return;
  raw += !raw.empty() && raw.back() == '\r' ? "\n" : newline;
}

void RegistryHive::ensureEndsWithNewline() {
  if (!items.empty()) terminateLine(items.back().raw);
}

void RegistryHive::insertAt(std::size_t position, Item item) {
  if (position > 0) terminateLine(items[position - 1].raw);
  items.insert(items.begin() + static_cast<std::ptrdiff_t>(position), std::move(item));
}

void RegistryHive::appendSection(const std::string& path) {
  if (!hasHeader) {
    // Nothing but blank lines (and perhaps a byte-order mark) so far: the hive starts here.
    bool mark = !items.empty() && items.front().raw.compare(0, 3, "\xEF\xBB\xBF") == 0;
    items.clear();
    Item header;
    header.raw = (mark ? "\xEF\xBB\xBF" : "") + std::string(kHeader) + newline;
    items.push_back(std::move(header));
    hasHeader = true;
  }
  ensureEndsWithNewline();
  if (!trim(lineContent(items.back().raw)).empty()) {
    Item blank;
    blank.raw = newline;
    items.push_back(std::move(blank));
  }
  Item section;
  section.kind = Kind::Section;
  section.keySpelled = spelledPath(path);
  section.keyLower = normalisedPath(path);
  section.raw = "[" + rootName + (section.keySpelled.empty() ? "" : "\\" + section.keySpelled) +
                "]" + newline;
  items.push_back(std::move(section));
}

bool RegistryHive::createKey(const std::string& path) {
  if (hasKey(path)) return false;
  appendSection(path);
  return true;
}

bool RegistryHive::setValue(const std::string& path, const std::string& name, uint32_t type,
                            const std::string& data) {
  std::string key = normalisedPath(path);
  for (std::size_t i = items.size(); i-- > 0;) {
    Item& item = items[i];
    if (item.kind != Kind::Value || item.keyLower != key ||
        !StringTools::equalsNoCase(item.value.name, name)) {
      continue;
    }
    if (item.value.type == type && item.value.data == data) return false;
    std::string lineBreak = lineBreakOf(item.raw);
    item.raw = formatValue(item.value.name, type, data, lineBreak.empty() ? newline : lineBreak) +
               lineBreak;
    item.value.type = type;
    item.value.data = data;
    return true;
  }

  std::size_t section = items.size();
  for (std::size_t i = items.size(); i-- > 0;) {
    if (items[i].kind == Kind::Section && items[i].keyLower == key) {
      section = i;
      break;
    }
  }
  if (section == items.size()) {
    // The key may exist only as the parent of other keys; it still gets a section of its own.
    appendSection(path);
    section = items.size() - 1;
  }
  std::size_t position = section + 1;
  for (std::size_t i = section + 1; i < items.size() && items[i].kind != Kind::Section; ++i) {
    if (items[i].kind == Kind::Value) position = i + 1;
  }
  Item item;
  item.kind = Kind::Value;
  item.keyLower = key;
  item.value = Value{name, type, data};
  item.raw = formatValue(name, type, data, newline) + newline;
  insertAt(position, std::move(item));
  return true;
}

std::string RegistryHive::formatValue(const std::string& name, uint32_t type,
                                      const std::string& data, const std::string& newline) {
  static const char digits[] = "0123456789abcdef";
  std::string line = (name.empty() ? std::string("@") : quote(name)) + "=";
  if (type == WinRegistry::typeString && isQuotable(data))
    return line + quote(data.substr(0, data.size() - 1));
  if (type == WinRegistry::typeDword && data.size() == 4) {
    line += "dword:";
    for (int i = 3; i >= 0; --i) {
      auto byte = static_cast<unsigned char>(data[static_cast<std::size_t>(i)]);
      line += digits[byte >> 4];
      line += digits[byte & 15];
    }
    return line;
  }
  if (type == WinRegistry::typeBinary) {
    line += "hex:";
  } else {
    std::string number;
    for (uint32_t rest = type; rest != 0 || number.empty(); rest /= 16)
      number.insert(number.begin(), digits[rest % 16]);
    line += "hex(" + number + "):";
  }
  // Wrapped like regedit does: at most about 80 columns, continued lines indented by two.
  std::string result;
  for (std::size_t i = 0; i < data.size(); ++i) {
    auto byte = static_cast<unsigned char>(data[i]);
    std::string token{digits[byte >> 4], digits[byte & 15]};
    if (i + 1 < data.size()) token += ',';
    if (line.size() + token.size() > 77 && line.back() == ',') {
      result += line + "\\" + newline;
      line = "  ";
    }
    line += token;
  }
  return result + line;
}

// ---- Hive files -------------------------------------------------------------------------------

namespace {

long errorFromErrno(int error) {
  switch (error) {
  case ENOENT:
  case ENOTDIR:
    return kRegNotFound;
  case EACCES:
  case EPERM:
  case EROFS:
    return kRegAccessDenied;
  case ENOMEM:
    return kRegOutOfMemory;
  default:
    return kRegGeneralFailure;
  }
}

std::string errorText(const std::string& path, int error) {
  // EINVAL is what the regular-file checks below report for a FIFO, device or socket.
  if (error == EINVAL) return path + ": not a regular file";
  return path + ": " + std::strerror(error);
}

std::string homeDirectory() {
  const char* home = std::getenv("HOME");
  if (home != nullptr && *home != '\0') return home;
  const passwd* entry = getpwuid(geteuid());
  return entry != nullptr && entry->pw_dir != nullptr ? entry->pw_dir : "";
}

bool lockFile(int fd, int operation) {
  while (flock(fd, operation) != 0) {
    if (errno != EINTR) return false;
  }
  return true;
}

bool readAll(int fd, std::string& text) {
  text.clear();
  char buffer[65536];
  while (true) {
    ssize_t count = ::read(fd, buffer, sizeof buffer);
    if (count < 0 && errno == EINTR) continue;
    if (count < 0) return false;
    if (count == 0) return true;
    text.append(buffer, static_cast<std::size_t>(count));
  }
}

// mkdir -p: every missing directory of `directory` is created.
bool makeDirectories(const std::string& directory) {
  for (std::size_t slash = directory.find('/', 1);; slash = directory.find('/', slash + 1)) {
    std::string part = directory.substr(0, slash);
    if (!part.empty() && ::mkdir(osPath(part).c_str(), 0755) != 0 && errno != EEXIST) return false;
    if (slash == std::string::npos) return true;
  }
}

// Whether an open descriptor is a regular file; O_NONBLOCK, with which a FIFO was opened
// without waiting, is cleared again for a regular file.
bool isRegular(int fd) {
  struct stat status {};
  return ::fstat(fd, &status) == 0 && S_ISREG(status.st_mode) &&
         ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) == 0;
}

class FileDescriptor {
 public:
  explicit FileDescriptor(int descriptor = -1) : fd(descriptor) {}
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  ~FileDescriptor() { reset(); }
  void reset(int descriptor = -1) {
    if (fd >= 0) ::close(fd);
    fd = descriptor;
  }
  int get() const { return fd; }
  int release() {
    int descriptor = fd;
    fd = -1;
    return descriptor;
  }

 private:
  int fd;
};

// The parsed text of the hive at `path`; kRegCorrupt, naming file and line, when it does not
// parse.
long parseHive(const std::string& path, const std::string& text, RegistryHive& hive,
               std::string& detail) {
  std::string error;
  if (hive.parse(text, error)) return kRegSuccess;
  detail = path + " is not a valid REGEDIT4 hive: " + error;
  return kRegCorrupt;
}

// Opens the hive for reading and writing, creating a missing one and, once per update
// (`madeDirectory`), its missing directories. Only a regular file is taken.
long openHiveForUpdate(const std::string& path, bool& madeDirectory, FileDescriptor& file,
                       std::string& detail) {
  while (true) {
    file.reset(::open(osPath(path).c_str(), O_RDWR | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0644));
    if (file.get() >= 0) {
      if (isRegular(file.get())) return kRegSuccess;
      detail = errorText(path, EINVAL);
      return kRegGeneralFailure;
    }
    int error = errno;
    if (error == ENOENT && !madeDirectory) {
      madeDirectory = true;
      std::size_t slash = path.rfind('/');
      if (slash != std::string::npos && slash > 0 && makeDirectories(path.substr(0, slash)))
        continue;
      error = errno;
    }
    detail = errorText(path, error);
    return errorFromErrno(error);
  }
}

// Takes the exclusive lock on the opened hive. A writer that held the lock before us may have
// renamed a new hive over the file we opened; then our descriptor names the old text,
// `renamedOver` is set and the caller must open the hive again.
long lockOpenedHive(const std::string& path, int file, bool& renamedOver, std::string& detail) {
  struct stat opened {};
  struct stat current {};
  if (!lockFile(file, LOCK_EX) || ::fstat(file, &opened) != 0) {
    const int error = errno;
    detail = errorText(path, error);
    return errorFromErrno(error);
  }
  renamedOver = ::stat(osPath(path).c_str(), &current) != 0 || current.st_ino != opened.st_ino ||
                current.st_dev != opened.st_dev;
  return kRegSuccess;
}

// Where the new text goes: a hive that is a symbolic link stays one, and the file it points
// to is replaced.
std::string replacementTarget(const std::string& path) {
  struct stat link {};
  if (::lstat(osPath(path).c_str(), &link) != 0 || !S_ISLNK(link.st_mode)) return path;
  std::unique_ptr<char, decltype(&std::free)> resolved(::realpath(osPath(path).c_str(), nullptr),
                                                       &std::free);
  return resolved ? std::string(resolved.get()) : path;
}

// Replaces the hive's file by the new text, durably: a hive holds an administrator's settings
// and is written seldom. The new file keeps the mode and owner of the locked one.
long writeHive(const std::string& target, const std::string& text, int locked,
               std::string& detail) {
  FileReplaceOptions options;
  options.durable = true;
  options.attributesOf = locked;
  const FileReplaceResult result = replaceFileContent(target, text, options);
  if (result) return kRegSuccess;
  detail = errorText(result.path, result.error);
  return errorFromErrno(result.error);
}

}  // namespace

std::string hivePath(const std::string& rootName) {
  const char* dir = std::getenv("KESTRO_REGISTRY_DIR");
  std::string directory;
  if (dir != nullptr && *dir != '\0') {
    directory = dir;
  } else if (rootName == "HKEY_CURRENT_USER") {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    directory = (config != nullptr && *config != '\0' ? std::string(config)
                                                      : homeDirectory() + "/.config") +
                "/kestro";
  } else {
    directory = "/etc/kestro";
  }
  if (directory.size() > 1 && directory.back() == '/') directory.pop_back();
  return directory + "/" + rootName + ".reg";
}

long readHiveFile(const std::string& rootName, RegistryHive& hive, std::string& detail) {
  try {
    std::string path = hivePath(rootName);
    // A hive is a regular file: a FIFO would stop the program for good, a device would be
    // read without end.
    FileDescriptor in(openRegularFile(path));
    if (in.get() < 0) {
      detail = errorText(path, errno);
      return errorFromErrno(errno);
    }
    std::string text;
    if (!lockFile(in.get(), LOCK_SH) || !readAll(in.get(), text)) {
      detail = errorText(path, errno);
      return errorFromErrno(errno);
    }
    in.reset();
    return parseHive(path, text, hive, detail);
  } catch (const std::bad_alloc&) {
    return kRegOutOfMemory;
  }
}

long updateHiveFile(const std::string& rootName,
                    const std::function<long(RegistryHive& hive, bool& changed)>& change,
                    std::string& detail) {
  try {
    const std::string path = hivePath(rootName);
    bool madeDirectory = false;
    while (true) {
      FileDescriptor file;
      long result = openHiveForUpdate(path, madeDirectory, file, detail);
      if (result != kRegSuccess) return result;
      bool renamedOver = false;
      result = lockOpenedHive(path, file.get(), renamedOver, detail);
      if (result != kRegSuccess) return result;
      if (renamedOver) continue;
      std::string text;
      if (!readAll(file.get(), text)) {
        const int error = errno;
        detail = errorText(path, error);
        return errorFromErrno(error);
      }
      RegistryHive hive(rootName);
      result = parseHive(path, text, hive, detail);
      if (result != kRegSuccess) return result;
      bool changed = false;
      result = change(hive, changed);
      if (result != kRegSuccess || !changed) return result;
      // The lock is held until the new hive is in place.
      return writeHive(replacementTarget(path), hive.text(), file.get(), detail);
    }
  } catch (const std::bad_alloc&) {
    return kRegOutOfMemory;
  }
}

}  // namespace KestroCorelib::platform
