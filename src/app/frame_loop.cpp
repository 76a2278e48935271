#include "app/frame_loop.h"

#include <ITimer.h>

#include "app/base/config.h"
#include "app/base/session_state.h"
#include "app/base/startup.h"
#include "app/profile_phase.h"
#include "app/session_workers.h"
#include "core/locks.h"
#include "core/timer.h"
#include "design/effectors/effect_gfx.h"
#include "empire/empire.h"
#include "gfx/gfx_effects.h"
#include "gfx/particle_host.h"
#include "net/network_manager.h"

namespace {

constexpr double kGameStepCap = 0.5;
// Frame rate assumed for an "fMaxFPS" that is not a positive number, as
// config.cfg reads a rate of 0 or below.
constexpr double kFallbackFrameRate = 1000.0;
constexpr uint32_t kStatisticsIntervalMs = 1000;
constexpr double kMsPerMinute = 60000.0;
constexpr double kMicrosecondsPerSecond = 1e6;
// The speed of a session's first simulation frame, and the real time the
// loop starts with so that the first pass runs that frame.
constexpr double kRampSpeed = 0.01;
constexpr float kRampFrameTime = 0.05f;

// config.cfg keeps "fAutosaveInterval" within 0 .. 60 minutes.
constexpr double kLongestAutosaveMinutes = 60.0;

// The autosave interval in milliseconds.
uint32_t autosaveIntervalMs() {
  double minutes = fAutosaveInterval > 0 ? fAutosaveInterval : 0.0;
  if (minutes > kLongestAutosaveMinutes)
    minutes = kLongestAutosaveMinutes;
  return static_cast<uint32_t>(minutes * kMsPerMinute);
}

}  // namespace

double framePeriod() { return 1.0 / (fMaxFPS > 0 ? static_cast<double>(fMaxFPS) : kFallbackFrameRate); }

double gameStepCap() { return videoMode ? framePeriod() : kGameStepCap; }

void resetSessionFlags(bool networkClient) {
  sessionActive = networkClient;
  gameRulesActive = !networkClient;
  statisticsActive = false;
  simulationStarted = false;
  sessionEnding = false;
  firstFramePending = true;
  speedRestorePending = false;
}

bool clockReached(uint32_t now, uint32_t deadline) { return static_cast<int32_t>(now - deadline) >= 0; }

FrameLoop::FrameLoop(Timer& timer, SessionWorkers& workers, irr::ITimer* deviceTimer)
    : timer_(timer), workers_(workers), deviceTimer_(deviceTimer) {}

void FrameLoop::startClocks(uint32_t nowMs) {
  nextStatisticsTime_ = nowMs + kStatisticsIntervalMs;
  nextAutosaveTime_ = nowMs + autosaveIntervalMs();
  realFrameTime = 0.0f;
}

void setGameSpeed(double speed, irr::ITimer* deviceTimer) {
  if (speedRampActive) {
    pendingGameSpeed = speed;
    return;
  }
  gameSpeed = speed;
  if (deviceTimer != nullptr)
    deviceTimer->setSpeed(static_cast<float>(speed));
}

void FrameLoop::beginSpeedRamp() {
  savedSpeed_ = gameSpeed;
  speedRampActive = true;
  realFrameTime = kRampFrameTime;
  gameSpeed = kRampSpeed;
  pendingGameSpeed = -1.0;
  if (deviceTimer_ != nullptr)
    deviceTimer_->setSpeed(static_cast<float>(kRampSpeed));
}

void FrameLoop::restoreSpeed() {
  if (pendingGameSpeed >= 0.0)
    savedSpeed_ = pendingGameSpeed;
  pendingGameSpeed = -1.0;
  speedRampActive = false;
  speedRestorePending = false;
  gameSpeed = savedSpeed_;
  if (deviceTimer_ != nullptr)
    deviceTimer_->setSpeed(static_cast<float>(savedSpeed_));
}

void FrameLoop::endSpeedRamp() {
  if (!speedRampActive)
    return;
  firstFramePending = false;
  restoreSpeed();
}

double FrameLoop::advanceTime() {
  timer_.tick();
  const double dt = timer_.getDelta();
  const double cap = gameStepCap();
  double step = dt * gameSpeed;
  if (step > cap)
    step = cap;
  gameTime.store(gameTime.load() + step);
  realFrameTime = static_cast<float>(realFrameTime + dt);
  gameFrameTime = static_cast<float>(gameFrameTime + step);
  if (realFrameTime > cap)
    realFrameTime = static_cast<float>(cap);
  return step;
}

bool FrameLoop::statisticsDue(uint32_t nowMs) {
  if (static_cast<int32_t>(nowMs - nextStatisticsTime_) <= 0)
    return false;
  nextStatisticsTime_ = nowMs + kStatisticsIntervalMs;
  return true;
}

bool FrameLoop::autosaveDue(uint32_t nowMs, bool networkClient, bool networkServer) {
  if (!clockReached(nowMs, nextAutosaveTime_) || !(fAutosaveInterval > 0) || networkClient ||
      (networkServer && !bServerAutosave))
    return false;
  nextAutosaveTime_ = nowMs + autosaveIntervalMs();
  return true;
}

bool FrameLoop::simulationFrameDue() const { return realFrameTime >= framePeriod(); }

void FrameLoop::runSimulationFrame() {
  if (mainProfiler != nullptr)
    mainProfiler->tickTimer();
  ++frameCounter;

  if (firstFramePending) {
    firstFramePending = false;
    speedRestorePending = true;
  } else if (speedRestorePending) {
    restoreSpeed();
    simulationStarted = true;
  }

  workers_.beginFrame(gameFrameTime);

  if (gameFrameTime > 0) {
    ProfilePhase phase(frameProfileSections.empireTicks);
    for (empire* emp : empireList)
      emp->tick(gameFrameTime);
    // Each step made its empire active; between frames the local player's
    // empire is.
    activeEmpire = pendingPlayerEmpire;
  }

  {
    // The graphics calls of this frame's firings go to the players, then
    // the queue starts afresh; the local effects and particle systems move
    // on by the frame's game time. All of it under the scene lock, which
    // also guards the scene graphics that effects and objects set up.
    ProfilePhase phase(frameProfileSections.specialFxUpdate);
    MutexGuard scene(*sceneLock);
    // Effect graphics: a client shows the calls it read before they go.
    if (networkManager != nullptr && !networkManager->isServer)
      playEffGfxQueue();
    sendEffectGraphics();
    clearEffGfxQueue();
    updateActiveGfxEffects(gameFrameTime);
    updateParticleSystems(gameFrameTime);
  }

  workers_.finishFrame();
  realFrameTime = 0.0f;
  gameFrameTime = 0.0f;
}

uint32_t FrameLoop::idleSleepMicroseconds() const {
  const double period = static_cast<float>(framePeriod());
  const double microseconds = (period - realFrameTime) * kMicrosecondsPerSecond * fSleepLevel;
  // Also false for a NaN from an unusable "fSleepLevel".
  if (!(microseconds > 0))
    return 0;
  const double longest = period * kMicrosecondsPerSecond;
  return static_cast<uint32_t>(microseconds < longest ? microseconds : longest);
}
