#include "Ims.h"

#include <mutex>
#include <new>
#include <tuple>
#include <utility>
#include <vector>

#include "Logger.h"
#include "ParamStream.h"
#include "StringTools.h"

namespace KestroCorelib {

namespace {

std::string dumpMessage(const ImsMessage& message) {
  return "\tGeneral type: " + message.generalType + "\n\tGroup type  : " + message.groupType +
         "\n\tMessage type: " + message.messageType;
}

// Takes a ThreadLock for one scope; the bus takes it in blocking mode, which cannot fail.
class HookLockGuard {
 public:
  explicit HookLockGuard(ThreadLock& lock) : lock_(lock) { lock_.lock(true); }
  ~HookLockGuard() { lock_.unlock(); }
  HookLockGuard(const HookLockGuard&) = delete;
  HookLockGuard& operator=(const HookLockGuard&) = delete;

 private:
  ThreadLock& lock_;
};

std::once_flag busLoggerNamed;

// The bus and its logger exist before main, whichever translation unit starts first.
[[maybe_unused]] const bool busMadeEarly = (Ims::instance(), Ims::logger(), true);

}  // namespace

// ---- ImsMessageParameter, ImsMessage ------------------------------------------------------

ImsMessageParameter::~ImsMessageParameter() = default;

ImsMessage::ImsMessage(const std::string& generalType_, const std::string& groupType_,
                       const std::string& messageType_, ImsMessageParameter* parameter_)
    : generalType(generalType_),
      groupType(groupType_),
      messageType(messageType_),
      parameter(parameter_),
      ownsParameter(false),
      sender(nullptr) {}

ImsMessage::~ImsMessage() {
  if (ownsParameter) delete parameter;
}

ImsMessage::ImsMessage(ImsMessage&& other) noexcept
    : generalType(std::move(other.generalType)),
      groupType(std::move(other.groupType)),
      messageType(std::move(other.messageType)),
      parameter(other.parameter),
      ownsParameter(other.ownsParameter),
      sender(other.sender) {
  other.ownsParameter = false;
}

ImsMessage& ImsMessage::operator=(ImsMessage&& other) noexcept {
  if (this != &other) {
    if (ownsParameter) delete parameter;
    generalType = std::move(other.generalType);
    groupType = std::move(other.groupType);
    messageType = std::move(other.messageType);
    parameter = other.parameter;
    ownsParameter = other.ownsParameter;
    sender = other.sender;
    other.ownsParameter = false;
  }
  return *this;
}

// ---- ImsAgent -----------------------------------------------------------------------------

ImsAgent::ImsAgent(const std::string& name_)
    : ims(nullptr), name(name_), isLogger(name_ == "logger") {
  try {
    ims = &busSource();
  } catch (const Exception&) {
    // The agent is made anyway; see `ims` in the header.
  }
  if (!isLogger) {
    // Once per process is enough: only this rule ever renames the bus logger, and the
    // once-flag keeps agents built on several threads from racing over its name.
    std::call_once(busLoggerNamed, [] {
      Logger& busLogger = Ims::logger();
      if (busLogger.getSourceName().empty() || busLogger.getSourceName() == "anonymous") {
        busLogger.setSourceName("imsagent");
      }
    });
  }
}

ImsAgent::~ImsAgent() = default;

Ims& (*ImsAgent::busSource)() = &Ims::instance;

int32_t ImsAgent::receiveMessage(ImsMessage&) { return ImsAnswer::notHandled; }

int32_t ImsAgent::receiveHookedMessage(uint64_t, ImsMessage&) { return ImsAnswer::notHandled; }

uint64_t ImsAgent::setMessageHook(bool once, const std::string& generalType,
                                  const std::string& groupType, const std::string& messageType,
                                  int32_t priority) {
  if (!isLogger && generalType != "debug" && Ims::logger().shows(LogLevel::verbose)) {
    ParamStream p;
    p << std::string(once ? "yes" : "no") << generalType << groupType << messageType;
    Ims::logger().logVerbose(
        "ImsAgent::setMessageHook: Setting hook:\n\tHook only once   : %s\n\tGeneral type glob: "
        "%\n\tGroup type glob  : %\n\tMessage type glob: %",
        p);
  }
  try {
    // Keep a bus made now: the hook's removal and the agent's sends must reach it too, or the
    // hook would outlive the agent.
    if (ims == nullptr) ims = &busSource();
    return ims->setHook(this, once, generalType, groupType, messageType, nullptr, priority);
  } catch (const Exception& e) {
    throw Hook_Duplicate(KESTRO_SOURCE_TAG, e);
  }
}

bool ImsAgent::removeMessageHook(uint64_t id) {
  if (!isLogger && Ims::logger().shows(LogLevel::verbose)) {
    ParamStream p;
    p << id;
    Ims::logger().logVerbose("ImsAgent::removeMessageHook: Removing hook %", p);
  }
  return ims != nullptr && ims->removeHook(id);
}

const std::string& ImsAgent::getName() const { return name; }

bool ImsAgent::getIsLogger() const { return isLogger; }

bool ImsAgent::sendMessage(ImsMessage& message) {
  if (!isLogger && message.generalType != "debug" && Ims::logger().shows(LogLevel::trace)) {
    ParamStream p;
    p << dumpMessage(message);
    Ims::logger().logTrace("ImsAgent::sendMessage:\n%", p);
  }
  message.sender = this;
  return ims != nullptr && ims->dispatch(message);
}

bool ImsAgent::sendMessage(ImsAgent& target, ImsMessage& message) {
  if (!isLogger && message.generalType != "debug" && Ims::logger().shows(LogLevel::trace)) {
    ParamStream p;
    p << target.getName() << dumpMessage(message);
    Ims::logger().logTrace("ImsAgent::sendMessage: To \"%\":\n%", p);
  }
  message.sender = this;
  return target.receiveMessage(message) != ImsAnswer::notHandled;
}

// ---- Ims ----------------------------------------------------------------------------------

Ims& Ims::instance() {
  // Built by the first caller (a static object, usually) and never destroyed: agents in
  // other static objects may still send or remove hooks while the process shuts down.
  static Ims* const bus = [] {
    Ims* made = new (std::nothrow) Ims();
    if (made == nullptr) {
      throw Ims_OutOfMemory(outOfMemoryMessage, KESTRO_SOURCE_TAG);
    }
    return made;
  }();
  return *bus;
}

Logger& Ims::logger() {
  // Separate from instance(): the logger is an agent and needs the bus to be built.
  static Logger* const busLogger = new Logger();
  return *busLogger;
}

Ims::Ims() = default;

Ims::~Ims() = default;

bool Ims::Pattern::operator<(const Pattern& other) const {
  // std::string compares bytes as unsigned char: plain byte-wise order.
  return std::tie(generalType, groupType, messageType) <
         std::tie(other.generalType, other.groupType, other.messageType);
}

bool Ims::Pattern::operator==(const Pattern& other) const {
  return std::tie(generalType, groupType, messageType) ==
         std::tie(other.generalType, other.groupType, other.messageType);
}

uint64_t Ims::setHook(ImsAgent* agent, bool once, const std::string& generalType,
                      const std::string& groupType, const std::string& messageType,
                      ImsAgent* sender, int32_t priority) {
  const int index = priority == 0 ? 0 : priority == 1 ? 1 : 2;
  Hook hook{agent, Pattern{generalType, groupType, messageType}, sender, once, index};
  HookLockGuard guard(hookLock);
  // Every list is searched, not only the first that holds the globs: the same globs may
  // sit at two priorities (set by two agents), and the agent's own hook may be in either.
  for (const List& list : lists) {
    auto entry = list.find(hook.pattern);
    if (entry == list.end()) continue;
    for (uint64_t id : entry->second) {
      auto owner = hooks.find(id);
      if (owner != hooks.end() && owner->second.agent == agent) {
        throw Hook_Duplicate(
            "@ims.hook.duplicate{Trying to set a hook identical to a hook already set};",
            KESTRO_SOURCE_TAG);
      }
    }
  }
  const uint64_t id = hooks.empty() ? 1 : hooks.rbegin()->first + 1;
  lists[index][hook.pattern].insert(id);
  hooks.emplace(id, std::move(hook));
  return id;
}

bool Ims::removeHook(uint64_t id) {
  HookLockGuard guard(hookLock);
  auto found = hooks.find(id);
  if (found == hooks.end()) return false;
  // The id is taken out of the entry that holds it. The first list with the same globs is
  // not enough: with the globs at two priorities the id would stay behind in the other
  // list, and a later hook that reuses the id would receive the old hook's messages.
  for (List& list : lists) {
    auto entry = list.find(found->second.pattern);
    if (entry == list.end() || entry->second.erase(id) == 0) continue;
    if (entry->second.empty()) list.erase(entry);
    break;
  }
  hooks.erase(found);
  return true;
}

bool Ims::matches(const Pattern& pattern, const ImsMessage& message) {
  auto fits = [](const std::string& text, const std::string& glob) {
    return glob.empty() || StringTools::matchGlob(text, glob, 0, text.size());
  };
  return fits(message.generalType, pattern.generalType) &&
         fits(message.groupType, pattern.groupType) &&
         fits(message.messageType, pattern.messageType);
}

const Ims::Hook* Ims::findSame(uint64_t id, const ImsAgent* agent, const Pattern& pattern,
                               int list) const {
  auto found = hooks.find(id);
  if (found == hooks.end()) return nullptr;
  const Hook& hook = found->second;
  return hook.agent == agent && hook.list == list && hook.pattern == pattern ? &hook : nullptr;
}

bool Ims::dispatch(ImsMessage& message) {
  // A delivery works on copies of the lists, so receivers may set and remove hooks meanwhile.
  // An id therefore travels with the agent it named when it was copied: ids follow the
  // largest, so a receiver that removes the newest hook and sets another hands the old id to
  // the new hook, which must neither receive a message matched by the old hook's globs (its
  // receiver would read a payload of a class it does not expect) nor be removed as the old
  // once-hook.
  struct Copied {
    uint64_t id;
    ImsAgent* agent;
  };
  struct Removal {
    uint64_t id;
    ImsAgent* agent;
    Pattern pattern;
    int list;
  };
  int32_t status = ImsAnswer::notHandled;
  std::vector<Removal> toRemove;
  for (int index = 0; index < 3 && status != ImsAnswer::handledStop; ++index) {
    std::vector<std::pair<Pattern, std::vector<Copied>>> copy;
    {
      HookLockGuard guard(hookLock);
      copy.reserve(lists[index].size());
      for (const auto& [pattern, ids] : lists[index]) {
        std::vector<Copied> copied;
        copied.reserve(ids.size());
        for (uint64_t id : ids) {
          auto found = hooks.find(id);
          copied.push_back(Copied{id, found != hooks.end() ? found->second.agent : nullptr});
        }
        copy.emplace_back(pattern, std::move(copied));
      }
    }
    for (auto entry = copy.begin(); entry != copy.end() && status != ImsAnswer::handledStop;
         ++entry) {
      if (!matches(entry->first, message)) continue;
      for (auto id = entry->second.begin();
           id != entry->second.end() && status != ImsAnswer::handledStop; ++id) {
        ImsAgent* agent = nullptr;
        ImsAgent* sender = nullptr;
        bool once = false;
        {
          HookLockGuard guard(hookLock);
          if (const Hook* hook = findSame(id->id, id->agent, entry->first, index)) {
            agent = hook->agent;
            sender = hook->sender;
            once = hook->once;
          }
        }
        int32_t result = ImsAnswer::notHandled;
        if (agent != nullptr && (sender == nullptr || sender == message.sender)) {
          result = agent->receiveHookedMessage(id->id, message);
        } else if (agent != nullptr) {
          continue;  // restricted to another sender: this hook did not match at all
        }
        if (result == ImsAnswer::handled) status = ImsAnswer::handled;
        if (result == ImsAnswer::handledStop) status = ImsAnswer::handledStop;
        if (once && status != ImsAnswer::notHandled) {
          toRemove.push_back(Removal{id->id, agent, entry->first, index});
        }
      }
    }
  }
  for (const Removal& removal : toRemove) {
    HookLockGuard guard(hookLock);
    if (findSame(removal.id, removal.agent, removal.pattern, removal.list) != nullptr) {
      removeHook(removal.id);
    }
  }
  return status != ImsAnswer::notHandled;
}

size_t Ims::hookCount() {
  HookLockGuard guard(hookLock);
  return hooks.size();
}

}  // namespace KestroCorelib
