#include <malloc.h>

#include "platform/PlatformMemory.h"

namespace KestroCorelib::platform {

// Large pages need a privilege that ordinary users lack, so Windows gets ordinary memory.
void* allocateBlock(std::size_t size, std::size_t alignment) {
  return _aligned_malloc(size, alignment);
}

void releaseBlock(void* block, std::size_t) { _aligned_free(block); }

}  // namespace KestroCorelib::platform
