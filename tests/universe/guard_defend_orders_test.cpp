// The guard order (the stance it holds, the leash, its records) and the
// defend order (its timer, the full and partial scans of a system, what it
// queues after a pick, its records).
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <vector>

#include "core/net_encoders.h"
#include "core/post_load.h"
#include "core/random.h"
#include "core/threads.h"
#include "design/hull_list.h"
#include "support/save_bytes.h"
#include "universe/objects/galaxy.h"
#include "universe/orders/combat_orders.h"
#include "universe/orders/movement_orders.h"
#include "universe/orders/unit_ai.h"
#include "universe/ships/ship.h"
#include "movement_fixture.h"

namespace guard_defend_orders_test {

namespace {

using OrderPtr = std::unique_ptr<Order>;

// A queue whose target weights the test chooses (1.0 when not set), and
// which records whom it was asked about.
class WeightedAI : public UnitAI {
 public:
  using UnitAI::UnitAI;
  float getTargetWeight(generic_object* target) override {
    asked.push_back(target);
    const auto found = weights.find(target);
    return found != weights.end() ? found->second : 1.0f;
  }
  std::map<generic_object*, float> weights;
  std::vector<generic_object*> asked;
};

// A ship whose weapon range the test sets.
class RangedShip : public objHulled {
 public:
  RangedShip(empire* shipOwner, hull_list* layout, float weaponRange)
      : objHulled(shipOwner, layout, nullptr), range(weaponRange) {}
  float getMaxEffectorRange() override { return range; }
  float range;
};

class GuardDefendTest : public movementtest::MadeObjectsTest {
 protected:
  void SetUp() override {
    MadeObjectsTest::SetUp();
    initThreadLocals();
    red->getRelation(blue)->enemy = true;
    blue->getRelation(red)->enemy = true;
    system = makeSystem(vector3df(1000, 0, 0));
  }

  void TearDown() override {
    MadeObjectsTest::TearDown();
    for (hull_list* layout : layouts_)
      layout->drop();
    freeThreadLocals();
  }

  // An object of `owner` at `position` in `place` with a WeightedAI.
  TestObject* unit(empire* owner, const vector3df& position, generic_object* place = nullptr,
                   int type = OT_Hulled) {
    auto* made = new TestObject(owner, type, L"Unit");
    made->radius = 5.0f;
    made->setContainer(place != nullptr ? place : system);
    made->position = position;
    auto* ai = new WeightedAI(made);
    made->setAI(ai);
    ai->drop();
    made_.push_back(made);
    return made;
  }

  RangedShip* ship(float range, const vector3df& position) {
    auto* layout = new hull_list(L"Test", red);
    layouts_.push_back(layout);
    auto* made = new RangedShip(red, layout, range);
    made->radius = 5.0f;
    made->setContainer(system);
    made->position = position;
    made_.push_back(made);
    return made;
  }

  void destroyEarly(generic_object* object) {
    made_.erase(std::find(made_.begin(), made_.end(), object));
    object->destroyNow(false);
  }

  static WeightedAI& aiOf(generic_object* object) { return *static_cast<WeightedAI*>(object->ai); }
  static UnitAI& queueOf(generic_object* object) { return *static_cast<UnitAI*>(object->ai); }

  static std::vector<int> queueTypes(generic_object* object) {
    std::vector<int> types;
    for (uint32_t i = 0; i < object->ai->getOrderCount(); ++i)
      types.push_back(object->ai->getOrder(i)->getType());
    return types;
  }

  // Queues a defend order on `defender` and sets the clock to its check.
  static defend_order* defendOn(generic_object* defender) {
    auto* order = new defend_order();
    defender->ai->appendOrder(order);
    setObjectTestClock(order->nextCheck);
    return order;
  }

  static Bytes saved(const Order& order) {
    auto stream = SaveStream::createInMemory();
    order.save(*stream);
    return writtenBody(*stream);
  }

  static Bytes packed(uint32_t uid) {
    auto stream = SaveStream::createInMemory();
    stream->writePackedUInt(uid);
    return writtenBody(*stream);
  }

  // The guard order read back from `record` (type byte included).
  static OrderPtr loadGuard(const Bytes& record) {
    const Bytes file = withHeader(record);
    auto stream = readerOver(file);
    EXPECT_EQ(stream->readU8(), OrdT_Guard);
    return OrderPtr(readGuardOrderSave(*stream));
  }

  solarSystem* system = nullptr;
  std::vector<hull_list*> layouts_;
};

// --- guard_order -----------------------------------------------------------------

TEST_F(GuardDefendTest, AGuardHoldsItsPositionUntilTheOrderIsDeleted) {
  for (AIStance before : {AIS_Engage, AIS_HoldFire, AIS_Defend}) {
    SCOPED_TRACE(static_cast<int>(before));
    TestObject* guarded = unit(red, vector3df(0, 0, 0));
    TestObject* guard = unit(red, vector3df(10, 0, 0));
    queueOf(guard).stance = before;
    auto* order = new guard_order(guarded, guard);
    EXPECT_EQ(queueOf(guard).stance, AIS_HoldPosition);
    EXPECT_EQ(order->savedStance, before);
    delete order;
    EXPECT_EQ(queueOf(guard).stance, before);
  }
}

TEST_F(GuardDefendTest, AGuardTooFarFromItsChargeFliesBackFirst) {
  const struct {
    const char* what;
    float range;   // -1: an object that is a ship but has no weapons of its own
    float gap;     // between the centres
    int type;      // of a guard without weapon range
    OrderResult result;
    float gotoDistance;  // 0: no goto
  } cases[] = {
      {"300 away with range 100: max(20, 50)", 100, 300, OT_Hulled, Yielded, 50},
      {"at exactly the range stays", 100, 100, OT_Hulled, Running, 0},
      {"a short range keeps at least twice the radii", 30, 100, OT_Hulled, Yielded, 20},
      {"no weapon range: a leash of twice the base", -1, 41, OT_Hulled, Yielded, 20},
      {"within that leash it stays", -1, 40, OT_Hulled, Running, 0},
      {"not a ship", -1, 300, OT_Generic, Done, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TestObject* guarded = unit(red, vector3df(0, 0, 0));
    generic_object* guard = c.range >= 0 ? static_cast<generic_object*>(ship(c.range, vector3df(c.gap, 0, 0)))
                                         : unit(red, vector3df(c.gap, 0, 0), nullptr, c.type);
    guard_order order(guarded, guard);
    EXPECT_EQ(order.execute(*guard), c.result);
    const auto* flight = guard->ai->getOrderCount() > 0 ? dynamic_cast<goto_order*>(guard->ai->getOrder(0)) : nullptr;
    ASSERT_EQ(flight != nullptr, c.gotoDistance > 0);
    if (flight != nullptr) {
      EXPECT_EQ(flight->target, guarded);
      EXPECT_FLOAT_EQ(flight->distance, c.gotoDistance);
      EXPECT_EQ(flight->homeContainer, nullptr) << "follows the guarded object anywhere";
    }
  }

  TestObject* guarded = unit(red, vector3df(0, 0, 0));
  RangedShip* guard = ship(100, vector3df(300, 0, 0));
  guard_order order(guarded, guard);
  destroyEarly(guarded);
  EXPECT_EQ(order.execute(*guard), Done) << "the guarded object is gone";
}

TEST_F(GuardDefendTest, GuardCopiesAndDescriptions) {
  TestObject* guarded = unit(red, vector3df(0, 0, 0));
  guarded->name = L"Home";
  TestObject* guard = unit(red, vector3df(10, 0, 0));
  guard_order order(guarded, guard);
  EXPECT_TRUE(order.runsInBackground());
  EXPECT_FALSE(order.isAutomation());
  EXPECT_EQ(order.describe(), irr::core::stringw(L"Guard Home"));
  OrderPtr copy(order.clone());
  auto* guardCopy = dynamic_cast<guard_order*>(copy.get());
  ASSERT_NE(guardCopy, nullptr);
  EXPECT_EQ(guardCopy->guarded, guarded);
  EXPECT_EQ(guardCopy->guard, guard);
  EXPECT_EQ(guardCopy->savedStance, AIS_HoldPosition) << "the stance the copy found";
}

TEST_F(GuardDefendTest, GuardRecordsHoldBothUidsAndTheSavedStance) {
  nextUid.store(100000);
  makeSystem();
  nextUid.store(5);
  TestObject* guarded = unit(red, vector3df(0, 0, 0));
  nextUid.store(7);
  TestObject* guard = unit(red, vector3df(10, 0, 0));
  nextUid.store(100100);
  ASSERT_EQ(guarded->uid, 5u);
  ASSERT_EQ(guard->uid, 7u);

  guard_order order(guarded, guard);
  EXPECT_EQ(hexText(saved(order)), hex("11 01 05 01 07 00"));

  OrderPtr loaded = loadGuard(hexBytes("11 01 05 01 07 03"));
  auto* guardLoaded = static_cast<guard_order*>(loaded.get());
  EXPECT_EQ(guardLoaded->guarded, guarded);
  EXPECT_EQ(guardLoaded->guard, guard);
  EXPECT_EQ(guardLoaded->savedStance, AIS_Defend);
  EXPECT_EQ(queueOf(guard).stance, AIS_HoldPosition) << "loading leaves the loaded stance alone";

  // A guarded object loaded after the order: resolved by the post-load step.
  const uint32_t later = nextUid.load() + 5;
  Bytes record = hexBytes("11");
  for (const Bytes& part : {packed(later), packed(guard->uid), hexBytes("00")})
    record.insert(record.end(), part.begin(), part.end());
  OrderPtr afterTree = loadGuard(record);
  auto* pending = static_cast<guard_order*>(afterTree.get());
  EXPECT_EQ(pending->guarded, nullptr);
  nextUid.store(later);
  TestObject* loadedLater = unit(blue, vector3df(0, 0, 0));
  runPostObjectTreeSteps();
  EXPECT_EQ(pending->guarded, loadedLater);
  EXPECT_EQ(pending->guard, guard);

  destroyEarly(loadedLater);
  EXPECT_EQ(hexText(saved(*pending)), hex("00")) << "a guarded object that is gone is not restored";
}

TEST_F(GuardDefendTest, CutRecordsAreAnError) {
  for (const char* record : {"11", "11 01 05", "11 01 05 01 07"}) {
    SCOPED_TRACE(record);
    const SaveFileError error = saveErrorOf([&] { loadGuard(hexBytes(record)); });
    EXPECT_EQ(error, (SaveFileError{4, "Unexpected EOF"}));
  }
}

TEST_F(GuardDefendTest, NetworkGuardRecordsRoundTripWithTheReceiverAsGuard) {
  TestObject* guarded = unit(blue, vector3df(0, 0, 0));
  TestObject* guard = unit(red, vector3df(10, 0, 0));
  TestObject* receiver = unit(red, vector3df(20, 0, 0));
  {
    guard_order sentOrder(guarded, guard);
    RakNet::BitStream stream;
    sentOrder.writeNetwork(stream);
    OrderPtr received(readOrderFromNetwork(stream, receiver));
    auto* guardReceived = dynamic_cast<guard_order*>(received.get());
    ASSERT_NE(guardReceived, nullptr);
    EXPECT_EQ(guardReceived->guarded, guarded);
    EXPECT_EQ(guardReceived->guard, receiver);
    EXPECT_EQ(queueOf(receiver).stance, AIS_HoldPosition);
  }
  EXPECT_EQ(queueOf(receiver).stance, AIS_Engage);

  RakNet::BitStream shortRecord;
  shortRecord.Write(static_cast<uint8_t>(OrdT_Guard));
  EXPECT_EQ(readOrderFromNetwork(shortRecord, receiver), nullptr);
  RakNet::BitStream unknown;
  unknown.Write(static_cast<uint8_t>(OrdT_Guard));
  writeNetUInt(unknown, nextUid.load() + 100);
  EXPECT_EQ(readOrderFromNetwork(unknown, receiver), nullptr);
}

// --- defend_order ------------------------------------------------------------------

TEST_F(GuardDefendTest, DefendIsAStandingJobThatCopiesWhole) {
  OrderPtr made(createAutomationOrder(L"Defend", nullptr, nullptr));
  auto* order = dynamic_cast<defend_order*>(made.get());
  ASSERT_NE(order, nullptr);
  EXPECT_TRUE(order->isAutomation());
  EXPECT_TRUE(order->runsInBackground());
  EXPECT_TRUE(order->isNotRepeatable());
  EXPECT_EQ(order->describe(), irr::core::stringw(L"Defend system"));
  EXPECT_EQ(order->nextCheck, 1000u) << "one interval after the clock's 0";
  order->scanIndex = 17;
  order->lastSystem = system;
  order->nextCheck = 5;
  OrderPtr copy(order->clone());
  auto* defendCopy = dynamic_cast<defend_order*>(copy.get());
  ASSERT_NE(defendCopy, nullptr);
  EXPECT_EQ(defendCopy->interval, 1000u);
  EXPECT_EQ(defendCopy->nextCheck, 5u);
  EXPECT_EQ(defendCopy->scanIndex, 17u);
  EXPECT_EQ(defendCopy->lastSystem, system);
}

TEST_F(GuardDefendTest, DefendPicksOnlyInAStarSystemAndWhenItsStanceFights) {
  auto* galaxyRoot = new objGalaxy();
  made_.insert(made_.begin(), galaxyRoot);
  const struct {
    const char* what;
    bool inGalaxy;
    AIStance stance;
    bool picks;
  } cases[] = {
      {"deep space never picks", true, AIS_Engage, false},
      {"hold position picks nothing", false, AIS_HoldPosition, false},
      {"hold fire picks nothing", false, AIS_HoldFire, false},
      {"engage picks", false, AIS_Engage, true},
      {"defend picks", false, AIS_Defend, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    generic_object* place = c.inGalaxy ? static_cast<generic_object*>(galaxyRoot) : makeSystem();
    TestObject* defender = unit(red, vector3df(0, 0, 0), place);
    unit(blue, vector3df(10, 0, 0), place);
    queueOf(defender).stance = c.stance;
    defend_order* order = defendOn(defender);
    EXPECT_EQ(order->execute(*defender), c.picks ? Yielded : Running);
    EXPECT_EQ(queueOf(defender).getOrderCount() > 1, c.picks);
  }

  TestObject* loose = unit(red, vector3df(0, 0, 0));
  loose->setContainer(nullptr);
  defend_order alone;
  setObjectTestClock(alone.nextCheck);
  EXPECT_EQ(alone.execute(*loose), Running) << "no system above the object";
}

TEST_F(GuardDefendTest, AFullScanPicksTheEnemyWithTheHighestWeightOverDistance) {
  struct Candidate {
    empire* owner;
    float weight;
    float distance;
  };
  const struct {
    const char* what;
    std::vector<Candidate> candidates;
    int winner;  // -1: none
  } cases[] = {
      {"weight / distance", {{blue, 1, 10}, {blue, 4, 20}, {blue, 16, 200}}, 1},
      {"the first of equal scores", {{blue, 1, 10}, {blue, 2, 20}}, 0},
      {"only owned enemies", {{red, 100, 1}, {nullptr, 100, 1}, {blue, 1, 50}}, 2},
      {"a weight not above the best score so far is not looked at", {{blue, 1, 0.5f}, {blue, 1.5f, 0.1f}}, 0},
      {"weight 0 is never picked", {{blue, 0, 1}}, -1},
      {"no enemy", {{red, 1, 1}}, -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    solarSystem* place = makeSystem();
    TestObject* defender = unit(red, vector3df(0, 0, 0), place);
    std::vector<TestObject*> others;
    for (const Candidate& candidate : c.candidates) {
      others.push_back(unit(candidate.owner, vector3df(0, candidate.distance, 0), place));
      aiOf(defender).weights[others.back()] = candidate.weight;
    }
    defend_order* order = defendOn(defender);
    EXPECT_EQ(order->execute(*defender), c.winner >= 0 ? Yielded : Running);
    EXPECT_EQ(order->lastSystem, place);
    if (c.winner < 0) {
      EXPECT_EQ(queueTypes(defender), std::vector<int>{OrdT_Defend});
      continue;
    }
    EXPECT_EQ(queueTypes(defender), (std::vector<int>{OrdT_Attack, OrdT_Defend})) << "engage: no way back";
    const auto* attack = static_cast<attack_order*>(queueOf(defender).getOrder(0));
    EXPECT_EQ(attack->target, others[static_cast<size_t>(c.winner)]);
    EXPECT_FALSE(attack->force);
    EXPECT_EQ(attack->homeContainer, place) << "the attack stays in the system";
  }
}

TEST_F(GuardDefendTest, LaterScansLookAtAHundredChildrenFromARandomStart) {
  constexpr uint32_t kChildren = 250;
  TestObject* defender = unit(red, vector3df(0, 0, 0));
  for (uint32_t i = 1; i < kChildren; ++i)
    aiOf(defender).weights[unit(blue, vector3df(static_cast<float>(i), 0, 0))] = 0.0f;
  ASSERT_EQ(system->children.size(), kChildren);
  seedProcessRandom(42);
  const uint32_t start = static_cast<uint32_t>(processRandom() >> 2) % (kChildren / 2);
  seedProcessRandom(42);

  defend_order* order = defendOn(defender);
  EXPECT_EQ(order->execute(*defender), Running);
  EXPECT_EQ(aiOf(defender).asked.size(), kChildren - 1) << "the full scan looks at every other child";
  EXPECT_EQ(order->scanIndex, start);

  uint32_t first = start;
  for (int scan = 0; scan < 4; ++scan) {
    SCOPED_TRACE(scan);
    aiOf(defender).asked.clear();
    setObjectTestClock(order->nextCheck);
    EXPECT_EQ(order->execute(*defender), Running);
    std::vector<generic_object*> expected;
    for (uint32_t i = first; i < std::min(kChildren, first + 100); ++i)
      if (system->children[i].get() != defender)
        expected.push_back(system->children[i].get());
    EXPECT_EQ(aiOf(defender).asked, expected);
    first = first + 100 >= kChildren ? 0 : first + 100;
    EXPECT_EQ(order->scanIndex, first);
  }
}

TEST_F(GuardDefendTest, ADefenderPicksThenComesBackToItsPost) {
  TestObject* defender = unit(red, vector3df(3, 4, 0));
  TestObject* enemy = unit(blue, vector3df(50, 0, 0));
  queueOf(defender).stance = AIS_Defend;
  defend_order* order = defendOn(defender);
  EXPECT_EQ(order->execute(*defender), Yielded);
  ASSERT_EQ(queueTypes(defender), (std::vector<int>{OrdT_Attack, OrdT_Move, OrdT_Defend}));
  EXPECT_EQ(static_cast<attack_order*>(queueOf(defender).getOrder(0))->target, enemy);
  const auto* back = static_cast<move_order*>(queueOf(defender).getOrder(1));
  movementtest::expectNear(back->destination, vector3df(1003, 4, 0));
  EXPECT_FLOAT_EQ(back->toleranceSquared, 0.01f);
}

TEST_F(GuardDefendTest, BeforeItsNextCheckADefenderWaitsOnlyInAnotherSystem) {
  solarSystem* other = makeSystem(vector3df(5000, 0, 0));
  TestObject* defender = unit(red, vector3df(0, 0, 0));
  auto* order = new defend_order();
  defender->ai->appendOrder(order);
  EXPECT_EQ(order->execute(*defender), Waiting) << "never scanned";

  setObjectTestClock(order->nextCheck);
  EXPECT_EQ(order->execute(*defender), Running);
  EXPECT_EQ(order->nextCheck, 2000u);
  setObjectTestClock(1999);
  EXPECT_EQ(order->execute(*defender), Running) << "the system scanned last";
  defender->setContainer(other);
  EXPECT_EQ(order->execute(*defender), Waiting) << "another system";
  EXPECT_EQ(order->lastSystem, system);
  EXPECT_EQ(queueTypes(defender), std::vector<int>{OrdT_Defend});
}

TEST_F(GuardDefendTest, DefendRecordsAreTheTypeAlone) {
  defend_order order;
  EXPECT_EQ(hexText(saved(order)), hex("04"));
  TestObject* holder = unit(red, vector3df(0, 0, 0));
  const Bytes file = withHeader(hexBytes("04"));
  auto stream = readerOver(file);
  readOrderFromSave(*stream, queueOf(holder));
  EXPECT_EQ(queueTypes(holder), std::vector<int>{OrdT_Defend});

  RakNet::BitStream network;
  order.writeNetwork(network);
  EXPECT_EQ(network.GetNumberOfBitsUsed(), 8);
  OrderPtr received(readOrderFromNetwork(network, holder));
  EXPECT_NE(dynamic_cast<defend_order*>(received.get()), nullptr);
}

}  // namespace

}  // namespace guard_defend_orders_test
