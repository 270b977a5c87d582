#include "ConfArena.h"

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <new>

#include "platform/PlatformMemory.h"

// Under AddressSanitizer the arena's free space and what was destroyed in it are marked
// unreadable, so that a node used after its release is caught as it would be on the heap.
#if defined(__SANITIZE_ADDRESS__)
#  include <sanitizer/asan_interface.h>
#  define KESTRO_HIDE(at, bytes) ASAN_POISON_MEMORY_REGION(at, bytes)
#  define KESTRO_SHOW(at, bytes) ASAN_UNPOISON_MEMORY_REGION(at, bytes)
#else
#  define KESTRO_HIDE(at, bytes) ((void)(at), (void)(bytes))
#  define KESTRO_SHOW(at, bytes) ((void)(at), (void)(bytes))
#endif

namespace KestroCorelib {

namespace {

// The first block is one page, enough for a small map, the second eight, enough for a map of
// a thousand projects; every later one is the size of a large page, which the system can
// fault in at once. Smaller blocks beyond those would cost a fault per 4 KiB, about as much
// as the reading of what they hold; a large block from the start would make every mid-sized
// map clear 2 MiB it never uses.
constexpr std::size_t kBlockSizes[] = {ConfArena::pageSize, 8 * ConfArena::pageSize,
                                       std::size_t{2} << 20};
constexpr std::size_t kAlignment = 8;
static_assert(ConfArena::headerSize % kAlignment == 0 && ConfArena::headerSize >= sizeof(void*),
              "a page's header holds a pointer and keeps what follows aligned");

}  // namespace

ConfArena* ConfArena::create() { return new ConfArena(); }

ConfArena* ConfArena::owning(const void* object) noexcept {
  const std::uintptr_t page = reinterpret_cast<std::uintptr_t>(object) & ~(pageSize - 1);
  return *reinterpret_cast<ConfArena* const*>(page);
}

ConfArena::~ConfArena() {
  for (const Block& block : blocks) {
    KESTRO_SHOW(block.start, block.size);  // the addresses may come back in another mapping
    platform::releaseBlock(block.start, block.size);
  }
}

void ConfArena::forget(void* object, std::size_t bytes) noexcept { KESTRO_HIDE(object, bytes); }

void ConfArena::release() noexcept {
  if (--holds == 0) delete this;
}

void* ConfArena::allocate(std::size_t bytes) {
  if (bytes > largestObject) return nullptr;  // before rounding up, which could wrap around
  bytes = (bytes + kAlignment - 1) & ~(kAlignment - 1);
  if (static_cast<std::size_t>(pageEnd - next) < bytes) nextPage();
  void* object = next;
  next += bytes;
  KESTRO_SHOW(object, bytes);
  return object;
}

void ConfArena::nextPage() {
  if (pageEnd == blockEnd) {
    const std::size_t size = kBlockSizes[std::min(blocks.size(), std::size(kBlockSizes) - 1)];
    blocks.reserve(blocks.size() + 1);  // before the block, so that it cannot be lost
    char* start = static_cast<char*>(platform::allocateBlock(size, pageSize));
    if (start == nullptr) throw std::bad_alloc();
    blocks.push_back(Block{start, size});
    KESTRO_HIDE(start, size);
    pageEnd = start;
    blockEnd = start + size;
  }
  next = pageEnd;
  pageEnd += pageSize;
  KESTRO_SHOW(next, headerSize);
  *reinterpret_cast<ConfArena**>(next) = this;
  next += headerSize;
}

}  // namespace KestroCorelib
