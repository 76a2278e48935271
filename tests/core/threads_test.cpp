#include "core/threads.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>

namespace threads_test {

namespace {

std::string calls;

void varInit() { calls += "i"; }
void varCleanup() { calls += "c"; }

TEST(ThreadLocalsTest, InitTwiceTearsTheFirstSetDown) {
  static bool registered = false;
  if (!registered) {
    registerThreadVarFuncs({varInit, varCleanup});
    registered = true;
  }
  std::thread([] {
    calls.clear();
    ThreadLocals& record = threadLocals();
    EXPECT_EQ(record.formulaStack, nullptr);
    initThreadLocals();
    EXPECT_EQ(calls, "i");
    EXPECT_GT(record.timerFrequency, 0);
    EXPECT_EQ(record.timerFrequencyD, static_cast<double>(record.timerFrequency));
    ASSERT_NE(record.formulaStack, nullptr);
    initThreadLocals();
    EXPECT_EQ(calls, "ici");
    freeThreadLocals();
    EXPECT_EQ(calls, "icic");
    EXPECT_EQ(record.formulaStack, nullptr);
  }).join();
}

uint32_t storeArgument(void* argument) {
  *static_cast<int*>(argument) = 42;
  return 3;
}

TEST(ThreadTest, StartResumeAndShareTheHandle) {
  int value = 0;
  Thread thread;
  ASSERT_TRUE(thread.start(storeArgument, &value, false));
  Thread copy;
  copy.assign(thread);
  thread.setPriority(2);
  thread.setPriority(99);  // out of range: ignored
  EXPECT_FALSE(copy.waitForExit(20));
  EXPECT_EQ(value, 0);
  copy.resume();
  EXPECT_TRUE(thread.waitForExit(10000));
  EXPECT_EQ(value, 42);

  Thread self;
  self.fromCurrent();
  EXPECT_TRUE(self.handle().isCurrent());
}

}  // namespace

}  // namespace threads_test
