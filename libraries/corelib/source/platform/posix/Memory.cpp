#include <sys/mman.h>

#include <algorithm>
#include <cstdint>

#include "platform/PlatformMemory.h"

namespace KestroCorelib::platform {

namespace {

constexpr std::size_t kLargePage = std::size_t{2} << 20;

}  // namespace

void* allocateBlock(std::size_t size, std::size_t alignment) {
  // Large pages need blocks aligned to their size.
  if (size >= kLargePage) alignment = std::max(alignment, kLargePage);
  // mmap aligns to pages only: map enough to cut an aligned block out, then unmap the rest.
  const std::size_t mapped = size + alignment;
  void* raw = mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (raw == MAP_FAILED) return nullptr;
  const auto start = reinterpret_cast<std::uintptr_t>(raw);
  const std::uintptr_t aligned = (start + alignment - 1) & ~(std::uintptr_t{alignment} - 1);
  if (aligned > start) munmap(raw, aligned - start);
  const std::size_t tail = start + mapped - (aligned + size);
  if (tail > 0) munmap(reinterpret_cast<void*>(aligned + size), tail);
  void* block = reinterpret_cast<void*>(aligned);
#ifdef MADV_HUGEPAGE
  // Only a hint: where large pages are off, or the system has none free, it changes nothing.
  if (size >= kLargePage) madvise(block, size, MADV_HUGEPAGE);
#endif
  return block;
}

void releaseBlock(void* block, std::size_t size) { munmap(block, size); }

}  // namespace KestroCorelib::platform
