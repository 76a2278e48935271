// The game session's frame clock: the game step of every pass, the
// simulation frames at 1/"fMaxFPS", the speed ramp of a session's first
// frames, the statistics and autosave clocks, and the sleep between frames.
//
// Each pass of the loop ticks the loop's timer and takes its delta dt (real
// seconds). The game step is dt x `gameSpeed`, capped at 0.5 s (one frame
// period with `videoMode`); it advances `gameTime` and `gameFrameTime`,
// while dt advances `realFrameTime`, which is then lowered to the cap, so a
// long stall causes at most one simulation frame. The two accumulators are
// single-precision: every sum is rounded to float.
//
// A simulation frame runs once `realFrameTime` reaches one frame period: it
// resumes the workers (or runs their units inline), steps every empire with
// the game seconds gathered, advances the active graphics effects and the
// particle systems by them under the scene lock ("Special FX Update"),
// waits for the server-module worker and empties both accumulators. The first simulation frame of a session runs at speed
// 0.01; the second restores the speed the loop began with, or the one set
// during the ramp (or the loop's end does, when it comes first).
//
// The real-time clocks are the engine timer's milliseconds, a 32-bit count
// that wraps: comparisons are made on the difference, so a wrap during a
// session changes nothing.
#pragma once

#include <cstdint>

class Timer;
class SessionWorkers;
namespace irr {
class ITimer;
}

// Seconds of one simulation frame: 1/"fMaxFPS" (1/1000 for a rate that is
// not a positive number).
double framePeriod();
// The longest game step: 0.5 s, or one frame period with `videoMode`.
double gameStepCap();

// The session state at the start of a session: `sessionActive` tells whether
// it is a network client; the first-frame ramp is armed.
void resetSessionFlags(bool networkClient);

// True when `now` has reached `deadline` on the wrapping millisecond clock
// (deadlines lie less than 2^31 ms ahead).
bool clockReached(uint32_t now, uint32_t deadline);

// Sets the game speed and the device timer's (when not null), as the
// console's "set_speed_factor" does. During a session's speed ramp the
// speed waits in `pendingGameSpeed` and becomes the speed the ramp ends on.
void setGameSpeed(double speed, irr::ITimer* deviceTimer);

class FrameLoop {
 public:
  // `timer` gives each pass its delta; `deviceTimer` (may be null) follows
  // the game speed.
  FrameLoop(Timer& timer, SessionWorkers& workers, irr::ITimer* deviceTimer);

  // Arms the statistics clock (1 s) and the autosave clock ("fAutosaveInterval"
  // minutes) from `nowMs`, and empties `realFrameTime`.
  void startClocks(uint32_t nowMs);
  // Keeps `gameSpeed` to restore on the second simulation frame and starts
  // the ramp: `realFrameTime` 0.05 (the first pass runs a frame), speed 0.01.
  // A speed set during the ramp (setGameSpeed) is the one restored.
  void beginSpeedRamp();
  // The loop is over: a ramp whose restore is still to come (a session that
  // ended before its second simulation frame) puts the saved (or the
  // pending) speed back, so the next session does not start from the ramp
  // speed.
  void endSpeedRamp();

  // Ticks the timer and advances the game clock; returns the game step.
  double advanceTime();
  // True once a second; moves the statistics clock on.
  bool statisticsDue(uint32_t nowMs);
  // True when an autosave is due and allowed ("fAutosaveInterval" above 0,
  // not a network client, on a network server only with "bServerAutosave");
  // the autosave clock then starts again from `nowMs`.
  bool autosaveDue(uint32_t nowMs, bool networkClient, bool networkServer);
  bool simulationFrameDue() const;
  void runSimulationFrame();
  // Microseconds to sleep after a pass without a simulation frame: the
  // unused part of the frame period times "fSleepLevel", never below 0 nor
  // above one frame period. Whole milliseconds would leave the last few
  // milliseconds of every frame to a loop of zero-length sleeps.
  uint32_t idleSleepMicroseconds() const;

  double savedSpeed() const { return savedSpeed_; }

 private:
  // Puts the speed set during the ramp, else the saved one, back in
  // `gameSpeed` and the device timer.
  void restoreSpeed();

  Timer& timer_;
  SessionWorkers& workers_;
  irr::ITimer* deviceTimer_;
  double savedSpeed_ = 1.0;
  uint32_t nextStatisticsTime_ = 0;
  uint32_t nextAutosaveTime_ = 0;
};
