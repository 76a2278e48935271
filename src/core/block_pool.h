// Fixed-size block pools for objects made and destroyed by the thousand.
//
// A pool hands out elements of one size from blocks of `elementsPerBlock`
// elements. Each block keeps a stack of its freed elements and the part of its
// store that was never used. Allocation starts at the newest block and walks
// towards older ones; when every block is exhausted a growing pool chains a
// new block of the same geometry, and a fixed pool falls back to the general
// heap. A block other than the first is released as soon as every element it
// handed out has come back. The pool takes no lock: its users guard it with a
// Mutex of their own.
//
// Element addresses advance by the element size, so the size must be a
// multiple of the element type's alignment (sizeof of the type always is).
#pragma once

#include <cstddef>
#include <cstdint>

class BlockPool {
 public:
  BlockPool(size_t elementSize, uint16_t elementsPerBlock, bool grow);
  ~BlockPool();
  BlockPool(const BlockPool&) = delete;
  BlockPool& operator=(const BlockPool&) = delete;

  // An element for a request of `size` bytes. Requests of any other size than
  // the pool's element size are served by the general heap.
  void* allocate(size_t size);
  // Gives an element back: to the block that holds it, or to the general heap
  // when no block does. Null does nothing.
  void free(void* element);

  size_t elementSize() const { return elementSize_; }
  uint16_t elementsPerBlock() const { return elementsPerBlock_; }
  // Blocks in the chain, the first included.
  unsigned blockCount() const;

 private:
  struct Block {
    Block* older = nullptr;
    Block* newer = nullptr;
    char* store = nullptr;       // elementsPerBlock elements
    char* storeEnd = nullptr;
    char* nextUnused = nullptr;  // first element never handed out
    void** freed = nullptr;      // stack of freed elements
    uint16_t freedCount = 0;

    bool holds(const void* element) const {
      const uintptr_t address = reinterpret_cast<uintptr_t>(element);
      return address >= reinterpret_cast<uintptr_t>(store) && address < reinterpret_cast<uintptr_t>(storeEnd);
    }
  };

  void buildBlock(Block& block);
  static void releaseStorage(Block& block);

  size_t elementSize_;
  uint16_t elementsPerBlock_;
  bool grow_;
  Block first_;
  Block* newest_;
};
