#include "universe/objects/solar_system.h"

#include <gtest/gtest.h>

#include <future>
#include <vector>

#include "core/threads.h"
#include "universe/objects/object_pools.h"
#include "universe/objects/system_locks.h"
#include "universe_fixture.h"

namespace solar_system_test {

namespace {

using SolarSystemTest = UniverseTest;

// Makes the calling thread the worker of `own`, holding it at `depth`.
void becomeWorker(solarSystem* own, unsigned depth) {
  threadLocals().currentSystem = own;
  own->lock->reacquire(depth);
}

void stopWorking(solarSystem* own) {
  own->lock->releaseAll();
  threadLocals().currentSystem = nullptr;
}

TEST_F(SolarSystemTest, LocksDoNothingForNoSystemOrOneThread) {
  EXPECT_TRUE(tryLockSolarSystem(nullptr));
  lockSolarSystem(nullptr);
  unlockSolarSystem(nullptr);
  EXPECT_EQ(heldSolarSystem(), nullptr);

  solarSystem* system = new solarSystem();
  singleThreaded = true;
  lockSolarSystem(system);
  EXPECT_TRUE(tryLockSolarSystem(system));
  EXPECT_EQ(system->lock->depth(), 0u);
  unlockSolarSystem(system);
  EXPECT_EQ(system->lock->depth(), 0u);
  singleThreaded = false;
  system->destroyNow(false);
}

TEST_F(SolarSystemTest, AForeignLockGivesTheOwnSystemBackAtItsDepth) {
  solarSystem* own = new solarSystem();
  solarSystem* foreign = new solarSystem();
  becomeWorker(own, 2);

  struct Step {
    void (*action)(solarSystem*);
    unsigned ownDepth;
    unsigned foreignDepth;
  };
  const Step steps[] = {
      {[](solarSystem* s) { lockSolarSystem(s); }, 0, 1},
      {[](solarSystem* s) { lockSolarSystem(s, true); }, 0, 2},
      {[](solarSystem* s) { unlockSolarSystem(s); }, 0, 1},
      {[](solarSystem* s) { unlockSolarSystem(s); }, 2, 0},
      {[](solarSystem* s) { EXPECT_TRUE(tryLockSolarSystem(s)); }, 0, 1},
      {[](solarSystem* s) { unlockSolarSystem(s); }, 2, 0},
  };
  for (const Step& step : steps) {
    step.action(foreign);
    EXPECT_EQ(own->lock->depth(), step.ownDepth);
    EXPECT_EQ(foreign->lock->depth(), step.foreignDepth);
  }
  // Re-entering the own system only deepens it.
  lockSolarSystem(own);
  EXPECT_EQ(own->lock->depth(), 3u);
  unlockSolarSystem(own);
  EXPECT_EQ(own->lock->depth(), 2u);

  // A lock taken while a foreign one is held releases that one too.
  solarSystem* third = new solarSystem();
  lockSolarSystem(foreign);
  lockSolarSystem(third);
  EXPECT_EQ(foreign->lock->depth(), 0u);
  EXPECT_EQ(third->lock->depth(), 1u);
  unlockSolarSystem(third);
  EXPECT_EQ(foreign->lock->depth(), 1u);
  unlockSolarSystem(foreign);
  EXPECT_EQ(own->lock->depth(), 2u);
  EXPECT_EQ(heldSolarSystem(), own);

  stopWorking(own);
  third->destroyNow(false);
  foreign->destroyNow(false);
  own->destroyNow(false);
}

TEST_F(SolarSystemTest, AFailedTryLeavesTheOwnSystemHeld) {
  solarSystem* own = new solarSystem();
  solarSystem* foreign = new solarSystem();
  std::promise<void> taken, done;
  std::thread holder([&] {
    foreign->lock->lock();
    taken.set_value();
    done.get_future().wait();
    foreign->lock->unlock();
  });
  taken.get_future().wait();

  becomeWorker(own, 2);
  EXPECT_FALSE(tryLockSolarSystem(foreign));
  EXPECT_EQ(own->lock->depth(), 2u);
  EXPECT_EQ(heldSolarSystem(), own);
  stopWorking(own);

  done.set_value();
  holder.join();
  foreign->destroyNow(false);
  own->destroyNow(false);
}

TEST_F(SolarSystemTest, PresenceMakesTheSystemVisible) {
  solarSystem* system = new solarSystem();
  statValue(getEmpireStats(*system->systemStats, red), L"prs") = 0.005f;
  statValue(getEmpireStats(*system->systemStats, blue), L"prs") = 0.02f;
  gameTime = 1.0;
  system->tick(1.0f);
  EXPECT_FALSE(system->isSystemVisibleTo(red));
  EXPECT_TRUE(system->isSystemVisibleTo(blue));
  EXPECT_FALSE(system->isSystemVisibleTo(nullptr));
  EXPECT_TRUE(system->isVisibleTo(red)) << "systems themselves are seen by all";

  TestObject* object = new TestObject(blue);
  object->setContainer(system);
  EXPECT_FALSE(object->isVisibleTo(red));
  EXPECT_TRUE(object->isVisibleTo(blue));
  object->destroyNow(false);
  system->destroyNow(false);
}

// Leaves its system during its own tick.
class Leaver : public TestObject {
 public:
  Leaver(empire* objectOwner, generic_object* destination)
      : TestObject(objectOwner), destination_(destination) {}
  void tick(float seconds) override {
    TestObject::tick(seconds);
    ++ticks;
    if (destination_ != nullptr) {
      generic_object* destination = destination_;
      destination_ = nullptr;
      setContainer(destination);
    }
  }
  int ticks = 0;

 private:
  generic_object* destination_;
};

TEST_F(SolarSystemTest, AChildLeavingDuringItsTickDoesNotSkipTheNext) {
  for (bool single : {false, true}) {
    singleThreaded = single;
    solarSystem* system = new solarSystem();
    solarSystem* elsewhere = new solarSystem();
    Leaver* first = new Leaver(red, nullptr);
    Leaver* leaving = new Leaver(red, elsewhere);
    Leaver* next = new Leaver(red, nullptr);
    for (Leaver* object : {first, leaving, next})
      object->setContainer(system);
    gameTime = gameTime + 1.0;
    system->lock->lock();
    system->tick(1.0f);
    system->lock->unlock();
    EXPECT_EQ(first->ticks, 1);
    EXPECT_EQ(leaving->ticks, 1);
    EXPECT_EQ(next->ticks, 1) << (single ? "single-threaded" : "threaded");
    EXPECT_EQ(leaving->container.load(), elsewhere);
    for (Leaver* object : {first, leaving, next})
      object->destroyNow(false);
    elsewhere->destroyNow(false);
    system->destroyNow(false);
  }
  singleThreaded = false;
}

TEST_F(SolarSystemTest, AChildDestroyedInItsTickIsNotTouchedAfterwards) {
  for (bool single : {false, true}) {
    singleThreaded = single;
    solarSystem* system = new solarSystem();
    TestObject* doomed = new TestObject(red);
    TestObject* next = new TestObject(red);
    doomed->setContainer(system);
    next->setContainer(system);
    doomed->destroy(false);
    gameTime = gameTime + 1.0;
    system->lock->lock();
    system->tick(1.0f);  // the doomed object's last reference goes here
    system->lock->unlock();
    ASSERT_EQ(system->children.size(), 1u);
    EXPECT_EQ(system->children[0].get(), next);
    next->destroyNow(false);
    system->destroyNow(false);
  }
  singleThreaded = false;
}

TEST_F(SolarSystemTest, DestroyedSystemHandsItsObjectsToItsContainer) {
  solarSystem* outer = new solarSystem();
  solarSystem* system = new solarSystem();
  system->setContainer(outer);
  TestObject* object = new TestObject(red);
  object->setContainer(system);
  system->destroyNow(false);
  EXPECT_EQ(object->container.load(), outer);
  EXPECT_EQ(outer->children.size(), 1u);

  // During tear-down the objects are destroyed with it.
  sessionEnding = true;
  object->grab();
  outer->destroyNow(false);
  EXPECT_FALSE(object->isValid());
  object->drop();
  sessionEnding = false;
}

TEST_F(SolarSystemTest, SystemsComeFromTheirPool) {
  ObjectPool& pool = systemPool();
  const unsigned blocksBefore = pool.blockCount();
  ASSERT_EQ(blocksBefore, 1u);
  std::vector<void*> systems;
  for (int i = 0; i < kObjectPoolBlockElements + 1; ++i)
    systems.push_back(pool.allocate(sizeof(solarSystem)));
  EXPECT_EQ(pool.blockCount(), 2u);
  for (void* memory : systems)
    pool.free(memory);
  EXPECT_EQ(pool.blockCount(), 1u);

  // A larger class (the galaxy) goes to the heap, and back there.
  void* larger = pool.allocate(sizeof(solarSystem) + 64);
  pool.free(larger);
  EXPECT_EQ(pool.blockCount(), 1u);
  pool.free(nullptr);
}

}  // namespace

}  // namespace solar_system_test
