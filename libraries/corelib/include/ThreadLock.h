#pragma once
// A mutual-exclusion lock that is recursive for the thread holding it.
//
//   ThreadLock lock;
//   lock.lock();           // true: this thread holds it (level 1)
//   lock.lock();           // true: taken again by the holder (level 2)
//   lock.lock(false);      // on another thread: false at once, nothing waits
//   lock.unlock();         // true: level 1, still held
//   lock.unlock();         // true: free again
//   lock.unlock();         // false: not held by the caller
//
// The operating-system lock is set up on the first `lock`, so a ThreadLock can be a member
// of an object built before `main`. That first `lock` must happen before a second thread can
// reach the object.
//
// Every step writes a trace line at level 8 ("flood") through the class's own logger
// (`ThreadLock::logger()`), but only while both that logger and `globalLogLevel` are at 8;
// below that nothing is built. Because posting a trace line goes through the message bus,
// which takes a ThreadLock itself, no trace line is written while this thread is already
// writing one: the bus's own lock takes inside a trace post stay silent.
//
// No operation throws; refusals are reported by the false result (and a trace line).
#include <atomic>
#include <cstddef>
#include <cstdint>

namespace KestroCorelib {

class Logger;

class ThreadLock {
 public:
  ThreadLock();
  // Releases the lock completely when the destroying thread holds it (at any level).
  // A lock held by another thread stays held.
  virtual ~ThreadLock();

  ThreadLock(const ThreadLock&) = delete;
  ThreadLock& operator=(const ThreadLock&) = delete;

  // Takes the lock. Blocking: waits until it is free; non-blocking: false when another
  // thread holds it. The holder taking it again only counts one level up.
  // Returns true when the calling thread holds the lock afterwards.
  bool lock(bool blocking = true);

  // Releases one level. False (and nothing changes) when the calling thread does not hold
  // the lock, including a lock that is free or was never taken.
  bool unlock();

  // Thread id of the holder, 0 when free (any thread may ask; the answer may be stale).
  uint32_t getOwner() const;
  // How many times the holder has taken the lock; meaningful to the holder only.
  uint32_t getLevel() const;

  // The logger of the lock's trace lines (source name "anonymous", agent name "logger").
  // Created on first use and never destroyed, so it is safe from any static object.
  static Logger& logger();

 private:
  bool initialized;
  // Written only by the holder; read by other threads to refuse a take or an unlock,
  // hence atomic.
  std::atomic<uint32_t> owner;
  uint32_t level;
  // Room for the operating system's lock, built in place by the first `lock` (no
  // allocation, so taking a lock can never fail for lack of memory).
  static constexpr std::size_t sectionSize = 64;
  alignas(16) unsigned char section[sectionSize];
};

}  // namespace KestroCorelib
