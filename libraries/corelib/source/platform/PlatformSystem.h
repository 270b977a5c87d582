#pragma once
// System-information doors of the core library: the facts about machine, system and user that
// SystemInfo caches, the group, address and volume queries, and the shell folders. The shared
// code (SystemBase.cpp) derives MachineName, Platform, ClientName and the list answers from
// these; everything here only asks the operating system.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace KestroCorelib::platform {

// Fills the items this platform knows, by SystemInfo item number: HostName (0), OsName (3),
// OsVersionNumber (4), OsLanguage (5), KeyboardLanguage (6), KeyboardType (7),
// Architecture (8), Domain (9), CurrentUser (10), SessionId (11), ByteOrder (14), OsMajor (15),
// OsMinor (16). An item the platform cannot learn is left out (it then reads as empty) or set
// to the fixed failure text its definition names.
void fillSystemFacts(std::map<int, std::string>& items);

// "linux" or "windows": the first part of the Platform item.
std::string platformName();

// The name of the remote client the user sits at, "" when none is known (POSIX: the first
// word of SSH_CLIENT; Windows: the terminal-services client name).
std::string remoteClientName();

// The names of all local groups, in no particular order.
std::vector<std::string> localGroups();

// The members of a local group as the system names them (possibly "domain\name"); empty when
// the group does not exist or cannot be read.
std::vector<std::string> localGroupMembers(const std::string& group);

// The IPv4 addresses of all interfaces in the system's order, each as four bytes, first octet
// first; the loopback address included.
std::vector<uint32_t> ipv4Addresses();

// The serial number of the volume holding `path` (POSIX: the file-system id); false on failure.
bool volumeSerial(const std::string& path, uint64_t& serial);

// The path of a shell folder by its folder number (0 Documents ... 17 ProgramFilesCommon, see
// SystemBase.h; never 6 or 18), "" when it has none or the lookup fails.
std::string shellFolder(int folder);

}  // namespace KestroCorelib::platform
