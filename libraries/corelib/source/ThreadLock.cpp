#include "ThreadLock.h"

#include <string>

#include "Logger.h"
#include "ParamStream.h"
#include "platform/PlatformThread.h"

namespace KestroCorelib {

namespace {

// Set while this thread writes a trace line. Posting the line dispatches on the bus, and
// the bus takes its own ThreadLock; tracing that take would post again, without end once
// the logger is at "flood". So trace lines are not nested.
thread_local bool writingTrace = false;

int64_t addressOf(const ThreadLock* lock) {
  return static_cast<int64_t>(reinterpret_cast<intptr_t>(lock));
}

// Writes one flood line when both thresholds allow it. The global level is tested first,
// so below "flood" the logger is not even reached. Fill writes the parameters.
template <typename Fill> void trace(const char* text, Fill fill) {
  if (globalLogLevel < LogLevel::flood || writingTrace) return;
  writingTrace = true;
  try {
    Logger& logger = ThreadLock::logger();
    if (logger.getLevel() >= LogLevel::flood) {
      ParamStream parameters;
      fill(parameters);
      logger.log(LogLevel::flood, text, parameters);
    }
  } catch (...) {
    // A trace line must never turn a lock or unlock into a failure.
  }
  writingTrace = false;
}

void trace(const char* text) {
  trace(text, [](ParamStream&) {});
}

// Created before main by this static; built on first use by whoever comes first.
[[maybe_unused]] const bool loggerMadeEarly = (ThreadLock::logger(), true);

}  // namespace

Logger& ThreadLock::logger() {
  // Never destroyed: locks live in static objects whose destructors may still trace.
  // Building the logger sets a hook, which takes the bus's lock; that take must not trace,
  // or it would ask for this very logger while it is being built.
  static Logger* const instance = [] {
    const bool wasWriting = writingTrace;
    writingTrace = true;
    Logger* made = nullptr;
    try {
      made = new Logger();
    } catch (...) {
      writingTrace = wasWriting;
      throw;
    }
    writingTrace = wasWriting;
    return made;
  }();
  return *instance;
}

ThreadLock::ThreadLock() : initialized(false), owner(0), level(0), section{} {}

ThreadLock::~ThreadLock() {
  // Only the holder may release it; a lock held by another thread stays as it is.
  if (initialized && owner.load() == platform::currentThreadId()) {
    if (level > 1) level = 1;
    if (level == 1) unlock();
  }
  if (initialized && owner.load() == 0) platform::destroyLockSection(section);
}

bool ThreadLock::lock(bool blocking) {
  trace("ThreadLock::lock: Going to lock % (%)", [&](ParamStream& p) {
    p << addressOf(this) << std::string(blocking ? "blocking" : "non-blocking");
  });
  if (!initialized) {
    platform::initLockSection(section, sectionSize);
    initialized = true;
  }
  const uint32_t self = platform::currentThreadId();
  const uint32_t holder = owner.load();
  if (holder != 0) {
    if (holder == self) {
      ++level;
      trace("ThreadLock::lock: Already locked");
      return true;
    }
    if (!blocking) {
      trace("ThreadLock::lock: Failed to lock - lock belongs to thread %",
            [&](ParamStream& p) { p << holder; });
      return false;
    }
  }
  if (blocking) {
    platform::enterLockSection(section);
  } else if (!platform::tryEnterLockSection(section)) {
    return false;
  }
  ++level;
  owner.store(self);
  trace("ThreadLock::lock: Locked");
  return true;
}

bool ThreadLock::unlock() {
  trace("ThreadLock::unlock: Going to unlock %", [&](ParamStream& p) { p << addressOf(this); });
  if (!initialized) return false;
  const uint32_t holder = owner.load();
  if (holder != platform::currentThreadId()) {
    trace("ThreadLock::unlock: Cannot unlock - locked by other thread %",
          [&](ParamStream& p) { p << holder; });
    return false;
  }
  --level;
  if (level != 0) {
    trace("ThreadLock::unlock: Nested locking (now at level % - actual unlock at zero)",
          [&](ParamStream& p) { p << level; });
    return true;
  }
  owner.store(0);
  platform::leaveLockSection(section);
  trace("ThreadLock::unlock: Unlocked");
  return true;
}

uint32_t ThreadLock::getOwner() const { return owner.load(); }

uint32_t ThreadLock::getLevel() const { return level; }

}  // namespace KestroCorelib
