// The session workers with fake units of work: the server-module tick runs
// once within every frame, a galaxy update that outlasts frames makes the
// galaxy worker skip them, waiting for the galaxy waits for the update a
// frame asked for, single-threaded mode runs everything inline, and
// stopping is prompt. Run by hand under the ThreadSanitizer build as well.
#include "app/session_workers.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "app/base/config.h"
#include "platform/thread.h"

namespace session_workers_test {

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kFrames = 60;
// A slow galaxy update lasts until the frames after the one that resumed it
// have been resumed, this many of them: it is still busy when the last of
// them resumes it, so the worker skips them and runs every fourth frame.
constexpr int kGalaxyFrames = 3;
// Only keep a broken worker or frame loop from hanging the test; they never
// decide its outcome.
constexpr auto kSafetyLimit = std::chrono::seconds(20);

std::atomic<int> openFrame{-1};    // the frame between beginFrame and finishFrame
std::atomic<int> framesResumed{0};  // frames whose beginFrame has returned
std::atomic<int> gcRuns{0};
std::atomic<int> galaxyRuns{0};      // started, the one before the frames included
std::atomic<int> galaxyFinished{0};  // ended
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

// Waits until `reached` holds; false when the safety limit ran out first.
template <typename Condition>
bool waitFor(Condition reached) {
  const Clock::time_point limit = Clock::now() + kSafetyLimit;
  while (!reached()) {
    if (Clock::now() >= limit)
      return false;
    std::this_thread::yield();
  }
  return true;
}

void countGc() {
  ++gcRuns;
  record('c');
}

void quickGalaxy() {
  ++galaxyRuns;
  record('g');
  ++galaxyFinished;
}

// Outlasts frames: lasts until kGalaxyFrames more frames have been resumed.
// The first update, on the calling thread before any frame, is quick.
// The frame that resumed it is the open one: the frame loop of
// followSlowGalaxy() waits for the update to begin before going on.
void slowGalaxy() {
  const int frame = openFrame.load();
  ++galaxyRuns;
  record('g');
  if (frame != -1)
    waitFor([frame] { return framesResumed.load() > frame + kGalaxyFrames; });
  ++galaxyFinished;
}

void countModules(float) {
  ++moduleRuns;
  record('m');
  std::lock_guard<std::mutex> guard(recordLock);
  moduleTickFrames.push_back(openFrame.load());
}

// What the test's frame loop does around each frame's beginFrame.
struct FrameHooks {
  std::function<void(int frame)> before = [](int) {};
  std::function<void(int frame)> after = [](int) {};
};

class SessionWorkersTest : public testing::Test {
 protected:
  void SetUp() override {
    openFrame = -1;
    framesResumed = 0;
    gcRuns = galaxyRuns = galaxyFinished = moduleRuns = 0;
    moduleTickFrames.clear();
    order.clear();
    workThreads.clear();
  }

  // Runs the frames; returns how long stopping and joining took.
  Clock::duration runFrames(SessionWorkers& workers, const FrameHooks& hooks = FrameHooks()) {
    workers.start();
    for (int frame = 0; frame < kFrames; ++frame) {
      hooks.before(frame);
      openFrame = frame;
      workers.beginFrame(0.0f);
      hooks.after(frame);
      ++framesResumed;
      workers.finishFrame();
      openFrame = -1;
    }
    const Clock::time_point stopping = Clock::now();
    galaxyRunsAtStop = galaxyRuns.load();
    workers.stop();
    workers.join();
    return Clock::now() - stopping;
  }

  // Keeps the slow galaxy update in step with the frames: a frame that finds
  // the galaxy worker's last update over (or about to be, as all the frames
  // it waits for were resumed) waits until it is idle, and after resuming it
  // waits until the update has begun. So every resume of an idle worker is
  // taken, every resume during an update is dropped, and the count is exact.
  FrameHooks followSlowGalaxy(SessionWorkers& workers) {
    FrameHooks hooks;
    hooks.before = [this, &workers](int frame) {
      galaxyIdle_ = frame > galaxyBusyUntil_;
      if (galaxyIdle_)
        workers.waitForGalaxyIdle();
      runsBefore_ = galaxyRuns.load();
    };
    hooks.after = [this](int frame) {
      if (!galaxyIdle_)
        return;
      EXPECT_TRUE(waitFor([this] { return galaxyRuns.load() > runsBefore_; })) << "frame " << frame;
      galaxyBusyUntil_ = frame + kGalaxyFrames;
    };
    return hooks;
  }

  int galaxyRunsAtStop = 0;

 private:
  bool galaxyIdle_ = true;
  int galaxyBusyUntil_ = -1;  // the last frame the galaxy update is busy in
  int runsBefore_ = 0;
};

TEST_F(SessionWorkersTest, GalaxyOutlastingFramesSkipsThemWhileModulesTickEveryFrame) {
  const WorkerTasks tasks{countGc, slowGalaxy, countModules};
  SessionWorkers workers(tasks, false);
  FrameHooks hooks = followSlowGalaxy(workers);
  // The collector runs when its thread is next scheduled; on a loaded
  // machine that may be no sooner than the last frame, so that frame waits
  // for it (stopping afterwards starts no unit).
  hooks.after = [follow = hooks.after](int frame) {
    follow(frame);
    if (frame == kFrames - 1) {
      EXPECT_TRUE(waitFor([] { return gcRuns.load() >= 1; })) << "the collector never ran";
    }
  };
  const Clock::duration stopTime = runFrames(workers, hooks);

  EXPECT_FALSE(workers.runsInline());
  ASSERT_EQ(moduleRuns.load(), kFrames);
  for (int frame = 0; frame < kFrames; ++frame)
    EXPECT_EQ(moduleTickFrames[static_cast<size_t>(frame)], frame) << "module tick outside its frame";
  // One update on the calling thread at start, then one every fourth frame:
  // the update is busy in the three frames after the one that resumed it.
  EXPECT_EQ(galaxyRuns.load(), 1 + kFrames / (kGalaxyFrames + 1));
  EXPECT_GE(gcRuns.load(), 1);
  EXPECT_LE(gcRuns.load(), kFrames);
  // Stopping waits at most for the galaxy update under way, and no unit
  // starts afterwards.
  EXPECT_LT(stopTime, std::chrono::seconds(5));
  EXPECT_EQ(galaxyRuns.load(), galaxyRunsAtStop);
}

TEST_F(SessionWorkersTest, WaitingForTheGalaxyAfterAFrameBeganWaitsForThatFramesUpdate) {
  const WorkerTasks tasks{countGc, quickGalaxy, countModules};
  SessionWorkers workers(tasks, false);
  FrameHooks hooks;
  hooks.after = [&workers](int frame) {
    workers.waitForGalaxyIdle();
    // The update before the frames, and one per frame so far.
    EXPECT_EQ(galaxyFinished.load(), frame + 2) << "frame " << frame;
  };
  runFrames(workers, hooks);
  EXPECT_EQ(galaxyRuns.load(), kFrames + 1);
}

TEST_F(SessionWorkersTest, SingleThreadedRunsEveryUnitInlineInOrder) {
  const WorkerTasks tasks{countGc, quickGalaxy, countModules};
  SessionWorkers workers(tasks, true);
  runFrames(workers);

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

}  // namespace session_workers_test
