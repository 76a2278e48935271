#include "app/session_workers.h"

#include <angelscript.h>

#include "app/base/config.h"
#include "app/profile_phase.h"
#include "core/log.h"
#include "net/network_manager.h"
#include "platform/bit_stream.h"
#include "platform/thread.h"
#include "script/script_engine.h"
#include "script/server_modules.h"

bool gcEngineToggle = false;
int gcFullCycleCountdown = kFullGcCycleSteps;

namespace {

std::atomic<GalaxyTick> galaxyTick{nullptr};

// How often the network-poll thread processes packets, and how often the
// session looks for its acknowledgement.
constexpr unsigned kNetworkPollIntervalMs = 16;
constexpr unsigned kNetworkPollStopCheckMs = 1;

// A full pass that destroys garbage, and one step of detection.
constexpr uint32_t kGcDestroyPass = AngelScript::asGC_FULL_CYCLE | AngelScript::asGC_DESTROY_GARBAGE;
constexpr uint32_t kGcDetectStep = AngelScript::asGC_ONE_STEP | AngelScript::asGC_DETECT_GARBAGE;

// Time slices the frame loop gives up before it blocks waiting for a worker.
constexpr int kYieldsBeforeBlocking = 64;

void collectGarbage(AngelScript::asIScriptEngine* engine, uint32_t flags) {
  if (engine != nullptr && flags != 0)
    engine->GarbageCollect(flags);
}

void unforcedGarbageStep() { scriptGarbageStep(false); }

WorkerControl* controlOf(void* argument) { return static_cast<WorkerControl*>(argument); }

}  // namespace

WorkerTasks sessionWorkerTasks() { return WorkerTasks{unforcedGarbageStep, runGalaxyUpdate, tickServerModules}; }

// ---------------------------------------------------------------------------
// WorkerControl

void WorkerControl::resume(float seconds) {
  std::lock_guard<std::mutex> guard(mutex_);
  if (busy_ || woken_)
    return;
  woken_ = true;
  // Cleared with the wake-up, under the lock: a wait for the worker that
  // follows this resume waits for the unit it asked for.
  done.store(false);
  seconds_ = seconds;
  changed_.notify_all();
}

void WorkerControl::requestStop() {
  std::lock_guard<std::mutex> guard(mutex_);
  stop.store(true);
  changed_.notify_all();
}

void WorkerControl::waitUntilDone() {
  // A unit of work is often done within a few time slices: giving them up
  // first spares the wake-up of a blocked wait.
  for (int yields = 0; yields < kYieldsBeforeBlocking; ++yields) {
    if (done.load())
      return;
    plat::sleepMs(0);
  }
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [this] { return done.load(); });
}

bool WorkerControl::waitForResume() {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [this] { return woken_ || stop.load(); });
  if (stop.load())
    return false;
  woken_ = false;
  busy_ = true;
  return true;
}

void WorkerControl::finishUnit() {
  std::lock_guard<std::mutex> guard(mutex_);
  busy_ = false;
  done.store(true);
  changed_.notify_all();
}

// ---------------------------------------------------------------------------
// Thread procedures

uint32_t scriptGcWorker(void* argument) {
  // The collector needs no per-thread record: the profiler's clock stores
  // its frequency on the thread's first reading.
  WorkerControl* control = controlOf(argument);
  while (control->waitForResume()) {
    control->tasks->scriptGc();
    control->finishUnit();
  }
  return 0;
}

uint32_t galaxyUpdateWorker(void* argument) {
  WorkerControl* control = controlOf(argument);
  initThreadLocals();
  while (control->waitForResume()) {
    control->tasks->galaxyUpdate();
    control->finishUnit();
  }
  control->finishUnit();
  freeThreadLocals();
  return 0;
}

uint32_t serverModuleWorker(void* argument) {
  WorkerControl* control = controlOf(argument);
  initThreadLocals();
  while (control->waitForResume()) {
    control->tasks->serverModules(control->seconds());
    control->finishUnit();
  }
  freeThreadLocals();
  return 0;
}

// ---------------------------------------------------------------------------
// SessionWorkers

SessionWorkers::SessionWorkers(const WorkerTasks& tasks, bool runInline) : tasks_(tasks), inline_(runInline) {
  gc_.tasks = &tasks_;
  galaxy_.tasks = &tasks_;
  modules_.tasks = &tasks_;
  galaxy_.done.store(true);
}

SessionWorkers::~SessionWorkers() {
  stop();
  join();
}

void SessionWorkers::start() {
  if (started_)
    return;
  started_ = true;
  bool allStarted = gcThread_.start(scriptGcWorker, &gc_, true);
  tasks_.galaxyUpdate();
  allStarted = galaxyThread_.start(galaxyUpdateWorker, &galaxy_, true) && allStarted;
  allStarted = modulesThread_.start(serverModuleWorker, &modules_, true) && allStarted;
  if (!allStarted && !inline_) {
    logError("The session's worker threads could not all be started: running their work on the main thread\n");
    inline_ = true;
  }
}

void SessionWorkers::beginFrame(float moduleSeconds) {
  if (inline_) {
    tasks_.scriptGc();
    tasks_.galaxyUpdate();
    modules_.done.store(true);
    tasks_.serverModules(moduleSeconds);
    return;
  }
  gc_.resume();
  galaxy_.resume();
  modules_.resume(moduleSeconds);
}

void SessionWorkers::finishFrame() {
  if (!inline_)
    modules_.waitUntilDone();
  modules_.done.store(false);
}

void SessionWorkers::waitForGalaxyIdle() {
  if (!inline_)
    galaxy_.waitUntilDone();
}

void SessionWorkers::stop() {
  if (stopped_)
    return;
  stopped_ = true;
  gc_.requestStop();
  modules_.requestStop();
  galaxy_.requestStop();
  if (galaxyThread_.valid())
    galaxy_.waitUntilDone();
}

void SessionWorkers::join() {
  for (Thread* thread : {&gcThread_, &modulesThread_, &galaxyThread_}) {
    if (thread->valid())
      thread->waitForExit();
    *thread = Thread();
  }
}

// ---------------------------------------------------------------------------
// Garbage collection

GarbageStepPlan planScriptGarbageStep(bool forceFullCycle) {
  GarbageStepPlan plan{0, 0};
  if (!forceFullCycle && (!bFullGCCyle || --gcFullCycleCountdown != 0)) {
    plan.serverFlags = gcEngineToggle ? kGcDetectStep : kGcDestroyPass;
    plan.clientFlags = gcEngineToggle ? kGcDestroyPass : kGcDetectStep;
  } else {
    gcFullCycleCountdown = kFullGcCycleSteps;
    (gcEngineToggle ? plan.serverFlags : plan.clientFlags) = AngelScript::asGC_FULL_CYCLE;
  }
  gcEngineToggle = !gcEngineToggle;
  return plan;
}

void scriptGarbageStep(bool forceFullCycle) {
  ProfilePhase phase(frameProfileSections.scriptGarbageCollect);
  const GarbageStepPlan plan = planScriptGarbageStep(forceFullCycle);
  collectGarbage(serverScriptEngine, plan.serverFlags);
  collectGarbage(clientScriptEngine, plan.clientFlags);
}

// ---------------------------------------------------------------------------
// Galaxy update

void setGalaxyTick(GalaxyTick tick) { galaxyTick.store(tick); }

void runGalaxyUpdate() {
  ProfilePhase phase(frameProfileSections.galaxyUpdate);
  if (GalaxyTick tick = galaxyTick.load())
    tick(1.0f);
}

// ---------------------------------------------------------------------------
// Network poll

uint32_t networkPollThread(void* argument) {
  std::atomic<bool>* running = static_cast<std::atomic<bool>*>(argument);
  ThreadLocals& record = threadLocals();
  if (record.scratchStream == nullptr)
    record.scratchStream = new RakNet::BitStream();
  while (running->load()) {
    networkManager->processPackets();
    plat::sleepMs(kNetworkPollIntervalMs);
  }
  delete record.scratchStream;
  record.scratchStream = nullptr;
  running->store(true);
  return 0;
}

bool NetworkPoll::start() {
  if (started_)
    return true;
  running_.store(true);
  started_ = thread_.start(networkPollThread, &running_, true);
  return started_;
}

void NetworkPoll::stop() {
  if (!started_)
    return;
  running_.store(false);
  while (!running_.load())
    plat::sleepMs(kNetworkPollStopCheckMs);
  thread_.waitForExit();
  thread_ = Thread();
  started_ = false;
}
