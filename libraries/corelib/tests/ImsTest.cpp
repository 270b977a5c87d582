#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "Ims.h"
#include "Logger.h"
#include "TestSupport.h"

using namespace KestroCorelib;
using Journal = std::vector<std::string>;

namespace {

// An agent that notes every delivery in a shared journal and answers a fixed result, or
// runs an action of the test first.
class Probe : public ImsAgent {
 public:
  Probe(const std::string& agentName, Journal& sharedJournal, int32_t answer = ImsAnswer::handled)
      : ImsAgent(agentName), journal(sharedJournal), result(answer) {}
  int32_t receiveHookedMessage(uint64_t id, ImsMessage& message) override {
    journal.push_back(getName() + "#" + std::to_string(id));
    if (onReceive) onReceive(message);
    return result;
  }
  int32_t receiveMessage(ImsMessage& message) override {
    journal.push_back(getName() + " direct " + message.generalType);
    return result;
  }
  Journal& journal;
  int32_t result;
  std::function<void(ImsMessage&)> onReceive;
};

// A bus of its own per test, so ids are predictable; agents still have the process bus.
struct BusTest : ::testing::Test {
  Ims bus;
  Journal journal;
  uint64_t hook(Probe& agent, const char* general, const char* group = "", const char* message = "",
                int32_t priority = 1, bool once = false) {
    return bus.setHook(&agent, once, general, group, message, nullptr, priority);
  }
  bool send(const char* general, const char* group = "", const char* message = "") {
    ImsMessage m(general, group, message);
    return bus.dispatch(m);
  }
};

}  // namespace

TEST_F(BusTest, IdsAreOneMoreThanTheLargestAndRestartWhenEmpty) {
  Probe a("a", journal);
  EXPECT_EQ(hook(a, "x"), 1u);
  EXPECT_EQ(hook(a, "y"), 2u);
  EXPECT_EQ(hook(a, "z"), 3u);
  EXPECT_TRUE(bus.removeHook(3));
  EXPECT_FALSE(bus.removeHook(3));
  EXPECT_EQ(hook(a, "z"), 3u);
  EXPECT_TRUE(bus.removeHook(1));
  EXPECT_EQ(hook(a, "w"), 4u);  // not the free 1: ids follow the largest
  for (uint64_t id : {2, 3, 4}) EXPECT_TRUE(bus.removeHook(id));
  EXPECT_EQ(bus.hookCount(), 0u);
  EXPECT_EQ(hook(a, "x"), 1u);
}

TEST_F(BusTest, DeliveryOrderIsPriorityThenPatternThenId) {
  Probe late("late", journal), any("any", journal), one("one", journal), first("first", journal),
      older("older", journal), newer("newer", journal);
  hook(late, "a", "", "", 7);  // any priority above 1 counts as 2
  hook(one, "?", "", "", 1);   // pattern "?" sorts after ""
  hook(older, "", "", "", 1);
  hook(first, "*", "", "", 0);
  hook(newer, "", "", "", 1);
  hook(any, "b");  // does not match
  EXPECT_TRUE(send("a"));
  EXPECT_EQ(journal, (Journal{"first#4", "older#3", "newer#5", "one#2", "late#1"}));
}

TEST_F(BusTest, AnswerThreeStopsEveryLaterHookAndNothingHandledIsFalse) {
  Probe stopper("stopper", journal, ImsAnswer::handledStop), later("later", journal),
      lowest("lowest", journal), sameEntry("same", journal),
      declines("declines", journal, ImsAnswer::notHandled);
  EXPECT_FALSE(send("m"));  // no hook at all
  hook(later, "m", "", "", 0);
  hook(stopper, "m", "", "", 1);
  hook(lowest, "m", "", "", 2);
  hook(sameEntry, "m", "", "", 1);  // same pattern as stopper, larger id
  EXPECT_TRUE(send("m"));
  EXPECT_EQ(journal, (Journal{"later#1", "stopper#2"}));
  journal.clear();
  hook(declines, "system");
  EXPECT_FALSE(send("system", "query"));  // matched, but nobody took it
  EXPECT_EQ(journal, Journal{"declines#5"});
}

TEST_F(BusTest, GlobsMatchWholeCaseSensitiveTexts) {
  Probe p("p", journal);
  struct Case {
    const char *general, *group, *message;
    bool handled;
  };
  const std::vector<std::pair<std::vector<const char*>, std::vector<Case>>> cases = {
      {{"system", "*", ""},
       {{"system", "query", "anything", true},
        {"System", "query", "anything", false},
        {"systems", "query", "", false}}},
      {{"", "", "*"}, {{"a", "b", "", true}}},  // "*" matches the empty text
      {{"", "", "?*"}, {{"a", "b", "", false}, {"a", "b", "x", true}}}};
  for (const auto& [globs, sends] : cases) {
    const uint64_t id = hook(p, globs[0], globs[1], globs[2]);
    for (const Case& c : sends)
      EXPECT_EQ(send(c.general, c.group, c.message), c.handled)
          << globs[2] << c.general << c.message;
    bus.removeHook(id);
  }
}

TEST_F(BusTest, SenderRestrictsAHook) {
  Probe p("p", journal), from("from", journal), stranger("stranger", journal);
  bus.setHook(&p, false, "m", "", "", &from, 1);
  ImsMessage m("m");
  m.sender = &stranger;
  EXPECT_FALSE(bus.dispatch(m));
  m.sender = &from;
  EXPECT_TRUE(bus.dispatch(m));
  EXPECT_EQ(journal, Journal{"p#1"});
}

TEST_F(BusTest, OnceHookGoesAfterTheFirstHandledDelivery) {
  Probe handler("handler", journal, ImsAnswer::handled),
      declinesOnce("declines", journal, ImsAnswer::notHandled);
  const uint64_t onceId = hook(declinesOnce, "m", "", "", 1, true);
  EXPECT_FALSE(send("m"));  // nobody handled it: the once-hook stays
  EXPECT_EQ(bus.hookCount(), 1u);
  hook(handler, "m", "", "", 0);
  // The once-hook itself declines, but the earlier hook handled the message: it goes.
  EXPECT_TRUE(send("m"));
  EXPECT_EQ(bus.hookCount(), 1u);
  EXPECT_FALSE(bus.removeHook(onceId));
  journal.clear();
  EXPECT_TRUE(send("m"));
  EXPECT_EQ(journal, Journal{"handler#2"});
}

TEST_F(BusTest, DuplicatesArePerAgentWhateverThePriority) {
  Probe a("a", journal), b("b", journal);
  hook(a, "g", "r", "m", 1);
  EXPECT_THROW(hook(a, "g", "r", "m", 0, true), Ims::Hook_Duplicate);
  EXPECT_EQ(hook(b, "g", "r", "m", 0), 2u);
  // a's globs now sit at priority 0 (b's) and 1 (a's): a is still refused.
  EXPECT_THROW(hook(a, "g", "r", "m", 2), Ims::Hook_Duplicate);
  EXPECT_NO_THROW(hook(a, "g", "r", "*", 1));
}

TEST_F(BusTest, RemovingFindsTheIdAtItsOwnPriority) {
  Probe a("a", journal), b("b", journal), c("c", journal);
  hook(a, "m", "", "", 0);
  const uint64_t atOne = hook(b, "m", "", "", 1);
  ASSERT_TRUE(bus.removeHook(atOne));
  // The id is free again and goes to a hook with other globs; it must not inherit b's.
  EXPECT_EQ(hook(c, "other"), atOne);
  EXPECT_TRUE(send("m"));
  EXPECT_EQ(journal, Journal{"a#1"});
  EXPECT_EQ(hook(b, "m", "", "", 1), 3u);  // the globs are free for b again
}

TEST_F(BusTest, ReceiversMayChangeHooksDuringDelivery) {
  Probe changer("changer", journal), victim("victim", journal), added("added", journal),
      nested("nested", journal);
  hook(changer, "m", "", "", 0);
  const uint64_t victimId = hook(victim, "m", "", "", 1);
  hook(nested, "nested");
  bool changed = false;
  changer.onReceive = [&](ImsMessage&) {
    if (std::exchange(changed, true)) return;
    EXPECT_TRUE(bus.removeHook(victimId));
    hook(added, "m", "", "", 1);
    // The bus is free while a receiver runs: another thread gets through at once.
    std::thread other([&] { EXPECT_EQ(bus.hookCount(), 3u); });
    other.join();
    EXPECT_TRUE(send("nested"));  // a message sent from inside a receiver
  };
  EXPECT_TRUE(send("m"));
  // The removed hook was not delivered to; the added one is, as priority 1 is copied only
  // after priority 0 has been delivered.
  EXPECT_EQ(journal, (Journal{"changer#1", "nested#3", "added#4"}));
  journal.clear();
  EXPECT_TRUE(send("m"));
  EXPECT_EQ(journal, (Journal{"changer#1", "added#4"}));
}

TEST_F(BusTest, AFreedIdReusedDuringDeliveryIsNotTheCopiedHook) {
  // Ids follow the largest, so a hook set after the largest one was removed gets its id. The
  // new hook differs from the copied one in its agent, its globs or its priority.
  Probe first("first", journal), removed("removed", journal), reuser("reuser", journal);
  struct Case {
    Probe* agent;
    const char* general;
    int32_t priority;
    Journal delivered;
  };
  for (const Case& c : {Case{&reuser, "m", 1, {"first#1"}}, Case{&removed, "other", 1, {"first#1"}},
                        Case{&removed, "m", 2, {"first#1", "removed#2"}}}) {
    Ims fresh;
    fresh.setHook(&first, false, "m", "", "", nullptr, 1);
    const uint64_t removedId = fresh.setHook(&removed, false, "m", "", "", nullptr, 1);
    bool replaced = false;
    first.onReceive = [&](ImsMessage&) {
      if (std::exchange(replaced, true)) return;
      ASSERT_TRUE(fresh.removeHook(removedId));
      ASSERT_EQ(fresh.setHook(c.agent, false, c.general, "", "", nullptr, c.priority), removedId);
    };
    journal.clear();
    ImsMessage m("m");
    EXPECT_TRUE(fresh.dispatch(m));
    EXPECT_EQ(journal, c.delivered) << c.agent->getName() << " " << c.general;
  }
  first.onReceive = nullptr;

  // A once-hook handled the message and is replaced later in the same delivery: the
  // removal list must not take the new hook with it.
  Ims other;
  Probe once("once", journal), replacer("replacer", journal), heir("heir", journal);
  other.setHook(&replacer, false, "n", "", "", nullptr, 2);
  const uint64_t onceId = other.setHook(&once, true, "n", "", "", nullptr, 1);
  replacer.onReceive = [&](ImsMessage&) {
    ASSERT_TRUE(other.removeHook(onceId));
    ASSERT_EQ(other.setHook(&heir, false, "n", "", "", nullptr, 1), onceId);
  };
  journal.clear();
  ImsMessage n("n");
  EXPECT_TRUE(other.dispatch(n));
  EXPECT_EQ(journal, (Journal{"once#2", "replacer#1"}));
  EXPECT_EQ(other.hookCount(), 2u);
  journal.clear();
  replacer.onReceive = nullptr;
  EXPECT_TRUE(other.dispatch(n));
  EXPECT_EQ(journal, (Journal{"heir#2", "replacer#1"}));
}

TEST_F(BusTest, ReceiverErrorsReachTheSender) {
  Probe thrower("thrower", journal);
  thrower.onReceive = [](ImsMessage&) { throw Exception("boom"); };
  hook(thrower, "m", "", "", 1, true);
  EXPECT_THROW(send("m"), Exception);
  EXPECT_EQ(bus.hookCount(), 1u);  // the removal list was not processed
}

// ---- Agents on the process-wide bus ---------------------------------------------------------

namespace {

// Built before main, in whatever order this file's statics meet the library's: it sets its
// hook from its constructor, as the icon provider does, and removes it again at exit, after
// main has returned.
class EarlyAgent : public ImsAgent {
 public:
  EarlyAgent() : ImsAgent("early") { hook = setMessageHook(false, "early-test", "", "", 1); }
  ~EarlyAgent() override { removeMessageHook(hook); }
  int32_t receiveHookedMessage(uint64_t id, ImsMessage&) override {
    ++received;
    return id == hook ? ImsAnswer::handledStop : ImsAnswer::notHandled;
  }
  uint64_t hook = 0;
  int received = 0;
};
EarlyAgent earlyAgent;
Logger earlyLogger;

}  // namespace

TEST(ImsAgent, StaticAgentsBuiltBeforeMainAreDeliveredTo) {
  EXPECT_NE(earlyAgent.hook, 0u);
  Journal journal;
  Probe sender("sender", journal);
  ImsMessage m("early-test", "x", "");
  EXPECT_TRUE(sender.sendMessage(m));
  EXPECT_EQ(earlyAgent.received, 1);
  EXPECT_EQ(earlyLogger.getLevel(), 7);
}

TEST(ImsAgent, DuplicateHookIsWrappedWithTheBusErrorAsCause) {
  Journal journal;
  Probe a("a", journal), b("b", journal);
  const uint64_t first = a.setMessageHook(false, "dup-test", "g", "", 1);
  try {
    a.setMessageHook(true, "dup-test", "g", "", 2);
    FAIL() << "no error";
  } catch (const ImsAgent::Hook_Duplicate& e) {
    ASSERT_EQ(e.getNested().size(), 1u);
    EXPECT_EQ(e.getNested()[0].getName(), "Hook_Duplicate");
    EXPECT_EQ(e.getText(),
              "Hook_Duplicate:\nHook_Duplicate: Trying to set a hook identical to a hook already "
              "set");
    EXPECT_EQ(e.getSourceTags().size(), 1u);
  }
  const uint64_t second = b.setMessageHook(false, "dup-test", "g", "", 1);
  EXPECT_GT(second, first);
  ImsMessage m("dup-test", "g", "");
  EXPECT_TRUE(a.sendMessage(m));
  EXPECT_EQ(m.sender, &a);
  EXPECT_EQ(journal, (Journal{"a#" + std::to_string(first), "b#" + std::to_string(second)}));
  EXPECT_TRUE(a.removeMessageHook(first));
  EXPECT_TRUE(b.removeMessageHook(second));
  EXPECT_FALSE(b.removeMessageHook(second));
}

TEST(ImsAgent, DirectSendReachesOnlyTheTarget) {
  Journal journal;
  Probe sender("sender", journal), target("target", journal, 3), declines("declines", journal, 1);
  ImsMessage m("iconprovider", "get", "");
  EXPECT_TRUE(sender.sendMessage(target, m));
  EXPECT_EQ(m.sender, &sender);
  EXPECT_FALSE(sender.sendMessage(declines, m));
  EXPECT_EQ(journal, (Journal{"target direct iconprovider", "declines direct iconprovider"}));
}

TEST(ImsAgent, TraceLinesFollowTheBusLoggerLevel) {
  // The bus's own logger is a logger agent, renamed, posting under the source "imsagent".
  EXPECT_TRUE(Ims::logger().getIsLogger());
  EXPECT_EQ(Ims::logger().getName(), "logger");
  testsupport::LogCollector collector("", "", "imsagent");
  Journal journal;
  Probe agent("tracer", journal);
  EXPECT_FALSE(agent.getIsLogger());
  // Defaults (level 7): sends are traced, hook changes (level 5) too, "debug" never. The
  // hook line's "%s" is the system's own text: the placeholder takes "yes" and the "s" stays.
  const uint64_t id = agent.setMessageHook(true, "trace-test", "*", "", 1);
  ImsMessage m("trace-test", "grp", "msg"), debug("debug", "x", "");
  agent.sendMessage(m);
  agent.sendMessage(agent, m);
  agent.sendMessage(debug);
  agent.sendMessage(agent, debug);
  const uint64_t debugHook = agent.setMessageHook(false, "debug", "untraced", "", 1);
  agent.removeMessageHook(id);
  const std::string dump = "\tGeneral type: trace-test\n\tGroup type  : grp\n\tMessage type: msg";
  EXPECT_EQ(collector.lines(),
            (Journal{
                "ImsAgent::setMessageHook: Setting hook:\n\tHook only once   : yess\n\tGeneral "
                "type glob: trace-test\n\tGroup type glob  : *\n\tMessage type glob: ",
                "ImsAgent::sendMessage:\n" + dump,
                "ImsAgent::sendMessage: To \"tracer\":\n" + dump,
                "ImsAgent::removeMessageHook: Removing hook " + std::to_string(id),
            }));
  agent.removeMessageHook(debugHook);
}

namespace {

// A bus source that fails like a bus that cannot be allocated, then hands out `laterBus`.
Ims* laterBus = nullptr;
int busRequests = 0;
Ims& failingOnce() {
  if (busRequests++ == 0) throw Ims::Ims_OutOfMemory("@out-of-memory{Out of memory};");
  return *laterBus;
}

}  // namespace

TEST(ImsAgent, BusCreatedOnlyForTheFirstHookIsKept) {
  Ims bus;
  laterBus = &bus;
  busRequests = 0;
  struct Restore {
    ~Restore() { ImsAgent::busSource = &Ims::instance; }
  } restore;
  ImsAgent::busSource = &failingOnce;
  Journal journal;
  Probe late("late", journal);  // its bus could not be created
  ImsMessage m("late-test");
  EXPECT_FALSE(late.sendMessage(m));
  const uint64_t id = late.setMessageHook(false, "late-test", "", "", 1);
  EXPECT_EQ(busRequests, 2);
  // The hook lives on the bus made by the retry, and so do the agent's sends and removals:
  // otherwise the hook would outlive the agent.
  EXPECT_TRUE(late.sendMessage(m));
  EXPECT_EQ(journal, Journal{"late#" + std::to_string(id)});
  EXPECT_TRUE(late.removeMessageHook(id));
  EXPECT_EQ(bus.hookCount(), 0u);
}
