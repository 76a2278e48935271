// How objects and their order queues meet their fleet: a member's idle step
// takes its place in the formation, an owner change takes the object out of
// its fleet (a commander hands the command on), and so does the end of an
// object.
#include <vector>

#include "galaxy_fixture.h"
#include "universe/movement/mobile_mover.h"
#include "universe/orders/fleet_ai.h"
#include "universe/orders/unit_ai.h"

namespace fleet_wiring_test {

namespace {

class FleetWiringTest : public galaxytest::GalaxyTest {
 protected:
  void SetUp() override {
    GalaxyTest::SetUp();
    system = addSystems(1)[0];
    system->radius = 5000.0f;
    system->radiusSquared = system->radius * system->radius;
  }
  void TearDown() override {
    for (generic_object* object : made) {
      object->destroyNow(false);
      object->drop();
    }
    GalaxyTest::TearDown();
  }

  // An object of red's with a mover and an order queue, in the system.
  TestObject* unit(float x) {
    auto* object = new TestObject(red);
    object->radius = 2.0f;
    object->mover = new MobileMover();
    auto* ai = new UnitAI(object);
    object->setAI(ai);
    ai->drop();
    object->setContainer(system);
    object->position.set(x, 0.0f, 0.0f);
    object->grab();  // kept for the checks after its end
    made.push_back(object);
    return object;
  }

  // `commander` leads a new fleet of `members`, listed by red.
  static FleetAI* lead(generic_object* commander, const std::vector<generic_object*>& members, empire* owner) {
    auto* fleet = new FleetAI(static_cast<UnitAI*>(commander->ai));
    commander->setAI(fleet);
    fleet->release();
    owner->addFleet(fleet);
    for (generic_object* member : members)
      fleet->addMember(member);
    return fleet;
  }

  static UnitAI* queueOf(generic_object* object) { return dynamic_cast<UnitAI*>(object->ai); }

  galaxytest::CountingSystem* system = nullptr;
  std::vector<generic_object*> made;
};

TEST_F(FleetWiringTest, IdleStepTakesThePlaceInTheFormation) {
  TestObject* commander = unit(0.0f);
  TestObject* member = unit(50.0f);
  FleetAI* fleet = lead(commander, {member}, red);
  const uint32_t references = fleet->refCount.load();
  commander->tick(0.05f);  // the fleet's tick: the formation learns its member count
  EXPECT_EQ(commander->ai, fleet) << "a tick of the commander keeps it in command";
  EXPECT_EQ(fleet->refCount.load(), references);
  setObjectTestClock(1000);

  member->ai->tick();
  const MobileMover* memberMover = MobileMover::of(member);
  EXPECT_EQ(memberMover->target, commander);
  EXPECT_TRUE(memberMover->hasOffset);
  // The commander's own queue belongs to the fleet too, and gets no place.
  fleet->prior->tick();
  EXPECT_EQ(MobileMover::of(commander)->target, nullptr);

  // At most every 250 ms.
  auto* mover = MobileMover::of(member);
  mover->setTargetObject(nullptr);
  setObjectTestClock(1100);
  member->ai->tick();
  EXPECT_EQ(mover->target, nullptr);
  setObjectTestClock(1300);
  member->ai->tick();
  EXPECT_EQ(mover->target, commander);
}

TEST_F(FleetWiringTest, OwnerChangeTakesTheObjectOutOfItsFleet) {
  for (bool tearDown : {false, true}) {
    SCOPED_TRACE(tearDown ? "during tear-down" : "in play");
    TestObject* commander = unit(0.0f);
    TestObject* first = unit(50.0f);
    TestObject* second = unit(100.0f);
    FleetAI* fleet = lead(commander, {first, second}, red);
    const uint32_t references = fleet->refCount.load();
    sessionEnding = tearDown;

    // A member is removed, and keeps its own queue.
    first->setOwner(blue);
    EXPECT_EQ(queueOf(first)->fleet, nullptr);
    ASSERT_EQ(fleet->getMemberCount(), 1u);
    EXPECT_EQ(fleet->getMember(0), second);

    // The commander hands the command on: its own queue comes back, the
    // remaining member leads, and red keeps the fleet.
    commander->setOwner(blue);
    ASSERT_NE(queueOf(commander), nullptr);
    EXPECT_EQ(queueOf(commander)->fleet, nullptr);
    EXPECT_FALSE(commander->hasFlag(FLAG_IN_FLEET));
    EXPECT_EQ(second->ai, fleet);
    EXPECT_EQ(fleet->commander, second);
    EXPECT_EQ(fleet->refCount.load(), references) << "the command passed with its reference";
    EXPECT_EQ(red->getFleet(0), fleet);

    // The last commander leaves with no one to follow: the fleet ends.
    second->setOwner(blue);
    EXPECT_NE(queueOf(second), nullptr);
    EXPECT_EQ(red->fleets.size(), 0u);
    sessionEnding = false;
  }
}

TEST_F(FleetWiringTest, EndOfTheCommanderHandsTheCommandOn) {
  TestObject* commander = unit(0.0f);
  TestObject* member = unit(50.0f);
  FleetAI* fleet = lead(commander, {member}, red);
  const uint32_t references = fleet->refCount.load();

  commander->destroyNow(false);
  EXPECT_EQ(commander->ai, nullptr) << "an ended object keeps no AI";
  EXPECT_EQ(member->ai, fleet);
  EXPECT_EQ(fleet->commander, member);
  EXPECT_EQ(fleet->refCount.load(), references);

  // A member that ends leaves the fleet at once.
  TestObject* other = unit(100.0f);
  fleet->addMember(other);
  other->destroyNow(false);
  EXPECT_EQ(fleet->getMemberCount(), 0u);

  // The last commander ends: the fleet leaves its empire.
  member->destroyNow(false);
  EXPECT_EQ(member->ai, nullptr);
  EXPECT_EQ(red->fleets.size(), 0u);
}

}  // namespace

}  // namespace fleet_wiring_test
