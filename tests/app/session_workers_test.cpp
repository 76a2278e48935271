// The session workers with fake units of work: the server-module tick runs
// once within every frame, a galaxy update that outlasts frames makes the
// galaxy worker skip them, single-threaded mode runs everything inline, and
// stopping is prompt. Run by hand under the ThreadSanitizer build as well.
#include "app/session_workers.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include "app/base/config.h"
#include "platform/thread.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kFrames = 60;
// The pace of the test's frames.
constexpr unsigned kFramePeriodMs = 2;
// A galaxy update lasts until three more frames have begun; this limit only
// keeps a broken worker from hanging the test.
constexpr auto kGalaxyUpdateLimit = std::chrono::seconds(20);

std::atomic<int> framesBegun{0};
std::atomic<int> openFrame{-1};  // the frame between beginFrame and finishFrame
std::atomic<int> gcRuns{0};
std::atomic<int> galaxyRuns{0};
std::atomic<int> moduleRuns{0};
std::mutex recordLock;
std::vector<int> moduleTickFrames;
std::vector<char> order;  // 'c' garbage collection, 'g' galaxy, 'm' modules
std::vector<std::thread::id> workThreads;

void record(char unit) {
  std::lock_guard<std::mutex> guard(recordLock);
  order.push_back(unit);
  workThreads.push_back(std::this_thread::get_id());
}

void countGc() {
  ++gcRuns;
  record('c');
}

void quickGalaxy() {
  ++galaxyRuns;
  record('g');
}

// Outlasts frames: lasts until three more frames have begun (or the frames
// are over). The first update, on the calling thread before any frame, is
// quick: nothing would begin a frame while it waited.
void slowGalaxy() {
  ++galaxyRuns;
  record('g');
  if (framesBegun.load() == 0 && openFrame.load() == -1)
    return;
  const int until = framesBegun.load() + 3;
  const Clock::time_point limit = Clock::now() + kGalaxyUpdateLimit;
  while (framesBegun.load() < until && framesBegun.load() < kFrames && Clock::now() < limit)
    std::this_thread::sleep_for(std::chrono::microseconds(200));
}

void countModules(float) {
  ++moduleRuns;
  record('m');
  std::lock_guard<std::mutex> guard(recordLock);
  moduleTickFrames.push_back(openFrame.load());
}

class SessionWorkersTest : public testing::Test {
 protected:
  void SetUp() override {
    framesBegun = 0;
    openFrame = -1;
    gcRuns = galaxyRuns = moduleRuns = 0;
    moduleTickFrames.clear();
    order.clear();
    workThreads.clear();
  }

  // Runs the frames; returns how long stopping and joining took.
  Clock::duration runFrames(SessionWorkers& workers, bool paced) {
    workers.start();
    for (int frame = 0; frame < kFrames; ++frame) {
      openFrame = frame;
      workers.beginFrame(0.0f);
      ++framesBegun;
      workers.finishFrame();
      openFrame = -1;
      if (paced)
        plat::sleepMs(kFramePeriodMs);
    }
    const Clock::time_point stopping = Clock::now();
    galaxyRunsAtStop = galaxyRuns.load();
    workers.stop();
    workers.join();
    return Clock::now() - stopping;
  }

  int galaxyRunsAtStop = 0;
};

TEST_F(SessionWorkersTest, GalaxyOutlastingFramesSkipsThemWhileModulesTickEveryFrame) {
  const WorkerTasks tasks{countGc, slowGalaxy, countModules};
  SessionWorkers workers(tasks, false);
  const Clock::duration stopTime = runFrames(workers, true);

  EXPECT_FALSE(workers.runsInline());
  ASSERT_EQ(moduleRuns.load(), kFrames);
  for (int frame = 0; frame < kFrames; ++frame)
    EXPECT_EQ(moduleTickFrames[static_cast<size_t>(frame)], frame) << "module tick outside its frame";
  // One update on the calling thread at start, then at most one every three
  // frames (how many fewer depends on how the threads are scheduled).
  EXPECT_GE(galaxyRuns.load(), 2);
  EXPECT_LE(galaxyRuns.load(), 1 + kFrames / 3 + 1);
  EXPECT_GE(gcRuns.load(), 1);
  EXPECT_LE(gcRuns.load(), kFrames);
  // Stopping waits at most for the galaxy update under way, and no unit
  // starts afterwards.
  EXPECT_LT(stopTime, std::chrono::seconds(5));
  EXPECT_EQ(galaxyRuns.load(), galaxyRunsAtStop);
}

TEST_F(SessionWorkersTest, SingleThreadedRunsEveryUnitInlineInOrder) {
  const WorkerTasks tasks{countGc, quickGalaxy, countModules};
  SessionWorkers workers(tasks, true);
  runFrames(workers, false);

  EXPECT_EQ(gcRuns.load(), kFrames);
  EXPECT_EQ(galaxyRuns.load(), kFrames + 1);  // and the one before the loop
  EXPECT_EQ(moduleRuns.load(), kFrames);
  ASSERT_EQ(order.size(), static_cast<size_t>(3 * kFrames + 1));
  EXPECT_EQ(order[0], 'g');
  for (int frame = 0; frame < kFrames; ++frame) {
    const std::string units(order.begin() + 1 + 3 * frame, order.begin() + 4 + 3 * frame);
    EXPECT_EQ(units, "cgm") << "frame " << frame;
    EXPECT_EQ(moduleTickFrames[static_cast<size_t>(frame)], frame);
  }
  // The worker threads existed but never ran a unit.
  for (const std::thread::id& id : workThreads)
    EXPECT_EQ(id, std::this_thread::get_id());
}

TEST_F(SessionWorkersTest, StoppingWithoutFramesEndsEveryThread) {
  for (bool runInline : {false, true}) {
    SCOPED_TRACE(runInline ? "single-threaded" : "multi-threaded");
    const WorkerTasks tasks{countGc, quickGalaxy, countModules};
    SessionWorkers workers(tasks, runInline);
    workers.start();
    workers.stop();
    workers.join();
  }
  EXPECT_EQ(gcRuns.load(), 0);
  EXPECT_EQ(moduleRuns.load(), 0);
}

TEST(ScriptGarbageStep, EnginesAlternateAndFullCyclesComeEvery1800Steps) {
  const bool savedFullCycles = bFullGCCyle;
  constexpr uint32_t kDestroyPass = 5;  // full cycle + destroy garbage
  constexpr uint32_t kDetectStep = 10;  // one step + detect garbage
  constexpr uint32_t kFullCycle = 1;

  // Without full cycles: both engines every step, the roles swapping.
  bFullGCCyle = false;
  gcEngineToggle = false;
  gcFullCycleCountdown = kFullGcCycleSteps;
  const GarbageStepPlan incremental[] = {{kDestroyPass, kDetectStep}, {kDetectStep, kDestroyPass},
                                         {kDestroyPass, kDetectStep}};
  for (const GarbageStepPlan& expected : incremental) {
    const GarbageStepPlan plan = planScriptGarbageStep(false);
    EXPECT_EQ(plan.serverFlags, expected.serverFlags);
    EXPECT_EQ(plan.clientFlags, expected.clientFlags);
  }
  EXPECT_EQ(gcFullCycleCountdown, kFullGcCycleSteps);

  // With full cycles: the 1800th step is a full cycle on one engine only.
  bFullGCCyle = true;
  gcEngineToggle = false;
  for (int step = 1; step < kFullGcCycleSteps; ++step) {
    const GarbageStepPlan plan = planScriptGarbageStep(false);
    ASSERT_NE(plan.serverFlags, kFullCycle) << step;
    ASSERT_NE(plan.serverFlags, 0u) << step;
    ASSERT_NE(plan.clientFlags, 0u) << step;
  }
  EXPECT_EQ(gcFullCycleCountdown, 1);
  GarbageStepPlan plan = planScriptGarbageStep(false);  // the toggle is set at this step
  EXPECT_EQ(plan.serverFlags, kFullCycle);
  EXPECT_EQ(plan.clientFlags, 0u);
  EXPECT_EQ(gcFullCycleCountdown, kFullGcCycleSteps);

  // Forced: a full cycle on the engine whose turn it is, the countdown restarted.
  bFullGCCyle = false;
  gcFullCycleCountdown = 7;
  plan = planScriptGarbageStep(true);  // toggle clear: the client engine
  EXPECT_EQ(plan.serverFlags, 0u);
  EXPECT_EQ(plan.clientFlags, kFullCycle);
  plan = planScriptGarbageStep(true);
  EXPECT_EQ(plan.serverFlags, kFullCycle);
  EXPECT_EQ(plan.clientFlags, 0u);
  EXPECT_EQ(gcFullCycleCountdown, kFullGcCycleSteps);
  bFullGCCyle = savedFullCycles;
}

TEST(NetworkPoll, StopsByTheFlagHandshake) {
  NetworkPoll poll;
  poll.stop();  // never started: nothing to wait for
  ASSERT_TRUE(poll.start());
  EXPECT_TRUE(poll.running());
  plat::sleepMs(20);
  poll.stop();
  EXPECT_FALSE(poll.running());
  {
    NetworkPoll leftRunning;  // a session that returns early
    ASSERT_TRUE(leftRunning.start());
  }
}

}  // namespace
