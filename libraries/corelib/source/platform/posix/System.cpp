// WARNING: only generic POSIX code belongs in this folder.
// Where each fact comes from on POSIX: the user and group databases, uname, gethostname,
// getdomainname, the audit session of /proc, the locale variables, getifaddrs and statvfs.
#include <arpa/inet.h>
#include <grp.h>
#include <ifaddrs.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/statvfs.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>

#include "platform/PlatformFiles.h"
#include "platform/PlatformSystem.h"

namespace KestroCorelib::platform {

namespace {

bool allDigits(const std::string& text) {
  return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
}

std::string environment(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

// The audit login session; 4294967295 means the process has none.
std::string sessionId() {
  std::ifstream in("/proc/self/sessionid");
  std::string text;
  if (in >> text && allDigits(text) && text.size() <= 10 && std::stoull(text) != 4294967295ULL) {
    return std::to_string(std::stoull(text));
  }
  std::string fromSession = environment("XDG_SESSION_ID");
  return allDigits(fromSession) ? fromSession : "";
}

// "de_DE.UTF-8" (from LC_ALL, else LANG) gives "de_DE:de"; the C locale names no language.
std::string language() {
  std::string locale = environment("LC_ALL");
  if (locale.empty()) locale = environment("LANG");
  locale = locale.substr(0, locale.find_first_of(".@"));
  if (locale.empty() || locale == "C" || locale == "POSIX") return "[unknown]";
  return locale + ":" + locale.substr(0, locale.find('_'));
}

// The machine names of i386 to i686 already read "i" + processor type, as on Windows.
std::string architecture(const std::string& machine) {
  if (machine == "x86_64") return "amd64";
  if (machine == "aarch64") return "arm64";
  return machine;
}

// The leading decimal number of text from pos; pos moves past it and one following '.'.
std::string leadingNumber(const std::string& text, std::size_t& pos) {
  std::size_t start = pos;
  while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') ++pos;
  std::string number = text.substr(start, pos - start);
  if (pos < text.size() && text[pos] == '.') ++pos;
  return number.empty() || number.size() > 9 ? "0" : std::to_string(std::stoul(number));
}

std::string userName(uid_t uid) {
  const passwd* entry = getpwuid(uid);
  return entry != nullptr && entry->pw_name != nullptr ? entry->pw_name : "[unknown]";
}

}  // namespace

void fillSystemFacts(std::map<int, std::string>& items) {
  char buffer[257] = {};
  if (gethostname(buffer, sizeof buffer - 1) == 0) items[0] = buffer;

  std::memset(buffer, 0, sizeof buffer);
  if (getdomainname(buffer, sizeof buffer - 1) == 0) {
    items[9] = std::strcmp(buffer, "(none)") == 0 ? "" : buffer;
  }

  utsname names{};
  if (uname(&names) == 0) {
    items[8] = architecture(names.machine);
    std::string release = names.release;
    std::size_t pos = 0;
    std::string major = leadingNumber(release, pos);
    std::string minor = leadingNumber(release, pos);
    items[15] = major;
    items[16] = minor;
    items[4] = std::to_string(std::stoul(major) * 100 + std::stoul(minor));
    items[3] = "linux_" + major + "." + minor;
  } else {
    items[3] = "linux_unknown";
  }

  items[5] = language();
  items[6] = items[5];
  items[7] = "0(0,0)";
  items[10] = userName(geteuid());
  items[11] = sessionId();
  const uint16_t probe = 1;
  unsigned char first = 0;
  std::memcpy(&first, &probe, 1);
  items[14] = first == 1 ? "little" : "big";
}

std::string platformName() { return "linux"; }

std::string remoteClientName() {
  std::string client = environment("SSH_CLIENT");
  return client.substr(0, client.find(' '));
}

std::vector<std::string> localGroups() {
  std::vector<std::string> names;
  setgrent();
  while (const group* entry = getgrent()) names.push_back(entry->gr_name);
  endgrent();
  return names;
}

std::vector<std::string> localGroupMembers(const std::string& groupName) {
  std::vector<std::string> members;
  const group* entry = getgrnam(groupName.c_str());
  if (entry == nullptr) return members;
  gid_t id = entry->gr_gid;
  for (char** member = entry->gr_mem; member != nullptr && *member != nullptr; ++member) {
    members.push_back(*member);
  }
  // Users whose primary group it is belong to it as well, though /etc/group does not list them.
  setpwent();
  while (const passwd* user = getpwent()) {
    if (user->pw_gid == id) members.push_back(user->pw_name);
  }
  endpwent();
  return members;
}

std::vector<uint32_t> ipv4Addresses() {
  std::vector<uint32_t> addresses;
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) return addresses;
  for (const ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
    if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_INET) continue;
    sockaddr_in address{};
    std::memcpy(&address, entry->ifa_addr, sizeof address);
    addresses.push_back(ntohl(address.sin_addr.s_addr));
  }
  freeifaddrs(list);
  return addresses;
}

bool volumeSerial(const std::string& path, uint64_t& serial) {
  struct statvfs info {};
  if (statvfs(osPath(path).c_str(), &info) != 0) return false;
  serial = static_cast<uint64_t>(info.f_fsid);
  return true;
}

std::string shellFolder(int folder) {
  std::string home = environment("HOME");
  if (home.empty()) {
    const passwd* entry = getpwuid(geteuid());
    if (entry != nullptr && entry->pw_dir != nullptr) home = entry->pw_dir;
  }
  switch (folder) {
  case 0:  // Documents
    return home.empty() ? "" : home + "/Documents";
  case 1:  // Desktop
    return home.empty() ? "" : home + "/Desktop";
  case 2: {  // AppData
    std::string config = environment("XDG_CONFIG_HOME");
    if (!config.empty()) return config;
    return home.empty() ? "" : home + "/.config";
  }
  case 12:  // CommonAppData
    return "/etc";
  case 16:  // ProgramFiles
  case 17:  // ProgramFilesCommon
    return "/opt";
  default:  // start menus, fonts, Windows and system directories have no counterpart
    return "";
  }
}

}  // namespace KestroCorelib::platform
