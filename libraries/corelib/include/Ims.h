#pragma once
// The in-process message bus ("IMS"): agents send messages to each other, either directly
// or as a broadcast that the bus delivers to every agent whose hook matches.
//
//   class Answerer : public ImsAgent {
//   public:
//       Answerer() : ImsAgent("answerer") {
//           hook = setMessageHook(false, "system", "query", "", 1);
//       }
//       ~Answerer() override { removeMessageHook(hook); }
//       int32_t receiveHookedMessage(uint64_t id, ImsMessage& m) override {
//           return id == hook ? receiveMessage(m) : ImsAnswer::notHandled;
//       }
//       int32_t receiveMessage(ImsMessage& m) override {
//           /* answer */ return ImsAnswer::handledStop;
//       }
//   private:
//       uint64_t hook;
//   };
//
//   ImsAgent asker("asker");
//   ImsMessage m("system", "query", "", &payload);
//   bool handled = asker.sendMessage(m);   // true: some hook answered 2 or 3
//
// Delivery is a synchronous call on the sender's thread; nothing is queued or copied.
// Receivers answer 1 (not handled), 2 (handled, others may see it too) or 3 (handled, stop).
// The bus is not locked while a receiver runs, so a receiver may send messages and set or
// remove hooks itself.
#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>

#include "Exception.h"
#include "ThreadLock.h"

namespace KestroCorelib {

class ImsAgent;
class Logger;

// What a receiver answers. The receivers return plain 32-bit numbers; these are the three
// that the bus knows.
namespace ImsAnswer {
constexpr int32_t notHandled = 1;   // not for me
constexpr int32_t handled = 2;      // handled; later hooks see the message too
constexpr int32_t handledStop = 3;  // handled; delivery stops here
}  // namespace ImsAnswer

// Base of every message payload. The receiver knows the payload class from the message's
// type texts and converts the pointer.
class ImsMessageParameter {
 public:
  ImsMessageParameter() = default;
  ImsMessageParameter(const ImsMessageParameter&) = default;
  ImsMessageParameter& operator=(const ImsMessageParameter&) = default;
  virtual ~ImsMessageParameter();

  // Free for the payload's own use; 0 when made; the bus never looks at it.
  uint32_t reserved = 0;
};

// A message: three type texts, an optional payload and the sender (set by the send).
//   ImsMessage m("debug", "level", "8");          // no payload
//   ImsMessage q("system", "query", "", &param);  // payload not owned
// A message that owns its payload (ownsParameter = true) deletes it when destroyed; such a
// message can be moved but not copied.
struct ImsMessage {
  explicit ImsMessage(const std::string& generalType = std::string(),
                      const std::string& groupType = std::string(),
                      const std::string& messageType = std::string(),
                      ImsMessageParameter* parameter = nullptr);
  ~ImsMessage();
  ImsMessage(const ImsMessage&) = delete;
  ImsMessage& operator=(const ImsMessage&) = delete;
  ImsMessage(ImsMessage&& other) noexcept;
  ImsMessage& operator=(ImsMessage&& other) noexcept;

  std::string generalType;
  std::string groupType;
  std::string messageType;
  ImsMessageParameter* parameter;
  bool ownsParameter;
  ImsAgent* sender;
};

class Ims;

// A participant of the bus. Derive from it, register hooks with setMessageHook and remove
// them again in the destructor (the base destructor removes nothing, and a hook must not
// outlive its agent).
class ImsAgent : public Throws {
 public:
  // Raised by setMessageHook for any failure of the bus; the bus's error is its cause.
  KESTRO_EXCEPTION(Hook_Duplicate);

  // The agent named "logger" is a logger: it never writes bus trace lines. Every other
  // agent makes sure the bus's own logger carries the source name "imsagent".
  explicit ImsAgent(const std::string& name);
  virtual ~ImsAgent();

  ImsAgent(const ImsAgent&) = delete;
  ImsAgent& operator=(const ImsAgent&) = delete;

  // A message sent directly to this agent. Answers 1, 2 or 3 (see above); default 1.
  virtual int32_t receiveMessage(ImsMessage& message);
  // A broadcast delivered through hook `hookId`. Check that the id is one of your own
  // hooks (answer 1 otherwise). Default 1.
  virtual int32_t receiveHookedMessage(uint64_t hookId, ImsMessage& message);

  // Registers a hook owned by this agent and returns its id. The three globs ('*', '?',
  // case-sensitive, whole text; an empty glob matches anything) select the messages.
  // Priority 0 is delivered first, then 1, then everything else as 2. A once-hook is
  // removed after the first broadcast it matched that some hook handled.
  //   setMessageHook(false, "system", "*", "", 1);  // "system"/"query"/"x", not "System"
  // Raises Hook_Duplicate (cause Ims::Hook_Duplicate) when this agent already has a hook
  // with the same three globs.
  uint64_t setMessageHook(bool once, const std::string& generalType, const std::string& groupType,
                          const std::string& messageType, int32_t priority);
  // True when the hook existed and is removed now.
  bool removeMessageHook(uint64_t id);

  const std::string& getName() const;
  bool getIsLogger() const;

  // Broadcast: sets the sender and dispatches; true when some hook handled the message.
  // Errors raised by receivers reach the caller.
  bool sendMessage(ImsMessage& message);
  // Direct: sets the sender and calls target.receiveMessage; true unless it answered 1.
  bool sendMessage(ImsAgent& target, ImsMessage& message);

  // Where agents get the bus: Ims::instance. A test may put a function of its own here, for
  // instance one that fails once as a bus that cannot be allocated, while no other thread
  // makes agents or sets hooks.
  static Ims& (*busSource)();

 protected:
  // The bus; null only when it could not be created. Then setMessageHook tries to create it
  // once more (raising Hook_Duplicate with the bus's error as cause if that fails too) and
  // keeps it when that succeeds; until then broadcasts are not handled and hook removals
  // answer false; direct sends always work.
  Ims* ims;
  std::string name;
  bool isLogger;
};

// The bus. `Ims::instance()` is the one process-wide bus: created on the first call, from
// whatever static object or thread comes first, and never destroyed, so it is usable
// during static construction and destruction alike.
class Ims : public Throws {
 public:
  KESTRO_EXCEPTION(Ims_OutOfMemory);
  KESTRO_EXCEPTION(Hook_Duplicate);

  // The process-wide bus. Raises Ims_OutOfMemory when it cannot be allocated.
  static Ims& instance();
  // The bus's own logger for its trace lines (agent "logger"; source name "imsagent"
  // once any other agent exists). Created on first use and never destroyed.
  static Logger& logger();

  // A bus of its own, independent of instance(): for tests. Agents always use instance().
  Ims();
  ~Ims();
  Ims(const Ims&) = delete;
  Ims& operator=(const Ims&) = delete;

  // Registers a hook (see ImsAgent::setMessageHook); `sender`, when not null, restricts it
  // to messages from that agent. The new id is 1 when no hook exists, else the largest
  // id plus 1. Raises Hook_Duplicate when `agent` already owns a hook with the same globs.
  uint64_t setHook(ImsAgent* agent, bool once, const std::string& generalType,
                   const std::string& groupType, const std::string& messageType, ImsAgent* sender,
                   int32_t priority);
  // False when no hook has that id.
  bool removeHook(uint64_t id);
  // Delivers the message to the matching hooks: priority 0, 1, 2; within a priority by
  // pattern (byte-wise order of general, group, message glob), then by ascending id; stops
  // at the first answer 3. True when some hook answered 2 or 3.
  bool dispatch(ImsMessage& message);

  // Number of hooks currently set.
  size_t hookCount();

 private:
  // A hook's three globs: the key of the priority lists.
  struct Pattern {
    std::string generalType;
    std::string groupType;
    std::string messageType;
    bool operator<(const Pattern& other) const;
    bool operator==(const Pattern& other) const;
  };
  struct Hook {
    ImsAgent* agent;
    Pattern pattern;
    ImsAgent* sender;
    bool once;
    int list;  // index of the priority list that holds the id
  };
  using List = std::map<Pattern, std::set<uint64_t>>;

  static bool matches(const Pattern& pattern, const ImsMessage& message);
  // The hook of the id while it is still the hook of that agent, globs and list; the caller
  // holds hookLock.
  const Hook* findSame(uint64_t id, const ImsAgent* agent, const Pattern& pattern, int list) const;

  std::map<uint64_t, Hook> hooks;
  List lists[3];
  ThreadLock hookLock;
};

}  // namespace KestroCorelib
