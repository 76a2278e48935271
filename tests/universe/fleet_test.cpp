// Fleets: membership, the order fan-out, the fleet tick and the succession
// of the command.
#include "universe/orders/fleet_ai.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "movement_fixture.h"
#include "support/log_capture.h"
#include "universe/movement/mobile_mover.h"
#include "universe/objects/system_locks.h"
#include "universe/orders/combat_orders.h"
#include "universe/orders/fleet_formation.h"
#include "universe/orders/movement_orders.h"
#include "universe/orders/repeat_orders.h"
#include "universe/orders/unit_ai.h"

namespace fleet_test {

namespace {

// An AI that is no order queue: it takes no orders and keeps none.
class InertAI : public ObjectAI {
 public:
  void addOrder(Order* order, bool) override { delete order; }
  void insertBeforeAutomation(Order* order) override { delete order; }
  void appendOrder(Order* order) override { delete order; }
  void clearOrders(bool) override {}
  bool hasOrderOfType(int) const override { return false; }
  bool hasOrder(const Order*) const override { return false; }
  void removeOrder(Order*) override {}
  uint32_t getOrderCount() const override { return 0; }
  Order* getOrder(uint32_t) const override { return nullptr; }
  void tick() override {}
  float getTargetWeight(generic_object*) override { return 1.0f; }
  bool orbitTargets(generic_object*) override { return true; }
};

// A star system of radius 1000 at the origin, red's commander at its centre
// leading a fleet that red lists, and units made on demand (ships with
// mobile movers and order queues).
class FleetTest : public movementtest::MadeObjectsTest {
 protected:
  void SetUp() override {
    MadeObjectsTest::SetUp();
    system = makeSystem();
    system->radius = 1000.0f;
    commander = makeUnit(vector3df(0, 0, 0));
    fleet = lead(commander);
  }

  TestObject* makeUnit(const vector3df& position, generic_object* place = nullptr, empire* owner = nullptr) {
    auto* unit = new TestObject(owner != nullptr ? owner : red, OT_Hulled);
    unit->mover = new MobileMover();
    unit->setContainer(place != nullptr ? place : system);
    unit->position = position;
    auto* queue = new UnitAI(unit, false);
    unit->setAI(queue);
    queue->release();  // the unit holds it
    made_.push_back(unit);
    return unit;
  }

  // Makes `unit` the commander of a new fleet that its owner lists; the
  // commander and the empire hold the fleet.
  static FleetAI* lead(generic_object* unit) {
    auto* made = new FleetAI(static_cast<UnitAI*>(unit->ai));
    unit->setAI(made);
    unit->setFlag(FLAG_IN_FLEET);
    unit->getOwner()->addFleet(made);
    made->release();
    return made;
  }

  std::vector<TestObject*> addMembers(int count) {
    std::vector<TestObject*> out;
    for (int i = 0; i < count; ++i) {
      out.push_back(makeUnit(vector3df(-20.0f * static_cast<float>(i + 1), 0, 0)));
      fleet->addMember(out.back());
    }
    return out;
  }

  static UnitAI* queueOf(generic_object* unit) { return dynamic_cast<UnitAI*>(unit->ai); }

  void setEnemies(float presence) {
    red->getRelation(blue)->enemy = true;
    statValue(getEmpireStats(*system->systemStats, blue), L"prs") = presence;
  }

  solarSystem* system = nullptr;
  TestObject* commander = nullptr;
  FleetAI* fleet = nullptr;
};

// --- Membership ----------------------------------------------------------------

TEST_F(FleetTest, MembershipRefusesCommandersAndMembersOfAnotherFleet) {
  LogCapture log;
  UnitAI* commanderQueue = fleet->prior;
  EXPECT_EQ(fleet->stance, commanderQueue->stance);
  EXPECT_EQ(fleet->commander, commander);
  EXPECT_EQ(commanderQueue->fleet, fleet) << "the commander belongs to its own fleet";
  EXPECT_EQ(fleet->getFormationType(), FT_Wall);

  fleet->addMember(commander);
  EXPECT_EQ(log.take(), "Error: Fleet attempted to add itself as member\n");
  TestObject* rivalCommander = makeUnit(vector3df(50, 0, 0));
  lead(rivalCommander);
  fleet->addMember(rivalCommander);
  EXPECT_EQ(log.take(), "Error: Fleet attempted to add another fleet as a member\n");
  EXPECT_EQ(fleet->getMemberCount(), 0u);

  TestObject* member = makeUnit(vector3df(-20, 0, 0));
  const int32_t references = member->refCount.load();
  fleet->addMember(member);
  fleet->addMember(nullptr);
  auto* rival = static_cast<FleetAI*>(rivalCommander->ai);
  rival->addMember(member);
  EXPECT_EQ(rival->getMemberCount(), 0u) << "already in a fleet";
  EXPECT_EQ(queueOf(member)->fleet, fleet);
  ASSERT_EQ(fleet->getMemberCount(), 1u);
  EXPECT_EQ(fleet->getMember(0), member);
  EXPECT_EQ(fleet->getMember(1), nullptr);
  EXPECT_EQ(member->refCount.load(), references + 1) << "the fleet holds its member";
  EXPECT_EQ(log.take(), "");

  fleet->removeMember(member);
  EXPECT_EQ(fleet->getMemberCount(), 0u);
  EXPECT_EQ(queueOf(member)->fleet, nullptr);
  EXPECT_EQ(member->refCount.load(), references);
  rival->addMember(member);
  EXPECT_EQ(rival->getMember(0), member) << "free again";

  fleet->setName(L"Home Guard");
  EXPECT_EQ(fleet->getName(), irr::core::stringw(L"Home Guard"));
  fleet->setFormationType(FT_Wedge);
  EXPECT_EQ(fleet->getFormationType(), FT_Wedge);
}

// --- Order fan-out -------------------------------------------------------------

TEST_F(FleetTest, OrdersReachTheMembersByKindAndPlace) {
  std::vector<TestObject*> members = addMembers(2);
  TestObject* target = makeUnit(vector3df(300, 0, 0), nullptr, blue);

  enum class Way { Add, BeforeAutomation, Append };
  const struct {
    const char* label;
    std::function<Order*()> make;
    Way way;
    float enemies;
    bool membersGetIt;
  } cases[] = {
      {"attack", [&] { return new attack_order(target, false, false); }, Way::Add, 0.5f, false},
      {"repeat", [] { return new repeat_orders(); }, Way::Append, 0.5f, false},
      {"move inside, enemies", [] { return new move_order(vector3df(400, 0, 0), 1.0f); }, Way::Add, 0.5f, false},
      {"goto inside, enemies", [&] { return new goto_order(target, false, 5.0f); }, Way::Append, 0.5f, false},
      {"move out, no enemies", [] { return new move_order(vector3df(5000, 0, 0), 1.0f); }, Way::Add, 0.0f, false},
      {"move out, enemies below 0.1", [] { return new move_order(vector3df(5000, 0, 0), 1.0f); }, Way::Append,
       0.09f, false},
      {"move out, enemies", [] { return new move_order(vector3df(5000, 0, 0), 1.0f); }, Way::Add, 0.5f, true},
      {"defend before automation", [] { return new defend_order(); }, Way::BeforeAutomation, 0.0f, true},
  };
  for (const auto& c : cases) {
    setEnemies(c.enemies);
    Order* order = c.make();
    const OrderType type = order->getType();
    switch (c.way) {
      case Way::Add:
        fleet->addOrder(order, false);
        break;
      case Way::BeforeAutomation:
        fleet->insertBeforeAutomation(order);
        break;
      case Way::Append:
        fleet->appendOrder(order);
        break;
    }
    ASSERT_EQ(fleet->getOrderCount(), 1u) << c.label;
    EXPECT_EQ(fleet->getOrder(0), order) << c.label << ": the commander's queue keeps the order itself";
    EXPECT_TRUE(fleet->hasOrder(order)) << c.label;
    for (TestObject* member : members) {
      UnitAI* queue = queueOf(member);
      ASSERT_EQ(queue->getOrderCount(), c.membersGetIt ? 1u : 0u) << c.label;
      if (c.membersGetIt) {
        EXPECT_NE(queue->getOrder(0), order) << c.label << ": a copy of its own";
        EXPECT_EQ(queue->getOrder(0)->getType(), type) << c.label;
      }
    }
    fleet->clearOrders(true);
    EXPECT_EQ(fleet->getOrderCount(), 0u) << c.label;
    for (TestObject* member : members)
      EXPECT_EQ(queueOf(member)->getOrderCount(), 0u) << c.label << ": cleared with the fleet";
  }
}

TEST_F(FleetTest, AMemberWithoutAnOrderQueueLeavesDuringTheFanOut) {
  std::vector<TestObject*> members = addMembers(3);
  auto* inert = new InertAI();
  members[1]->setAI(inert);
  inert->release();
  const int32_t references = members[1]->refCount.load();

  fleet->insertBeforeAutomation(new defend_order());
  ASSERT_EQ(fleet->getMemberCount(), 2u);
  EXPECT_EQ(fleet->getMember(0), members[0]);
  EXPECT_EQ(fleet->getMember(1), members[2]);
  EXPECT_EQ(queueOf(members[0])->getOrderCount(), 1u);
  EXPECT_EQ(queueOf(members[2])->getOrderCount(), 1u);
  EXPECT_EQ(members[1]->refCount.load(), references - 1) << "the fleet let go of it";
}

// A thread that holds the members' system and then removes a member (as an
// owner change does) must not wait for a fan-out that waits for that system.
TEST_F(FleetTest, AFanOutLetsGoOfTheFleetBeforeItWaitsForASystem) {
  std::vector<TestObject*> members = addMembers(2);
  std::atomic<bool> holding{false};
  std::thread owner([&] {
    lockSolarSystem(system);
    holding = true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));  // the fan-out is waiting by now
    fleet->removeMember(members[0]);
    unlockSolarSystem(system);
  });
  while (!holding)
    std::this_thread::yield();
  std::future<void> fanOut = std::async(std::launch::async, [&] { fleet->insertBeforeAutomation(new defend_order()); });
  if (fanOut.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
    std::fprintf(stderr, "the fan-out and a member's removal wait for each other\n");
    std::abort();  // deadlocked threads cannot be unwound
  }
  owner.join();
  ASSERT_EQ(fleet->getMemberCount(), 1u);
  EXPECT_EQ(queueOf(members[1])->getOrderCount(), 1u);
  EXPECT_EQ(queueOf(members[0])->getOrderCount(), 0u) << "it left before its copy was handed out";
}

// --- Tick ----------------------------------------------------------------------

TEST_F(FleetTest, TickDropsInvalidMembersAndSetsPlacesAndLimits) {
  const struct {
    const char* label;
    float thrusts[3];  // thrust of each member (mass 1); member 1 is invalid
    float radii[3];
    float maxAcceleration;
    float spacing;
  } cases[] = {
      {"thrust 2 and 5", {2.0f, 0.5f, 5.0f}, {1.0f, 50.0f, 3.0f}, 1.8f, 12.0f},
      {"no thrust", {0.0f, 0.0f, 0.0f}, {1.0f, 1.0f, 1.0f}, 0.9f * 1e35f, 10.0f},
  };
  for (const auto& c : cases) {
    std::vector<TestObject*> members = addMembers(3);
    for (int i = 0; i < 3; ++i) {
      MobileMover::of(members[i])->thrust = c.thrusts[i];
      members[i]->radius = c.radii[i];
      queueOf(members[i])->formationPlace = 7;
    }
    members[1]->clearFlag(FLAG_VALID);

    fleet->tick();
    members[1]->setFlag(FLAG_VALID);  // so that the test's end destroys it
    ASSERT_EQ(fleet->getMemberCount(), 2u) << c.label;
    EXPECT_EQ(fleet->getMember(0), members[0]) << c.label;
    EXPECT_EQ(fleet->getMember(1), members[2]) << c.label;
    EXPECT_EQ(queueOf(members[1])->fleet, nullptr) << c.label;
    EXPECT_EQ(queueOf(members[0])->formationPlace, 0u) << c.label;
    EXPECT_EQ(queueOf(members[2])->formationPlace, 1u) << c.label;
    EXPECT_FLOAT_EQ(MobileMover::of(commander)->maxAcceleration, c.maxAcceleration) << c.label;
    auto* wall = dynamic_cast<wall_formation*>(fleet->formation);
    ASSERT_NE(wall, nullptr);
    EXPECT_EQ(wall->memberCount, 2u) << c.label;
    EXPECT_FLOAT_EQ(wall->spacing, c.spacing) << c.label;

    fleet->removeMember(members[0]);
    fleet->removeMember(members[2]);
  }
}

TEST_F(FleetTest, PlaceMemberGivesTheFormationsPlace) {
  std::vector<TestObject*> members = addMembers(3);
  fleet->tick();
  commander->position = vector3df(100, 0, 0);  // heading +x from here on
  fleet->placeMember(members[1], 1);
  const MobileMover& mover = *MobileMover::of(members[1]);
  EXPECT_EQ(mover.target, commander);
  ASSERT_TRUE(mover.hasOffset);
  movementtest::expectNear(mover.destination, vector3df(-10, 0, 0));  // width 2: one spacing behind
}

// --- Succession ----------------------------------------------------------------

TEST_F(FleetTest, DropCommanderPassesTheCommandToTheFirstMemberThatCan) {
  TestObject* adrift = makeUnit(vector3df(0, 0, 0));
  adrift->setContainer(nullptr);  // in no star system
  fleet->addMember(adrift);
  std::vector<TestObject*> members = addMembers(3);
  members[0]->clearFlag(FLAG_VALID);
  UnitAI* formerQueue = fleet->prior;
  UnitAI* successorQueue = queueOf(members[1]);
  commander->position = vector3df(30, 40, 0);
  MobileMover::of(commander)->maxAcceleration = 5.0f;
  MobileMover::of(commander)->setTargetObject(members[2]);
  const uint32_t references = fleet->refCount.load();

  EXPECT_TRUE(fleet->dropCommander());
  members[0]->setFlag(FLAG_VALID);
  // The former commander: its own queue back, out of the fleet, stopped.
  EXPECT_EQ(commander->ai, formerQueue);
  EXPECT_EQ(formerQueue->fleet, nullptr);
  EXPECT_FALSE(commander->hasFlag(FLAG_IN_FLEET));
  const MobileMover& stopped = *MobileMover::of(commander);
  EXPECT_EQ(stopped.target, nullptr);
  movementtest::expectNear(stopped.destination, vector3df(30, 40, 0));
  EXPECT_EQ(stopped.maxAcceleration, 1e35f);
  // The one that could not, and the one that took command.
  EXPECT_EQ(queueOf(adrift)->fleet, nullptr);
  EXPECT_EQ(queueOf(members[0])->fleet, nullptr);
  EXPECT_EQ(members[1]->ai, fleet);
  EXPECT_TRUE(members[1]->hasFlag(FLAG_IN_FLEET));
  EXPECT_EQ(fleet->commander, members[1]);
  EXPECT_EQ(fleet->prior, successorQueue);
  EXPECT_EQ(successorQueue->fleet, fleet);
  EXPECT_EQ(fleet->refCount.load(), references);
  ASSERT_EQ(fleet->getMemberCount(), 1u);
  EXPECT_EQ(fleet->getMember(0), members[2]);
  EXPECT_EQ(red->getFleet(0), fleet);
}

TEST_F(FleetTest, ACommanderLettingGoOfTheFleetHandsItsReferenceOn) {
  std::vector<TestObject*> members = addMembers(1);
  const uint32_t references = fleet->refCount.load();
  commander->setAI(nullptr);
  EXPECT_EQ(members[0]->ai, fleet);
  EXPECT_EQ(fleet->refCount.load(), references);
  EXPECT_EQ(queueOf(commander)->fleet, nullptr) << "its own queue is given back";
}

TEST_F(FleetTest, WithNoSuccessorTheFleetLeavesItsEmpire) {
  std::vector<TestObject*> members = addMembers(1);
  auto* inert = new InertAI();
  members[0]->setAI(inert);
  inert->release();
  fleet->grab();  // to look at it afterwards
  UnitAI* formerQueue = fleet->prior;

  EXPECT_FALSE(fleet->dropCommander());
  EXPECT_EQ(red->getFleet(0), nullptr);
  EXPECT_EQ(commander->ai, formerQueue);
  EXPECT_EQ(fleet->prior, nullptr);
  EXPECT_EQ(fleet->commander, nullptr);
  EXPECT_EQ(fleet->getMemberCount(), 0u);
  EXPECT_EQ(fleet->refCount.load(), 1u) << "only the test's reference is left";
  EXPECT_FALSE(fleet->dropCommander()) << "nothing left to drop";
  fleet->addOrder(new move_order(vector3df(1, 0, 0), 1.0f), false);  // a fleet without commander takes none
  EXPECT_EQ(fleet->getOrderCount(), 0u);
  EXPECT_TRUE(fleet->drop()) << "without a commander, drop just lets go";
}

}  // namespace

}  // namespace fleet_test
