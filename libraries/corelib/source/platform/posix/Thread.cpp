// POSIX thread doors: a plain std::mutex (pthread) and the kernel's thread id.
#include <sys/syscall.h>
#include <unistd.h>

#include <exception>
#include <mutex>
#include <new>

#include "platform/PlatformThread.h"

namespace KestroCorelib::platform {

namespace {
std::mutex& asMutex(void* storage) { return *static_cast<std::mutex*>(storage); }
}  // namespace

void initLockSection(void* storage, std::size_t size) {
  static_assert(alignof(std::mutex) <= 16, "lock storage is aligned to 16");
  if (size < sizeof(std::mutex)) std::terminate();  // a build error in disguise
  new (storage) std::mutex();
}

void destroyLockSection(void* storage) { asMutex(storage).~mutex(); }

void enterLockSection(void* storage) { asMutex(storage).lock(); }

bool tryEnterLockSection(void* storage) { return asMutex(storage).try_lock(); }

void leaveLockSection(void* storage) { asMutex(storage).unlock(); }

uint32_t currentThreadId() {
  // The kernel's thread id is small, positive and unique among live threads, like a
  // Windows thread id; pthread_self() is a pointer and would not fit 32 bits.
  thread_local const uint32_t id = static_cast<uint32_t>(::syscall(SYS_gettid));
  return id;
}

int32_t currentProcessId() { return static_cast<int32_t>(::getpid()); }

}  // namespace KestroCorelib::platform
