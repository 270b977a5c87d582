#pragma once
// Thread doors of the core library: the lock primitive under ThreadLock and the thread and
// process identities that log records carry.
#include <cstddef>
#include <cstdint>

namespace KestroCorelib::platform {

// The operating system's lock, built in caller-supplied storage of at least `size` bytes
// aligned to 16. Not recursive: ThreadLock does its own level counting.
void initLockSection(void* storage, std::size_t size);
void destroyLockSection(void* storage);
void enterLockSection(void* storage);
bool tryEnterLockSection(void* storage);
void leaveLockSection(void* storage);

// The calling thread's identifier; never 0.
uint32_t currentThreadId();
int32_t currentProcessId();

}  // namespace KestroCorelib::platform
