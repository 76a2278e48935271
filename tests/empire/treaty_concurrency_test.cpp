// A standing treaty counted from many threads while its from empire's step
// runs it: the count stays whole and the treaty goes exactly once, with its
// clauses, when the last holder lets go.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "empire/empire.h"
#include "empire/treaty.h"
#include "stub_clause.h"

namespace treaty_concurrency_test {

namespace {

constexpr int kThreads = 8;
constexpr int kReferencesPerThread = 10000;
constexpr int kFrames = 1000;

// What the fixture clauses of a test saw; outlives them.
struct ClauseCounts {
  std::atomic<int> ticks{0};
  std::atomic<int> ends{0};
  std::atomic<int> destroyed{0};
  std::atomic<bool> ending{false};  // tick hooks report CS_ENDED once set
};

// A clause without a kind that counts its ticks, ends and destruction.
class CountingClause : public StubClause {
 public:
  explicit CountingClause(ClauseCounts& counts) : counts_(counts) {}
  ~CountingClause() override { counts_.destroyed.fetch_add(1); }

  int32_t tick(empire*, empire*, double) override {
    counts_.ticks.fetch_add(1);
    return counts_.ending.load() ? CS_ENDED : CS_NOCHANGE;
  }
  int32_t end(empire*, empire*) override {
    counts_.ends.fetch_add(1);
    return CS_NOCHANGE;
  }

 private:
  ClauseCounts& counts_;
};

// A standing treaty of `from` to `to` with `clauseCount` counting clauses,
// filed on both empires by their jobs; the caller holds the making
// reference.
ITreaty* standingTreaty(empire* from, empire* to, ClauseCounts& counts, int clauseCount) {
  ITreaty* treaty = createTreaty(from, to);
  for (int i = 0; i < clauseCount; ++i) {
    IClause* clause = new CountingClause(counts);
    treaty->addClause(clause);
    clause->release();
  }
  treaty->setState(TS_Accepted);
  queueTreatyActivation(treaty);
  runEmpireJobs(from);
  runEmpireJobs(to);
  return treaty;
}

class TreatyConcurrencyTest : public testing::Test {
 protected:
  void SetUp() override { nextEmpireID = 1; }
  void TearDown() override { deleteAllEmpires(); }
};

// Every thread takes and releases references, then lets go of the one it
// was given, while the from empire's step ticks the treaty and at the last
// frame ends it; the to empire's step then drops it. Whichever of them holds
// the last reference destroys the treaty and its clauses.
TEST_F(TreatyConcurrencyTest, ReferencesFromManyThreadsWhileTheStepRuns) {
  empire* from = registerEmpire(new empire, true);
  empire* to = registerEmpire(new empire, true);
  ClauseCounts counts;
  ITreaty* treaty = standingTreaty(from, to, counts, 2);
  ASSERT_EQ(from->treaties.size(), 1u);
  ASSERT_EQ(to->treaties.size(), 1u);
  ASSERT_EQ(treaty->getRefCount(), 3);

  for (int t = 0; t < kThreads; ++t)
    treaty->addRef();  // one for each thread, released when it is done
  treaty->release();   // the making reference: the lists and threads hold it

  std::atomic<bool> go{false};
  std::atomic<int> lowest{1 << 30};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&] {
      while (!go.load()) {
      }
      for (int i = 0; i < kReferencesPerThread; ++i) {
        treaty->addRef();
        const int count = treaty->getRefCount();
        int seen = lowest.load();
        while (count < seen && !lowest.compare_exchange_weak(seen, count)) {
        }
        treaty->release();
      }
      treaty->release();
    });
  go = true;
  for (int frame = 1; frame <= kFrames; ++frame) {
    if (frame == kFrames)
      counts.ending = true;
    from->tickTreaties(0.25);
  }
  EXPECT_TRUE(from->treaties.empty());
  to->tickTreaties(0.25);
  EXPECT_TRUE(to->treaties.empty());
  for (std::thread& thread : threads)
    thread.join();

  // A thread always held its own reference and the one it took.
  EXPECT_GE(lowest.load(), 2);
  // Each frame ticked both clauses; the last frame's first clause ended the
  // treaty, so the second was not ticked then, and end ran on both.
  EXPECT_EQ(counts.ticks.load(), 2 * kFrames - 1);
  EXPECT_EQ(counts.ends.load(), 2);
  EXPECT_EQ(counts.destroyed.load(), 2);
}

// The last release is the to empire's step, after every thread let go and
// the from empire dropped the ended treaty: nothing goes earlier.
TEST_F(TreatyConcurrencyTest, TheLastHolderDestroysTreatyAndClausesOnce) {
  empire* from = registerEmpire(new empire, true);
  empire* to = registerEmpire(new empire, true);
  ClauseCounts counts;
  ITreaty* treaty = standingTreaty(from, to, counts, 3);
  treaty->release();
  ASSERT_EQ(treaty->getRefCount(), 2);

  std::atomic<bool> go{false};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&] {
      while (!go.load()) {
      }
      for (int i = 0; i < kReferencesPerThread; ++i) {
        treaty->addRef();
        treaty->release();
      }
    });
  go = true;
  for (int frame = 0; frame < kFrames; ++frame)
    from->tickTreaties(0.25);
  for (std::thread& thread : threads)
    thread.join();
  EXPECT_EQ(counts.ticks.load(), 3 * kFrames);
  EXPECT_EQ(counts.ends.load(), 0);
  EXPECT_EQ(treaty->getRefCount(), 2);

  counts.ending = true;
  from->tickTreaties(0.25);
  EXPECT_EQ(counts.ticks.load(), 3 * kFrames + 1);
  EXPECT_EQ(counts.ends.load(), 3);
  EXPECT_TRUE(from->treaties.empty());
  ASSERT_EQ(to->treaties.size(), 1u);
  EXPECT_TRUE(treaty->isEnded());
  EXPECT_EQ(treaty->getRefCount(), 1);
  EXPECT_EQ(counts.destroyed.load(), 0);

  to->tickTreaties(0.25);
  EXPECT_TRUE(to->treaties.empty());
  EXPECT_EQ(counts.destroyed.load(), 3);
  EXPECT_EQ(counts.ticks.load(), 3 * kFrames + 1);  // the other side runs no hook
  EXPECT_EQ(counts.ends.load(), 3);
}

}  // namespace

}  // namespace treaty_concurrency_test
