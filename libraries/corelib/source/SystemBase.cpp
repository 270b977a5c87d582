#include "SystemBase.h"

#include <cerrno>
#include <cstdlib>
#include <functional>
#include <map>
#include <set>
#include <vector>

#include "ConfAgent.h"
#include "Logger.h"
#include "StringTools.h"
#include "WinRegistry.h"
#include "platform/PlatformSystem.h"

namespace KestroCorelib {

namespace {

std::string join(const std::vector<std::string>& list) {
  std::string text;
  for (std::size_t i = 0; i < list.size(); ++i) text += (i == 0 ? "" : "\n") + list[i];
  return text;
}

std::string join(const std::set<std::string>& names) {
  return join(std::vector<std::string>(names.begin(), names.end()));
}

std::set<std::string> groups() {
  std::vector<std::string> names = platform::localGroups();
  return std::set<std::string>(names.begin(), names.end());
}

// Members without their "domain\" part, sorted, no duplicates.
std::set<std::string> groupUsers(const std::string& group) {
  std::set<std::string> users;
  for (const std::string& member : platform::localGroupMembers(group)) {
    std::size_t backslash = member.find('\\');
    users.insert(backslash == std::string::npos ? member : member.substr(backslash + 1));
  }
  return users;
}

std::set<std::string> userGroups(const std::string& user) {
  std::set<std::string> result;
  for (const std::string& group : groups()) {
    if (groupUsers(group).count(user) != 0) result.insert(group);
  }
  return result;
}

std::string addresses() {
  std::vector<std::string> list;
  for (uint32_t address : platform::ipv4Addresses()) {
    if (address == 0x7F000001) continue;  // 127.0.0.1 only; 127.0.0.2 is listed
    list.push_back(std::to_string(address >> 24) + "." + std::to_string((address >> 16) & 255) +
                   "." + std::to_string((address >> 8) & 255) + "." +
                   std::to_string(address & 255));
  }
  return join(list);
}

std::string diskSerial(const std::string& path) {
  uint64_t serial = 0;
  return platform::volumeSerial(path, serial) ? std::to_string(serial) : "[unknown]";
}

std::string cachedNumber(SystemInfo::Item item) {
  return StringTools::toString(StringTools::toUInt64(SystemInfo::get(item)));
}

using Answer = std::function<std::string(const std::string& parameter)>;

const std::map<std::string, Answer>& queryTable() {
  static const std::map<std::string, Answer> table = [] {
    auto cached = [](SystemInfo::Item item) -> Answer {
      return [item](const std::string&) { return SystemInfo::get(item); };
    };
    std::map<std::string, Answer> answers = {
        {"hostname", cached(SystemInfo::HostName)},
        {"machinename", cached(SystemInfo::MachineName)},
        {"platform", cached(SystemInfo::Platform)},
        {"os", cached(SystemInfo::OsName)},
        {"osversion", [](const std::string&) { return cachedNumber(SystemInfo::OsVersionNumber); }},
        {"oslang", cached(SystemInfo::OsLanguage)},
        {"keyboardlang", cached(SystemInfo::KeyboardLanguage)},
        {"keyboardtype", cached(SystemInfo::KeyboardType)},
        {"arch", cached(SystemInfo::Architecture)},
        {"domain", cached(SystemInfo::Domain)},
        {"currentuser", cached(SystemInfo::CurrentUser)},
        {"osbits", [](const std::string&) { return cachedNumber(SystemInfo::OsBits); }},
        {"groups", [](const std::string&) { return join(groups()); }},
        {"groupusers", [](const std::string& group) { return join(groupUsers(group)); }},
        {"usergroups", [](const std::string& user) { return join(userGroups(user)); }},
        {"ip", [](const std::string&) { return addresses(); }},
        {"diskserial", diskSerial},
    };
    return answers;
  }();
  return table;
}

int32_t querySystemString(SystemQueryParam& parameter) {
  std::string key = parameter.key;
  std::string argument;
  std::size_t dot = key.find('.');
  if (dot != std::string::npos) {
    argument = key.substr(dot + 1);
    key.erase(dot);
  }
  parameter.key = key;
  auto found = queryTable().find(key);
  if (found == queryTable().end()) {
    parameter.status = SystemQueryParam::StatusNotFound;
    return ImsAnswer::handled;
  }
  // A query without a text to fill cannot be answered.
  if (parameter.value == nullptr) {
    parameter.status = SystemQueryParam::StatusUnsupported;
    return ImsAnswer::handled;
  }
  *static_cast<std::string*>(parameter.value) = found->second(argument);
  return ImsAnswer::handledStop;
}

// ---- Local values -----------------------------------------------------------------------------

// The status codes of local values cannot say why a registry access failed (a hive that is
// not valid names its file and line only in the exception), so the exception is logged as a
// warning for whoever listens to log records.
Logger& logger() {
  static Logger* log = [] {
    auto* made = new Logger();  // lives until the process ends, like the bus it posts to
    made->setSourceName("systembase");
    return made;
  }();
  return *log;
}

struct LocalKey {
  std::string root;
  std::string path;
  std::string name;
};

LocalKey localKey(const SystemQueryParam& parameter) {
  LocalKey key;
  key.root = parameter.userScope && SystemInfo::get(SystemInfo::CurrentUser) != "SYSTEM"
                 ? "HKEY_CURRENT_USER"
                 : "HKEY_LOCAL_MACHINE";
  std::size_t backslash = parameter.key.rfind('\\');
  key.name = backslash == std::string::npos ? parameter.key : parameter.key.substr(backslash + 1);
  std::string relative = backslash == std::string::npos ? "" : parameter.key.substr(0, backslash);
  key.path = relative.empty() ? "SOFTWARE\\Kestro" : "SOFTWARE\\Kestro\\" + relative;
  return key;
}

// Whether the whole text (blanks around it allowed) is a number of the kind asked for. The
// number conversions clamp or stop early; a stored value that is no number must not become a
// silent 0 or a clamped limit, so it is checked here first.
bool isNumber(const std::string& stored, int32_t type) {
  std::string text = stored;
  StringTools::trim(text);
  if (text.empty()) return false;
  const char* begin = text.c_str();
  char* end = nullptr;
  errno = 0;
  if (type == ConfNode::TypeLocalInt) {
    if (text.find_first_not_of("-0123456789") != std::string::npos) return false;
    (void)std::strtoll(begin, &end, 10);
  } else if (type == ConfNode::TypeLocalUint) {
    if (text.find_first_not_of("0123456789") != std::string::npos) return false;
    (void)std::strtoull(begin, &end, 10);
  } else {
    // The conversion that reads the value below: the C library's own follows the locale the
    // toolkit set, where the decimal point may be ','. A huge float becomes the largest
    // finite one.
    std::size_t used = 0;
    (void)StringTools::toDouble(text, used);
    return used == text.size();
  }
  return errno != ERANGE && end == begin + text.size();
}

int32_t queryLocal(SystemQueryParam& parameter) {
  LocalKey key = localKey(parameter);
  try {
    if (parameter.type == ConfNode::TypeLocalSet) {
      std::vector<std::string> list =
          WinRegistry::getStringList(key.root, key.path, key.name, false);
      if (parameter.value != nullptr)
        *static_cast<std::vector<std::string>*>(parameter.value) = list;
      return ImsAnswer::handledStop;
    }
    std::string text = WinRegistry::getString(key.root, key.path, key.name, false);
    if (parameter.type != ConfNode::TypeLocalString && !isNumber(text, parameter.type)) {
      parameter.status = SystemQueryParam::StatusWrongType;
      return ImsAnswer::handledStop;
    }
    if (parameter.value == nullptr) return ImsAnswer::handledStop;
    switch (parameter.type) {
    case ConfNode::TypeLocalInt:
      *static_cast<int64_t*>(parameter.value) = StringTools::toInt64(StringTools::trim(text));
      break;
    case ConfNode::TypeLocalUint:
      *static_cast<uint64_t*>(parameter.value) = StringTools::toUInt64(StringTools::trim(text));
      break;
    case ConfNode::TypeLocalFloat:
      *static_cast<double*>(parameter.value) = StringTools::toDouble(text);
      break;
    default:
      *static_cast<std::string*>(parameter.value) = text;
      break;
    }
  } catch (const WinRegistry::Get_NotFound&) {
    parameter.status = SystemQueryParam::StatusNotFound;
  } catch (const WinRegistry::Get_BadArguments&) {
    parameter.status = SystemQueryParam::StatusNotFound;
  } catch (const WinRegistry::Get_WrongType&) {
    parameter.status = SystemQueryParam::StatusWrongType;
  } catch (const Exception& e) {
    logger().logException(LogLevel::warning, e);
    parameter.status = SystemQueryParam::StatusNoAccess;
    try {
      parameter.causes.push_back(e);
    } catch (const std::bad_alloc&) {
      // The status alone still tells the requester that the access failed.
    }
  } catch (const std::bad_alloc&) {
    parameter.status = SystemQueryParam::StatusNoAccess;
  }
  return ImsAnswer::handledStop;
}

int32_t setLocal(SystemQueryParam& parameter) {
  LocalKey key = localKey(parameter);
  if (parameter.value == nullptr) {
    parameter.status = SystemQueryParam::StatusSetFailed;
    return ImsAnswer::handledStop;
  }
  try {
    switch (parameter.type) {
    case ConfNode::TypeLocalInt:
      WinRegistry::setString(key.root, key.path, key.name,
                             StringTools::toString(*static_cast<const int64_t*>(parameter.value)),
                             false);
      break;
    case ConfNode::TypeLocalUint:
      WinRegistry::setString(key.root, key.path, key.name,
                             StringTools::toString(*static_cast<const uint64_t*>(parameter.value)),
                             false);
      break;
    case ConfNode::TypeLocalFloat:
      WinRegistry::setString(key.root, key.path, key.name,
                             StringTools::toString(*static_cast<const double*>(parameter.value)),
                             false);
      break;
    case ConfNode::TypeLocalString:
      WinRegistry::setString(key.root, key.path, key.name,
                             *static_cast<const std::string*>(parameter.value), false);
      break;
    default:
      WinRegistry::setStringList(key.root, key.path, key.name,
                                 *static_cast<const std::vector<std::string>*>(parameter.value),
                                 false);
      break;
    }
  } catch (const WinRegistry::Set_AccessDenied&) {
    parameter.status = SystemQueryParam::StatusSetAccessDenied;
  } catch (const Exception& e) {
    logger().logException(LogLevel::warning, e);
    parameter.status = SystemQueryParam::StatusSetFailed;
  } catch (const std::bad_alloc&) {
    parameter.status = SystemQueryParam::StatusSetFailed;
  }
  return ImsAnswer::handledStop;
}

bool isLocalType(int32_t type) {
  return type >= ConfNode::TypeLocalInt && type <= ConfNode::TypeLocalSet;
}

}  // namespace

// ---- SystemInfo ---------------------------------------------------------------------------------

std::string SystemInfo::get(Item item) {
  // Filled once, without a lock: the system asks from its main thread only.
  static std::map<int, std::string> cache;
  static bool filled = false;
  if (!filled) {
    filled = true;  // whatever a fill leaves missing stays missing; it is not tried again
    std::map<int, std::string> items;
    platform::fillSystemFacts(items);
    const std::string host = items[HostName];
    const std::string domain = items[Domain];
    // PC-SALES in the group SALES is the machine PC; a host named like its group keeps its name.
    items[MachineName] = host;
    if (!domain.empty() && domain.size() < host.size() &&
        host.compare(host.size() - domain.size(), domain.size(), domain) == 0) {
      items[MachineName] = host.substr(0, host.size() - domain.size() - 1);
    }
    items[OsBits] = std::to_string(sizeof(void*) * 8);
    items[Platform] = platform::platformName() + "-" + items[OsBits];
    std::string display;
    if (StringTools::getEnv("DISPLAY", display)) {
      items[ClientName] = display;
    } else {
      std::string remote = platform::remoteClientName();
      items[ClientName] = remote.empty() ? host : remote;
    }
    cache = items;
  }
  auto found = cache.find(item);
  return found == cache.end() ? std::string() : found->second;
}

std::string specialFolder(int folder) {
  if (folder < SpecialFolder::Documents || folder > SpecialFolder::CommonTemp) return "";
  bool temp = folder == SpecialFolder::UserTemp || folder == SpecialFolder::CommonTemp;
  if (folder == SpecialFolder::UserTemp) folder = SpecialFolder::AppData;
  if (folder == SpecialFolder::CommonTemp) folder = SpecialFolder::CommonAppData;
  std::string path = platform::shellFolder(folder);
  if (path.empty()) return "";
  if (path.back() == '\\') path.pop_back();
  return temp ? path + "\\Kestro\\temp" : path;
}

// ---- SystemBase ---------------------------------------------------------------------------------

SystemBase::SystemBase() : ImsAgent("system-base") {
  try {
    queryHook = setMessageHook(false, "system", "query", "", 1);
    setHook = setMessageHook(false, "system", "set", "", 1);
  } catch (const Exception& e) {
    // The destructor will not run: a hook left behind would call a dead agent.
    if (queryHook != 0) removeMessageHook(queryHook);
    throw SystemBase_FailedToSetIMSHook(KESTRO_SOURCE_TAG, e);
  }
}

SystemBase::~SystemBase() {
  try {
    removeMessageHook(queryHook);
    removeMessageHook(setHook);
  } catch (const Exception&) {
    // A destructor must not throw; a hook not removed stays.
  }
}

int32_t SystemBase::receiveHookedMessage(uint64_t hookId, ImsMessage& message) {
  if (hookId != queryHook && hookId != setHook) return ImsAnswer::notHandled;
  return receiveMessage(message);
}

int32_t SystemBase::receiveMessage(ImsMessage& message) {
  if (message.generalType != "system") return ImsAnswer::notHandled;
  bool query = message.groupType == "query";
  if (!query && message.groupType != "set") return ImsAnswer::notHandled;
  auto* parameter = dynamic_cast<SystemQueryParam*>(message.parameter);
  if (parameter == nullptr) return ImsAnswer::notHandled;
  if (query) {
    if (parameter->type == ConfNode::TypeSystemString) return querySystemString(*parameter);
    if (isLocalType(parameter->type)) return queryLocal(*parameter);
    parameter->status = SystemQueryParam::StatusUnsupported;
    return ImsAnswer::handled;
  }
  if (isLocalType(parameter->type)) return setLocal(*parameter);
  parameter->status = SystemQueryParam::StatusSetFailed;
  return ImsAnswer::handledStop;
}

}  // namespace KestroCorelib
