#include "design/hull_list.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

namespace {

// A layout that counts its deletions.
class CountedLayout : public hull_list {
 public:
  explicit CountedLayout(std::atomic<int>& deletions) : hull_list(L"Counted", nullptr), deletions_(deletions) {}

 protected:
  ~CountedLayout() override { deletions_.fetch_add(1); }

 private:
  std::atomic<int>& deletions_;
};

TEST(HullListTest, ANewLayoutIsEmptyAndCurrent) {
  alignas(8) static char ownerStandIn[8];  // an address the layout only stores
  empire* owner = reinterpret_cast<empire*>(ownerStandIn);
  hull_list* layout = new hull_list(L"Unknown Hull Layout", owner);

  EXPECT_EQ(layout->owner, owner);
  EXPECT_EQ(layout->name, irr::core::stringw(L"Unknown Hull Layout"));
  EXPECT_EQ(layout->getReferenceCount(), 1u);
  EXPECT_EQ(layout->systemCount, 0u);
  EXPECT_EQ(layout->systems, nullptr);
  EXPECT_EQ(layout->effectorSystemCount, 0u);
  for (const auto& order : layout->damageOrders)
    EXPECT_EQ(order.size(), 0u);
  EXPECT_TRUE(layout->tags.empty());
  EXPECT_EQ(layout->orders.size(), 0u);
  EXPECT_EQ(layout->scale, 1.0f);
  EXPECT_EQ(layout->mass, 0.0);
  EXPECT_EQ(layout->role, HullRole_Civilian);
  EXPECT_EQ(layout->revision, 1u);
  EXPECT_EQ(layout->metadata, 0);
  EXPECT_EQ(layout->updateThreshold, 10.0f);
  EXPECT_FALSE(layout->obsolete);
  EXPECT_EQ(layout->newer, nullptr);

  // The targeting block goes over the network byte for byte: all zero but
  // orbits, spareFlag, both target kinds and the second deposit flag.
  unsigned char bytes[sizeof(hull_targeting)];
  std::memcpy(bytes, &layout->targeting, sizeof bytes);
  unsigned char expected[32] = {};
  for (int set : {22, 23, 24, 25, 27})
    expected[set] = 1;
  EXPECT_EQ(std::memcmp(bytes, expected, sizeof bytes), 0);
  EXPECT_TRUE(layout->drop());
}

TEST(HullListTest, ReferencesFromManyThreadsBalanceAndTheLastDropDeletesOnce) {
  constexpr int kThreads = 8;
  std::atomic<int> deletions{0};
  hull_list* layout = new CountedLayout(deletions);

  // Every thread takes and releases many references, some held a while.
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([layout] {
      for (int round = 0; round < 200; ++round) {
        for (int i = 0; i < 50; ++i)
          layout->grab();
        for (int i = 0; i < 50; ++i)
          EXPECT_FALSE(layout->drop());
      }
    });
  }
  for (std::thread& thread : threads)
    thread.join();
  EXPECT_EQ(layout->getReferenceCount(), 1u);
  EXPECT_EQ(deletions.load(), 0);

  // Holders on several threads let go at once: exactly one drop deletes.
  for (int round = 0; round < 100; ++round) {
    std::atomic<int> roundDeletions{0};
    hull_list* shared = new CountedLayout(roundDeletions);
    for (int t = 1; t < kThreads; ++t)
      shared->grab();
    std::atomic<bool> go{false};
    std::atomic<int> lastDrops{0};
    threads.clear();
    for (int t = 0; t < kThreads; ++t) {
      threads.emplace_back([shared, &go, &lastDrops] {
        while (!go.load())
          std::this_thread::yield();
        if (shared->drop())
          lastDrops.fetch_add(1);
      });
    }
    go.store(true);
    for (std::thread& thread : threads)
      thread.join();
    ASSERT_EQ(lastDrops.load(), 1) << "round " << round;
    ASSERT_EQ(roundDeletions.load(), 1) << "round " << round;
  }

  EXPECT_TRUE(layout->drop());
  EXPECT_EQ(deletions.load(), 1);
}

}  // namespace
