// The goto and UnitAI pools shared by threads: four threads make and free
// gotos and order queues (each queue holding a goto of its own) at once,
// together holding more than a block's worth of gotos; afterwards every
// element is back and the goto pool has shrunk to its first block.
//
// A pool has no count of its elements in use. A first block all of whose
// elements are free hands out a whole block's worth of elements side by
// side without growing: that is what "nothing in use" is checked by.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <thread>
#include <vector>

#include "universe/objects/object_pools.h"
#include "universe/orders/movement_orders.h"
#include "universe/orders/unit_ai.h"

namespace order_pools_test {

namespace {

constexpr int kThreads = 4;
constexpr int kRounds = 3;
constexpr int kHeldPerThread = 3500;  // 14,000 gotos at once: more than a block
static_assert(kThreads * kHeldPerThread > kObjectPoolBlockElements, "the pool has to grow");

// A bounded meeting point of the threads; false when someone never came.
class Meeting {
 public:
  bool arriveAndWait(int generation) {
    arrived_.fetch_add(1);
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (arrived_.load() < kThreads * generation) {
      if (std::chrono::steady_clock::now() > until)
        return false;
      std::this_thread::yield();
    }
    return true;
  }

 private:
  std::atomic<int> arrived_{0};
};

// Takes a whole block's worth of elements of `size` from `allocate`, gives
// them back with `release` and answers whether they lay side by side,
// starting at `*first` (which is set when null).
template <class Allocate, class Release>
bool wholeBlockFree(Allocate allocate, Release release, size_t size, uintptr_t* first) {
  std::vector<uintptr_t> taken;
  taken.reserve(kObjectPoolBlockElements);
  for (int n = 0; n < kObjectPoolBlockElements; ++n)
    taken.push_back(reinterpret_cast<uintptr_t>(allocate(size)));
  for (uintptr_t address : taken)
    release(reinterpret_cast<void*>(address));
  std::sort(taken.begin(), taken.end());
  const bool distinct = std::adjacent_find(taken.begin(), taken.end()) == taken.end();
  const bool sideBySide = taken.back() - taken.front() == (kObjectPoolBlockElements - 1) * size;
  if (*first == 0)
    *first = taken.front();
  return distinct && sideBySide && taken.front() == *first;
}

bool gotoBlockFree(uintptr_t* first) {
  return wholeBlockFree(allocGotoOrder, releaseGotoOrder, sizeof(goto_order), first);
}

bool unitAIBlockFree(uintptr_t* first) {
  return wholeBlockFree(allocUnitAI, releaseUnitAI, sizeof(UnitAI), first);
}

TEST(OrderPoolTest, FourThreadsGiveEveryGotoAndQueueBack) {
  ObjectPool& gotos = gotoOrderPool();
  ASSERT_EQ(gotos.blockCount(), 1u);
  uintptr_t firstGoto = 0;
  uintptr_t firstAI = 0;
  ASSERT_TRUE(gotoBlockFree(&firstGoto)) << "gotos in use before the threads started";
  ASSERT_TRUE(unitAIBlockFree(&firstAI)) << "queues in use before the threads started";

  Meeting meeting;
  std::atomic<unsigned> mostBlocks{0};
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&, t] {
      std::vector<goto_order*> held;
      std::vector<UnitAI*> ais;
      held.reserve(kHeldPerThread);
      ais.reserve(kHeldPerThread / 4);
      for (int round = 0; round < kRounds; ++round) {
        for (int n = 0; n < kHeldPerThread; ++n) {
          held.push_back(new goto_order(nullptr, true, static_cast<float>(t)));
          if (n % 4 == 0) {
            auto* ai = new UnitAI(nullptr, false);
            ai->appendOrder(new goto_order(nullptr, false, 1.0f));  // freed with its queue
            ais.push_back(ai);
          }
          // Free some along the way, so that frees and allocations interleave.
          if (n % 3 == 2) {
            delete held[held.size() - 2];
            held.erase(held.end() - 2);
            held.push_back(new goto_order(nullptr, true, 0.0f));
          }
        }
        if (!meeting.arriveAndWait(2 * round + 1))
          ++failures;
        // Everyone holds their share now.
        const unsigned blocks = gotos.blockCount();
        unsigned seen = mostBlocks.load();
        while (blocks > seen && !mostBlocks.compare_exchange_weak(seen, blocks)) {
        }
        if (!meeting.arriveAndWait(2 * round + 2))
          ++failures;
        for (goto_order* order : held)
          delete order;
        held.clear();
        for (UnitAI* ai : ais)
          if (!ai->drop())
            ++failures;
        ais.clear();
      }
    });
  for (std::thread& thread : threads)
    thread.join();

  EXPECT_EQ(failures.load(), 0);
  EXPECT_GE(mostBlocks.load(), 2u) << "the gotos held at once never outgrew the first block";
  EXPECT_EQ(gotos.blockCount(), 1u) << "the blocks beyond the first went back when emptied";
  EXPECT_TRUE(gotoBlockFree(&firstGoto)) << "a goto is still in use";
  EXPECT_TRUE(unitAIBlockFree(&firstAI)) << "a queue is still in use";
  EXPECT_EQ(gotos.blockCount(), 1u);
}

}  // namespace

}  // namespace order_pools_test
