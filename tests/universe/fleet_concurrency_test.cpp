// A fleet whose commander is in one star system and whose members are in
// three others, each system on its own galaxy worker. While the workers tick
// the fleet and its members (the fleet's tick, the members' places in the
// formation), the test thread, round after round, forfeits the command and
// makes it again, changes the formation, adds and removes members, gives
// orders, and moves members to another empire and back under their system's
// lock, as their worker would. Nothing may deadlock: every wait is bounded,
// and a watchdog ends the run when a round never finishes. Run under
// ThreadSanitizer for the races.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "core/save_stream.h"
#include "galaxy_fixture.h"
#include "support/log_capture.h"
#include "universe/movement/mobile_mover.h"
#include "universe/orders/combat_orders.h"
#include "universe/orders/fleet_ai.h"
#include "universe/orders/movement_orders.h"
#include "universe/orders/unit_ai.h"

namespace fleet_concurrency_test {

namespace {

constexpr int kSystems = 4;  // the commander's, then three of members
constexpr int kMembersPerSystem = 3;
constexpr int kRounds = 150;
constexpr double kStep = 0.05;
// A round that takes longer than this means two threads wait for each other.
constexpr auto kRoundLimit = std::chrono::seconds(30);

TestObject* makeUnit(empire* owner, solarSystem* system, float x) {
  auto* object = new TestObject(owner);
  object->radius = 2.0f;
  auto* mover = new MobileMover();
  mover->thrust = 4.0f;
  object->mover = mover;
  auto* ai = new UnitAI(object);
  object->setAI(ai);
  ai->drop();
  object->setContainer(system);
  object->position.set(x, 0.0f, 0.0f);
  object->grab();  // held by the test
  return object;
}

// Runs `change` on `object` under its star system's lock.
template <class Change>
void underLock(generic_object* object, Change change) {
  object->lockContainer();
  change();
  object->unlockContainer();
}

using FleetConcurrencyTest = galaxytest::GalaxyTest;

TEST_F(FleetConcurrencyTest, FleetChangesWhileItsSystemsTickOnFourWorkers) {
  std::vector<galaxytest::CountingSystem*> systems = addSystems(kSystems, 100000.0f);
  for (galaxytest::CountingSystem* system : systems) {
    system->radius = 5000.0f;
    system->radiusSquared = system->radius * system->radius;
  }
  TestObject* commander = makeUnit(red, systems[0], 0.0f);
  std::vector<TestObject*> members;
  for (int s = 1; s < kSystems; ++s)
    for (int i = 0; i < kMembersPerSystem; ++i)
      members.push_back(makeUnit(red, systems[static_cast<size_t>(s)], 20.0f * static_cast<float>(i + 1)));

  startSystemThreads(kSystems);
  ASSERT_EQ(galaxy->threads.size(), static_cast<irr::u32>(kSystems));
  LogCapture log;  // a member that leads its own fleet is refused, with a line
  FleetAI* current = nullptr;   // led by the commander; one reference ours
  FleetAI* previous = nullptr;  // the one before, under a successor; one reference ours
  uint32_t clock = 0;
  {
    workersteps::Watchdog watchdog("FleetConcurrency", kRoundLimit);
    for (int round = 0; round < kRounds; ++round) {
      SCOPED_TRACE("round " + std::to_string(round));
      // The command is made again: the commander's own queue becomes the
      // prior AI of a new fleet, which red lists.
      underLock(commander, [&] {
        current = new FleetAI(static_cast<UnitAI*>(commander->ai));
        commander->setAI(current);
      });
      red->addFleet(current);

      // Every red member that is in no fleet joins.
      for (TestObject* member : members)
        underLock(member, [&] {
          auto* ai = dynamic_cast<UnitAI*>(member->ai);
          if (member->getOwner() == red && ai != nullptr && ai->fleet == nullptr)
            current->addMember(member);
        });
      current->setFormationType(round % 4);

      // Orders: a defend order reaches every member, moves inside the
      // commander's system only the commander; now and then a clear.
      current->insertBeforeAutomation(new defend_order());
      current->addOrder(new move_order(vector3df(100.0f, 0.0f, 0.0f), 1.0f), round % 2 == 0);
      current->appendOrder(new move_order(vector3df(0.0f, 100.0f, 0.0f), 1.0f));
      if (round % 5 == 4)
        current->clearOrders(true);

      // An owner change moves a member to blue, or brings one back.
      TestObject* moved = members[static_cast<size_t>(round * 7) % members.size()];
      underLock(moved, [&] { moved->setOwner(moved->getOwner() == red ? blue : red); });

      // The workers tick in between, and the members take their places.
      clock += 300;
      setObjectTestClock(clock);
      gameTime = gameTime + kStep;
      current->setFormationType((round + 1) % 4);
      if (generic_object* leaving = current->getMember(0))
        underLock(leaving, [&] { current->removeMember(leaving); });

      // The fleet before ends: each commander in turn forfeits the command.
      if (previous != nullptr) {
        while (previous->dropCommander()) {
        }
        previous->release();
        previous = nullptr;
      }
      // The commander forfeits; a member takes over, or the fleet ends.
      if (current->dropCommander())
        previous = current;
      else
        current->release();
      current = nullptr;
      ASSERT_TRUE(stepWorkers(kStep)) << "a worker did not finish its pass";
      watchdog.progress();
    }
    if (previous != nullptr) {
      while (previous->dropCommander()) {
      }
      previous->release();
    }
  }
  pauseSystemThreads();

  // Every fleet is gone: each object has its own queue again, in no fleet.
  EXPECT_EQ(red->fleets.size(), 0u);
  EXPECT_EQ(blue->fleets.size(), 0u);
  for (TestObject* object : members) {
    auto* ai = dynamic_cast<UnitAI*>(object->ai);
    ASSERT_NE(ai, nullptr);
    EXPECT_EQ(ai->fleet, nullptr);
    EXPECT_FALSE(object->hasFlag(FLAG_IN_FLEET));
  }
  ASSERT_NE(dynamic_cast<UnitAI*>(commander->ai), nullptr);
  log.take();

  destroyGalaxy();
  commander->drop();
  for (TestObject* member : members)
    member->drop();
  reportUndeletedObjects();
  EXPECT_EQ(log.take(), "");
}

}  // namespace

}  // namespace fleet_concurrency_test
