#include "platform/peer_clock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace peer_clock_test {

using RakNet::PeerClock;

namespace {

// Waits until the running clock has passed `mark`; false after a long safety
// limit.
bool waitPast(const PeerClock& clock, uint64_t mark) {
  const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (clock.now() <= mark) {
    if (std::chrono::steady_clock::now() > limit) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

TEST(PeerClockTest, HeldClockMovesOnlyByAdvance) {
  PeerClock clock;
  clock.hold();
  const uint64_t start = clock.now();
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(clock.now(), start);
  clock.advance(1200);
  EXPECT_EQ(clock.now(), start + 1200);
  clock.hold();  // already held: nothing changes
  clock.advance(0);
  EXPECT_EQ(clock.now(), start + 1200);
}

TEST(PeerClockTest, ReleasedClockRunsOnFromWhereItStood) {
  using std::chrono::steady_clock;
  PeerClock clock;
  clock.hold();
  const uint64_t held = clock.now();
  std::this_thread::sleep_for(std::chrono::milliseconds(200));  // not counted
  clock.advance(500);
  const auto beforeRelease = steady_clock::now();
  clock.release();
  const uint64_t after = clock.now();
  const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(steady_clock::now() - beforeRelease);
  // Only the time since the release is added, never the 200 ms held (one
  // millisecond of slack for the two clocks' rounding).
  EXPECT_GE(after, held + 500);
  EXPECT_LE(after, held + 500 + static_cast<uint64_t>(elapsed.count()) + 1);
  EXPECT_TRUE(waitPast(clock, after));
  const uint64_t running = clock.now();
  clock.release();  // not held: nothing changes
  EXPECT_GE(clock.now(), running);
}

TEST(PeerClockTest, AdvanceMovesARunningClock) {
  PeerClock clock;
  const uint64_t before = clock.now();
  clock.advance(60000);
  EXPECT_GE(clock.now(), before + 60000);
}

// The service thread reads the clock while a test holds, releases and
// advances it: no reader ever sees it go back.
TEST(PeerClockTest, NeverRunsBackwardsUnderConcurrentChanges) {
  PeerClock clock;
  std::atomic<bool> stop{false};
  std::atomic<bool> wentBack{false};
  std::thread reader([&] {
    uint64_t last = clock.now();
    while (!stop.load()) {
      const uint64_t now = clock.now();
      if (now < last) wentBack = true;
      last = now;
    }
  });
  for (int i = 0; i < 2000; ++i) {
    clock.hold();
    if (i % 3 == 0) clock.advance(1);
    std::this_thread::yield();
    clock.release();
  }
  stop = true;
  reader.join();
  EXPECT_FALSE(wentBack.load());
}

}  // namespace

}  // namespace peer_clock_test
