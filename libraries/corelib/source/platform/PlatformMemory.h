#pragma once
// Memory doors of the core library: large blocks for the configuration tree's arena.
#include <cstddef>

namespace KestroCorelib::platform {

// A block of `size` bytes starting at a multiple of `alignment` (a power of two, at least
// the system's page size; `size` a multiple of it), or nullptr when memory runs out. Blocks
// of 2 MiB and more are offered to the system's large pages where it has them: a large map
// fills tens of megabytes, and faulting them in 4 KiB at a time costs more than reading it.
void* allocateBlock(std::size_t size, std::size_t alignment);
// Gives back a block of allocateBlock, with the size it was asked for.
void releaseBlock(void* block, std::size_t size);

}  // namespace KestroCorelib::platform
