// The frame clock driven by a fake timer: game steps and their caps, the
// simulation frames and the first-frame speed ramp, the sleep between frames
// and the statistics and autosave clocks on the wrapping millisecond clock.
#include "app/frame_loop.h"

#include <gtest/gtest.h>

#include <cmath>
#include <deque>
#include <limits>
#include <vector>

#include "app/base/config.h"
#include "app/base/session_state.h"
#include "app/base/startup.h"
#include "app/session_workers.h"
#include "core/locks.h"
#include "core/timer.h"
#include "gfx/gfx_effects.h"

namespace frame_loop_test {

namespace {

// Hands out the queued deltas, one per tick.
class FakeTimer : public Timer {
 public:
  std::deque<double> deltas;
  void tick() override {
    delta_ = deltas.empty() ? 0.0 : deltas.front();
    if (!deltas.empty())
      deltas.pop_front();
  }
  float getDeltaF() const override { return static_cast<float>(delta_); }
  double getDelta() const override { return delta_; }
  float getTimeF() const override { return 0.0f; }
  float getNowF() const override { return 0.0f; }

 private:
  double delta_ = 0.0;
};

// What the inline server-module tick saw, frame by frame.
struct ModuleTick {
  float seconds;
  double speed;
};
std::vector<ModuleTick> moduleTicks;

void noWork() {}
void recordModuleTick(float seconds) { moduleTicks.push_back({seconds, gameSpeed}); }

class FrameLoopTest : public testing::Test {
 protected:
  void SetUp() override {
    moduleTicks.clear();
    gameTime = 0.0;
    gameSpeed = 1.0;
    realFrameTime = 0.0f;
    gameFrameTime = 0.0f;
    resetSessionFlags(false);
  }
  void TearDown() override {
    fMaxFPS = saved.fMaxFPS;
    videoMode = saved.videoMode;
    fSleepLevel = saved.fSleepLevel;
    fAutosaveInterval = saved.fAutosaveInterval;
    bServerAutosave = saved.bServerAutosave;
    gameSpeed = 1.0;
  }

  struct Saved {
    float fMaxFPS = ::fMaxFPS;
    bool videoMode = ::videoMode;
    float fSleepLevel = ::fSleepLevel;
    float fAutosaveInterval = ::fAutosaveInterval;
    bool bServerAutosave = ::bServerAutosave;
  } saved;
  FakeTimer timer;
  SessionWorkers workers{WorkerTasks{noWork, noWork, recordModuleTick}, true};
  FrameLoop loop{timer, workers, nullptr};
};

TEST_F(FrameLoopTest, GameStepIsCappedAndRealTimeCappedAfterTheStep) {
  struct Case {
    double dt;
    double speed;
    bool videoMode;
    double step;      // added to gameTime and gameFrameTime
    float frameTime;  // realFrameTime after the time step
  } const cases[] = {
      {2.0, 1.0, false, 0.5, 0.5f},  // a stall: both capped at 0.5 s
      {0.01, 1.0, false, 0.01, 0.01f},       {0.01, 3.0, false, 0.03, 0.01f},
      {0.1, 10.0, false, 0.5, 0.1f},          // the game step alone capped
      {2.0, 1.0, true, 1.0 / 30, 1.0f / 30},  // video mode: one frame period
      {0.02, 5.0, true, 1.0 / 30, 0.02f},    {0.01, 0.5, true, 0.005, 0.01f},
  };
  fMaxFPS = 30.0f;
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "dt " << c.dt << " speed " << c.speed << " video " << c.videoMode);
    videoMode = c.videoMode;
    gameTime = 100.0;
    gameSpeed = c.speed;
    realFrameTime = 0.0f;
    gameFrameTime = 0.0f;
    timer.deltas = {c.dt};
    EXPECT_DOUBLE_EQ(loop.advanceTime(), c.step);
    EXPECT_DOUBLE_EQ(gameTime.load(), 100.0 + c.step);
    EXPECT_FLOAT_EQ(gameFrameTime, static_cast<float>(c.step));
    EXPECT_FLOAT_EQ(realFrameTime, c.frameTime);
  }
}

// A 2 s stall at speed 1 adds 0.5 s of game time, and the simulation frame
// of the same pass hands the 0.5 s on and empties both accumulators.
TEST_F(FrameLoopTest, StallRunsOneSimulationFrameThatEmptiesTheAccumulators) {
  fMaxFPS = 75.0f;
  videoMode = false;
  gameTime = 10.0;
  timer.deltas = {2.0};
  loop.advanceTime();
  EXPECT_DOUBLE_EQ(gameTime.load(), 10.5);
  EXPECT_FLOAT_EQ(realFrameTime, 0.5f);
  ASSERT_TRUE(loop.simulationFrameDue());
  loop.runSimulationFrame();
  ASSERT_EQ(moduleTicks.size(), 1u);
  EXPECT_FLOAT_EQ(moduleTicks[0].seconds, 0.5f);
  EXPECT_EQ(realFrameTime, 0.0f);
  EXPECT_EQ(gameFrameTime, 0.0f);
  EXPECT_FALSE(loop.simulationFrameDue());
}

TEST_F(FrameLoopTest, FirstFrameRunsAtRampSpeedAndTheSecondRestoresTheSpeed) {
  fMaxFPS = 75.0f;
  videoMode = false;
  gameSpeed = 3.0;
  loop.beginSpeedRamp();
  EXPECT_EQ(gameSpeed, 0.01);
  EXPECT_EQ(pendingGameSpeed, -1.0);
  EXPECT_FLOAT_EQ(realFrameTime, 0.05f);

  // The first pass runs a frame at once, its game step at the ramp speed.
  timer.deltas = {0.02, 0.02, 0.02};
  EXPECT_DOUBLE_EQ(loop.advanceTime(), 0.02 * 0.01);
  ASSERT_TRUE(loop.simulationFrameDue());
  loop.runSimulationFrame();
  EXPECT_EQ(gameSpeed, 0.01);
  EXPECT_FALSE(simulationStarted);

  for (int frame = 0; frame < 2; ++frame) {
    loop.advanceTime();
    ASSERT_TRUE(loop.simulationFrameDue());
    loop.runSimulationFrame();
    EXPECT_EQ(gameSpeed, 3.0);
    EXPECT_TRUE(simulationStarted);
  }
  ASSERT_EQ(moduleTicks.size(), 3u);
  EXPECT_EQ(moduleTicks[0].speed, 0.01);
  EXPECT_EQ(moduleTicks[1].speed, 3.0);  // restored before the frame's work
  EXPECT_FLOAT_EQ(moduleTicks[2].seconds, 0.06f);
}

TEST_F(FrameLoopTest, ASessionEndingBeforeItsSecondFrameStillRestoresTheSpeed) {
  fMaxFPS = 75.0f;
  videoMode = false;
  for (int framesRun : {0, 1, 2}) {
    SCOPED_TRACE(framesRun);
    resetSessionFlags(false);
    gameSpeed = 3.0;
    FrameLoop session{timer, workers, nullptr};
    session.beginSpeedRamp();
    for (int frame = 0; frame < framesRun; ++frame) {
      timer.deltas = {0.02};
      session.advanceTime();
      session.runSimulationFrame();
    }
    // After the restore the speed is the operator's: the end leaves it.
    if (framesRun == 2)
      gameSpeed = 5.0;
    session.endSpeedRamp();
    EXPECT_EQ(gameSpeed, framesRun == 2 ? 5.0 : 3.0);
    EXPECT_FALSE(speedRestorePending);
  }
  // A loop that never began its ramp leaves the speed alone.
  gameSpeed = 2.0;
  FrameLoop neverRamped{timer, workers, nullptr};
  neverRamped.endSpeedRamp();
  EXPECT_EQ(gameSpeed, 2.0);
}

// A speed the operator sets during the ramp (typed while the session loaded,
// or piped on standard input at start-up) is the speed the ramp ends on,
// whether the second frame or the loop's end restores it.
TEST_F(FrameLoopTest, ASpeedSetDuringTheRampIsTheSpeedItEndsOn) {
  fMaxFPS = 75.0f;
  videoMode = false;
  const struct {
    const char* name;
    int framesBeforeSet;  // simulation frames run when the speed is set
    int framesAfterSet;   // then run before the loop ends
    double speedAfterSecondSet;  // a later set after the restore takes effect at once
  } cases[] = {
      {"set before the first frame", 0, 2, 4.0},
      {"set between the first and second frame", 1, 1, 4.0},
      {"set, then the loop ends before its second frame", 0, 1, -1.0},
      {"set, then the loop ends before any frame", 0, 0, -1.0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    resetSessionFlags(false);
    gameSpeed = 1.0;
    FrameLoop session{timer, workers, nullptr};
    session.beginSpeedRamp();
    const auto frame = [&] {
      timer.deltas = {0.02};
      session.advanceTime();
      session.runSimulationFrame();
    };
    for (int i = 0; i < c.framesBeforeSet; ++i)
      frame();
    setGameSpeed(10.0, nullptr);
    EXPECT_EQ(gameSpeed, 0.01);  // the ramp goes on
    for (int i = 0; i < c.framesAfterSet; ++i)
      frame();
    if (c.framesBeforeSet + c.framesAfterSet >= 2) {
      EXPECT_EQ(gameSpeed, 10.0);
      EXPECT_TRUE(simulationStarted);
      setGameSpeed(c.speedAfterSecondSet, nullptr);
      EXPECT_EQ(gameSpeed, c.speedAfterSecondSet);
      frame();
      EXPECT_EQ(gameSpeed, c.speedAfterSecondSet);
    }
    session.endSpeedRamp();
    EXPECT_EQ(gameSpeed, c.speedAfterSecondSet >= 0 ? c.speedAfterSecondSet : 10.0);
    EXPECT_EQ(pendingGameSpeed, -1.0);
    EXPECT_FALSE(speedRampActive);
  }
  // The next session ramps from that speed back to it.
  resetSessionFlags(false);
  FrameLoop next{timer, workers, nullptr};
  next.beginSpeedRamp();
  EXPECT_EQ(gameSpeed, 0.01);
  next.endSpeedRamp();
  EXPECT_EQ(gameSpeed, 10.0);
}

TEST_F(FrameLoopTest, VideoModeNeverStepsBeyondOneFramePeriod) {
  fMaxFPS = 30.0f;
  videoMode = true;
  gameSpeed = 50.0;
  timer.deltas = {0.001, 0.02, 0.05, 0.3, 2.0, 0.0334, 9.0};
  while (!timer.deltas.empty()) {
    EXPECT_LE(loop.advanceTime(), 1.0 / 30);
    EXPECT_LE(realFrameTime, 1.0f / 30);
    if (loop.simulationFrameDue())
      loop.runSimulationFrame();
  }
}

TEST_F(FrameLoopTest, SleepIsTheScaledSpareTimeWithinOneFramePeriod) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  struct Case {
    float maxFps;
    float sleepLevel;
    float frameTime;
    uint32_t microseconds;
  } const cases[] = {
      {75.0f, 0.25f, 0.0f, 3333},  // 13.3 ms spare, a quarter slept
      {75.0f, 1.0f, 0.005f, 8333},
      // Less than a millisecond to sleep is still slept, to the microsecond:
      // a whole-millisecond count left the last 4 ms of a frame to a loop of
      // zero-length sleeps.
      {75.0f, 0.25f, 0.0125f, 208},
      {75.0f, 0.25f, 0.0101f, 808},
      {75.0f, 1.0f, 0.0133f, 33},
      {75.0f, 0.25f, 0.01333f, 0},  // under a microsecond: a zero-length sleep
      {75.0f, 0.0f, 0.0f, 0},
      {75.0f, 1e9f, 0.0f, 13333},  // never more than one frame period
      {75.0f, inf, 0.0f, 13333},
      {75.0f, -2.0f, 0.0f, 0},  // never negative
      {75.0f, nan, 0.0f, 0},
      {75.0f, 1.0f, 0.02f, 0},  // already past the period
      {10.0f, 1.0f, 0.0f, 100000},
      {0.0f, 1.0f, 0.0f, 1000},  // an unusable rate counts as 1000 frames a second
      {0.0f, 0.5f, 0.0005f, 250},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.maxFps << " fps, level " << c.sleepLevel << ", " << c.frameTime << " s");
    fMaxFPS = c.maxFps;
    fSleepLevel = c.sleepLevel;
    realFrameTime = c.frameTime;
    EXPECT_EQ(loop.idleSleepMicroseconds(), c.microseconds);
  }
}

TEST_F(FrameLoopTest, StatisticsOnceASecondAcrossTheClockWrap) {
  const uint32_t start = 0xFFFFFE00u;
  loop.startClocks(start);
  EXPECT_FALSE(loop.statisticsDue(start + 500));  // just below the wrap, the deadline past it
  EXPECT_FALSE(loop.statisticsDue(start + 999));
  EXPECT_FALSE(loop.statisticsDue(start + 1000));  // due only once past it
  EXPECT_TRUE(loop.statisticsDue(start + 1001));   // wrapped to a small count
  EXPECT_FALSE(loop.statisticsDue(start + 1500));
  EXPECT_TRUE(loop.statisticsDue(start + 2002));
}

TEST(ClockReachedTest, ComparesAcrossTheWrap) {
  const struct {
    uint32_t now;
    uint32_t deadline;
    bool reached;
  } cases[] = {
      {0xFFFFFFF0u, 0x10u, false},  // just below the wrap, the deadline just past it
      {0xFFFFFFFFu, 0x0u, false},        {0x0u, 0x0u, true},
      {0x20u, 0xFFFFFFF0u, true},         // wrapped past a deadline set before the wrap
      {0xFFFFFFF0u, 0xFFFFFFFFu, false},  // both below the wrap
      {0x7FFFFFFFu, 0x0u, true},          // at most 2^31 - 1 ms late
      {0x1000u, 0x2000u, false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(clockReached(c.now, c.deadline), c.reached) << std::hex << c.now << " " << c.deadline;
}

TEST_F(FrameLoopTest, AutosaveClock) {
  struct Case {
    const char* name;
    float minutes;
    bool client;
    bool server;
    bool serverAutosave;
    uint32_t start;
    bool due;
  } const cases[] = {
      {"local game", 1.0f, false, false, false, 5000, true},
      {"interval 0", 0.0f, false, false, false, 5000, false},
      {"network client", 1.0f, true, false, true, 5000, false},
      {"server without bServerAutosave", 1.0f, false, true, false, 5000, false},
      {"server with bServerAutosave", 1.0f, false, true, true, 5000, true},
      {"across the clock wrap", 1.0f, false, false, false, 0xFFFFF000u, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fAutosaveInterval = c.minutes;
    bServerAutosave = c.serverAutosave;
    loop.startClocks(c.start);
    EXPECT_FALSE(loop.autosaveDue(c.start + 4000, c.client, c.server));  // across the wrap: just below it
    EXPECT_FALSE(loop.autosaveDue(c.start + 59999, c.client, c.server));
    EXPECT_EQ(loop.autosaveDue(c.start + 60000, c.client, c.server), c.due);
    if (c.due) {
      // The clock starts again from the save.
      EXPECT_FALSE(loop.autosaveDue(c.start + 60001, c.client, c.server));
      EXPECT_TRUE(loop.autosaveDue(c.start + 120000, c.client, c.server));
    }
  }
}

// Active graphics effects: advanced in each simulation frame by the game
// time gathered since the last one (each pass's step capped), under the
// scene lock.

// Finishes once its life has passed; notes whether the scene lock was held.
class TimedEffect : public gfx_base {
 public:
  TimedEffect(float life, bool* gone, bool* lockHeld) : life_(life), gone_(gone), lockHeld_(lockHeld) {}
  ~TimedEffect() override { *gone_ = true; }
  bool update(float seconds) override {
    *lockHeld_ = sceneLock->depth() > 0;
    life_ -= seconds;
    if (life_ <= 0.0f) {
      delete this;
      return true;
    }
    return false;
  }

 private:
  float life_;
  bool* gone_;
  bool* lockHeld_;
};

TEST_F(FrameLoopTest, AnEffectIsGoneOnceSimulationFramesHaveGivenItsLife) {
  fMaxFPS = 4.0f;
  videoMode = false;
  bool gone = false;
  bool lockHeld = false;
  addActiveGfxEffect(new TimedEffect(2.0f, &gone, &lockHeld));
  for (int frame = 1; frame <= 8; ++frame) {
    timer.deltas = {0.25};
    loop.advanceTime();
    ASSERT_TRUE(loop.simulationFrameDue());
    loop.runSimulationFrame();
    EXPECT_EQ(gone, frame == 8) << frame;
  }
  EXPECT_TRUE(lockHeld);
  EXPECT_EQ(sceneLock->depth(), 0u);
  EXPECT_EQ(activeGfxEffectCount(), 0u);

  // A 3 s stall gives 0.5 s of game time; then two passes' steps of 0.25 s
  // gathered into one frame finish a 1 s effect.
  gone = false;
  addActiveGfxEffect(new TimedEffect(1.0f, &gone, &lockHeld));
  timer.deltas = {3.0};
  loop.advanceTime();
  loop.runSimulationFrame();
  EXPECT_FALSE(gone);
  gameSpeed = 0.25;
  timer.deltas = {1.0, 1.0};
  loop.advanceTime();
  loop.advanceTime();
  loop.runSimulationFrame();
  EXPECT_TRUE(gone);
  EXPECT_EQ(activeGfxEffectCount(), 0u);
}

}  // namespace

}  // namespace frame_loop_test
