#include "universe/objects/system_locks.h"

#include "app/base/config.h"
#include "core/threads.h"
#include "universe/objects/solar_system.h"

namespace {

solarSystem* heldSystem(const ThreadLocals& record) {
  return record.systemLockFrames.empty() ? record.currentSystem : record.systemLockFrames.back().system;
}

// Gives up the system held (when `system` is another one) and records it.
// False when `system` is the one held already.
bool switchTo(ThreadLocals& record, solarSystem* system) {
  solarSystem* held = heldSystem(record);
  if (held == system)
    return false;
  const unsigned savedDepth = held != nullptr ? held->lock->releaseAll() : 0;
  record.systemLockFrames.push_back({system, savedDepth});
  record.systemLockNesting = static_cast<int>(record.systemLockFrames.size());
  return true;
}

// Drops the top frame and takes the system below back at its depth.
void switchBack(ThreadLocals& record) {
  const unsigned savedDepth = record.systemLockFrames.back().savedDepth;
  record.systemLockFrames.pop_back();
  record.systemLockNesting = static_cast<int>(record.systemLockFrames.size());
  solarSystem* previous = heldSystem(record);
  if (previous != nullptr && savedDepth > 0)
    previous->lock->reacquire(savedDepth);
}

}  // namespace

void lockSolarSystem(solarSystem* system, bool priority) {
  if (singleThreaded || system == nullptr)
    return;
  if (!switchTo(threadLocals(), system) && system->lock->depth() > 0) {
    system->lock->lock();  // held already: re-entering never waits
    return;
  }
  system->waiters.fetch_add(1);
  if (priority) {
    system->priorityWaiters.fetch_add(1);
    system->lock->lock();
    system->priorityWaiters.fetch_sub(1);
  } else {
    system->lock->lock();
  }
  system->waiters.fetch_sub(1);
}

bool tryLockSolarSystem(solarSystem* system) {
  if (singleThreaded || system == nullptr)
    return true;
  ThreadLocals& record = threadLocals();
  const bool switched = switchTo(record, system);
  if (system->lock->tryLock())
    return true;
  if (switched)
    switchBack(record);
  return false;
}

void unlockSolarSystem(solarSystem* system) {
  if (singleThreaded || system == nullptr)
    return;
  ThreadLocals& record = threadLocals();
  // Only the system held can be left: any other is not entered by this
  // thread (or is held back, released, until the one above it goes).
  if (heldSystem(record) != system)
    return;
  system->lock->unlock();
  if (!record.systemLockFrames.empty() && system->lock->depth() == 0)
    switchBack(record);
}

solarSystem* heldSolarSystem() { return heldSystem(threadLocals()); }
