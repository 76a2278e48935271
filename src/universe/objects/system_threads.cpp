#include "universe/objects/system_threads.h"

#include <algorithm>
#include <chrono>

#include "app/base/config.h"
#include "app/base/session_state.h"
#include "core/log.h"
#include "core/random.h"
#include "core/timer.h"
#include "platform/thread.h"
#include "universe/objects/galaxy.h"
#include "universe/objects/solar_system.h"

std::atomic<bool> systemsPaused{false};
std::atomic<bool> galaxyTickBusy{false};
std::atomic<hires_profiler*> serverProfiler{nullptr};

namespace {

// Game seconds between two passes of a worker.
constexpr double kPassInterval = 0.05;
constexpr double kPassIntervalMs = 50.0;
// Game time is a running sum of frame steps, so a step of exactly one
// interval often comes out a rounding error short of it; the pass it makes
// due must not slip to a later step.
constexpr double kPassIntervalSlack = 1e-9;
// Real milliseconds a worker rests after a pass.
constexpr unsigned kRestAfterPassMs = 9;

std::atomic<int> profiledWorker{-1};
std::atomic<int> profilerMade{0};
int systemProcessingPhase = -1;

void makeSharedProfiler() {
  int expected = 0;
  if (!profilerMade.compare_exchange_strong(expected, 1))
    return;
  MutexGuard guard(globalProfilerLock());
  hires_profiler* made = createHiresProfiler().release();
  systemProcessingPhase = made->registerSection("System Processing");
  serverProfiler.store(made);
}

// Takes the systems handed over since the last pass, and lets go of the
// ones that were destroyed since. The worker holds its share's lock.
void refreshShare(ThreadInfo& info) {
  {
    std::lock_guard<std::mutex> guard(info.incomingMutex);
    info.systems.insert(info.systems.end(), info.incoming.begin(), info.incoming.end());
    info.incoming.clear();
  }
  auto gone = std::stable_partition(info.systems.begin(), info.systems.end(),
                                    [](solarSystem* system) { return system->isValid(); });
  for (auto it = gone; it != info.systems.end(); ++it)
    (*it)->drop();
  info.systems.erase(gone, info.systems.end());
}

// Lets go of the whole share (the worker is ending).
void releaseShare(ThreadInfo& info) {
  MutexGuard guard(*info.lock);
  refreshShare(info);
  for (solarSystem* system : info.systems)
    system->drop();
  info.systems.clear();
}

void processSystem(solarSystem* system, float seconds, bool profiled) {
  ThreadLocals& record = threadLocals();
  record.currentSystem = system;
  hires_profiler* profiler = profiled ? serverProfiler.load() : nullptr;
  if (profiler != nullptr)
    profiler->beginSection(systemProcessingPhase);
  system->tick(seconds);
  if (profiler != nullptr)
    profiler->endSection(systemProcessingPhase);
  system->lock->unlock();
  record.currentSystem = nullptr;
}

// One pass over the share: a busy system is not waited for while the next
// one is free.
void runPass(ThreadInfo& info, float elapsed, bool profiled) {
  ThreadLocals& record = threadLocals();
  size_t i = 0;
  while (i < info.systems.size()) {
    record.frameSeconds = elapsed;
    solarSystem* system = info.systems[i];
    if (system->lock->tryLock()) {
      processSystem(system, elapsed, profiled);
      ++i;
      continue;
    }
    size_t next = i + 1;
    if (next < info.systems.size() && info.systems[next]->lock->tryLock()) {
      processSystem(info.systems[next], elapsed, profiled);
      ++next;
    }
    while (!system->lock->tryLock())
      plat::sleepMs(0);
    processSystem(system, elapsed, profiled);
    i = next;
  }
}

// Parks until resumed (or until the galaxy goes). The pause is acknowledged
// only once the worker is parked, so a resume can never come too early.
void park(ThreadInfo& info) {
  std::unique_lock<std::mutex> guard(info.parkMutex);
  info.parked = true;
  info.pauseRequested.store(false);
  info.acknowledged.notify_all();
  info.parkChanged.wait(guard, [&info] { return !info.parked || info.stopRequested.load(); });
  info.parked = false;
}

// Rests `ms` milliseconds, or less when a pause or the galaxy's end calls.
void rest(ThreadInfo& info, unsigned ms) {
  std::unique_lock<std::mutex> guard(info.parkMutex);
  info.parkChanged.wait_for(guard, std::chrono::milliseconds(ms), [&info] {
    return info.restCut || info.pauseRequested.load() || info.stopRequested.load();
  });
  info.restCut = false;
}

uint32_t systemProcessingThread(void* argument) {
  ThreadInfo& info = *static_cast<ThreadInfo*>(argument);
  initThreadLocals();
  threadLocals().threadNumber = info.number;
  makeSharedProfiler();
  double last = gameTime.load();
  info.running.store(true);

  while (!info.stopRequested.load()) {
    if (info.pauseRequested.load()) {
      park(info);
      continue;
    }
    const double now = gameTime.load();
    const double elapsed = now - last;
    if (elapsed >= kPassInterval - kPassIntervalSlack && info.lock->tryLock()) {
      last = now;
      const bool profiled = serverThreadProfileIndex() == info.number && serverProfiler.load() != nullptr;
      if (profiled) {
        globalProfilerLock().lock();
        serverProfiler.load()->tickTimer();
      }
      runSystemPass(info, static_cast<float>(elapsed), profiled);
      if (profiled) {
        serverProfiler.load()->endFrame();
        globalProfilerLock().unlock();
      }
      info.lock->unlock();
      info.passes.fetch_add(1);
      rest(info, kRestAfterPassMs);
    } else {
      const int remaining = static_cast<int>(kPassIntervalMs - elapsed * 1000.0);
      rest(info, static_cast<unsigned>(std::max(1, remaining / 2)));
    }
  }

  releaseShare(info);
  freeThreadLocals();
  {
    std::lock_guard<std::mutex> guard(info.parkMutex);
    info.exited.store(true);
    info.acknowledged.notify_all();
  }
  return 0;
}

void wake(ThreadInfo& info) {
  std::lock_guard<std::mutex> guard(info.parkMutex);
  info.parked = false;
  info.parkChanged.notify_all();
}

void requestPause(ThreadInfo& info) {
  std::lock_guard<std::mutex> guard(info.parkMutex);
  info.pauseRequested.store(true);
  info.parkChanged.notify_all();
}

void awaitPause(ThreadInfo& info) {
  std::unique_lock<std::mutex> guard(info.parkMutex);
  info.acknowledged.wait(guard, [&info] { return !info.pauseRequested.load() || info.exited.load(); });
}

}  // namespace

void runSystemPass(ThreadInfo& info, float elapsed, bool profiled) {
  refreshShare(info);
  runPass(info, elapsed, profiled);
}

ThreadInfo::~ThreadInfo() {
  for (solarSystem* system : systems)
    system->drop();
  for (solarSystem* system : incoming)
    system->drop();
  destroyMutex(lock);
}

std::recursive_mutex& galaxyTickMutex() {
  static std::recursive_mutex* mutex = new std::recursive_mutex();  // for the whole process
  return *mutex;
}

void startSystemThreads(uint8_t requested) {
  objGalaxy* owner = galaxy;
  unsigned count = requested;
  if (owner == nullptr || count == 0)
    return;
  std::vector<solarSystem*> found;
  for (irr::u32 i = 0; i < owner->children.size(); ++i) {
    generic_object* child = owner->children[i].get();
    if (child->getType() == OT_System)
      found.push_back(static_cast<solarSystem*>(child));
  }
  const size_t total = found.size();
  const size_t per = std::max<size_t>(total / count, 1);
  if (count * per > total)
    count = static_cast<unsigned>(total / per);

  size_t next = 0;
  for (unsigned k = 0; k < count; ++k) {
    ThreadInfo* info = new ThreadInfo();
    info->number = static_cast<int>(k);
    const size_t take = k + 1 == count ? total - next : per;
    for (size_t s = 0; s < take; ++s) {
      found[next]->grab();
      info->systems.push_back(found[next++]);
    }
    owner->threads.push_back(info);
  }
  // A worker that cannot be started hands its share to the first one that
  // runs; when none runs, the galaxy's own tick ticks every system.
  std::vector<ThreadInfo*> started;
  std::vector<ThreadInfo*> failed;
  for (irr::u32 k = 0; k < owner->threads.size(); ++k) {
    ThreadInfo* info = owner->threads[k];
    if (info->thread.start(systemProcessingThread, info, true)) {
      started.push_back(info);
    } else {
      logError("Galaxy processing thread %u could not be started\n", k);
      failed.push_back(info);
    }
  }
  for (ThreadInfo* info : failed) {
    if (!started.empty()) {
      std::lock_guard<std::mutex> guard(started.front()->incomingMutex);
      started.front()->incoming.insert(started.front()->incoming.end(), info->systems.begin(), info->systems.end());
      info->systems.clear();  // the references go with the systems
    }
    owner->threads.erase(static_cast<irr::u32>(owner->threads.linear_search(info)));
    delete info;
  }
}

// Pauses are counted: a save and any number of galaxy transfers may each
// hold one, and the workers run again only once every holder has let go.
// The mutex also keeps one pause's parking from overlapping a resume.
std::mutex& pauseCountMutex() {
  static std::mutex* mutex = new std::mutex();  // for the whole process
  return *mutex;
}
unsigned pauseCount = 0;  // under pauseCountMutex

void parkEveryWorker() {
  objGalaxy* owner = galaxy;
  if (owner != nullptr) {
    for (irr::u32 k = 0; k < owner->threads.size(); ++k)
      if (!owner->threads[k]->exited.load())
        requestPause(*owner->threads[k]);
    for (irr::u32 k = 0; k < owner->threads.size(); ++k)
      awaitPause(*owner->threads[k]);
  }
  std::lock_guard<std::recursive_mutex> guard(galaxyTickMutex());
  systemsPaused.store(true);
}

void wakeEveryWorker() {
  if (objGalaxy* owner = galaxy)
    for (irr::u32 k = 0; k < owner->threads.size(); ++k)
      wake(*owner->threads[k]);
  systemsPaused.store(false);
}

void pauseSystemThreads() {
  std::lock_guard<std::mutex> guard(pauseCountMutex());
  if (++pauseCount == 1)
    parkEveryWorker();
}

void resumeSystemThreads() {
  std::lock_guard<std::mutex> guard(pauseCountMutex());
  if (pauseCount == 0)
    return;  // nobody holds a pause
  if (--pauseCount == 0)
    wakeEveryWorker();
}

unsigned systemThreadPauseCount() {
  std::lock_guard<std::mutex> guard(pauseCountMutex());
  return pauseCount;
}

void cutSystemThreadRests() {
  objGalaxy* owner = galaxy;
  if (owner == nullptr)
    return;
  for (irr::u32 k = 0; k < owner->threads.size(); ++k) {
    ThreadInfo& info = *owner->threads[k];
    std::lock_guard<std::mutex> guard(info.parkMutex);
    info.restCut = true;
    info.parkChanged.notify_all();
  }
}

void stopSystemThreads(objGalaxy* owner) {
  {
    // The pauses belong to the galaxy that goes: the next one starts
    // unpaused, its own tick too (a held flag would keep every object
    // between the systems still for the rest of the session).
    std::lock_guard<std::mutex> guard(pauseCountMutex());
    pauseCount = 0;
    systemsPaused.store(false);
  }
  for (irr::u32 k = 0; k < owner->threads.size(); ++k) {
    ThreadInfo* info = owner->threads[k];
    info->stopRequested.store(true);
    wake(*info);
  }
  for (irr::u32 k = 0; k < owner->threads.size(); ++k) {
    ThreadInfo* info = owner->threads[k];
    if (info->thread.valid())
      info->thread.waitForExit();
    delete info;
  }
  owner->threads.clear();
}

void handSystemToWorker(objGalaxy* owner, solarSystem* system) {
  if (owner == nullptr || system == nullptr || owner->threads.size() == 0)
    return;
  ThreadInfo* info = owner->threads[static_cast<irr::u32>(processRandom()) % owner->threads.size()];
  system->grab();
  std::lock_guard<std::mutex> guard(info->incomingMutex);
  info->incoming.push_back(system);
}

int serverThreadProfileIndex() { return profiledWorker.load(); }

void setServerThreadProfileIndex(int index) {
  MutexGuard guard(globalProfilerLock());
  profiledWorker.store(index);
}
