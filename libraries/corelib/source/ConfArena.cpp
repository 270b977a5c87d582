#include "ConfArena.h"

#include <algorithm>
#include <cstdint>
#include <new>

#include "platform/PlatformMemory.h"

namespace KestroCorelib {

namespace {

// Blocks double from one page up to the size of a large page: a small map takes one small
// block, a large one mostly blocks the system can back with large pages.
constexpr std::size_t kLargestBlock = std::size_t{2} << 20;
constexpr std::size_t kAlignment = 8;

}  // namespace

ConfArena* ConfArena::create() { return new ConfArena(); }

ConfArena* ConfArena::owning(const void* object) noexcept {
  const std::uintptr_t page = reinterpret_cast<std::uintptr_t>(object) & ~(pageSize - 1);
  return *reinterpret_cast<ConfArena* const*>(page);
}

ConfArena::~ConfArena() {
  for (const Block& block : blocks) platform::releaseBlock(block.start, block.size);
}

void ConfArena::release() noexcept {
  if (--holds == 0) delete this;
}

void* ConfArena::allocate(std::size_t bytes) {
  bytes = (bytes + kAlignment - 1) & ~(kAlignment - 1);
  if (bytes > largestObject) return nullptr;
  if (static_cast<std::size_t>(pageEnd - next) < bytes) nextPage();
  void* object = next;
  next += bytes;
  return object;
}

void ConfArena::nextPage() {
  if (pageEnd == blockEnd) {
    const std::size_t size = blocks.empty() ? pageSize : std::min(blocks.back().size * 2, kLargestBlock);
    blocks.reserve(blocks.size() + 1);  // before the block, so that it cannot be lost
    char* start = static_cast<char*>(platform::allocateBlock(size, pageSize));
    if (start == nullptr) throw std::bad_alloc();
    blocks.push_back(Block{start, size});
    pageEnd = start;
    blockEnd = start + size;
  }
  next = pageEnd;
  pageEnd += pageSize;
  *reinterpret_cast<ConfArena**>(next) = this;
  next += sizeof(ConfArena*);
}

}  // namespace KestroCorelib
