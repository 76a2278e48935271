// Star-system locks and the object registry beside their standard-library
// counterparts, all on one thread without contention.
//
//   SystemReenter   the thread's own system (its `currentSystem`, held once)
//                   locked and unlocked again; std::recursive_mutex re-entered
//                   while held once; and a bare Mutex (core/locks.h)
//                   re-entered the same way, to show what the system-lock
//                   layer adds above its mutex
//   SystemForeign   a foreign system taken and given back while the own one
//                   is held: release-all of the own system, lock and unlock
//                   of the foreign one, re-acquire of the own one; the same
//                   four steps by hand on two std::recursive_mutex, and on
//                   two of our Mutex (releaseAll, lock, unlock, reacquire)
//   Lookup          getObjectByUID over 100,000 live objects, UIDs drawn at
//                   random from the live set beforehand; std::map under a
//                   shared lock of a std::shared_mutex with the same keys,
//                   its nodes made among the objects as the registry's are;
//                   and the same map made apart from the objects, its nodes
//                   packed together, to show how much of a lookup is the
//                   spread of the nodes over memory
#include <benchmark/benchmark.h>

#include <cstdint>
#include <map>
#include <mutex>
#include <random>
#include <shared_mutex>
#include <vector>

#include "app/base/config.h"
#include "core/locks.h"
#include "core/threads.h"
#include "empire/empire.h"
#include "universe/objects/game_object.h"
#include "universe/objects/object_registry.h"
#include "universe/objects/solar_system.h"
#include "universe/objects/system_locks.h"

namespace {

constexpr uint32_t kLiveObjects = 100000;
// Lookups drawn beforehand (a power of two, walked in order and wrapped).
constexpr uint32_t kLookupCount = 1u << 16;

// A plain object; it registers itself by UID on construction.
class BenchObject : public generic_object {
 public:
  BenchObject() : generic_object(defaultEmpire(), nullptr, nullptr) {}
};

void setUp() {
  static const bool done = [] {
    singleThreaded = false;
    initThreadLocals();
    return true;
  }();
  (void)done;
}

// ---------------------------------------------------------------------------
// Re-entering the own system

void BM_SystemReenter_lockSolarSystem(benchmark::State& state) {
  setUp();
  solarSystem* own = new solarSystem();
  ThreadLocals& record = threadLocals();
  record.currentSystem = own;
  own->lock->lock();
  for (auto _ : state) {
    lockSolarSystem(own);
    unlockSolarSystem(own);
  }
  if (own->lock->depth() != 1 || heldSolarSystem() != own)
    state.SkipWithError("the own system is not held once after the loop");
  own->lock->unlock();
  record.currentSystem = nullptr;
  own->drop();
}
BENCHMARK(BM_SystemReenter_lockSolarSystem);

void BM_SystemReenter_recursive_mutex(benchmark::State& state) {
  std::recursive_mutex own;
  own.lock();
  for (auto _ : state) {
    own.lock();
    own.unlock();
  }
  own.unlock();
}
BENCHMARK(BM_SystemReenter_recursive_mutex);

void BM_SystemReenter_Mutex(benchmark::State& state) {
  Mutex own;
  own.lock();
  for (auto _ : state) {
    own.lock();
    own.unlock();
  }
  own.unlock();
}
BENCHMARK(BM_SystemReenter_Mutex);

// ---------------------------------------------------------------------------
// Taking a foreign system while holding the own one

void BM_SystemForeign_lockSolarSystem(benchmark::State& state) {
  setUp();
  solarSystem* own = new solarSystem();
  solarSystem* foreign = new solarSystem();
  ThreadLocals& record = threadLocals();
  record.currentSystem = own;
  own->lock->lock();
  for (auto _ : state) {
    lockSolarSystem(foreign);
    unlockSolarSystem(foreign);
  }
  if (own->lock->depth() != 1 || foreign->lock->depth() != 0 || !record.systemLockFrames.empty())
    state.SkipWithError("the own system is not held back once after the loop");
  own->lock->unlock();
  record.currentSystem = nullptr;
  foreign->drop();
  own->drop();
}
BENCHMARK(BM_SystemForeign_lockSolarSystem);

void BM_SystemForeign_recursive_mutex(benchmark::State& state) {
  std::recursive_mutex own;
  std::recursive_mutex foreign;
  own.lock();
  for (auto _ : state) {
    own.unlock();
    foreign.lock();
    foreign.unlock();
    own.lock();
  }
  own.unlock();
}
BENCHMARK(BM_SystemForeign_recursive_mutex);

void BM_SystemForeign_Mutex(benchmark::State& state) {
  Mutex own;
  Mutex foreign;
  own.lock();
  for (auto _ : state) {
    const unsigned depth = own.releaseAll();
    foreign.lock();
    foreign.unlock();
    own.reacquire(depth);
  }
  if (own.depth() != 1)
    state.SkipWithError("the own mutex is not held back once after the loop");
  own.unlock();
}
BENCHMARK(BM_SystemForeign_Mutex);

// ---------------------------------------------------------------------------
// UID lookups among 100,000 live objects

// The live objects and the UIDs to look up, in random order from the live set.
struct Population {
  std::vector<generic_object*> objects;
  std::vector<uint32_t> lookups;

  // `mirror`, when given, gets every object right after it is made, so that
  // its nodes lie among the objects as the registry's do.
  explicit Population(std::map<uint32_t, void*>* mirror = nullptr) {
    objects.reserve(kLiveObjects);
    for (uint32_t i = 0; i < kLiveObjects; ++i) {
      generic_object* object = new BenchObject();
      objects.push_back(object);
      if (mirror != nullptr)
        mirror->emplace(object->uid, object);
    }
    std::mt19937 random(20261210);
    std::uniform_int_distribution<uint32_t> pick(0, kLiveObjects - 1);
    lookups.reserve(kLookupCount);
    for (uint32_t i = 0; i < kLookupCount; ++i)
      lookups.push_back(objects[pick(random)]->uid);
  }

  ~Population() {
    for (generic_object* object : objects)
      object->drop();
  }

  Population(const Population&) = delete;
  Population& operator=(const Population&) = delete;
};

void BM_Lookup_getObjectByUID(benchmark::State& state) {
  setUp();
  Population population;
  uint32_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(getObjectByUID(population.lookups[i]));
    i = (i + 1) & (kLookupCount - 1);
  }
  for (uint32_t uid : population.lookups)
    if (getObjectByUID(uid) == nullptr) {
      state.SkipWithError("a live UID was not found");
      break;
    }
}
BENCHMARK(BM_Lookup_getObjectByUID);

void BM_Lookup_map_shared_mutex(benchmark::State& state) {
  setUp();
  std::map<uint32_t, void*> objects;
  std::shared_mutex lock;
  Population population(&objects);
  uint32_t i = 0;
  for (auto _ : state) {
    std::shared_lock<std::shared_mutex> guard(lock);
    const auto found = objects.find(population.lookups[i]);
    benchmark::DoNotOptimize(found != objects.end() ? found->second : nullptr);
    i = (i + 1) & (kLookupCount - 1);
  }
  if (objects.size() != kLiveObjects)
    state.SkipWithError("the map does not hold every object");
}
BENCHMARK(BM_Lookup_map_shared_mutex);

void BM_Lookup_map_shared_mutex_packed(benchmark::State& state) {
  setUp();
  Population population;
  std::map<uint32_t, void*> objects;
  for (generic_object* object : population.objects)
    objects.emplace(object->uid, object);
  std::shared_mutex lock;
  uint32_t i = 0;
  for (auto _ : state) {
    std::shared_lock<std::shared_mutex> guard(lock);
    const auto found = objects.find(population.lookups[i]);
    benchmark::DoNotOptimize(found != objects.end() ? found->second : nullptr);
    i = (i + 1) & (kLookupCount - 1);
  }
}
BENCHMARK(BM_Lookup_map_shared_mutex_packed);

}  // namespace
