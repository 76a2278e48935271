// The galaxy processing threads ("System Processing"): the galaxy's star
// systems are shared among worker threads, each of which ticks its own
// systems about twenty times a second (every 0.05 s of game time), each
// under that system's lock.
//
// A worker holds its share's lock for a whole pass; other threads never
// take it. A system handed over later waits in the worker's incoming list
// until its next pass, and a system destroyed on its own is dropped from
// the share by the worker itself: the share holds a reference on each of
// its systems, so none is ever freed while listed.
//
// Pausing: every worker acknowledges a pause only once it has parked, and
// the galaxy's own tick is finished and held off before the pause returns.
// Pauses are counted (a save and galaxy transfers to joining players may
// overlap): the workers are woken only by the resume that matches the last
// pause still held, and a resume that matches no pause does nothing.
// Workers end only when the galaxy is destroyed, which also drops every
// pause still held.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <vector>

#include "core/locks.h"
#include "core/threads.h"

class hires_profiler;
class objGalaxy;
class solarSystem;

struct ThreadInfo {
  ThreadInfo() = default;
  ~ThreadInfo();
  ThreadInfo(const ThreadInfo&) = delete;
  ThreadInfo& operator=(const ThreadInfo&) = delete;

  // This worker's share (a reference held on each), in order.
  std::vector<solarSystem*> systems;
  Thread thread;
  // Held by the worker for a whole pass.
  Mutex* lock = createMutex();
  std::atomic<bool> exited{false};
  std::atomic<bool> pauseRequested{false};
  int number = 0;

  // Systems handed over while the worker runs, taken into the share at the
  // start of its next pass.
  std::mutex incomingMutex;
  std::vector<solarSystem*> incoming;

  // Resting and parking: the worker rests and parks on `parkChanged`, so a
  // pause request, a resume or the galaxy's end reaches it at once; it
  // acknowledges a pause on `acknowledged`.
  std::mutex parkMutex;
  std::condition_variable parkChanged;
  std::condition_variable acknowledged;
  bool parked = false;                     // under parkMutex
  bool restCut = false;                    // under parkMutex: see cutSystemThreadRests
  std::atomic<bool> stopRequested{false};  // the galaxy is going
  // Set once the worker runs (its clock started).
  std::atomic<bool> running{false};
  // Passes finished, for those who wait for a whole pass.
  std::atomic<uint64_t> passes{0};
};

// Set once every worker has parked and the galaxy's tick is held off.
extern std::atomic<bool> systemsPaused;
// Set while the galaxy's tick runs its multi-threaded walk.
extern std::atomic<bool> galaxyTickBusy;
// The profiler all workers share ("System Processing"), made by the first
// worker to start; null until then. Read under globalProfilerLock().
extern std::atomic<hires_profiler*> serverProfiler;

// Starts `count` workers over the galaxy's star systems, in equal
// contiguous shares of at least one system, the remainder going to the last.
void startSystemThreads(uint8_t count);
// Takes one pause: the first parks every worker and holds the galaxy's tick
// off; later ones only count.
void pauseSystemThreads();
// Lets one pause go: the last wakes every parked worker and lets the galaxy
// tick again. Nothing when no pause is held.
void resumeSystemThreads();
// The pauses held.
unsigned systemThreadPauseCount();
// Ends the rest of every worker at once (a worker not resting skips its next
// one), so that game time advanced by hand is seen without waiting out a
// rest: for those who step game time themselves and wait for the passes.
void cutSystemThreadRests();
// Ends every worker of `owner` and waits for it (galaxy destruction).
void stopSystemThreads(objGalaxy* owner);
// Gives `system` to a random worker of the galaxy (nothing without workers).
void handSystemToWorker(objGalaxy* owner, solarSystem* system);

// One pass of a worker over its share, on the calling thread, with the
// share's lock held by the caller: takes the systems handed over, lets go of
// destroyed ones and ticks the rest with `elapsed` game seconds.
void runSystemPass(ThreadInfo& info, float elapsed, bool profiled = false);

// Which worker reports to the shared profiler (-1: none).
int serverThreadProfileIndex();
// Sets it under the global profiler lock.
void setServerThreadProfileIndex(int index);

// Held by the galaxy's tick while it runs, and by a pause while it sets
// `systemsPaused`, so that no tick is under way once a pause returns.
std::recursive_mutex& galaxyTickMutex();
