#pragma once
// The memory of a tree that the .kconf reader builds: its nodes and their list elements, cut
// from large blocks instead of one heap allocation each. A large map has 100,000 nodes and a
// million elements; one by one they cost more to allocate, to fault in and to free than the
// reading itself.
//
// The arena lives as long as anything cut from it: each node from it holds it once (the
// reader holds it too while it reads), and the last hold released gives back every block.
// A node outliving its tree keeps the whole arena; a reader's tree is released as a whole in
// practice. Like the nodes' use counts, holds are not atomic.
#include <cstddef>
#include <vector>

namespace KestroCorelib {

class ConfArena {
 public:
  // A new arena, held once by its caller.
  static ConfArena* create();
  // The arena that `object`, cut from an arena, lies in.
  static ConfArena* owning(const void* object) noexcept;

  ConfArena(const ConfArena&) = delete;
  ConfArena& operator=(const ConfArena&) = delete;

  // `bytes` of storage aligned for any object of a tree (8 bytes), or nullptr when that
  // many do not fit one page of the arena (the caller then takes them from the heap).
  // Raises std::bad_alloc when memory runs out.
  void* allocate(std::size_t bytes);

  // Tells that the object in these bytes is gone (they stay the arena's until it goes).
  static void forget(void* object, std::size_t bytes) noexcept;

  void retain() noexcept { ++holds; }
  // Drops one hold; the last gives back every block and the arena itself.
  void release() noexcept;

  // Each page starts with a pointer to its arena, which is how owning() finds it, in a header
  // of 8 bytes whatever a pointer's size, so that what follows is aligned for any object.
  static constexpr std::size_t pageSize = std::size_t{64} << 10;
  static constexpr std::size_t headerSize = 8;
  static constexpr std::size_t largestObject = pageSize - headerSize;

 private:
  ConfArena() = default;
  ~ConfArena();
  // Moves on to a fresh page, from a new block if the current one is used up.
  void nextPage();

  struct Block {
    char* start;
    std::size_t size;
  };
  std::vector<Block> blocks;
  char* next = nullptr;      // the free space of the current page
  char* pageEnd = nullptr;   // the end of the current page
  char* blockEnd = nullptr;  // the end of the current block
  std::size_t holds = 1;
};

}  // namespace KestroCorelib
