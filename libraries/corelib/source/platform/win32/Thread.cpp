// Win32 thread doors: a critical section and the system's thread id.
#include <windows.h>

#include <exception>
#include <new>

#include "platform/PlatformThread.h"

namespace KestroCorelib::platform {

namespace {
CRITICAL_SECTION* asSection(void* storage) { return static_cast<CRITICAL_SECTION*>(storage); }
}  // namespace

void initLockSection(void* storage, std::size_t size) {
  if (size < sizeof(CRITICAL_SECTION)) std::terminate();  // a build error in disguise
  InitializeCriticalSection(asSection(storage));
}

void destroyLockSection(void* storage) { DeleteCriticalSection(asSection(storage)); }

void enterLockSection(void* storage) { EnterCriticalSection(asSection(storage)); }

bool tryEnterLockSection(void* storage) { return TryEnterCriticalSection(asSection(storage)) != 0; }

void leaveLockSection(void* storage) { LeaveCriticalSection(asSection(storage)); }

uint32_t currentThreadId() { return static_cast<uint32_t>(GetCurrentThreadId()); }

int32_t currentProcessId() { return static_cast<int32_t>(GetCurrentProcessId()); }

}  // namespace KestroCorelib::platform
