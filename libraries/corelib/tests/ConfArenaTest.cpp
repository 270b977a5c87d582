#include <gtest/gtest.h>
#ifndef _WIN32
#  include <sys/mman.h>
#endif

#include <cstdint>
#include <cstring>
#include <vector>

#include "ConfArena.h"
#include "platform/PlatformMemory.h"

namespace KestroCorelib {
namespace {

std::uintptr_t pageOf(const void* p) {
  return reinterpret_cast<std::uintptr_t>(p) & ~(ConfArena::pageSize - 1);
}

// Objects are found by the page they lie in, so none may cross into the next page, and
// every page of every block must name its arena; the small first block and several large ones are
// filled.
TEST(ConfArena, ObjectsStayInsideOnePageThatNamesTheirArena) {
  ConfArena* arena = ConfArena::create();
  ConfArena* other = ConfArena::create();
  struct Piece {
    unsigned char* at;
    std::size_t size;
  };
  std::vector<Piece> pieces;
  std::size_t total = 0;
  for (std::size_t i = 0; total < (std::size_t{9} << 20); ++i) {
    const std::size_t size = 1 + (i * 7919) % 9000;
    auto* at = static_cast<unsigned char*>(arena->allocate(size));
    ASSERT_NE(at, nullptr);
    std::memset(at, static_cast<int>(i & 0xFF), size);
    pieces.push_back({at, size});
    total += size;
  }
  (void)other->allocate(16);
  for (std::size_t i = 0; i < pieces.size(); ++i) {
    const Piece& p = pieces[i];
    ASSERT_EQ(reinterpret_cast<std::uintptr_t>(p.at) % 8, 0u) << i;
    ASSERT_EQ(pageOf(p.at), pageOf(p.at + p.size - 1)) << i;
    ASSERT_EQ(ConfArena::owning(p.at + p.size - 1), arena) << i;
    // Nothing written later overlapped it.
    ASSERT_EQ(p.at[0], i & 0xFF) << i;
    ASSERT_EQ(p.at[p.size - 1], i & 0xFF) << i;
  }
  arena->release();
  other->release();
}

TEST(ConfArena, WhatDoesNotFitAPageIsLeftToTheHeap) {
  ConfArena* arena = ConfArena::create();
  EXPECT_EQ(arena->allocate(ConfArena::largestObject + 1), nullptr);
  EXPECT_EQ(arena->allocate(SIZE_MAX), nullptr);  // no wrap-around to a small size
  void* full = arena->allocate(ConfArena::largestObject);
  ASSERT_NE(full, nullptr);
  EXPECT_EQ(ConfArena::owning(static_cast<char*>(full) + ConfArena::largestObject - 1), arena);
  // A hold taken and dropped leaves the arena in use by its creator.
  arena->retain();
  arena->release();
  EXPECT_NE(arena->allocate(8), nullptr);
  arena->release();
}

// Blocks start where asked, large ones (on POSIX) where a large page can back them.
TEST(ConfArena, BlocksAreAlignedAndWritable) {
  for (const std::size_t size : {ConfArena::pageSize, std::size_t{4} << 20}) {
    auto* block = static_cast<unsigned char*>(platform::allocateBlock(size, ConfArena::pageSize));
    ASSERT_NE(block, nullptr);
#ifdef _WIN32
    const std::size_t boundary = ConfArena::pageSize;  // no large pages for ordinary users
#else
    const std::size_t boundary = size < (std::size_t{2} << 20) ? ConfArena::pageSize : size / 2;
#endif
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(block) % boundary, 0u) << size;
    block[0] = 1;
    block[size - 1] = 2;
    EXPECT_EQ(block[0] + block[size - 1], 3);
    platform::releaseBlock(block, size);
  }
}

#ifndef _WIN32
// The last hold gives every block back to the system, the first small one and the later
// large ones alike.
TEST(ConfArena, TheLastHoldGivesTheBlocksBack) {
  ConfArena* arena = ConfArena::create();
  std::vector<void*> firstOfEachPage;
  for (int i = 0; i < 100; ++i)
    firstOfEachPage.push_back(arena->allocate(ConfArena::largestObject));
  unsigned char resident = 0;
  auto mapped = [&resident](void* at) {
    return mincore(reinterpret_cast<void*>(pageOf(at)), 1, &resident) == 0;
  };
  arena->retain();
  arena->release();
  for (void* at : firstOfEachPage) ASSERT_TRUE(mapped(at));
  arena->release();
  for (void* at : firstOfEachPage) EXPECT_FALSE(mapped(at));
}
#endif

}  // namespace
}  // namespace KestroCorelib
