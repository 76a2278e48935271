// Star systems under load from eight galaxy workers at once. In most rounds
// a worker holds one of its own systems as a tick does (nested, depth 2)
// and, while holding it, moves its objects out into foreign systems, reaches
// into foreign systems to pull objects in, nests locks over several systems
// or ticks the system. In the other rounds it holds no system, as a script
// or network thread, and moves or locks objects it knows only by reference
// (wherever they are, possibly on their way somewhere). Afterwards nothing
// may be stuck, every object must sit in exactly its container's children,
// the systems' statistics must count exactly what they hold, and no system
// lock may be left taken.
//
// A second test has a system's holder reach an object on its way into that
// very system.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <future>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "core/threads.h"
#include "universe/objects/held_pointer.h"
#include "universe/objects/system_locks.h"
#include "universe_fixture.h"

namespace system_concurrency_test {

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kWorkers = 8;
constexpr int kSystemsPerWorker = 4;
constexpr int kObjectCount = 320;
// The work runs for this long, or until a worker has done kIterationCap
// rounds, whichever comes first.
constexpr Clock::duration kRunTime = std::chrono::seconds(2);
constexpr int kIterationCap = 200000;
// Far beyond kRunTime: reaching it means a worker is stuck.
constexpr std::chrono::seconds kWatchdog{60};
// The same for work that takes milliseconds.
constexpr std::chrono::seconds kShortWatchdog{20};
// A ticking worker holds its system twice: the tick's own hold and the
// nested one of the code it calls.
constexpr unsigned kTickDepth = 2;
// What a strong ship adds to its owner's "str".
constexpr float kShipStrength = 2.0f;
// Faults a worker records before it stops.
constexpr size_t kFaultLimit = 1;

// A statistic of `emp` in `system` (0 without an entry), read without
// changing the list.
float statOf(const solarSystem* system, const empire* emp, const wchar_t* statName) {
  const StatsList& list = *system->systemStats;
  for (irr::u32 i = 0; i < list.size(); ++i)
    if (list[i].emp == emp)
      return getStatValue(list[i], statName);
  return 0.0f;
}

// What an empire's statistics in a system must be, counted from its children.
struct Tally {
  float presence = 0.0f;
  float planets = 0.0f;
  float strength = 0.0f;
};

Tally countChildren(const solarSystem* system, const empire* emp) {
  Tally tally;
  for (irr::u32 i = 0; i < system->children.size(); ++i) {
    const generic_object* child = system->children[i].get();
    if (child->owner != emp)
      continue;
    tally.presence += 1.0f;
    if (child->getType() == OT_Planet)
      tally.planets += 1.0f;
    tally.strength += static_cast<const TestObject*>(child)->strength;
  }
  return tally;
}

// Waits for `work`. When it is not done within `limit`, the test fails with
// `stuck()` and the process ends: the stuck threads still use the test's
// objects, so nothing can continue.
void finishOrAbort(std::future<void>& work, std::chrono::seconds limit, const std::function<std::string()>& stuck) {
  if (work.wait_for(limit) != std::future_status::ready) {
    ADD_FAILURE() << "still running after " << limit.count() << " s: " << stuck();
    std::fflush(stdout);
    std::abort();
  }
  work.get();
}

std::string describe(const solarSystem* system) { return "system " + std::to_string(system->uid); }

bool listedIn(const generic_object* object, const solarSystem* system) {
  if (system == nullptr || object->container.load() != system)
    return false;
  for (irr::u32 i = 0; i < system->children.size(); ++i)
    if (system->children[i].get() == object)
      return true;
  return false;
}

// One galaxy worker: its own systems, its random generator and what it saw.
class Worker {
 public:
  Worker(int index, const std::vector<solarSystem*>& systems, const std::vector<TestObject*>& objects,
         std::vector<empire*> empires)
      : index_(index),
        all_(systems),
        objects_(objects),
        empires_(std::move(empires)),
        random_(7919u * (index + 1)) {
    for (int i = 0; i < kSystemsPerWorker; ++i)
      own_.push_back(systems[index * kSystemsPerWorker + i]);
  }

  void run(Clock::time_point deadline, const std::atomic<bool>& go) {
    initThreadLocals();
    while (!go.load())
      std::this_thread::yield();
    for (int round = 0; round < kIterationCap && Clock::now() < deadline && faults.empty(); ++round) {
      rounds.store(round + 1);
      runRound();
    }
    step.store("finished");
    freeThreadLocals();
  }

  std::vector<std::string> faults;
  int movedOut = 0;
  int movedIn = 0;
  int nestings = 0;
  // Read by the watchdog while the worker runs.
  std::atomic<int> rounds{0};
  std::atomic<const char*> step{"starting"};

 private:
  void runRound() {
    ThreadLocals& record = threadLocals();
    const unsigned action = random_() % 11;
    if (action >= 8) {
      if (action == 10)
        lockByReference();
      else
        moveByReference();
      if (heldSolarSystem() != nullptr || !record.systemLockFrames.empty())
        fault("a system is still held after an object known by reference was reached");
      return;
    }

    current_ = own_[random_() % own_.size()];
    record.currentSystem = current_;
    step.store("taking its own system");
    current_->lock->lock();
    current_->lock->lock();
    checkContents(current_, "own system taken");

    switch (action) {
      case 0:
      case 1:
      case 2:
        moveOut();
        break;
      case 3:
      case 4:
      case 5:
        moveIn();
        break;
      case 6:
        nestLocks();
        break;
      default:
        step.store("ticking");
        current_->tick(0.05f);
        checkContents(current_, "after its tick");
        break;
    }

    if (heldSolarSystem() != current_ || !record.systemLockFrames.empty() ||
        current_->lock->depth() != kTickDepth) {
      fault("own " + describe(current_) + " not held back at depth 2 (depth " +
            std::to_string(current_->lock->depth()) + ", " + std::to_string(record.systemLockFrames.size()) +
            " frames)");
      releaseEverything();
      return;
    }
    current_->lock->unlock();
    current_->lock->unlock();
    record.currentSystem = nullptr;
    if (current_->lock->depth() != 0)
      fault("own " + describe(current_) + " still held after its tick");
    current_ = nullptr;
  }

  // A child of the system held goes to a foreign system; the move takes the
  // foreign lock and hands the own system back.
  void moveOut() {
    step.store("moving an object out");
    if (current_->children.size() == 0)
      return;
    heldPointer<generic_object> moving = current_->children[random_() % current_->children.size()].get();
    moving->setContainer(otherSystem());
    ++movedOut;
  }

  // Reaches into a foreign system and pulls one of its children into the
  // own system, from inside the foreign lock.
  void moveIn() {
    solarSystem* foreign = otherSystem();
    step.store("locking a foreign system");
    lockSolarSystem(foreign);
    expectHeld(foreign, 1, 1, "foreign system locked");
    checkContents(foreign, "foreign system locked");
    if (foreign->children.size() > 0) {
      step.store("moving an object in");
      heldPointer<generic_object> moving = foreign->children[random_() % foreign->children.size()].get();
      moving->setContainer(current_);
      ++movedIn;
      expectHeld(foreign, 1, 1, "foreign system after the move in");
    }
    unlockSolarSystem(foreign);
  }

  // Without a system held: moves an object known only by reference to any
  // system. The object may be anywhere, also on its way between two
  // systems, and other threads may move it meanwhile.
  void moveByReference() {
    step.store("moving an object by reference");
    heldPointer<generic_object> moving = objects_[random_() % objects_.size()];
    moving->setContainer(all_[random_() % all_.size()]);
  }

  // Without a system held: locks the system of an object known only by
  // reference, which must be the system that lists the object.
  void lockByReference() {
    step.store("locking an object's system");
    heldPointer<generic_object> object = objects_[random_() % objects_.size()];
    solarSystem* system = object->lockContainerSystem();
    if (!listedIn(object, system) || object->inTransit())
      fault("object " + std::to_string(object->uid) + " not in the children of its locked " + describe(system));
    else
      expectHeld(system, 1, 1, "object's system locked");
    object->unlockContainer();
  }

  // Takes a few systems in turn, some of them again or by a single try, and
  // leaves them in reverse order. The thread holds only the last one taken,
  // at the depth of the run of equal systems on top of its stack.
  void nestLocks() {
    struct Run {
      solarSystem* system;
      unsigned depth;
    };
    std::vector<Run> runs{{current_, kTickDepth}};
    std::vector<solarSystem*> taken;
    const int count = 2 + static_cast<int>(random_() % 4);
    for (int i = 0; i < count; ++i) {
      solarSystem* next = nullptr;
      switch (random_() % 4) {
        case 0:
          next = runs.back().system;
          break;
        case 1:
          next = current_;
          break;
        default:
          next = all_[random_() % all_.size()];
          break;
      }
      if (random_() % 3 == 0) {
        step.store("trying a lock");
        if (!tryLockSolarSystem(next)) {
          expectHeld(runs.back().system, runs.back().depth, runs.size() - 1, "after a failed try");
          continue;
        }
      } else {
        step.store("nesting a lock");
        lockSolarSystem(next, random_() % 4 == 0);
      }
      if (runs.back().system == next)
        ++runs.back().depth;
      else
        runs.push_back({next, 1});
      taken.push_back(next);
      expectHeld(next, runs.back().depth, runs.size() - 1, "nested lock taken");
      checkContents(next, "nested lock taken");
    }
    step.store("leaving nested locks");
    for (auto it = taken.rbegin(); it != taken.rend(); ++it) {
      unlockSolarSystem(*it);
      if (--runs.back().depth == 0)
        runs.pop_back();
      expectHeld(runs.back().system, runs.back().depth, runs.size() - 1, "nested lock left");
    }
    ++nestings;
  }

  // Any system but the own one held.
  solarSystem* otherSystem() {
    for (;;) {
      solarSystem* system = all_[random_() % all_.size()];
      if (system != current_)
        return system;
    }
  }

  void expectHeld(solarSystem* system, unsigned depth, size_t frames, const char* where) {
    const ThreadLocals& record = threadLocals();
    if (heldSolarSystem() != system || system->lock->depth() != depth || record.systemLockFrames.size() != frames)
      fault(std::string(where) + ": expected " + describe(system) + " at depth " + std::to_string(depth) +
            " with " + std::to_string(frames) + " frames, found " +
            (heldSolarSystem() != nullptr ? describe(heldSolarSystem()) : std::string("none")) + " at depth " +
            std::to_string(system->lock->depth()) + " with " + std::to_string(record.systemLockFrames.size()) +
            " frames");
  }

  // Under the system's lock: its children point at it and are not moving,
  // and its statistics count them exactly.
  void checkContents(solarSystem* system, const char* where) {
    for (irr::u32 i = 0; i < system->children.size(); ++i) {
      const generic_object* child = system->children[i].get();
      if (child->container.load() != system || child->inTransit())
        fault(std::string(where) + ": object " + std::to_string(child->uid) + " in the children of " +
              describe(system) + (child->inTransit() ? " is in transit" : " has another container"));
    }
    for (empire* emp : empires_) {
      const Tally expected = countChildren(system, emp);
      if (statOf(system, emp, L"prs") != expected.presence || statOf(system, emp, L"planets") != expected.planets ||
          statOf(system, emp, L"str") != expected.strength)
        fault(std::string(where) + ": statistics of " + describe(system) + " do not match its children (prs " +
              std::to_string(statOf(system, emp, L"prs")) + ", " + std::to_string(expected.presence) +
              " objects)");
    }
  }

  void fault(std::string text) {
    if (faults.size() < kFaultLimit)
      faults.push_back("worker " + std::to_string(index_) + ": " + std::move(text));
  }

  // After a fault: lets go of every system, so that the others can finish.
  void releaseEverything() {
    for (solarSystem* system : all_)
      system->lock->releaseAll();
    ThreadLocals& record = threadLocals();
    record.systemLockFrames.clear();
    record.systemLockNesting = 0;
    record.currentSystem = nullptr;
  }

  const int index_;
  const std::vector<solarSystem*>& all_;
  const std::vector<TestObject*>& objects_;
  const std::vector<empire*> empires_;
  std::vector<solarSystem*> own_;
  solarSystem* current_ = nullptr;
  std::mt19937 random_;
};

class SystemConcurrencyTest : public UniverseTest {};

TEST_F(SystemConcurrencyTest, WorkersMovingObjectsBetweenSystemsKeepTreeStatisticsAndLocksExact) {
  std::vector<solarSystem*> systems;
  for (int i = 0; i < kWorkers * kSystemsPerWorker; ++i)
    systems.push_back(new solarSystem());

  // Every owner has plain objects, planets and strong ships.
  std::mt19937 random(20240611u);
  std::vector<TestObject*> objects;
  for (int i = 0; i < kObjectCount; ++i) {
    TestObject* object = new TestObject(i % 2 == 0 ? red : blue, i % 3 == 1 ? OT_Planet : OT_Generic);
    if (i % 3 == 2)
      object->strength = kShipStrength;
    object->setContainer(systems[random() % systems.size()]);
    objects.push_back(object);
  }

  std::vector<std::unique_ptr<Worker>> workers;
  for (int i = 0; i < kWorkers; ++i)
    workers.push_back(std::make_unique<Worker>(i, systems, objects, std::vector<empire*>{red, blue}));
  std::atomic<bool> go{false};
  std::future<void> finished = std::async(std::launch::async, [&] {
    const Clock::time_point deadline = Clock::now() + kRunTime;
    std::vector<std::thread> threads;
    for (auto& worker : workers)
      threads.emplace_back([&worker, deadline, &go] { worker->run(deadline, go); });
    go.store(true);
    for (std::thread& thread : threads)
      thread.join();
  });
  finishOrAbort(finished, kWatchdog, [&] {
    std::string where;
    for (size_t i = 0; i < workers.size(); ++i)
      where += "\n  worker " + std::to_string(i) + ": round " + std::to_string(workers[i]->rounds.load()) + ", " +
               workers[i]->step.load();
    return where;
  });

  int movedOut = 0;
  int movedIn = 0;
  int nestings = 0;
  for (const auto& worker : workers) {
    for (const std::string& text : worker->faults)
      ADD_FAILURE() << text;
    movedOut += worker->movedOut;
    movedIn += worker->movedIn;
    nestings += worker->nestings;
  }
  EXPECT_GT(movedOut, 0);
  EXPECT_GT(movedIn, 0);
  EXPECT_GT(nestings, 0);

  // Every object is in exactly its container's children, and the references
  // are balanced: the creator's and the children list's on each object, the
  // creator's and one per child on each system.
  std::map<const generic_object*, std::vector<const solarSystem*>> listings;
  for (const solarSystem* system : systems)
    for (irr::u32 i = 0; i < system->children.size(); ++i)
      listings[system->children[i].get()].push_back(system);
  EXPECT_EQ(listings.size(), objects.size());
  for (const TestObject* object : objects) {
    EXPECT_FALSE(object->inTransit()) << "object " << object->uid;
    EXPECT_EQ(listings[object], std::vector<const solarSystem*>{asSystemLock(object->container.load())})
        << "object " << object->uid;
    EXPECT_EQ(object->refCount.load(), 2) << "object " << object->uid;
  }
  for (const solarSystem* system : systems) {
    EXPECT_EQ(system->refCount.load(), 1 + static_cast<int32_t>(system->children.size())) << describe(system);
    for (empire* emp : {red, blue}) {
      const Tally expected = countChildren(system, emp);
      EXPECT_EQ(statOf(system, emp, L"prs"), expected.presence) << describe(system) << ", " << emp->name.c_str();
      EXPECT_EQ(statOf(system, emp, L"planets"), expected.planets) << describe(system) << ", " << emp->name.c_str();
      EXPECT_EQ(statOf(system, emp, L"str"), expected.strength) << describe(system) << ", " << emp->name.c_str();
    }
  }

  // No lock is left taken, and nobody is counted as waiting.
  bool locksFree = true;
  for (solarSystem* system : systems) {
    EXPECT_EQ(system->waiters.load(), 0) << describe(system);
    EXPECT_EQ(system->priorityWaiters.load(), 0) << describe(system);
    if (system->lock->tryLock()) {
      EXPECT_EQ(system->lock->depth(), 1u) << describe(system);
      system->lock->unlock();
    } else {
      ADD_FAILURE() << describe(system) << " is still locked";
      locksFree = false;
    }
  }
  if (!locksFree)
    return;  // moving the objects out would wait for the lock forever

  for (TestObject* object : objects)
    object->setContainer(nullptr);
  for (solarSystem* system : systems) {
    EXPECT_EQ(system->children.size(), 0u);
    EXPECT_EQ(statOf(system, red, L"prs"), 0.0f);
    EXPECT_EQ(statOf(system, blue, L"prs"), 0.0f);
    EXPECT_EQ(system->refCount.load(), 1);
  }
  for (TestObject* object : objects)
    object->drop();
  for (solarSystem* system : systems)
    system->drop();
}

// A thread that holds a system (a worker ticking it, or code that locked it)
// reaches an object that another thread is moving into that very system.
// The mover needs the holder's lock to finish the move, so the holder must
// not wait for the move while keeping its lock.
TEST_F(SystemConcurrencyTest, HolderOfASystemReachesAnObjectArrivingThere) {
  enum class Reach { kLock, kTryLock, kMove };
  const struct {
    const char* name;
    Reach reach;
  } cases[] = {{"lockContainer", Reach::kLock}, {"tryLockContainer", Reach::kTryLock}, {"setContainer", Reach::kMove}};

  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    solarSystem* from = new solarSystem();
    solarSystem* home = new solarSystem();
    solarSystem* elsewhere = new solarSystem();
    TestObject* object = new TestObject(red);
    object->setContainer(from);

    std::atomic<bool> homeHeld{false};
    std::atomic<const char*> step{"starting"};
    std::string fault;  // written by the holder, read after it ends
    std::future<void> holder = std::async(std::launch::async, [&] {
      initThreadLocals();
      threadLocals().currentSystem = home;
      home->lock->lock();
      home->lock->lock();
      homeHeld.store(true);
      step.store("waiting for the object to leave its system");
      while (!object->inTransit())
        std::this_thread::yield();
      step.store(c.name);
      switch (c.reach) {
        case Reach::kLock:
          if (object->lockContainerSystem() != home || !listedIn(object, home) || object->inTransit())
            fault = "locked the object's system before it arrived there";
          object->unlockContainer();
          break;
        case Reach::kTryLock:
          if (object->tryLockContainer()) {
            if (!listedIn(object, home) || object->inTransit())
              fault = "locked the object's system before it arrived there";
            object->unlockContainer();
          }
          break;
        case Reach::kMove:
          object->setContainer(elsewhere);
          break;
      }
      if (heldSolarSystem() != home || home->lock->depth() != kTickDepth || !threadLocals().systemLockFrames.empty())
        fault += fault.empty() ? "its system not held back at depth 2" : "; its system not held back at depth 2";
      home->lock->unlock();
      home->lock->unlock();
      threadLocals().currentSystem = nullptr;
      freeThreadLocals();
    });
    std::future<void> mover = std::async(std::launch::async, [&] {
      initThreadLocals();
      while (!homeHeld.load())
        std::this_thread::yield();
      object->setContainer(home);
      freeThreadLocals();
    });
    const auto where = [&] { return std::string("the holder of its system is at: ") + step.load(); };
    finishOrAbort(holder, kShortWatchdog, where);
    finishOrAbort(mover, kShortWatchdog, where);

    EXPECT_EQ(fault, "");
    solarSystem* const destination = c.reach == Reach::kMove ? elsewhere : home;
    EXPECT_TRUE(listedIn(object, destination));
    EXPECT_FALSE(object->inTransit());
    for (solarSystem* system : {from, home, elsewhere}) {
      EXPECT_EQ(system->children.size(), system == destination ? 1u : 0u);
      EXPECT_EQ(presence(system, red), system == destination ? 1.0f : 0.0f);
    }

    object->setContainer(nullptr);
    object->drop();
    for (solarSystem* system : {from, home, elsewhere})
      system->drop();
  }
}

}  // namespace

}  // namespace system_concurrency_test
