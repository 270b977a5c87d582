#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "Ims.h"
#include "Logger.h"
#include "TestSupport.h"
#include "ThreadLock.h"
#include "platform/PlatformThread.h"

using namespace KestroCorelib;

TEST(ThreadLock, NestedTakesNeedAsManyReleases) {
  ThreadLock lock;
  EXPECT_FALSE(lock.unlock());  // never taken
  EXPECT_EQ(lock.getOwner(), 0u);
  const uint32_t self = platform::currentThreadId();
  EXPECT_TRUE(lock.lock());
  EXPECT_TRUE(lock.lock());
  EXPECT_TRUE(lock.lock(false));  // the holder may take it without blocking too
  EXPECT_EQ(lock.getLevel(), 3u);
  for (uint32_t level : {2u, 1u}) {
    EXPECT_TRUE(lock.unlock());
    EXPECT_EQ(lock.getLevel(), level);
    EXPECT_EQ(lock.getOwner(), self);
  }
  EXPECT_TRUE(lock.unlock());
  EXPECT_EQ(lock.getOwner(), 0u);
  EXPECT_FALSE(lock.unlock());
}

TEST(ThreadLock, OtherThreadCannotTakeWithoutBlockingNorRelease) {
  ThreadLock lock;
  ASSERT_TRUE(lock.lock());
  bool took = true, released = true;
  uint32_t otherId = 0;
  std::thread other([&] {
    otherId = platform::currentThreadId();
    took = lock.lock(false);
    released = lock.unlock();
  });
  other.join();
  EXPECT_FALSE(took);
  EXPECT_FALSE(released);
  EXPECT_NE(otherId, platform::currentThreadId());
  EXPECT_EQ(lock.getOwner(), platform::currentThreadId());
  EXPECT_EQ(lock.getLevel(), 1u);
  EXPECT_TRUE(lock.unlock());

  // Once free, the other thread gets it, and then this thread is refused in turn.
  std::atomic<bool> held{false}, mayRelease{false};
  std::thread holder([&] {
    lock.lock(false);
    held = true;
    while (!mayRelease) std::this_thread::yield();
    lock.unlock();
  });
  while (!held) std::this_thread::yield();
  EXPECT_FALSE(lock.lock(false));
  EXPECT_FALSE(lock.unlock());
  mayRelease = true;
  holder.join();
  EXPECT_EQ(lock.getOwner(), 0u);
}

TEST(ThreadLock, BlockingTakeWaitsForTheLastRelease) {
  ThreadLock lock;
  ASSERT_TRUE(lock.lock());
  ASSERT_TRUE(lock.lock());
  // Written only while this thread holds the lock; the waiter reads it once it has the lock,
  // so it must see the value of the last step before the final release.
  int stage = 0, stageSeenByWaiter = -1;
  bool waiterHeld = false;
  std::atomic<bool> waiting{false};
  std::thread waiter([&] {
    waiting = true;
    waiterHeld = lock.lock(true);
    stageSeenByWaiter = stage;
    lock.unlock();
  });
  while (!waiting) std::this_thread::yield();
  stage = 1;
  EXPECT_TRUE(lock.unlock());  // level 1: still held
  stage = 2;
  EXPECT_TRUE(lock.unlock());  // released: the waiter may go on
  waiter.join();
  EXPECT_TRUE(waiterHeld);
  EXPECT_EQ(stageSeenByWaiter, 2);
  EXPECT_EQ(lock.getOwner(), 0u);
}

TEST(ThreadLock, ManyThreadsCountingUnderTheLock) {
  ThreadLock lock;
  lock.lock();  // the first take sets the lock up, before other threads see it
  lock.unlock();
  long counter = 0;
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 2000; ++i) {
        lock.lock();
        lock.lock();  // nested
        ++counter;
        lock.unlock();
        lock.unlock();
      }
    });
  }
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(counter, 8000);
}

namespace {

// Puts the process and every logger at "flood" for one test, and back at "trace" after.
class FloodLevel {
 public:
  FloodLevel() { send("8"); }
  ~FloodLevel() { send("7"); }

 private:
  testsupport::ScopedLogLevel globalLevel{8};
  static void send(const char* level) {
    ImsAgent sender("level-sender");
    ImsMessage message("debug", "level", level);
    sender.sendMessage(message);
  }
};

}  // namespace

TEST(ThreadLock, FloodTracesEachStepOnceWithoutRecursing) {
  testsupport::LogCollector collector("", "8");
  FloodLevel flood;
  ASSERT_EQ(ThreadLock::logger().getLevel(), 8);
  ThreadLock lock;
  // Each trace line is posted through the bus, whose own lock would trace again and again
  // if tracing were not kept from nesting.
  collector.records.clear();
  EXPECT_TRUE(lock.lock());
  EXPECT_TRUE(lock.lock(false));
  EXPECT_TRUE(lock.unlock());
  EXPECT_TRUE(lock.unlock());
  EXPECT_FALSE(lock.unlock());
  const std::string a = std::to_string(reinterpret_cast<intptr_t>(&lock));
  EXPECT_EQ(collector.lines(),
            (std::vector<std::string>{
                "ThreadLock::lock: Going to lock " + a + " (blocking)",
                "ThreadLock::lock: Locked",
                "ThreadLock::lock: Going to lock " + a + " (non-blocking)",
                "ThreadLock::lock: Already locked",
                "ThreadLock::unlock: Going to unlock " + a,
                "ThreadLock::unlock: Nested locking (now at level 1 - actual unlock at zero)",
                "ThreadLock::unlock: Going to unlock " + a,
                "ThreadLock::unlock: Unlocked",
                "ThreadLock::unlock: Going to unlock " + a,
                "ThreadLock::unlock: Cannot unlock - locked by other thread 0",
            }));
}

TEST(ThreadLock, DestroyingAHeldLockReleasesItAtOnce) {
  testsupport::LogCollector collector("", "8");
  FloodLevel flood;
  {
    ThreadLock lock;
    lock.lock();
    lock.lock();
    lock.lock();
    collector.records.clear();
  }
  // One release, straight from level 3 to free: no "Nested locking" step.
  ASSERT_EQ(collector.records.size(), 2u);
  EXPECT_EQ(collector.records[1].filled, "ThreadLock::unlock: Unlocked");
}

TEST(ThreadLock, NothingIsTracedBelowFlood) {
  testsupport::LogCollector collector("", "8");
  ThreadLock lock;
  lock.lock();
  lock.unlock();
  testsupport::ScopedLogLevel flood(8);  // the lock's logger itself is still at 7
  lock.lock();
  lock.unlock();
  EXPECT_TRUE(collector.records.empty());
}
