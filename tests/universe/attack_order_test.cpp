// The attack order: how it ends, a carrier's launch, a ship's approach,
// weapons and circling, a planet firing from its structures, and the
// order's records (save, post-load target, network).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "core/post_load.h"
#include "core/random.h"
#include "core/threads.h"
#include "design/effectors/effector.h"
#include "design/effects/effects.h"
#include "design/hull_list.h"
#include "design/sub_system_fixture.h"
#include "design/subsystems/sub_system.h"
#include "movement_fixture.h"
#include "platform/bit_stream.h"
#include "support/log_capture.h"
#include "support/save_bytes.h"
#include "support/scratch_dir.h"
#include "universe/movement/mobile_mover.h"
#include "universe/movement/orbit_movers.h"
#include "universe/orders/combat_orders.h"
#include "universe/orders/dock_orders.h"
#include "universe/orders/movement_orders.h"
#include "universe/orders/unit_ai.h"
#include "universe/planets/planet.h"
#include "universe/ships/ship.h"
#include "armed_ship_fixture.h"

namespace attack_order_test {

namespace {

using movementtest::expectNear;
using OrderPtr = std::unique_ptr<Order>;

// Every firing: by whom, at whom, with which effector state.
struct Shot {
  generic_object* from;
  generic_object* at;
  interactor_data* state;
};
std::vector<Shot> shots;

void attackProbeShot(EffectEvent* event, const effector*, interactor_data* state) {
  shots.push_back({event->obj, event->target, state});
}
const bool registeredShot = (registerFireFunction(L"AttackProbeShot").value = attackProbeShot, true);

const char kEffectors[] = "Effector: Gun\nValue: Reach\nRange: Reach\nOnFire: AttackProbeShot\n";

const char kSubSystems[] =
    "System: Gun\nSize: 1\nDurability: 10\nProvides: Gun with Reach[100]\n\n"
    "System: LongGun\nSize: 1\nDurability: 10\nProvides: Gun with "
    "Reach[300]\n\n"
    "System: Dud\nSize: 1\nDurability: 10\nProvides: Gun with Reach[0]\n\n"
    "System: Battery\nDurability: 10\nProvides: Gun with Reach[50]\nProvides: "
    "Gun with Reach[80]\n\n"
    "System: Turret\nDurability: 10\nProvides: Gun with Reach[30]\n\n"
    "System: Plate\nSize: 1\nDurability: 10\n";

class AttackOrderTest : public armedshiptest::ArmedShipTest {
 protected:
  void SetUp() override {
    ArmedShipTest::SetUp();
    (void)registeredShot;
    shots.clear();
    setUpArmedShips(kEffectors, kSubSystems, L"Gun");
  }

  // A blue object of radius 5 at `position` in `where`.
  TestObject* enemy(const vector3df& position, generic_object* where = nullptr, const wchar_t* name = L"Enemy") {
    auto* made = new TestObject(blue, OT_Generic, name);
    place(made, where != nullptr ? where : home, position, 5.0f);
    return made;
  }

  // A red planet of radius 10 at the origin of the home system with the
  // listed structures and `mover`.
  objHabitation* planet(std::initializer_list<const wchar_t*> structures, MoveHandler* mover) {
    auto* made = new objHabitation(red, mover);
    made->modPopulation(made->ownerRates, 5.0f);
    made->setStructureSpace(10.0f);
    for (const wchar_t* name : structures)
      EXPECT_TRUE(made->addStructureFromDef(def(name)));
    made->ai->clearOrders(true);
    place(made, home, vector3df(0, 0, 0), 10.0f);
    return made;
  }

  static Bytes saved(const Order& order) {
    auto stream = SaveStream::createInMemory();
    order.save(*stream);
    return writtenBody(*stream);
  }

  static OrderPtr loadRecord(const Bytes& record) {
    const Bytes file = withHeader(record);
    auto stream = readerOver(file);
    EXPECT_EQ(stream->readU8(), OrdT_Attack);
    return OrderPtr(readAttackOrderSave(*stream));
  }

};

// --- Construction, copies, text, pool
// -------------------------------------------

TEST_F(AttackOrderTest, ConstructionCloneAndDescription) {
  TestObject* target = enemy(vector3df(50, 0, 0), home, L"Raider");
  for (const bool followAnywhere : {false, true}) {
    SCOPED_TRACE(followAnywhere ? "follows anywhere" : "keeps a home container");
    auto* order = new attack_order(target, true, followAnywhere);
    queueOf(ship({L"Gun"}, vector3df(0, 0, 0))).appendOrder(order);
    EXPECT_EQ(order->getType(), OrdT_Attack);
    EXPECT_EQ(order->targetOwner, blue);
    EXPECT_EQ(order->homeContainer, followAnywhere ? nullptr : home);
    EXPECT_FALSE(order->launched);
    EXPECT_EQ(order->describe(), irr::core::stringw(L"Attack Raider"));
    EXPECT_FALSE(order->runsInBackground() || order->isAutomation() || order->isNotRepeatable());

    // A copy takes the target's present container and owner, and has not
    // launched anything yet.
    order->launched = true;
    solarSystem* elsewhere = system(vector3df(5000, 0, 0));
    target->setContainer(elsewhere);
    target->setOwner(red);
    OrderPtr copy(order->clone());
    auto* attack = dynamic_cast<attack_order*>(copy.get());
    ASSERT_NE(attack, nullptr);
    EXPECT_EQ(attack->target, target);
    EXPECT_TRUE(attack->force);
    EXPECT_EQ(attack->homeContainer, followAnywhere ? nullptr : elsewhere);
    EXPECT_EQ(attack->targetOwner, red);
    EXPECT_FALSE(attack->launched);
    target->setContainer(home);
    target->setOwner(blue);
  }
}

TEST_F(AttackOrderTest, OrdersComeFromTheAttackPool) {
  EXPECT_EQ(attackOrderPool().elementSize(), sizeof(attack_order));
  auto* order = new attack_order(nullptr, false, true);
  const unsigned blocks = attackOrderPool().blockCount();
  EXPECT_GE(blocks, 1u);
  delete order;
  // Another size goes to the heap and back.
  void* other = allocAttackOrder(sizeof(attack_order) + 8);
  ASSERT_NE(other, nullptr);
  releaseAttackOrder(other);
  EXPECT_EQ(attackOrderPool().blockCount(), blocks);
}

// --- Ending
// --------------------------------------------------------------------

TEST_F(AttackOrderTest, ALostTargetEndsTheOrderAndTheAttackerComesToRest) {
  const struct {
    const char* what;
    bool captured;
    bool destroyed;
    bool targetLeaves;
    bool attackerFollows;  // the attacker is in the system the target went to
  } cases[] = {
      {"captured", true, false, false, false},
      {"destroyed", false, true, false, false},
      {"gone to another system, the attacker still at home", false, false, true, false},
      {"gone to another system, the attacker followed it", false, false, true, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    solarSystem* away = system(vector3df(10000, 0, 0), 500.0f);
    TestObject* target = enemy(vector3df(60, 0, 0));
    objHulled* attacker = ship({L"Gun"}, vector3df(0, 0, 0));
    auto* order = new attack_order(target, true, false);
    attacker->setEffectorTargets(target, true);
    ASSERT_EQ(attacker->effectorStates[0].target, target);
    attacker->velocity.set(10, 0, 0);

    if (c.captured)
      target->setOwner(red);
    if (c.destroyed)
      destroyEarly(target);
    if (c.targetLeaves)
      target->setContainer(away);
    if (c.attackerFollows) {
      attacker->setContainer(away);
      attacker->position.set(30, 40, 0);
    }
    vector3df displacement;
    attacker->mover->getDisplacement(displacement, 1.0f, *attacker);
    const vector3df coast = attacker->getPosition() + displacement;

    EXPECT_EQ(step(attacker, order), Done);
    EXPECT_EQ(attacker->effectorStates[0].target, nullptr) << "the weapons let the target go";
    if (c.attackerFollows)
      expectNear(MobileMover::of(attacker)->destination, vector3df(10000 + 0.6f * 450, 0.8f * 450, 0), 1e-2f);
    else
      expectNear(MobileMover::of(attacker)->destination, coast);
  }
}

// --- Carrier launch
// -------------------------------------------------------------

TEST_F(AttackOrderTest, ACarriersFirstStepLaunchesItsCraftWithAnAI) {
  TestObject* target = enemy(vector3df(60, 0, 0));
  objHulled* carrier = ship({L"Gun"}, vector3df(0, 0, 0));
  carrier->dockSpace = 1000.0f;
  std::vector<TestObject*> craft;
  for (const bool withAI : {true, false, true}) {
    auto* one = new TestObject(red, OT_Hulled, L"Craft");
    one->mover = new MobileMover();
    place(one, home, vector3df(20, 0, 0), 1.0f);
    if (withAI) {
      auto* ai = new UnitAI(one);
      one->setAI(ai);
      ai->drop();
    }
    ASSERT_TRUE(carrier->dockObject(one));
    craft.push_back(one);
  }

  auto* order = new attack_order(target, false, false);
  step(carrier, order);
  EXPECT_TRUE(order->launched);
  ASSERT_EQ(carrier->docked.size(), 1u);
  EXPECT_EQ(carrier->docked[0].object, craft[1]) << "the craft without an AI stays docked";
  for (TestObject* launched : {craft[0], craft[2]}) {
    EXPECT_EQ(launched->container.load(), home);
    UnitAI& queue = queueOf(launched);
    ASSERT_EQ(queue.getOrderCount(), 3u);
    EXPECT_EQ(queue.getOrder(0)->getType(), OrdT_Transfer);
    EXPECT_NE(queue.getOrder(0)->describe().find(L"Fuel"), -1);
    auto* attack = dynamic_cast<attack_order*>(queue.getOrder(1));
    ASSERT_NE(attack, nullptr);
    EXPECT_EQ(attack->target, target);
    EXPECT_TRUE(attack->force);
    EXPECT_EQ(attack->homeContainer, home);
    auto* dock = dynamic_cast<dock_order*>(queue.getOrder(2));
    ASSERT_NE(dock, nullptr);
    EXPECT_EQ(dock->host, carrier);
  }

  step(carrier, order);
  EXPECT_EQ(carrier->docked.size(), 1u) << "a second step launches nothing";
  EXPECT_EQ(queueOf(craft[0]).getOrderCount(), 3u);
}

// --- Ships
// ---------------------------------------------------------------------

TEST_F(AttackOrderTest, AShipClosesInFiresAndCircles) {
  // The ship (radius 5) at the origin, the target (radius 5) on the x axis:
  // with range 100 the ship is in reach within 10 + 100, and pursues beyond
  // 10 + 50.
  const struct {
    const char* what;
    const wchar_t* weapon;
    float distance;
    float thrust;
    bool orbits;
    bool force;
    OrderResult result;
    bool holdsTarget;
    bool circles;
    float shipRadius = 5.0f;
    float toleranceSquared = 2025.0f;  // max(100 x 0.45, 2 x radius) squared
  } cases[] = {
      {"out of reach with thrust keeps closing in", L"Gun", 200.0f, 1.0f, true, true, Running, false, false},
      {"out of reach without thrust ends", L"Gun", 200.0f, 0.0f, true, true, Done, false, false},
      {"in reach circles the target", L"Gun", 80.0f, 1.0f, true, true, Yielded, true, true},
      {"in reach, not forced", L"Gun", 80.0f, 1.0f, true, false, Yielded, true, true},
      {"a large ship circles within twice its radius", L"Gun", 80.0f, 1.0f, true, true, Yielded, true, true, 30.0f,
       3600.0f},
      {"in reach with the orbit flag off fires from where it is", L"Gun", 80.0f, 1.0f, false, true, Running, true,
       false},
      {"in reach beyond range 200 does not circle", L"LongGun", 80.0f, 1.0f, true, true, Running, true, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TestObject* target = enemy(vector3df(c.distance, 0, 0));
    objHulled* attacker = ship({c.weapon}, vector3df(0, 0, 0), c.thrust, nullptr, c.orbits);
    attacker->radius = c.shipRadius;
    auto* order = new attack_order(target, c.force, false);
    seedProcessRandom(42);
    const int draw = processRandom();
    seedProcessRandom(42);

    EXPECT_EQ(step(attacker, order), c.result);
    EXPECT_EQ(attacker->effectorStates[0].target, c.holdsTarget ? target : nullptr);
    if (c.holdsTarget) {
      EXPECT_EQ(attacker->effectorStates[0].force, c.force ? 1 : 0);
    }
    if (c.distance > 110.0f && c.thrust > 0.0f) {
      EXPECT_EQ(MobileMover::of(attacker)->target, target) << "the mover pursues the target";
    }

    UnitAI& queue = queueOf(attacker);
    auto* circle = dynamic_cast<move_order*>(queue.getOrder(0));
    ASSERT_EQ(circle != nullptr, c.circles);
    if (circle == nullptr) {
      EXPECT_EQ(queue.getOrderCount(), 1u);
      continue;
    }
    EXPECT_EQ(queue.getOrder(1), order) << "the move goes in front";
    EXPECT_FLOAT_EQ(circle->toleranceSquared, c.toleranceSquared);
    // n = (1, 0, 0), a = (0, 0, 90), b = (0, 90, 0).
    const float theta = static_cast<float>(draw) * 6.28318530718f / 32767.0f;
    expectNear(circle->destination, vector3df(c.distance, 90.0f * std::sin(theta), 90.0f * std::cos(theta)), 1e-3f);
    EXPECT_NEAR(circle->destination.getDistanceFrom(target->position), 90.0f, 1e-3f);
  }
}

TEST_F(AttackOrderTest, AShipWithoutWeaponRangeBrakesAndEnds) {
  TestObject* target = enemy(vector3df(80, 0, 0));
  objHulled* attacker = ship({L"Dud", L"Plate"}, vector3df(0, 0, 0));
  attacker->velocity.set(4, 0, 0);
  MobileMover* mover = MobileMover::of(attacker);
  mover->destination.set(500, 0, 0);
  const vector3df stop = stoppingPoint(*attacker, *mover);
  EXPECT_EQ(step(attacker, new attack_order(target, true, false)), Done);
  expectNear(mover->destination, stop);
  EXPECT_EQ(attacker->effectorStates[0].target, nullptr);
}

TEST_F(AttackOrderTest, AnAttackerOfAnotherKindEndsTheOrder) {
  TestObject* target = enemy(vector3df(80, 0, 0));
  auto* other = new TestObject(red, OT_Oddity);
  place(other, home, vector3df(0, 0, 0), 1.0f);
  auto* ai = new UnitAI(other);
  other->setAI(ai);
  ai->drop();
  EXPECT_EQ(step(other, new attack_order(target, false, false)), Done);
}

// --- Planets
// -------------------------------------------------------------------

TEST_F(AttackOrderTest, APlanetFiresFromItsArmedStructuresInReach) {
  // Planet radius 10, target radius 5: the Battery (first range 50) reaches
  // 65, the Turret (30) 45.
  objHabitation* fort = planet({L"Battery", L"Turret", L"Plate"}, nullptr);
  TestObject* target = enemy(vector3df(60, 0, 0));
  auto* order = new attack_order(target, false, false);
  for (int round = 1; round <= 2; ++round) {
    SCOPED_TRACE("step " + std::to_string(round));
    shots.clear();
    EXPECT_EQ(step(fort, order), Running);
    ASSERT_EQ(shots.size(), 2u) << "each effector of the Battery once";
    interactor_data* states = fort->structures[0].record.effectorStates;
    for (irr::u32 k = 0; k < 2; ++k) {
      EXPECT_EQ(shots[k].from, fort);
      EXPECT_EQ(shots[k].at, target);
      EXPECT_EQ(shots[k].state, &states[k]) << "with the structure's own state";
    }
  }
  // An inactive structure is not armed.
  fort->structures[0].record.state = SS_Disabled;
  shots.clear();
  EXPECT_EQ(step(fort, order), Done);
  EXPECT_TRUE(shots.empty());
}

TEST_F(AttackOrderTest, APlanetOutOfReachFliesOnlyWithThrust) {
  const struct {
    const char* what;
    std::vector<const wchar_t*> structures;
    int mover;  // 0 orbit mover, 1 mobile mover of thrust 1
    OrderResult result;
  } cases[] = {
      {"on an orbit, out of reach, it ends", {L"Battery", L"Turret"}, 0, Done},
      {"with thrust it closes to 0.9 x the shortest first range", {L"Battery", L"Turret"}, 1, Yielded},
      {"with no armed structure it ends at once", {L"Plate"}, 1, Done},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    MoveHandler* mover = nullptr;
    if (c.mover == 0) {
      mover = new OrbitMover();
    } else {
      auto* mobile = new MobileMover();
      mobile->thrust = 1.0f;
      mover = mobile;
    }
    auto* fort = new objHabitation(red, mover);
    fort->modPopulation(fort->ownerRates, 5.0f);
    fort->setStructureSpace(10.0f);
    for (const wchar_t* name : c.structures)
      ASSERT_TRUE(fort->addStructureFromDef(def(name)));
    fort->ai->clearOrders(true);
    place(fort, home, vector3df(0, 0, 0), 10.0f);
    TestObject* target = enemy(vector3df(300, 0, 0));
    shots.clear();

    auto* order = new attack_order(target, false, false);
    EXPECT_EQ(step(fort, order), c.result);
    EXPECT_TRUE(shots.empty());
    auto* approach = dynamic_cast<goto_order*>(queueOf(fort).getOrder(0));
    ASSERT_EQ(approach != nullptr, c.result == Yielded);
    if (approach != nullptr) {
      EXPECT_EQ(approach->target, target);
      EXPECT_FLOAT_EQ(approach->distance, 27.0f);
      EXPECT_EQ(approach->homeContainer, home);
      EXPECT_EQ(queueOf(fort).getOrder(1), order);
    }
  }
}

// --- Records
// -------------------------------------------------------------------

TEST_F(AttackOrderTest, SavedRecords) {
  ASSERT_EQ(getObjectByUID(300), nullptr);
  nextUid = 300;
  TestObject* target = enemy(vector3df(60, 0, 0));
  ASSERT_EQ(target->uid, 300u);
  const struct {
    bool force;
    bool followAnywhere;
    const char* bytes;
  } cases[] = {
      {true, true, "03 03 2C 01 03"},
      {true, false, "03 03 2C 01 01"},
      {false, true, "03 03 2C 01 02"},
      {false, false, "03 03 2C 01 00"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.bytes);
    attack_order order(target, c.force, c.followAnywhere);
    const Bytes record = saved(order);
    EXPECT_EQ(hexText(record), hex(c.bytes));
    OrderPtr loaded = loadRecord(record);
    auto* attack = dynamic_cast<attack_order*>(loaded.get());
    ASSERT_NE(attack, nullptr);
    EXPECT_EQ(attack->target, target);
    EXPECT_EQ(attack->force, c.force);
    EXPECT_EQ(attack->homeContainer, c.followAnywhere ? nullptr : home);
    EXPECT_EQ(attack->targetOwner, blue);
    EXPECT_EQ(queuedPostObjectTreeSteps(), 0u);
  }
  attack_order lost(target, true, true);
  destroyEarly(target);
  EXPECT_EQ(hexText(saved(lost)), hex("00")) << "a gone target is not saved";
}

TEST_F(AttackOrderTest, ALoadedTargetIsResolvedOnceTheTreeExistsOrFailsTheLoad) {
  ASSERT_EQ(getObjectByUID(700), nullptr);
  for (const bool exists : {false, true}) {
    SCOPED_TRACE(exists ? "loaded later" : "gone");
    nextUid = 700;
    OrderPtr loaded = loadRecord(hexBytes("03 03 BC 02 01"));  // UID 700, force, keeps a home container
    auto* attack = dynamic_cast<attack_order*>(loaded.get());
    ASSERT_NE(attack, nullptr);
    EXPECT_EQ(attack->target, nullptr);
    EXPECT_TRUE(attack->force);
    ASSERT_EQ(queuedPostObjectTreeSteps(), 1u);
    if (exists) {
      TestObject* target = enemy(vector3df(60, 0, 0));
      ASSERT_EQ(target->uid, 700u);
      runPostObjectTreeSteps();
      EXPECT_EQ(attack->target, target);
      EXPECT_EQ(attack->targetOwner, blue);
      EXPECT_EQ(attack->homeContainer, home);
    } else {
      try {
        runPostObjectTreeSteps();
        ADD_FAILURE() << "the load went on";
      } catch (const SaveFileError& error) {
        EXPECT_EQ(error, (SaveFileError{5, "Invalid target"}));
      }
      EXPECT_EQ(queuedPostObjectTreeSteps(), 0u);
    }
  }
}

TEST_F(AttackOrderTest, ACutSavedRecordThrows) {
  for (const char* record : {"", "03", "03 03 2C", "03 03 2C 01"}) {
    SCOPED_TRACE(record);
    try {
      loadRecord(hexBytes(record));
      ADD_FAILURE() << "no error";
    } catch (const SaveFileError& error) {
      EXPECT_EQ(error, (SaveFileError{4, "Unexpected EOF"}));
    }
  }
}

TEST_F(AttackOrderTest, NetworkRecords) {
  TestObject* target = enemy(vector3df(60, 0, 0));
  for (const bool force : {false, true}) {
    for (const bool followAnywhere : {false, true}) {
      SCOPED_TRACE(std::to_string(force) + std::to_string(followAnywhere));
      attack_order order(target, force, followAnywhere);
      RakNet::BitStream stream;
      order.writeNetwork(stream);
      EXPECT_EQ(stream.GetNumberOfBitsUsed(), 8u + 32u + 2u);
      uint8_t type = 0;
      uint32_t uid = 0;
      bool forceBit = false;
      bool followBit = false;
      ASSERT_TRUE(stream.Read(type) && stream.Read(uid) && stream.Read(forceBit) && stream.Read(followBit));
      EXPECT_EQ(type, OrdT_Attack);
      EXPECT_EQ(uid, target->uid);
      EXPECT_EQ(forceBit, force);
      EXPECT_EQ(followBit, followAnywhere);

      stream.SetReadOffset(0);
      OrderPtr read(readOrderFromNetwork(stream, nullptr));
      auto* attack = dynamic_cast<attack_order*>(read.get());
      ASSERT_NE(attack, nullptr);
      EXPECT_EQ(attack->target, target);
      EXPECT_EQ(attack->force, force);
      EXPECT_EQ(attack->homeContainer, followAnywhere ? nullptr : home);
    }
  }

  // An unknown UID, and records cut short, give no order.
  RakNet::BitStream unknown;
  unknown.Write(static_cast<uint8_t>(OrdT_Attack));
  unknown.Write(static_cast<uint32_t>(target->uid + 1000));
  unknown.Write(true);
  unknown.Write(true);
  EXPECT_EQ(OrderPtr(readOrderFromNetwork(unknown, nullptr)), nullptr);
  for (int bits : {0, 1}) {
    RakNet::BitStream cut;
    cut.Write(static_cast<uint8_t>(OrdT_Attack));
    cut.Write(static_cast<uint32_t>(target->uid));
    for (int i = 0; i < bits; ++i)
      cut.Write(true);
    EXPECT_EQ(OrderPtr(readOrderFromNetwork(cut, nullptr)), nullptr) << bits << " flag bits";
  }
}

}  // namespace

}  // namespace attack_order_test
