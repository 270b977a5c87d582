#pragma once
// System information: the process-wide cache of machine, system and user facts, the shell
// folders, and the bus agent that answers configuration queries of the general type "system".
//
//   std::string user = SystemInfo::get(SystemInfo::CurrentUser);      // "alice"
//   std::string programs = specialFolder(SpecialFolder::ProgramFiles); // "/opt", "C:\Program
//   Files"
//
//   SystemBase system;   // answers "system"/"query" and "system"/"set" from now on
//   ConfAgent agent;
//   agent.getLocalString("Resources\\InstallDir", false);   // HKEY_LOCAL_MACHINE registry value
//
// The system-string queries (type code 16) name what they want by a key, optionally followed
// by "." and a parameter: "hostname", "machinename", "platform", "os", "osversion", "oslang",
// "keyboardlang", "keyboardtype", "arch", "domain", "currentuser", "osbits" (from the cache),
// and "groups", "groupusers.GROUP", "usergroups.USER", "ip", "diskserial.PATH" (worked out on
// every query). Keys are case-sensitive. List answers are one text, elements separated by a
// line feed ("a\nb"), sorted where the answer is a set; an empty list is "".
//
// Local values (type codes 17 to 21) live in the registry under SOFTWARE\Kestro, below
// HKEY_CURRENT_USER when the query is user-scoped and the user is not "SYSTEM", otherwise below
// HKEY_LOCAL_MACHINE. The key "Resources\InstallDir" is the value InstallDir of
// SOFTWARE\Kestro\Resources (see WinRegistry::mapResourcePath for KESTRO_ENV). The value
// object that SystemQueryParam::value points at is, by type code:
//   16, 20: std::string    17: int64_t    18: uint64_t    19: double
//   21: std::vector<std::string> (stored as REG_MULTI_SZ)
// Numbers are stored as decimal text (REG_SZ); a stored text that is not such a number reads
// as status 4 (wrong type) and leaves the value object untouched.
// A registry failure behind status 6 or 11 is also posted as a warning log record (source
// "systembase"), which names, for example, the hive file and line that is not valid.
#include <cstdint>
#include <string>

#include "Exception.h"
#include "Ims.h"

namespace KestroCorelib {

class SystemInfo {
 public:
  enum Item : int {
    HostName = 0,
    MachineName = 1,      // HostName without a trailing ".Domain"-like suffix
    Platform = 2,         // "linux-64", "windows-32"
    OsName = 3,           // "linux_6.1", "windows_7_x64_sp1"
    OsVersionNumber = 4,  // major * 100 + minor
    OsLanguage = 5,       // "de_DE:de", "US:us", "[unknown]"
    KeyboardLanguage = 6,
    KeyboardType = 7,  // "4(0,12)"
    Architecture = 8,  // "amd64", "i686", "arm64"
    Domain = 9,
    CurrentUser = 10,  // logon name of the effective user
    SessionId = 11,    // unsigned decimal, "" when unknown
    ClientName = 12,   // DISPLAY when set (even empty), else the remote client, else HostName
    OsBits = 13,       // pointer width of this program
    ByteOrder = 14,    // "little" or "big"
    OsMajor = 15,
    OsMinor = 16,
  };

  // The item's text. The first call learns every item at once; the answers never change
  // afterwards. An item the system could not tell reads as "" (or its failure text).
  static std::string get(Item item);
};

// Shell folder numbers for specialFolder.
namespace SpecialFolder {
enum : int {
  Documents = 0,
  Desktop = 1,
  AppData = 2,
  StartMenu = 3,
  Programs = 4,
  Startup = 5,
  UserTemp = 6,  // AppData + "\Kestro\temp"
  CommonDocuments = 7,
  CommonStartMenu = 8,
  CommonPrograms = 9,
  CommonStartup = 10,
  CommonDesktop = 11,
  CommonAppData = 12,
  Fonts = 13,
  WindowsDir = 14,
  SystemDir = 15,
  ProgramFiles = 16,
  ProgramFilesCommon = 17,
  CommonTemp = 18,  // CommonAppData + "\Kestro\temp"
};
}

// The folder's path without a trailing backslash; "" for a number outside 0 to 18, a folder
// this system does not have, or a failed lookup. The folder is not created.
std::string specialFolder(int folder);

// The agent "system-base": answers "system"/"query" and "system"/"set" broadcasts whose
// payload is a SystemQueryParam (ConfAgent.h).
class SystemBase : public ImsAgent {
 public:
  // Setting a hook failed; the bus's exception is nested.
  KESTRO_EXCEPTION(SystemBase_FailedToSetIMSHook);

  SystemBase();
  ~SystemBase() override;

  // 1 when the message is not a "system" query or set; otherwise the status goes into the
  // parameter and the result is 3 (answered), or 2 for a query it cannot serve (status 3 for
  // an unknown system key, 5 for an unsupported type code). A set of a type other than 17 to
  // 21 gives status 11 and 3.
  int32_t receiveMessage(ImsMessage& message) override;
  // receiveMessage for the agent's own two hooks, 1 for any other.
  int32_t receiveHookedMessage(uint64_t hookId, ImsMessage& message) override;

 private:
  uint64_t queryHook = 0;
  uint64_t setHook = 0;
};

}  // namespace KestroCorelib
