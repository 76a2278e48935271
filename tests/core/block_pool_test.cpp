#include "core/block_pool.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <set>
#include <vector>

namespace block_pool_test {

namespace {

constexpr size_t kElement = 48;

uintptr_t address(const void* pointer) { return reinterpret_cast<uintptr_t>(pointer); }

TEST(BlockPoolTest, FixedPoolFallsBackToTheHeapWhenFull) {
  BlockPool pool(kElement, 1000, false);
  std::vector<void*> elements;
  for (int i = 0; i < 1000; ++i) {
    elements.push_back(pool.allocate(kElement));
    std::memset(elements.back(), 0xAB, kElement);
  }
  const auto range = std::minmax_element(elements.begin(), elements.end(), [](void* a, void* b) {
    return address(a) < address(b);
  });
  // All 1000 come from one store of 1000 elements.
  EXPECT_EQ(address(*range.second) - address(*range.first), 999 * kElement);
  EXPECT_EQ(std::set<void*>(elements.begin(), elements.end()).size(), 1000u);

  void* fromHeap = pool.allocate(kElement);
  EXPECT_TRUE(address(fromHeap) < address(*range.first) || address(fromHeap) > address(*range.second));
  EXPECT_EQ(pool.blockCount(), 1u);
  pool.free(fromHeap);  // deleted on the heap (the sanitizer checks the pairing)

  pool.free(elements[10]);
  EXPECT_EQ(pool.allocate(kElement), elements[10]);  // freed elements come back first
  for (void* element : elements)
    pool.free(element);
  pool.free(nullptr);
}

TEST(BlockPoolTest, GrownBlocksAreReleasedWhenEmptyTheFirstNever) {
  BlockPool pool(kElement, 4, true);
  std::vector<void*> elements;
  for (int i = 0; i < 12; ++i)
    elements.push_back(pool.allocate(kElement));
  EXPECT_EQ(pool.blockCount(), 3u);

  // The middle block: its four elements back releases it.
  for (int i = 4; i < 8; ++i)
    pool.free(elements[i]);
  EXPECT_EQ(pool.blockCount(), 2u);
  // The newest block, partly back, stays; fully back, goes.
  pool.free(elements[8]);
  pool.free(elements[9]);
  EXPECT_EQ(pool.blockCount(), 2u);
  pool.free(elements[10]);
  pool.free(elements[11]);
  EXPECT_EQ(pool.blockCount(), 1u);
  // The first block stays even when all its elements are back.
  for (int i = 0; i < 4; ++i)
    pool.free(elements[i]);
  EXPECT_EQ(pool.blockCount(), 1u);

  // It is used again, then the pool grows again.
  std::set<void*> reused;
  for (int i = 0; i < 5; ++i)
    reused.insert(pool.allocate(kElement));
  EXPECT_EQ(pool.blockCount(), 2u);
  for (int i = 0; i < 4; ++i)
    EXPECT_EQ(reused.count(elements[i]), 1u);
  for (void* element : reused)
    pool.free(element);
  EXPECT_EQ(pool.blockCount(), 1u);
}

TEST(BlockPoolTest, OtherSizesAndStrayFreesUseTheHeap) {
  BlockPool pool(kElement, 2, false);
  void* larger = pool.allocate(kElement * 2);
  std::memset(larger, 1, kElement * 2);
  void* first = pool.allocate(kElement);
  void* second = pool.allocate(kElement);
  EXPECT_EQ(address(second) - address(first), kElement);  // the larger request took no element
  pool.free(larger);
  // Freeing one element over and over never overruns the block's stack.
  for (int i = 0; i < 3; ++i)
    pool.free(first);
  EXPECT_EQ(pool.allocate(kElement), first);
  pool.free(first);
  pool.free(second);
}

}  // namespace

}  // namespace block_pool_test
