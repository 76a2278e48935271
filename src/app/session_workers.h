// The game session's worker threads: script garbage collection, the galaxy
// update and the server script modules' tick, one unit of work each per
// simulation frame; and the network-poll thread that serves the network
// while a session loads.
//
// Each worker waits on its control block until the frame loop resumes it,
// does one unit and waits again. A resume that reaches the garbage-collection
// or galaxy worker while it is still busy is dropped: that worker skips the
// frame, and no resumes pile up. The frame loop waits for the server-module
// worker every frame, so its resume always finds it waiting. In
// single-threaded mode the threads exist but are never resumed; the frame
// loop runs the same units inline, and the threads only see the stop.
//
// Stopping: the stop flag is set and the worker woken, in the order
// garbage collection, server modules, galaxy; a worker that is busy finishes
// its unit first. The session then waits until the galaxy worker is idle,
// and later joins the threads.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "core/threads.h"

// What the workers do, one unit per simulation frame. The session uses
// sessionWorkerTasks(); tests give their own.
struct WorkerTasks {
  void (*scriptGc)();                    // one garbage-collection step
  void (*galaxyUpdate)();                // one galaxy update
  void (*serverModules)(float seconds);  // one tick of the server modules
};

// scriptGarbageStep(false), runGalaxyUpdate() and tickServerModules.
WorkerTasks sessionWorkerTasks();

// The control block of one worker, shared by the frame loop and the thread.
class WorkerControl {
 public:
  // Ends the worker: it leaves its loop after the unit it may be running.
  std::atomic<bool> stop{false};
  // The worker's progress flag: cleared by the resume that wakes the worker,
  // set by the worker when that unit ends. Galaxy: set also while idle and
  // when the thread ends. Server modules: cleared again by the frame loop
  // once it has waited for the unit.
  std::atomic<bool> done{false};
  const WorkerTasks* tasks = nullptr;

  // Frame loop: wakes the worker for one unit, handing it `seconds` (the
  // server modules' tick argument), and clears `done`. Dropped while the
  // worker is busy or already woken.
  void resume(float seconds = 0.0f);
  // Frame loop: sets `stop` and wakes the worker whether it waits or not.
  void requestStop();
  // Frame loop: waits until `done` is set.
  void waitUntilDone();

  // Worker: waits to be resumed. False when the worker is to stop.
  bool waitForResume();
  // Worker: the seconds handed over with the last resume.
  float seconds() const { return seconds_; }
  // Worker: the unit has ended; sets `done` and waits for the next resume.
  void finishUnit();

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool woken_ = false;  // a resume is waiting to be taken
  bool busy_ = false;   // a unit runs
  float seconds_ = 0.0f;
};

// Thread procedures; each takes its WorkerControl and returns 0.
uint32_t scriptGcWorker(void* control);
uint32_t galaxyUpdateWorker(void* control);
uint32_t serverModuleWorker(void* control);

// The three workers of one session.
class SessionWorkers {
 public:
  // `runInline`: single-threaded mode, the frame loop runs every unit.
  SessionWorkers(const WorkerTasks& tasks, bool runInline);
  // Stops and joins the threads when the session has not.
  ~SessionWorkers();
  SessionWorkers(const SessionWorkers&) = delete;
  SessionWorkers& operator=(const SessionWorkers&) = delete;

  // Starts the garbage-collection worker, runs one galaxy update on the
  // calling thread, then starts the galaxy and server-module workers. When a
  // thread cannot be started, the frame loop runs every unit inline.
  void start();
  // Simulation frame: resumes the three workers, or runs their units inline
  // in order.
  void beginFrame(float moduleSeconds);
  // Simulation frame: waits for the server-module worker and clears its `done`.
  void finishFrame();
  // Waits until the galaxy worker is idle (a network server does before it
  // processes packets); returns at once when running inline.
  void waitForGalaxyIdle();
  // Stops the workers and waits for the galaxy worker to be idle.
  void stop();
  // Waits for the threads to end (after stop).
  void join();

  bool runsInline() const { return inline_; }

 private:
  WorkerTasks tasks_;
  bool inline_;
  bool started_ = false;
  bool stopped_ = false;
  WorkerControl gc_;
  WorkerControl galaxy_;
  WorkerControl modules_;
  Thread gcThread_;
  Thread galaxyThread_;
  Thread modulesThread_;
};

// Script garbage collection: which engine's turn it is (flipped after every
// step) and the steps until the next full cycle with "bFullGCCyle".
extern bool gcEngineToggle;
extern int gcFullCycleCountdown;
constexpr int kFullGcCycleSteps = 1800;

// The collector flags one step gives each engine; 0 leaves the engine alone.
struct GarbageStepPlan {
  uint32_t serverFlags;
  uint32_t clientFlags;
};
// Decides one step and advances the toggle and countdown. Unforced, with
// "bFullGCCyle" off or the countdown not yet run out: an incremental step on
// both engines, the engine whose turn it is getting a full pass that
// destroys garbage and the other one step of detection. Otherwise a full
// cycle on one engine, and the countdown starts again.
GarbageStepPlan planScriptGarbageStep(bool forceFullCycle);
// One garbage-collection step over both script engines, inside the
// "Script Garbage Collect" phase.
void scriptGarbageStep(bool forceFullCycle);

// The galaxy's update with its step. The universe sets it while a galaxy
// exists (null: no galaxy); set before the workers start.
using GalaxyTick = void (*)(float step);
void setGalaxyTick(GalaxyTick tick);
// One galaxy update with step 1.0 inside the "Galaxy Update" phase.
void runGalaxyUpdate();

// The network-poll thread: while `*running` (a std::atomic<bool>) holds it
// processes the network packets every 16 ms; then it sets `*running` back
// to true to say it has stopped, and returns 0.
uint32_t networkPollThread(void* running);

// Starts and stops the network-poll thread with its flag handshake.
class NetworkPoll {
 public:
  NetworkPoll() = default;
  // Stops the thread when the session has not (a session that ends early).
  ~NetworkPoll() { stop(); }
  NetworkPoll(const NetworkPoll&) = delete;
  NetworkPoll& operator=(const NetworkPoll&) = delete;

  // False when the thread could not be started.
  bool start();
  // Clears the flag, waits until the thread has set it again, and joins it.
  // Nothing when the thread was not started.
  void stop();
  bool running() const { return started_; }

 private:
  std::atomic<bool> running_{false};
  bool started_ = false;
  Thread thread_;
};
