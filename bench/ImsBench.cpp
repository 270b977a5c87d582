// The bus's hot paths: a broadcast to a handful of hooks, and a log call that its threshold
// drops (the common case: most trace calls in the library are below the level).
#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <vector>

#include "Ims.h"
#include "Logger.h"
#include "ThreadLock.h"

using namespace KestroCorelib;

namespace {

class Answerer : public ImsAgent {
 public:
  Answerer(const std::string& general, int32_t answer)
      : ImsAgent("bench-answerer"), result(answer) {
    hook = setMessageHook(false, general, "query", "", 1);
  }
  ~Answerer() override { removeMessageHook(hook); }
  int32_t receiveHookedMessage(uint64_t id, ImsMessage&) override {
    return id == hook ? result : 1;
  }

 private:
  uint64_t hook;
  int32_t result;
};

// Five hooks besides the loggers' level hooks: three match the message, two do not; the
// matching ones answer "handled, go on", so every one of them is called.
void BM_Ims_BroadcastFiveHooks(benchmark::State& state) {
  std::vector<std::unique_ptr<Answerer>> agents;
  for (const char* general : {"system", "sys*", "s?stem", "icon", "image"}) {
    agents.push_back(std::make_unique<Answerer>(general, 2));
  }
  ImsAgent sender("bench-sender");
  ImsMessage message("system", "query", "");
  for (auto _ : state) {
    benchmark::DoNotOptimize(sender.sendMessage(message));
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Ims_BroadcastFiveHooks);

// The same with the process-wide level at "info": the default level 7 makes every broadcast
// of a non-logger agent post a trace record of its own, which is most of the cost above.
void BM_Ims_BroadcastFiveHooksUntraced(benchmark::State& state) {
  const int32_t saved = globalLogLevel;
  globalLogLevel = 4;
  BM_Ims_BroadcastFiveHooks(state);
  globalLogLevel = saved;
}
BENCHMARK(BM_Ims_BroadcastFiveHooksUntraced);

// A broadcast that nobody hooks: the cost of the list copies and glob tests alone.
void BM_Ims_BroadcastUnhandled(benchmark::State& state) {
  ImsAgent sender("bench-sender");
  ImsMessage message("nobody", "query", "");
  for (auto _ : state) {
    benchmark::DoNotOptimize(sender.sendMessage(message));
  }
}
BENCHMARK(BM_Ims_BroadcastUnhandled);

void BM_Logger_BelowThreshold(benchmark::State& state) {
  Logger logger;
  ParamStream parameters;
  parameters << std::string("projectmap.kconf") << int32_t(42);
  for (auto _ : state) {
    logger.logFlood("ConfFile::load: % line %", parameters);
  }
}
BENCHMARK(BM_Logger_BelowThreshold);

// A record that is posted but that nobody receives, as in the program itself.
void BM_Logger_PostedUnreceived(benchmark::State& state) {
  Logger logger;
  ParamStream parameters;
  parameters << std::string("projectmap.kconf") << int32_t(42);
  for (auto _ : state) {
    logger.logTrace("ConfFile::load: % line %", parameters);
  }
}
BENCHMARK(BM_Logger_PostedUnreceived);

void BM_ThreadLock_LockUnlock(benchmark::State& state) {
  ThreadLock lock;
  for (auto _ : state) {
    lock.lock();
    lock.unlock();
  }
}
BENCHMARK(BM_ThreadLock_LockUnlock);

}  // namespace
