#include "core/block_pool.h"

#include <new>

BlockPool::BlockPool(size_t elementSize, uint16_t elementsPerBlock, bool grow)
    : elementSize_(elementSize > 0 ? elementSize : 1),
      elementsPerBlock_(elementsPerBlock > 0 ? elementsPerBlock : 1),
      grow_(grow),
      newest_(&first_) {
  buildBlock(first_);
}

BlockPool::~BlockPool() {
  Block* block = newest_;
  while (block != &first_) {
    Block* older = block->older;
    releaseStorage(*block);
    delete block;
    block = older;
  }
  releaseStorage(first_);
}

void BlockPool::buildBlock(Block& block) {
  const size_t bytes = elementSize_ * elementsPerBlock_;
  block.store = static_cast<char*>(::operator new(bytes));
  block.storeEnd = block.store + bytes;
  block.nextUnused = block.store;
  block.freed = new void*[elementsPerBlock_];
  block.freedCount = 0;
}

void BlockPool::releaseStorage(Block& block) {
  ::operator delete(block.store);
  delete[] block.freed;
  block.store = block.storeEnd = block.nextUnused = nullptr;
  block.freed = nullptr;
}

void* BlockPool::allocate(size_t size) {
  if (size != elementSize_)
    return ::operator new(size);
  for (Block* block = newest_; block != nullptr; block = block->older) {
    if (block->freedCount > 0)
      return block->freed[--block->freedCount];
    if (block->nextUnused < block->storeEnd) {
      void* element = block->nextUnused;
      block->nextUnused += elementSize_;
      return element;
    }
  }
  if (!grow_)
    return ::operator new(elementSize_);

  Block* block = new Block();
  buildBlock(*block);
  block->older = newest_;
  newest_->newer = block;
  newest_ = block;
  block->nextUnused += elementSize_;
  return block->store;
}

void BlockPool::free(void* element) {
  if (element == nullptr)
    return;
  for (Block* block = newest_; block != nullptr; block = block->older) {
    if (!block->holds(element))
      continue;
    const size_t usedBytes = static_cast<size_t>(block->nextUnused - block->store);
    // A block never takes back more elements than it handed out: a second
    // free of an element would overrun its stack.
    if (static_cast<size_t>(block->freedCount) * elementSize_ >= usedBytes)
      return;
    block->freed[block->freedCount++] = element;
    if (block != &first_ && static_cast<size_t>(block->freedCount) * elementSize_ == usedBytes) {
      block->older->newer = block->newer;
      if (block->newer != nullptr)
        block->newer->older = block->older;
      if (newest_ == block)
        newest_ = block->older;
      releaseStorage(*block);
      delete block;
    }
    return;
  }
  ::operator delete(element);
}

unsigned BlockPool::blockCount() const {
  unsigned count = 0;
  for (const Block* block = newest_; block != nullptr; block = block->older)
    ++count;
  return count;
}
