#include "core/random.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <random>
#include <set>
#include <thread>
#include <vector>

#include "core/threads.h"

namespace random_test {

namespace {

TEST(MersenneTwisterTest, MatchesTheReferenceGenerator) {
  MersenneTwister twister(5489u);
  std::mt19937 reference(5489u);
  EXPECT_EQ(twister.nextUInt32(), 3499211612u);
  reference();
  for (int draw = 2; draw < 10000; ++draw)
    ASSERT_EQ(twister.nextUInt32(), reference()) << "draw " << draw;
  const uint32_t tenThousandth = twister.nextUInt32();
  EXPECT_EQ(tenThousandth, reference());
  EXPECT_EQ(tenThousandth, 4123659995u);  // the standard's check value

  twister.seed(42u);  // reseeding restarts the sequence
  reference.seed(42u);
  EXPECT_EQ(twister.nextUInt32(), reference());
}

TEST(MersenneTwisterTest, RandUpToCoversBothEndsAndNothingBeyond) {
  MersenneTwister twister(1u);
  struct Case {
    uint32_t n;
    int draws;
  };
  for (const Case& c : {Case{0, 100}, Case{1, 1000}, Case{5, 100000}, Case{6, 10000}}) {
    std::vector<int> hits(c.n + 1, 0);
    for (int i = 0; i < c.draws; ++i) {
      const uint32_t value = twister.randUpTo(c.n);
      ASSERT_LE(value, c.n);
      ++hits[value];
    }
    for (uint32_t value = 0; value <= c.n; ++value)
      EXPECT_GT(hits[value], 0) << "randUpTo(" << c.n << ") never gave " << value;
  }
  EXPECT_LE(twister.randUpTo(UINT32_MAX), UINT32_MAX);  // full mask, no overflow
}

TEST(ThreadRandomTest, IntegerAndFloatRanges) {
  struct Case {
    int a, b, low, high;
  };
  const Case cases[] = {
      {5, 2, 2, 5}, {2, 5, 2, 5}, {-3, 3, -3, 3}, {7, 7, 7, 7}, {INT_MIN, INT_MAX, INT_MIN, INT_MAX},
  };
  for (const Case& c : cases) {
    std::set<int> seen;
    for (int i = 0; i < 2000; ++i) {
      const int value = rand(c.a, c.b);
      ASSERT_GE(value, c.low);
      ASSERT_LE(value, c.high);
      seen.insert(value);
    }
    if (c.high - static_cast<long long>(c.low) < 10) {
      EXPECT_EQ(seen.size(), static_cast<size_t>(c.high - c.low + 1)) << c.a << ".." << c.b;
    }
  }
  for (int i = 0; i < 1000; ++i) {
    const int one = rand(4);
    EXPECT_TRUE(one >= 0 && one <= 4);
    const int negative = rand(-4);  // a negative bound counts down from 0
    EXPECT_TRUE(negative >= -4 && negative <= 0);
    const float f = randomf(2.5f);
    EXPECT_TRUE(f >= 0.0f && f <= 2.5f);
    const float g = randomf(-1.0f, 1.0f);
    EXPECT_TRUE(g >= -1.0f && g <= 1.0f);
  }
}

// Draws five numbers on a new thread set up through the per-thread registry.
std::vector<uint32_t> drawOnSetUpThread() {
  std::vector<uint32_t> draws;
  std::thread([&draws] {
    initThreadLocals();
    EXPECT_NE(threadLocals().random, nullptr);
    for (int i = 0; i < 5; ++i)
      draws.push_back(threadRandom().nextUInt32());
    freeThreadLocals();
    EXPECT_EQ(threadLocals().random, nullptr);
  }).join();
  return draws;
}

TEST(ThreadRandomTest, EveryThreadGetsItsOwnGeneratorFromTheSeed) {
  registerThreadRandom();
  registerThreadRandom();  // registering again adds nothing

  setThreadRandomSeed(1234u);
  const std::vector<uint32_t> first = drawOnSetUpThread();
  EXPECT_EQ(first, drawOnSetUpThread());  // same seed, same sequence
  MersenneTwister expected(1234u);
  EXPECT_EQ(first[0], expected.nextUInt32());

  setThreadRandomSeed(99u);
  EXPECT_NE(first, drawOnSetUpThread());

  // A thread that was never set up still draws; its generator goes with it.
  std::thread([] { EXPECT_LE(rand(3), 3); }).join();
}

std::vector<int> processDraws(uint32_t seed, int count) {
  seedProcessRandom(seed);
  std::vector<int> draws;
  draws.reserve(count);
  for (int i = 0; i < count; ++i)
    draws.push_back(processRandom());
  return draws;
}

TEST(ProcessRandomTest, ValuesCoverZeroTo32767Evenly) {
  EXPECT_EQ(kProcessRandomMax, 32767);
  constexpr int kBuckets = 32;  // of 1024 values each
  int hits[kBuckets] = {};
  int lowest = kProcessRandomMax, highest = 0;
  for (int value : processDraws(2024u, 10000)) {
    ASSERT_GE(value, 0);
    ASSERT_LE(value, kProcessRandomMax);
    ++hits[value / 1024];
    lowest = std::min(lowest, value);
    highest = std::max(highest, value);
  }
  // 312.5 draws per bucket expected; a generator that leaves out a high or
  // low bit, or favours part of the range, misses or starves whole buckets.
  for (int bucket = 0; bucket < kBuckets; ++bucket) {
    EXPECT_GT(hits[bucket], 200) << "bucket " << bucket;
    EXPECT_LT(hits[bucket], 430) << "bucket " << bucket;
  }
  EXPECT_LT(lowest, 64);
  EXPECT_GT(highest, kProcessRandomMax - 64);
  // Odd and even values alike (the lowest bit is not stuck).
  const std::vector<int> draws = processDraws(7u, 1000);
  const auto odd = std::count_if(draws.begin(), draws.end(), [](int v) { return v % 2 != 0; });
  EXPECT_GT(odd, 400);
  EXPECT_LT(odd, 600);
}

TEST(ProcessRandomTest, TheSeedFixesTheSequence) {
  const std::vector<int> first = processDraws(12345u, 200);
  EXPECT_EQ(first, processDraws(12345u, 200));
  // Draws on another thread follow the same sequence.
  std::vector<int> elsewhere;
  std::thread([&elsewhere] { elsewhere = processDraws(12345u, 200); }).join();
  EXPECT_EQ(first, elsewhere);

  for (uint32_t other : {12346u, 0u, 0xffffffffu})
    EXPECT_NE(first, processDraws(other, 200)) << "seed " << other;
  EXPECT_NE(processDraws(0u, 200), processDraws(1u, 200));
}

TEST(ProcessRandomTest, ThreadsShareOneSequenceWithoutLosingDraws) {
  // Four threads drawing at once take the single-thread sequence between
  // them: every draw is one step, none is repeated or lost.
  constexpr int kThreads = 4;
  constexpr int kEach = 5000;
  std::vector<int> expected = processDraws(99u, kThreads * kEach);
  seedProcessRandom(99u);
  std::vector<std::vector<int>> drawn(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&drawn, t] {
      for (int i = 0; i < kEach; ++i)
        drawn[t].push_back(processRandom());
    });
  }
  for (std::thread& thread : threads)
    thread.join();
  std::vector<int> together;
  for (const std::vector<int>& part : drawn)
    together.insert(together.end(), part.begin(), part.end());
  std::sort(together.begin(), together.end());
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(together, expected);
}

}  // namespace

}  // namespace random_test
