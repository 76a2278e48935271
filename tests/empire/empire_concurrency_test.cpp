// Empires reached from many threads at once: the galaxy workers, the network
// thread and scripts post messages, queue jobs and look up relations while
// the frame loop's thread runs the empire's jobs.
#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <thread>
#include <vector>

#include "empire/empire.h"

namespace {

constexpr int kThreads = 8;

class EmpireConcurrencyTest : public testing::Test {
 protected:
  void SetUp() override { nextEmpireID = 1; }
  void TearDown() override { deleteAllEmpires(); }
};

TEST_F(EmpireConcurrencyTest, EveryThreadGetsTheOneRelationRecord) {
  empire* emp = registerEmpire(new empire, true);
  empire* other = registerEmpire(new empire, true);
  std::vector<EmpireRelation*> seen(kThreads, nullptr);
  std::atomic<bool> go{false};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&, t] {
      while (!go.load()) {
      }
      seen[t] = emp->getRelation(other);
    });
  go = true;
  for (std::thread& thread : threads)
    thread.join();
  EXPECT_EQ(std::set<EmpireRelation*>(seen.begin(), seen.end()).size(), 1u);
  EXPECT_EQ(emp->relations.size(), 1u);
}

// Counts its runs; queues a follow-up job once.
class CountingJob : public empJob {
 public:
  CountingJob(std::atomic<int>& runs, bool followUp) : runs_(runs), followUp_(followUp) {}
  void run(empire* emp) override {
    runs_.fetch_add(1);
    if (followUp_)
      emp->queueJob(new CountingJob(runs_, false));
  }

 private:
  std::atomic<int>& runs_;
  bool followUp_;
};

TEST_F(EmpireConcurrencyTest, PostsAndJobsFromManyThreadsWhileJobsRun) {
  empire* emp = registerEmpire(new empire, true);
  constexpr int kPerThread = 2000;
  std::atomic<int> runs{0};
  std::atomic<int> finished{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&, t] {
      for (int i = 0; i < kPerThread; ++i) {
        postEmpireMessage(emp, L"note", t % 2 ? L"misc" : L"build", 0, -1);
        emp->queueJob(new CountingJob(runs, i % 2 == 0));
      }
      finished.fetch_add(1);
    });
  while (finished.load() < kThreads)
    runEmpireJobs(emp);
  for (std::thread& thread : threads)
    thread.join();
  runEmpireJobs(emp);
  EXPECT_EQ(runs.load(), kThreads * kPerThread * 3 / 2);
  EXPECT_EQ(emp->messages.size(), kMaxEmpireMessages);
  EXPECT_TRUE(emp->jobs.empty());
}

}  // namespace
