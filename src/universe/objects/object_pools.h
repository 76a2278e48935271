// Object pools: the storage of the object classes made and destroyed by the
// thousand (ships, planets, star systems). Each class family has one pool of
// 12500-element blocks that grows by whole blocks, guarded by its own mutex,
// for the whole process.
//
// A pool serves requests of exactly its element size; any other size (a
// larger derived class, such as the galaxy in the system pool) goes to the
// general heap, and freeing hands such memory back to the heap.
#pragma once

#include <cstddef>

#include "core/block_pool.h"
#include "core/locks.h"

constexpr uint16_t kObjectPoolBlockElements = 12500;

class ObjectPool {
 public:
  // A family that is made less often may ask for smaller blocks.
  explicit ObjectPool(size_t elementSize, uint16_t elementsPerBlock = kObjectPoolBlockElements)
      : pool_(elementSize, elementsPerBlock, true) {}

  void* allocate(size_t size) {
    MutexGuard guard(mutex_);
    return pool_.allocate(size);
  }
  void free(void* memory) {
    if (memory == nullptr)
      return;
    MutexGuard guard(mutex_);
    pool_.free(memory);
  }
  size_t elementSize() const { return pool_.elementSize(); }
  unsigned blockCount() {
    MutexGuard guard(mutex_);
    return pool_.blockCount();
  }

 private:
  Mutex mutex_;
  BlockPool pool_;
};

// The pool of star systems (elements the size of a solarSystem).
ObjectPool& systemPool();
