// Empires reached from many threads at once: the galaxy workers, the network
// thread and scripts post messages, queue jobs and look up relations while
// the frame loop's thread runs the empire's jobs.
#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <thread>
#include <vector>

#include "empire/empire.h"

namespace empire_concurrency_test {

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

namespace {

TEST_F(EmpireConcurrencyTest, ColonizationSetsChangeWhileTheQueueIsWalked) {
  empire* emp = registerEmpire(new empire, true);
  constexpr int kWorkers = 4;
  constexpr uint32_t kPerWorker = 300;
  constexpr int kRounds = 5;
  std::atomic<int> finished{0};
  std::vector<std::thread> threads;
  // Each worker owns its UIDs; the last operation on a UID is queue (it
  // stays queued), start (colonising) or end (in neither set), by UID.
  for (int t = 0; t < kWorkers; ++t)
    threads.emplace_back([&, t] {
      for (int round = 0; round < kRounds; ++round)
        for (uint32_t i = 0; i < kPerWorker; ++i) {
          const uint32_t uid = t * kPerWorker + i;
          emp->queueColonization(uid);
          if (uid % 3 == 0)
            continue;
          emp->startColonization(uid);
          if (uid % 3 == 2)
            emp->endColonization(uid);
        }
      finished.fetch_add(1);
    });
  while (finished.load() < kWorkers) {
    empire::AreaGuard guard;
    emp->lockArea(guard, EA_ColonizationSets, false);
    for (uint32_t uid : emp->colonizeQueue)
      ASSERT_LT(uid, kWorkers * kPerWorker);
  }
  for (std::thread& thread : threads)
    thread.join();
  for (uint32_t uid = 0; uid < kWorkers * kPerWorker; ++uid) {
    EXPECT_EQ(emp->colonizeQueue.count(uid), uid % 3 == 0 ? 1u : 0u) << uid;
    EXPECT_EQ(emp->colonizing.count(uid), uid % 3 == 1 ? 1u : 0u) << uid;
  }
}

TEST_F(EmpireConcurrencyTest, PlayerNameReadWhileItChanges) {
  empire* emp = registerEmpire(new empire, true);
  const irr::core::stringw names[] = {L"Ada", L"Grace Hopper"};
  emp->setPlayerName(names[0]);
  std::atomic<bool> done{false};
  std::vector<std::thread> readers;
  for (int t = 0; t < 4; ++t)
    readers.emplace_back([&] {
      while (!done.load()) {
        const irr::core::stringw seen = emp->getPlayerName();
        EXPECT_TRUE(seen == names[0] || seen == names[1]);
      }
    });
  for (int i = 0; i < 2000; ++i)
    emp->setPlayerName(names[i % 2]);
  done = true;
  for (std::thread& reader : readers)
    reader.join();
}

}  // namespace

}  // namespace empire_concurrency_test
