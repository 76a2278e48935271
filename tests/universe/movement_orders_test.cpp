#include "universe/orders/movement_orders.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "core/post_load.h"
#include "support/save_bytes.h"
#include "universe/movement/mobile_mover.h"
#include "movement_fixture.h"

namespace movement_orders_test {

namespace {

using movementtest::expectNear;
using movementtest::le32;

using OrderPtr = std::unique_ptr<Order>;

// A u32 as little-endian hex, as records hold it.


class MovementOrderTest : public movementtest::MadeObjectsTest {
 protected:
  // A plain object of `type` at `position` in `container` (none for null).
  TestObject* makeObject(int type, const vector3df& position, float radius = 1.0f,
                         generic_object* container = nullptr, const wchar_t* name = L"") {
    auto* object = new TestObject(red, type, name);
    object->radius = radius;
    if (container != nullptr)
      object->setContainer(container);
    object->position = position;
    made_.push_back(object);
    return object;
  }

  // A ship with a mobile mover of `thrust`.
  TestObject* makeShip(const vector3df& position, float radius = 1.0f, float thrust = 1.0f,
                       generic_object* container = nullptr) {
    TestObject* ship = makeObject(OT_Hulled, position, radius, container);
    auto* mover = new MobileMover();
    mover->thrust = thrust;
    ship->mover = mover;
    return ship;
  }

  static MobileMover& moverOf(generic_object* object) { return *MobileMover::of(object); }

  // The save record of `order` (type byte included).
  static Bytes saved(const Order& order) {
    auto stream = SaveStream::createInMemory();
    order.save(*stream);
    return writtenBody(*stream);
  }

  // The order read back from `record` (type byte included) at `version`.
  static OrderPtr load(const Bytes& record, int32_t version = SaveStream::kVersion) {
    const Bytes file = withHeader(record, version);
    auto stream = readerOver(file);
    const uint8_t type = stream->readU8();
    return OrderPtr(type == OrdT_Move ? readMoveOrderSave(*stream) : readGotoOrderSave(*stream));
  }

  static OrderPtr throughNetwork(const Order& order) {
    RakNet::BitStream stream;
    order.writeNetwork(stream);
    uint8_t type = 0;
    EXPECT_TRUE(stream.Read(type));
    EXPECT_EQ(type, order.getType());
    return OrderPtr(type == OrdT_Move ? readMoveOrderNetwork(stream) : readGotoOrderNetwork(stream));
  }

 private:
};

// --- Movement steps ------------------------------------------------------------

TEST_F(MovementOrderTest, StoppingPointLiesAlongTheVelocity) {
  struct Case {
    vector3df velocity;
    float thrust;
    double mass;
    vector3df expected;  // from a ship at (10, 0, 0)
  };
  const Case cases[] = {
      {{0, 0, 0}, 2.0f, 1.0, {10, 0, 0}},
      {{4, 0, 0}, 2.0f, 1.0, {10 + 4 * (2.0f * 0.4f), 0, 0}},  // t = 4 / 2
      {{0, 3, 4}, 1.0f, 2.0, {10, 3 * (10 * 0.4f), 4 * (10 * 0.4f)}},  // t = 5 / 0.5
  };
  for (const Case& c : cases) {
    TestObject* ship = makeShip({10, 0, 0}, 1.0f, c.thrust);
    ship->velocity = c.velocity;
    ship->setBaseMass(c.mass);
    expectNear(stoppingPoint(*ship, moverOf(ship)), c.expected);
  }
}

TEST_F(MovementOrderTest, BrakeToStopHeadsForTheStoppingPoint) {
  TestObject* ship = makeShip({0, 0, 0}, 1.0f, 2.0f);
  ship->velocity = vector3df(4, 0, 0);
  moverOf(ship).setDestination(vector3df(100, 0, 0));
  brakeToStop(*ship);
  expectNear(moverOf(ship).destination, vector3df(3.2f, 0, 0));

  TestObject* still = makeShip({5, 0, 0}, 1.0f, 2.0f);  // already headed for where it is
  still->velocity = vector3df(4, 0, 0);
  moverOf(still).setDestination(vector3df(5, 0, 0));
  brakeToStop(*still);
  expectNear(moverOf(still).destination, vector3df(5, 0, 0));
}

TEST_F(MovementOrderTest, ApproachTargetPursuesUntilNearThenBrakes) {
  struct Case {
    float gap;  // between the centres
    bool pursues;
    bool inReach;
  };
  // Radii 1 + 2: near 3 ends at 6, far 10 at 13.
  const Case cases[] = {{20, true, false}, {13, true, true}, {8, true, true}, {6, false, true}, {4, false, true}};
  for (const Case& c : cases) {
    TestObject* ship = makeShip({0, 0, 0});
    TestObject* target = makeObject(OT_Hulled, {c.gap, 0, 0}, 2.0f);
    EXPECT_EQ(approachTarget(*ship, *target, 3.0f, 10.0f), c.inReach) << c.gap;
    EXPECT_EQ(moverOf(ship).target == target, c.pursues) << c.gap;
  }
}

// --- move_order ----------------------------------------------------------------

TEST_F(MovementOrderTest, MoveOrderWithoutToleranceFinishesWithinTheOwnRadius) {
  struct Case {
    float gap;
    OrderResult result;
  };
  const Case cases[] = {{10.0f, Running}, {2.01f, Running}, {2.0f, Done}, {0.5f, Done}};
  for (const Case& c : cases) {
    TestObject* ship = makeShip({0, 0, 0}, 2.0f);
    move_order order(vector3df(c.gap, 0, 0), 0.0f);
    EXPECT_EQ(order.execute(*ship), c.result) << c.gap;
    expectNear(moverOf(ship).destination, c.result == Done ? vector3df(0, 0, 0) : vector3df(c.gap, 0, 0));
  }
}

TEST_F(MovementOrderTest, MoveOrderToleranceWidensArrival) {
  TestObject* ship = makeShip({0, 0, 0}, 1.0f);
  move_order order(vector3df(3, 0, 0), 3.0f);  // 1 + 9 >= 9
  EXPECT_EQ(order.execute(*ship), Done);
}

TEST_F(MovementOrderTest, ObjectsWithoutMobileMoverStopAndFinishAtOnce) {
  TestObject* planet = makeObject(OT_Planet, {0, 0, 0});
  TestObject* target = makeObject(OT_Hulled, {50, 0, 0});
  TestObject* idle = makeShip({0, 0, 0}, 1.0f, 0.0f);  // no thrust
  moverOf(idle).setDestination(vector3df(9, 0, 0));
  for (generic_object* object : {static_cast<generic_object*>(planet), static_cast<generic_object*>(idle)}) {
    move_order move(vector3df(100, 0, 0), 0.0f);
    goto_order go(target, true, 0.0f);
    EXPECT_EQ(move.execute(*object), Done);
    EXPECT_EQ(go.execute(*object), Done);
  }
  expectNear(moverOf(idle).destination, vector3df(0, 0, 0));
}

TEST_F(MovementOrderTest, MoveOrderCloneAndText) {
  move_order order(vector3df(1, 2, 3), 4.0f);
  OrderPtr copy(order.clone());
  auto* move = dynamic_cast<move_order*>(copy.get());
  ASSERT_NE(move, nullptr);
  expectNear(move->getDestination(), vector3df(1, 2, 3));
  EXPECT_FLOAT_EQ(move->toleranceSquared, 16.0f);
  EXPECT_EQ(order.describe(), irr::core::stringw(L"Moving"));
  EXPECT_EQ(order.getTarget(), nullptr);
}

// --- goto_order ----------------------------------------------------------------

TEST_F(MovementOrderTest, GotoReachCountsRadiiAndDistance) {
  struct Case {
    int targetType;
    float distance;
    float gap;
    OrderResult result;
  };
  // Ship radius 1, target radius 5.
  const Case cases[] = {
      {OT_Hulled, 2.0f, 8.5f, Running},  {OT_Hulled, 2.0f, 8.0f, Done},
      {OT_System, 2.0f, 3.5f, Running},  {OT_System, 2.0f, 3.0f, Done},  // the system's radius counts 0
      {OT_Hulled, -1.0f, 11.5f, Running}, {OT_Hulled, -1.0f, 11.0f, Done},  // negative: the target's radius
  };
  for (const Case& c : cases) {
    TestObject* ship = makeShip({0, 0, 0});
    TestObject* target = makeObject(c.targetType, {c.gap, 0, 0}, 5.0f);
    goto_order order(target, true, c.distance);
    EXPECT_EQ(order.execute(*ship), c.result) << c.targetType << " " << c.distance << " " << c.gap;
    EXPECT_EQ(moverOf(ship).target == target, c.result == Running);
  }
}

TEST_F(MovementOrderTest, GotoArrivalStopsAtTheStoppingPoint) {
  TestObject* ship = makeShip({0, 0, 0}, 1.0f, 2.0f);
  ship->velocity = vector3df(4, 0, 0);
  TestObject* target = makeObject(OT_Hulled, {2, 0, 0});
  goto_order order(target, true, 0.0f);
  EXPECT_EQ(order.execute(*ship), Done);
  expectNear(moverOf(ship).destination, vector3df(3.2f, 0, 0));
}

TEST_F(MovementOrderTest, GotoHomeContainerDecidesWhetherToFollow) {
  struct Case {
    bool followAnywhere;
    OrderResult result;
  };
  for (const Case& c : {Case{false, Done}, Case{true, Running}}) {
    solarSystem* home = makeSystem({0, 0, 0});
    solarSystem* away = makeSystem({1000, 0, 0});
    TestObject* ship = makeShip({0, 0, 0}, 1.0f, 1.0f, home);
    TestObject* target = makeObject(OT_Hulled, {50, 0, 0}, 1.0f, home);
    goto_order order(target, c.followAnywhere, 0.0f);
    EXPECT_EQ(order.execute(*ship), Running);
    target->setContainer(away);
    EXPECT_EQ(order.execute(*ship), c.result) << c.followAnywhere;
    if (c.result == Done)
      EXPECT_EQ(moverOf(ship).target, nullptr);
    else
      EXPECT_EQ(moverOf(ship).target, target);
  }
}

TEST_F(MovementOrderTest, GotoOnAnInvalidTargetStops) {
  TestObject* ship = makeShip({0, 0, 0});
  TestObject* target = makeObject(OT_Hulled, {50, 0, 0});
  goto_order order(target, true, 0.0f);
  target->clearFlag(FLAG_VALID);
  EXPECT_EQ(order.execute(*ship), Done);
  EXPECT_EQ(hexText(saved(order)), "00");
  target->setFlag(FLAG_VALID);
}

TEST_F(MovementOrderTest, GotoCloneAndText) {
  solarSystem* home = makeSystem();
  TestObject* target = makeObject(OT_Hulled, {5, 0, 0}, 1.0f, home, L"Vesper");
  for (bool followAnywhere : {false, true}) {
    goto_order order(target, followAnywhere, 3.0f);
    OrderPtr copy(order.clone());
    auto* go = dynamic_cast<goto_order*>(copy.get());
    ASSERT_NE(go, nullptr);
    EXPECT_EQ(go->getTarget(), target);
    EXPECT_EQ(go->homeContainer, followAnywhere ? nullptr : home);
    EXPECT_FLOAT_EQ(go->distance, 3.0f);
    EXPECT_EQ(order.describe(), irr::core::stringw(L"Moving to Vesper"));
  }
}

TEST_F(MovementOrderTest, GotoOrdersComeFromTheirPool) {
  EXPECT_EQ(gotoOrderPool().elementSize(), sizeof(goto_order));
  void* memory = allocGotoOrder(sizeof(goto_order));
  EXPECT_NE(memory, nullptr);
  releaseGotoOrder(memory);
  releaseGotoOrder(nullptr);
}

// --- Records -------------------------------------------------------------------

TEST_F(MovementOrderTest, MoveOrderSaveRecordAndRoundTrip) {
  move_order order(vector3df(1, 2, 3), 0.5f);
  const Bytes record = saved(order);
  EXPECT_EQ(hexText(record), hex("01 0000803F 00000040 00004040 0000003F"));
  OrderPtr loaded = load(record);
  auto* move = dynamic_cast<move_order*>(loaded.get());
  ASSERT_NE(move, nullptr);
  expectNear(move->destination, vector3df(1, 2, 3), 0.0f);
  EXPECT_EQ(move->toleranceSquared, order.toleranceSquared);
  EXPECT_EQ(saved(*move), record);
}

TEST_F(MovementOrderTest, MoveOrderNetworkRoundTrip) {
  move_order order(vector3df(300, -40, 5), 2.5f);
  OrderPtr back = throughNetwork(order);
  auto* move = dynamic_cast<move_order*>(back.get());
  ASSERT_NE(move, nullptr);
  expectNear(move->destination, order.destination, 0.05f);  // the direction is compressed
  EXPECT_FLOAT_EQ(move->toleranceSquared, 6.25f);
}

TEST_F(MovementOrderTest, GotoSaveRecordResolvesAfterTheSteps) {
  solarSystem* home = makeSystem();
  TestObject* target = makeObject(OT_Hulled, {5, 0, 0}, 1.0f, home);
  for (bool followAnywhere : {true, false}) {
    goto_order order(target, followAnywhere, 1.5f);
    const Bytes record = saved(order);
    const std::string expected = "02 " + le32(target->uid) + (followAnywhere ? " 00" : " 01") + " 0000C03F";
    EXPECT_EQ(hexText(record), hex(expected.c_str()));
    OrderPtr loaded = load(record);
    auto* go = dynamic_cast<goto_order*>(loaded.get());
    ASSERT_NE(go, nullptr);
    EXPECT_EQ(go->getTarget(), nullptr);  // not before the object tree is complete
    EXPECT_FLOAT_EQ(go->distance, 1.5f);
    runPostObjectTreeSteps();
    EXPECT_EQ(go->getTarget(), target);
    EXPECT_EQ(go->homeContainer, followAnywhere ? nullptr : home);
    EXPECT_EQ(saved(*go), record);
  }
}

TEST_F(MovementOrderTest, GotoBeforeVersion22IsTheTypeByteAlone) {
  const Bytes file = withHeader(hexBytes("02 01"), 21);
  auto stream = readerOver(file);
  EXPECT_EQ(stream->readU8(), OrdT_Goto);
  EXPECT_EQ(readGotoOrderSave(*stream), nullptr);
  EXPECT_EQ(stream->remaining(), 1u);
  EXPECT_EQ(queuedPostObjectTreeSteps(), 0u);
}

TEST_F(MovementOrderTest, GotoWithMissingTargetFinishesAtFirstExecute) {
  TestObject* ship = makeShip({0, 0, 0});
  moverOf(ship).setDestination(vector3df(40, 0, 0));
  OrderPtr loaded = load(hexBytes("02 00FFFFFF 01 00000000"));
  ASSERT_NE(loaded, nullptr);
  runPostObjectTreeSteps();
  auto* go = static_cast<goto_order*>(loaded.get());
  EXPECT_EQ(go->getTarget(), nullptr);
  EXPECT_EQ(go->homeContainer, nullptr);
  EXPECT_EQ(go->describe(), irr::core::stringw(L"Moving to "));
  EXPECT_EQ(go->clone(), nullptr);
  EXPECT_EQ(hexText(saved(*go)), "00");
  EXPECT_EQ(go->execute(*ship), Done);
  expectNear(moverOf(ship).destination, vector3df(0, 0, 0));
}

TEST_F(MovementOrderTest, GotoNetworkRoundTripFollowsAnywhere) {
  solarSystem* home = makeSystem();
  TestObject* target = makeObject(OT_Hulled, {5, 0, 0}, 1.0f, home);
  goto_order order(target, false, 7.0f);
  OrderPtr back = throughNetwork(order);
  auto* go = dynamic_cast<goto_order*>(back.get());
  ASSERT_NE(go, nullptr);
  EXPECT_EQ(go->getTarget(), target);
  EXPECT_EQ(go->homeContainer, nullptr);
  EXPECT_FLOAT_EQ(go->distance, 7.0f);

  unregisterUid(target->uid, target);  // a UID that names no object
  EXPECT_EQ(throughNetwork(order), nullptr);
  registerUid(target->uid, target);
}

TEST_F(MovementOrderTest, CutSaveRecordsFailWithCode4) {
  const char* const records[] = {"01", "01 0000803F 00000040 00004040 0000", "02", "02 2A000000 01 0000"};
  for (const char* record : records) {
    const Bytes file = withHeader(hexBytes(record));
    auto stream = readerOver(file);
    const uint8_t type = stream->readU8();
    const SaveFileError error = saveErrorOf([&] {
      OrderPtr order(type == OrdT_Move ? readMoveOrderSave(*stream) : readGotoOrderSave(*stream));
    });
    EXPECT_EQ(error, kSaveErrorEOF) << record;
  }
  EXPECT_EQ(queuedPostObjectTreeSteps(), 0u);
}

TEST_F(MovementOrderTest, CutNetworkRecordsGiveNoOrder) {
  TestObject* target = makeObject(OT_Hulled, {5, 0, 0});
  move_order move(vector3df(1, 2, 3), 1.0f);
  goto_order go(target, true, 1.0f);
  for (const Order* order : {static_cast<const Order*>(&move), static_cast<const Order*>(&go)}) {
    RakNet::BitStream full;
    order->writeNetwork(full);
    const auto bits = full.GetNumberOfBitsUsed();
    for (RakNet::BitSize keep : {bits - 1, bits - 20, RakNet::BitSize{10}}) {
      RakNet::BitStream cut;
      cut.WriteBits(full.GetData(), keep, false);
      uint8_t type = 0;
      ASSERT_TRUE(cut.Read(type));
      OrderPtr back(type == OrdT_Move ? readMoveOrderNetwork(cut) : readGotoOrderNetwork(cut));
      EXPECT_EQ(back, nullptr) << int(type) << " " << keep;
    }
  }
}

}  // namespace

}  // namespace movement_orders_test
