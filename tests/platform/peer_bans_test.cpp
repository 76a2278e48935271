#include "platform/peer_bans.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

#include "platform/peer_clock.h"
#include "platform/system_address_io.h"

namespace peer_bans_test {

using RakNet::BanList;

namespace {

uint32_t ip(uint8_t a, uint8_t b, uint8_t c, uint8_t d) { return RakNet::ipv4FromOctets({a, b, c, d}); }

const uint32_t kLoopback = ip(127, 0, 0, 1);

// Each case: bans made at the times given, then the answers asked for.
struct Step {
  bool isAdd;
  uint64_t at;
  uint32_t milliseconds;  // for an add
  bool banned;            // for a check
};

Step add(uint64_t at, uint32_t milliseconds) { return {true, at, milliseconds, false}; }
Step check(uint64_t at, bool banned) { return {false, at, 0, banned}; }

TEST(PeerBansTest, BansHoldUntilTheyRunOut) {
  struct Case {
    const char* name;
    std::vector<Step> steps;
  };
  const Case cases[] = {
      {"a second's ban", {check(5000, false), add(5000, 1000), check(5000, true), check(5999, true),
                          check(6000, false), check(6200, false)}},
      {"for the life of the list", {add(0, 0), check(0, true), check(3'600'000, true), check(UINT64_MAX / 2, true)}},
      {"a later ban replaces a shorter one", {add(0, 1000), add(500, 0), check(100'000, true)}},
      {"a later ban replaces a longer one", {add(0, 0), add(500, 1000), check(1499, true), check(1500, false)}},
      {"banned again after expiry", {add(0, 10), check(10, false), add(20, 10), check(29, true), check(30, false)}},
      {"the longest ban", {add(1, UINT32_MAX), check(UINT32_MAX, true), check(uint64_t{UINT32_MAX} + 1, false)}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    BanList bans;
    for (const Step& step : c.steps) {
      SCOPED_TRACE(step.at);
      if (step.isAdd) {
        bans.add(kLoopback, step.milliseconds, step.at);
      } else {
        EXPECT_EQ(bans.isBanned(kLoopback, step.at), step.banned);
        // Only that address: its neighbours are never banned.
        EXPECT_FALSE(bans.isBanned(ip(127, 0, 0, 2), step.at));
        EXPECT_FALSE(bans.isBanned(ip(1, 0, 0, 127), step.at));
      }
    }
  }
}

TEST(PeerBansTest, TextIsReadStrictlyAndBadTextChangesNothing) {
  BanList bans;
  EXPECT_TRUE(bans.add("10.0.0.7", 0, 0));
  EXPECT_TRUE(bans.isBanned(ip(10, 0, 0, 7), 1));
  for (const char* bad : {"", "10.0.0.8:12100", "localhost", "10.0.0", "10.0.0.256", " 10.0.0.8"}) {
    SCOPED_TRACE(bad);
    EXPECT_FALSE(bans.add(bad, 1000, 0));
  }
  EXPECT_FALSE(bans.add(nullptr, 1000, 0));
  EXPECT_EQ(bans.size(), 1u);
  EXPECT_FALSE(bans.isBanned(ip(10, 0, 0, 8), 1));
}

// Kicks of many players, each banned for a minute, must not pile up: bans
// that ran out go when the next one is made.
TEST(PeerBansTest, ExpiredBansAreDropped) {
  BanList bans;
  for (uint8_t i = 1; i <= 100; ++i) bans.add(ip(192, 168, 0, i), 60000, 0);
  bans.add(ip(192, 168, 1, 1), 0, 0);
  EXPECT_EQ(bans.size(), 101u);
  bans.add(ip(10, 0, 0, 1), 60000, 60000);
  EXPECT_EQ(bans.size(), 2u);  // the ban for life and the new one
  EXPECT_TRUE(bans.isBanned(ip(192, 168, 1, 1), 60000));
  EXPECT_FALSE(bans.isBanned(ip(192, 168, 0, 50), 60000));
}

// The peer's way: the text of kickPlayer, its times from the peer's clock.
TEST(PeerBansTest, ExpiresOnThePeersClock) {
  RakNet::PeerClock clock;
  clock.hold();
  BanList bans;
  ASSERT_TRUE(bans.add("127.0.0.1", 1000, clock.now()));
  EXPECT_TRUE(bans.isBanned(kLoopback, clock.now()));
  clock.advance(1200);
  EXPECT_FALSE(bans.isBanned(kLoopback, clock.now()));
}

// AddToBanList from several threads while the service thread checks.
TEST(PeerBansTest, AddsFromManyThreadsWhileChecked) {
  BanList bans;
  std::atomic<bool> stop{false};
  std::thread checker([&] {
    while (!stop.load()) bans.isBanned(ip(10, 1, 2, 3), 0);
  });
  std::vector<std::thread> adders;
  for (uint8_t t = 0; t < 4; ++t) {
    adders.emplace_back([&bans, t] {
      for (int i = 0; i < 250; ++i) bans.add(ip(10, t, static_cast<uint8_t>(i), 1), 0, 0);
    });
  }
  for (std::thread& adder : adders) adder.join();
  stop = true;
  checker.join();
  EXPECT_EQ(bans.size(), 1000u);
  for (uint8_t t = 0; t < 4; ++t)
    for (int i = 0; i < 250; ++i) EXPECT_TRUE(bans.isBanned(ip(10, t, static_cast<uint8_t>(i), 1), 1));
}

}  // namespace

}  // namespace peer_bans_test
