#include "platform/thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/recursive_mutex.h"

namespace {

std::atomic<int> ran{0};

uint32_t countRun(void* argument) {
  ran.fetch_add(1);
  return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(argument));
}

TEST(PlatformThreadTest, StartsRunningOrHeldAtTheGate) {
  ran = 0;
  plat::ThreadHandle held = plat::ThreadHandle::start(countRun, reinterpret_cast<void*>(7), false);
  ASSERT_TRUE(held.valid());
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  EXPECT_EQ(ran.load(), 0);
  EXPECT_FALSE(held.finished());
  held.resume();
  EXPECT_TRUE(held.waitForExit(10000));
  EXPECT_EQ(ran.load(), 1);
  EXPECT_EQ(held.exitCode(), 7u);

  plat::ThreadHandle now = plat::ThreadHandle::start(countRun, reinterpret_cast<void*>(9), true);
  ASSERT_TRUE(now.valid());
  EXPECT_TRUE(now.waitForExit(10000));
  EXPECT_EQ(ran.load(), 2);
  EXPECT_EQ(now.exitCode(), 9u);
}

TEST(PlatformThreadTest, PriorityRequestsAnswerWithoutFailing) {
  plat::ThreadHandle self = plat::ThreadHandle::current();
  EXPECT_TRUE(self.isCurrent());
  // Lowering always works; raising may be refused without privileges.
  EXPECT_TRUE(self.setPriority(plat::ThreadPriority::Normal));
  self.setPriority(plat::ThreadPriority::AboveNormal);
  EXPECT_TRUE(self.setPriority(plat::ThreadPriority::Normal));
  EXPECT_GE(plat::logicalCpuCount(), 1u);
}

TEST(RecursiveMutexTest, DepthIsOnlyVisibleToTheOwner) {
  plat::RecursiveMutex mutex;
  EXPECT_TRUE(mutex.tryLock());
  EXPECT_TRUE(mutex.tryLock());
  EXPECT_EQ(mutex.depth(), 2u);
  bool otherGot = true;
  unsigned otherDepth = 99, otherReleased = 99;
  std::thread([&] {
    otherGot = mutex.tryLock();
    otherDepth = mutex.depth();
    otherReleased = mutex.releaseAll();
    mutex.unlock();  // not the owner: ignored
  }).join();
  EXPECT_FALSE(otherGot);
  EXPECT_EQ(otherDepth, 0u);
  EXPECT_EQ(otherReleased, 0u);
  EXPECT_EQ(mutex.depth(), 2u);
  EXPECT_EQ(mutex.releaseAll(), 2u);
  EXPECT_FALSE(mutex.ownedByCaller());
}

}  // namespace
