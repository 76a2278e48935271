// The empire commands: choosing and sending a colony ship (nearest free one,
// placement in its queue, waiting, giving up, replacing a lost ship), and
// choosing and sending a supplier (capacity, score, skipped objects, the
// orders given), both run by the empire step.
#include <gtest/gtest.h>

#include <iterator>
#include <list>
#include <string>
#include <vector>

#include "app/base/session_state.h"
#include "core/common_strings.h"
#include "design/build/build_fixture.h"
#include "design/effects/resources.h"
#include "empire/empire_commands.h"
#include "universe/orders/cargo_orders.h"
#include "universe/orders/movement_orders.h"
#include "universe/orders/standing_orders.h"
#include "universe/orders/tool_orders.h"
#include "universe/orders/unit_ai.h"

namespace empire_commands_test {

namespace {

using irr::core::stringw;

template <class Make>
std::string thrownText(Make make) {
  try {
    delete make();
  } catch (const EmpireCommandError& error) {
    return error.what();
  }
  return "(nothing thrown)";
}

std::vector<int> orderTypes(const generic_object* object) {
  std::vector<int> types;
  for (const Order* order : static_cast<const UnitAI*>(object->ai)->orders)
    types.push_back(order->getType());
  return types;
}

class EmpireCommandTest : public buildtest::BuildTest {
 protected:
  void SetUp() override {
    BuildTest::SetUp();
    far = addSystems(2)[1];  // x = 1000; the fixture's own system is at 0
    colony = layoutOf(red, L"Colony", {L"Frame"});
    colony->role = HullRole_ColonyShip;
    warship = layoutOf(red, L"Warship", {L"Frame"});
    warship->role = HullRole_Combat;
    target = planetOf(space, 10, 10.0f, vector3df(500, 0, 0));
  }

  static UnitAI* aiOf(generic_object* object) { return static_cast<UnitAI*>(object->ai); }

  solarSystem* far = nullptr;
  hull_list* colony = nullptr;
  hull_list* warship = nullptr;
  objHabitation* target = nullptr;  // an empty planet at (500, 0, 0)
};

// --- Choosing a colonizer ---------------------------------------------------

enum class Kind { Colony, Warship, NoAI, Busy };
struct PlacedShip {
  Kind kind;
  bool inFar;  // in the system at x = 1000, else in the one at 0
  float x;     // relative to the system
};
constexpr int kNone = -1;
constexpr int kFirstInSet = -2;  // of the ships: the one met first in red's objects

struct ChoiceCase {
  const char* name;
  std::vector<PlacedShip> ships;
  int chosen;
};

TEST_F(EmpireCommandTest, ChoosesTheNearestFreeColonyShip) {
  const ChoiceCase cases[] = {
      {"nearest", {{Kind::Colony, false, 300}, {Kind::Colony, false, 400}, {Kind::Colony, true, 0}}, 1},
      {"absolute positions", {{Kind::Colony, false, 400}, {Kind::Colony, true, -450}}, 1},
      {"tie", {{Kind::Colony, false, 450}, {Kind::Colony, false, 550}}, kFirstInSet},
      {"never chosen",
       {{Kind::Warship, false, 500}, {Kind::NoAI, false, 501}, {Kind::Busy, false, 499}, {Kind::Colony, true, 0}},
       3},
      {"none qualifies", {{Kind::Warship, false, 500}, {Kind::NoAI, false, 501}, {Kind::Busy, false, 499}}, kNone},
  };
  for (const ChoiceCase& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<objHulled*> ships;
    for (const PlacedShip& placed : c.ships) {
      objHulled* made = shipOf(placed.kind == Kind::Warship ? warship : colony, vector3df(placed.x, 0, 0),
                               placed.inFar ? static_cast<generic_object*>(far) : system);
      if (placed.kind == Kind::NoAI)
        made->setAI(nullptr);
      if (placed.kind == Kind::Busy)
        made->ai->appendOrder(new use_tool_order(L"Miner", target, made, false, true));
      ships.push_back(made);
    }
    generic_object* expected = nullptr;
    if (c.chosen >= 0)
      expected = ships[static_cast<size_t>(c.chosen)];
    if (c.chosen == kFirstInSet)
      for (generic_object* object : red->objects)
        if (expected == nullptr && (object == ships[0] || object == ships[1]))
          expected = object;

    auto* command = new ColonizePlanetCommand(target, red, false);
    EXPECT_EQ(command->colonizer, expected);
    EXPECT_EQ(red->colonizeQueue.count(target->uid), expected == nullptr ? 1u : 0u);
    if (expected != nullptr) {
      ASSERT_NE(command->order, nullptr);
      EXPECT_TRUE(expected->ai->hasOrder(command->order));
      auto* order = static_cast<use_tool_order*>(command->order);
      EXPECT_EQ(order->getType(), OrdT_Use_Tool);
      EXPECT_EQ(order->getTool(), stringw(L"Colonizer"));
      EXPECT_EQ(order->target, target);
      EXPECT_EQ(order->colonizing,
                red);  // the ship's empire: the ship is the user
      EXPECT_EQ(order->homeContainer, nullptr);
      EXPECT_FALSE(order->keepUsing);
      EXPECT_FALSE(command->execute(red));
    } else {
      EXPECT_TRUE(command->execute(red));
    }
    delete command;
    red->colonizeQueue.clear();
    for (objHulled* made : ships)
      made->destroyNow(true);
  }
}

TEST_F(EmpireCommandTest, PlanetAlreadyBeingColonisedGetsNoOrder) {
  objHulled* idle = shipOf(colony, vector3df(400, 0, 0));
  red->colonizing.insert(target->uid);
  ColonizePlanetCommand command(target, red, true);
  red->colonizing.erase(target->uid);
  EXPECT_EQ(command.colonizer, nullptr);
  EXPECT_EQ(command.order, nullptr);
  EXPECT_EQ(idle->ai->getOrderCount(), 0u);
  EXPECT_TRUE(red->colonizeQueue.empty());
  EXPECT_TRUE(command.execute(red));
}

TEST_F(EmpireCommandTest, ConstructorsRefuseWhatTheyCannotActOn) {
  objHabitation* owned = planetOf(blue);
  objHulled* freighter = shipOf(warship, vector3df());
  auto* gone = new TestObject(nullptr);
  gone->clearFlag(FLAG_VALID);
  EXPECT_EQ(thrownText([&] { return new ColonizePlanetCommand(owned, red, false); }),
            "Invalid colonization destination");
  EXPECT_EQ(thrownText([&] { return new ColonizePlanetCommand(freighter, red, false); }),
            "Invalid colonization destination");
  EXPECT_EQ(thrownText([&] { return new ColonizePlanetCommand(nullptr, red, false); }),
            "Invalid colonization destination");
  EXPECT_EQ(thrownText([&] { return new GiveSuppliesCommand(gone, L"Ore", false); }),
            "Invalid target for Give Supplies Order");
  EXPECT_EQ(thrownText([&] { return new GiveSuppliesCommand(nullptr, L"Ore", false); }),
            "Invalid target for Give Supplies Order");
  EXPECT_EQ(red->colonizeQueue.size(), 0u);
  gone->drop();
}

TEST_F(EmpireCommandTest, OrderGoesFirstOrBeforeTheAutomation) {
  objHulled* first = shipOf(colony, vector3df(400, 0, 0));
  Order* b = new goto_order(system, true, 10.0f);
  first->ai->appendOrder(b);
  ColonizePlanetCommand front(target, red, true);
  EXPECT_EQ(aiOf(first)->orders, (std::list<Order*>{front.order, b}));

  objHulled* second = shipOf(colony, vector3df(450, 0, 0));  // the nearer one
  Order* b2 = new goto_order(system, true, 10.0f);
  Order* trade = new trade_order();
  Order* c = new goto_order(far, true, 10.0f);
  for (Order* order : {b2, trade, c})
    second->ai->appendOrder(order);
  aiOf(first)->removeOrder(front.order);  // frees the planet for another command
  ColonizePlanetCommand inserted(target, red, false);
  ASSERT_EQ(inserted.colonizer, second);
  EXPECT_EQ(aiOf(second)->orders, (std::list<Order*>{b2, inserted.order, trade, c}));
}

// --- Over time --------------------------------------------------------------

TEST_F(EmpireCommandTest, WaitsUpToTheTimeoutAndKeepsTheOrder) {
  gameTime = 1000.0;
  objHulled* waiting = shipOf(colony, vector3df(400, 0, 0));
  ColonizePlanetCommand command(target, red, false);
  for (double t : {1000.0, 1299.0, 1300.0}) {
    gameTime = t;
    EXPECT_FALSE(command.execute(red)) << t;
  }
  gameTime = 1300.5;
  EXPECT_TRUE(command.execute(red));
  EXPECT_TRUE(waiting->ai->hasOrder(command.order));
}

TEST_F(EmpireCommandTest, PlanetTakenByAnotherEmpireTakesTheOrderBack) {
  objHulled* busy = shipOf(colony, vector3df(400, 0, 0));
  busy->ai->appendOrder(new goto_order(system, true, 10.0f));
  ColonizePlanetCommand command(target, red, false);
  ASSERT_EQ(busy->ai->getOrderCount(), 2u);
  target->setOwner(blue);
  EXPECT_TRUE(command.execute(red));
  EXPECT_EQ(orderTypes(busy), std::vector<int>{OrdT_Goto});
  EXPECT_EQ(red->colonizing.count(target->uid), 0u);
}

TEST_F(EmpireCommandTest, LostColonizerIsReplacedOrThePlanetQueued) {
  for (bool replacement : {true, false}) {
    SCOPED_TRACE(replacement ? "replaced" : "queued");
    const int32_t planetRefs = target->refCount.load();
    objHulled* lost = shipOf(colony, vector3df(400, 0, 0));
    objHulled* spare = replacement ? shipOf(colony, vector3df(0, 0, 0), far) : nullptr;
    const int32_t spareRefs = spare != nullptr ? spare->refCount.load() : 0;
    auto* command = new ColonizePlanetCommand(target, red, false);
    ASSERT_EQ(command->colonizer, lost);
    lost->destroyNow(true);  // the command holds the last reference
    EXPECT_EQ(command->execute(red), !replacement);
    if (replacement) {
      EXPECT_EQ(command->colonizer, spare);
      EXPECT_TRUE(spare->ai->hasOrder(command->order));
      EXPECT_EQ(red->colonizeQueue.count(target->uid), 0u);
      EXPECT_EQ(spare->refCount.load(), spareRefs + 1);
    } else {
      EXPECT_EQ(command->colonizer, nullptr);
      EXPECT_EQ(command->order, nullptr);
      EXPECT_EQ(red->colonizeQueue.count(target->uid), 1u);
      EXPECT_TRUE(command->execute(red));
    }
    delete command;
    EXPECT_EQ(target->refCount.load(),
              planetRefs + (replacement ? 1 : 0));  // the spare's order holds one
    if (spare != nullptr) {
      EXPECT_EQ(spare->refCount.load(), spareRefs);
      spare->destroyNow(true);
    }
    red->colonizeQueue.clear();
  }
}

// --- Supplies ---------------------------------------------------------------

class EmpireCommandSupplyTest : public EmpireCommandTest {
 protected:
  void SetUp() override {
    EmpireCommandTest::SetUp();
    supplied = planetOf(red, 10, 10.0f, vector3df(500, 0, 0));
  }

  // A ship of red at `offset` from the supplied planet with `capacity` free
  // cargo space and `orders` goto orders.
  objHulled* carrier(float capacity, unsigned orders, const vector3df& offset) {
    objHulled* made = shipOf(warship, vector3df(500, 0, 0) + offset);
    made->cargoSpace = capacity;
    for (unsigned i = 0; i < orders; ++i)
      made->ai->appendOrder(new goto_order(system, true, 10.0f));
    return made;
  }

  bool supply(bool goFirst = false) {
    GiveSuppliesCommand command(supplied, L"Ore", goFirst);
    return command.execute(red);
  }

  objHabitation* supplied = nullptr;
};

TEST_F(EmpireCommandSupplyTest, CapacityCountsCargoRoomAndTheState) {
  struct Case {
    bool canBeCargo;
    bool stocked;                              // wins over a rival of capacity 150
  } cases[] = {{true, true}, {false, false}};  // 155 and 125
  cargoData kinds[2];
  for (const Case& c : cases) {
    SCOPED_TRACE(c.canBeCargo);
    cargoData& kind = kinds[c.canBeCargo ? 1 : 0];
    kind.canBeCargo = c.canBeCargo;
    objHulled* stocked = carrier(50.0f, 0, vector3df(10, 0, 0));
    stocked->cargoUsed = 20.0f;
    State* state = getOrAddObjectState(stocked, L"Ore");
    state->value = {30.0f, 100.0f, 10.0f, 5.0f, &kind};
    objHulled* rival = carrier(150.0f, 0, vector3df(-10, 0, 0));
    EXPECT_TRUE(supply());
    EXPECT_EQ(stocked->ai->hasOrderOfType(OrdT_Transfer), c.stocked);
    EXPECT_EQ(rival->ai->hasOrderOfType(OrdT_Transfer), !c.stocked);
    stocked->destroyNow(true);
    rival->destroyNow(true);
  }
}

TEST_F(EmpireCommandSupplyTest, HighestScoreWins) {
  struct Candidate {
    float capacity;
    unsigned orders;
    vector3df offset;  // from the target: squared distance 100, 100, 1, 0
  };
  struct Case {
    const char* name;
    std::vector<Candidate> candidates;
    size_t winner;
  } cases[] = {
      {"score", {{10, 0, {10, 0, 0}}, {40, 1, {0, 10, 0}}, {5, 0, {0, 0, 1}}}, 2},
      {"distance 0", {{10, 0, {10, 0, 0}}, {40, 1, {0, 10, 0}}, {5, 0, {0, 0, 1}}, {1, 3, {0, 0, 0}}}, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<objHulled*> made;
    for (const Candidate& candidate : c.candidates)
      made.push_back(carrier(candidate.capacity, candidate.orders, candidate.offset));
    EXPECT_TRUE(supply());
    for (size_t i = 0; i < made.size(); ++i) {
      EXPECT_EQ(made[i]->ai->hasOrderOfType(OrdT_Transfer), i == c.winner) << i;
      made[i]->destroyNow(true);
    }
  }
}

TEST_F(EmpireCommandSupplyTest, SkipsBusyStillAndTheTargetItself) {
  objHulled* transferring = carrier(1000.0f, 0, vector3df(1, 0, 0));
  transferring->ai->appendOrder(new transfer_order(TM_Percent, 1.0f, 0.0f, system, L"Ore", true));
  objHulled* collecting = carrier(1000.0f, 0, vector3df(2, 0, 0));
  collecting->ai->appendOrder(new collect_order(L"Ore", 0.0f, false));
  objHabitation* still = planetOf(red, 10, 10.0f, vector3df(503, 0, 0));
  still->cargoSpace = 1000.0f;
  objHulled* self = carrier(1000.0f, 0, vector3df(4, 0, 0));
  GiveSuppliesCommand toSelf(self, L"Ore", true);
  const std::vector<generic_object*> skipped = {transferring, collecting, still, supplied};
  std::vector<uint32_t> before;
  for (generic_object* object : skipped)
    before.push_back(object->ai->getOrderCount());

  EXPECT_TRUE(toSelf.execute(red));
  EXPECT_EQ(self->ai->getOrderCount(), 0u);
  EXPECT_TRUE(supply());  // now the ship is a candidate like any other
  EXPECT_EQ(orderTypes(self), (std::vector<int>{OrdT_Transfer, OrdT_Collect}));
  for (size_t i = 0; i < skipped.size(); ++i)
    EXPECT_EQ(skipped[i]->ai->getOrderCount(), before[i]) << i;
}

TEST_F(EmpireCommandSupplyTest, SupplierGetsItsOrdersBehindItsQueue) {
  struct Case {
    bool goFirst;
    float radius;
    std::vector<int> types;
    float gotoDistance;
  } cases[] = {
      {false, 200.0f, {OrdT_Goto, OrdT_Transfer, OrdT_Collect}, 0.0f},
      {true, 200.0f, {OrdT_Goto, OrdT_Goto, OrdT_Transfer, OrdT_Collect}, 180.0f},
      {true, -100.0f, {OrdT_Goto, OrdT_Goto, OrdT_Transfer, OrdT_Collect}, -100.0f},
  };
  const float radius = system->radius;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.radius);
    objHulled* supplier = carrier(10.0f, 1, vector3df(10, 0, 0));
    system->radius = c.radius;
    EXPECT_TRUE(supply(c.goFirst));
    system->radius = radius;
    ASSERT_EQ(orderTypes(supplier), c.types);
    auto it = std::next(aiOf(supplier)->orders.begin());
    if (c.goFirst) {
      auto* go = static_cast<goto_order*>(*it++);
      EXPECT_EQ(go->target, system);
      EXPECT_EQ(go->homeContainer, nullptr);
      EXPECT_FLOAT_EQ(go->distance, c.gotoDistance);
    }
    auto* transfer = static_cast<transfer_order*>(*it++);
    EXPECT_EQ(transfer->mode, TM_Percent);
    EXPECT_EQ(transfer->amount, 1.0f);
    EXPECT_EQ(transfer->remaining, 1.0f);
    EXPECT_EQ(transfer->minimum, 0.0f);
    EXPECT_EQ(transfer->other, supplied);
    EXPECT_EQ(transfer->homeContainer, nullptr);
    auto* collect = static_cast<collect_order*>(*it);
    EXPECT_EQ(collect->resource, internCommonString(L"Ore"));
    EXPECT_EQ(collect->threshold, 0.0f);
    EXPECT_TRUE(collect->finishWhenDone);
    EXPECT_EQ(collect->timer.interval, 1000u);
    EXPECT_EQ(collect->timer.nextCheck, 0u);
    supplier->destroyNow(true);
  }
}

// --- The empire step ---------------------------------------------------------

TEST_F(EmpireCommandSupplyTest, EmpireStepRunsCommandsUntilTheyAreDone) {
  objHulled* colonist = shipOf(colony, vector3df(400, 0, 0));
  const int32_t colonistRefs = colonist->refCount.load();
  objHulled* freighter = carrier(10.0f, 0, vector3df(10, 0, 0));
  const int32_t targetRefs = target->refCount.load();
  const int32_t suppliedRefs = supplied->refCount.load();
  red->queueCommand(new ColonizePlanetCommand(target, red, false));
  red->queueCommand(new GiveSuppliesCommand(supplied, L"Ore", false));
  ASSERT_EQ(colonist->ai->getOrderCount(), 1u);

  red->tick(0.1f);  // the supply command runs once and goes
  EXPECT_EQ(red->commands.size(), 1u);
  EXPECT_EQ(supplied->refCount.load(),
            suppliedRefs + 1);  // the transfer order's
  EXPECT_EQ(orderTypes(freighter), (std::vector<int>{OrdT_Transfer, OrdT_Collect}));
  gameTime = 100.0;
  red->tick(0.1f);
  EXPECT_EQ(red->commands.size(), 1u);

  target->setOwner(blue);  // the next run sees it and takes its order back
  red->tick(0.1f);
  EXPECT_TRUE(red->commands.empty());
  EXPECT_EQ(colonist->ai->getOrderCount(), 0u);
  EXPECT_EQ(target->refCount.load(), targetRefs);
  EXPECT_EQ(colonist->refCount.load(), colonistRefs);
}

}  // namespace

}  // namespace empire_commands_test
