#include "platform/thread.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/recursive_mutex.h"
#include "platform/signals.h"

namespace thread_test {

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

// Exit code 1 when the calling thread has an alternate signal stack big
// enough for the crash handler.
uint32_t hasCrashHandlerStack(void*) {
  stack_t stack{};
  if (sigaltstack(nullptr, &stack) != 0)
    return 0;
  return (stack.ss_flags & SS_DISABLE) == 0 && stack.ss_size >= plat::kSignalStackBytes ? 1 : 0;
}

TEST(PlatformThreadTest, StartedThreadsHaveTheirOwnSignalStack) {
  // A stack overflow on any thread must find room to write its crash report.
  for (int i = 0; i < 3; ++i) {
    plat::ThreadHandle thread = plat::ThreadHandle::start(hasCrashHandlerStack, nullptr, true);
    ASSERT_TRUE(thread.valid());
    ASSERT_TRUE(thread.waitForExit());
    EXPECT_EQ(thread.exitCode(), 1u) << "thread " << i;
  }
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

// A sleep lasts at least what was asked, to the microsecond: a count below
// a millisecond is not cut to a zero-length sleep, nor a count above one to
// whole milliseconds. (Only the lower bound is checked: how much longer the
// system lets it run depends on the machine's load.)
TEST(PlatformThreadTest, MicrosecondSleepsLastAtLeastTheirLength) {
  for (uint32_t microseconds : {1u, 300u, 999u, 1700u}) {
    const auto began = std::chrono::steady_clock::now();
    plat::sleepMicroseconds(microseconds);
    EXPECT_GE(std::chrono::steady_clock::now() - began, std::chrono::microseconds(microseconds)) << microseconds;
  }
  plat::sleepMicroseconds(0);  // gives up the time slice and returns
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

}  // namespace thread_test
