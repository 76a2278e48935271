#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "core/common_strings.h"
#include "core/post_load.h"
#include "design/effects/resources.h"
#include "movement_fixture.h"
#include "support/save_bytes.h"
#include "universe/movement/mobile_mover.h"
#include "universe/objects/object_states.h"
#include "universe/orders/cargo_orders.h"

namespace transfer_order_test {

namespace {

using movementtest::expectNear;

using OrderPtr = std::unique_ptr<Order>;

const cargoData kCargoFuel = [] {
  cargoData resource;
  resource.canBeCargo = true;
  return resource;
}();

// A common-string view with "Fuel" at index 3 (the view is in name order).
std::vector<const irr::core::stringw*> fuelAtThree() {
  return {internCommonString(L"Armor"), internCommonString(L"Crew"), internCommonString(L"Damage"),
          internCommonString(L"Fuel")};
}

class TransferOrderTest : public movementtest::MadeObjectsTest {
 protected:
  void SetUp() override {
    MadeObjectsTest::SetUp();
    system_ = makeSystem();
  }

  // A plain object in the test's system (or in `container`).
  TestObject* makeObject(const vector3df& position, const wchar_t* name = L"", int type = OT_Planet) {
    auto* object = new TestObject(red, type, name);
    object->radius = 1.0f;
    object->setContainer(system_);
    object->position = position;
    made_.push_back(object);
    return object;
  }

  // A ship with a mobile mover of `thrust` in the test's system.
  TestObject* makeShip(const vector3df& position, float thrust = 1.0f) {
    TestObject* ship = makeObject(position, L"Ship", OT_Hulled);
    ship->mover = new MobileMover();
    MobileMover::of(ship)->thrust = thrust;
    return ship;
  }

  // The "Fuel" state of `object`, set to these amounts.
  static State& fuel(generic_object* object, float val, float max, float inCargo = 0.0f) {
    State* state = getOrAddObjectState(object, L"Fuel");
    state->value.val = val;
    state->value.max = max;
    state->value.inCargo = inCargo;
    return *state;
  }

  static float fuelOf(generic_object* object) { return findObjectState(object, L"Fuel")->value.val; }

  static Bytes saved(const Order& order, const std::vector<const irr::core::stringw*>& strings = fuelAtThree()) {
    auto stream = SaveStream::createInMemory();
    stream->commonStrings() = strings;
    order.save(*stream);
    return writtenBody(*stream);
  }

  static OrderPtr load(const Bytes& record) {
    const Bytes file = withHeader(record);
    auto stream = readerOver(file);
    stream->commonStrings() = fuelAtThree();
    EXPECT_EQ(stream->readU8(), OrdT_Transfer);
    return OrderPtr(readTransferOrderSave(*stream));
  }

  static OrderPtr throughNetwork(const Order& order) {
    RakNet::BitStream stream;
    order.writeNetwork(stream);
    uint8_t type = 0;
    EXPECT_TRUE(stream.Read(type));
    EXPECT_EQ(type, OrdT_Transfer);
    return OrderPtr(readTransferOrderNetwork(stream));
  }

  solarSystem* system_ = nullptr;
};

// --- Execute -------------------------------------------------------------------

TEST_F(TransferOrderTest, TransferEndsAtOnceWithoutAnythingToDo) {
  enum Trouble { ZeroAmount, NegativeAmount, OtherInvalid, OtherWithoutContainer, OtherLeftHome };
  for (Trouble trouble : {ZeroAmount, NegativeAmount, OtherInvalid, OtherWithoutContainer, OtherLeftHome}) {
    SCOPED_TRACE(trouble);
    TestObject* ship = makeShip({0, 0, 0});
    TestObject* depot = makeObject({3, 0, 0});
    fuel(ship, 5, 10);
    fuel(depot, 0, 10);
    const float amount = trouble == ZeroAmount ? 0.0f : trouble == NegativeAmount ? -1.0f : 2.0f;
    transfer_order order(TM_Amount, amount, 0.0f, depot, L"Fuel", false);
    if (trouble == OtherInvalid)
      depot->clearFlag(FLAG_VALID);
    if (trouble == OtherWithoutContainer)
      depot->setContainer(nullptr);
    if (trouble == OtherLeftHome)
      depot->setContainer(makeSystem({500, 0, 0}));
    EXPECT_EQ(order.execute(*ship), Done);
    EXPECT_FLOAT_EQ(fuelOf(ship), 5.0f) << "nothing moves";
    depot->setFlag(FLAG_VALID);
  }
}

TEST_F(TransferOrderTest, TransferAllAmountWaitsForTheSourceAndEndsAfterAFullPass) {
  TestObject* ship = makeShip({0, 0, 0});
  TestObject* depot = makeObject({3, 0, 0});
  fuel(ship, 4, 20);
  fuel(depot, 0, 100);
  transfer_order order(TM_All_Amount, 10.0f, 0.0f, depot, L"Fuel", false);

  EXPECT_EQ(order.execute(*ship), Running);
  EXPECT_FLOAT_EQ(fuelOf(ship), 0.0f);
  EXPECT_FLOAT_EQ(fuelOf(depot), 4.0f);
  EXPECT_FLOAT_EQ(order.remaining, 6.0f);

  EXPECT_EQ(order.execute(*ship), Running) << "waits while the source is empty";
  EXPECT_FLOAT_EQ(fuelOf(depot), 4.0f);

  fuel(ship, 6, 20);
  EXPECT_EQ(order.execute(*ship), Done) << "a full pass ends the order";
  EXPECT_FLOAT_EQ(fuelOf(ship), 0.0f);
  EXPECT_FLOAT_EQ(fuelOf(depot), 10.0f);
  EXPECT_FLOAT_EQ(order.remaining, 10.0f);
}

struct MoveCase {
  const char* what;
  uint8_t mode;
  float amount, minimum;
  float have, room;  // the giver's stock, the receiver's room (max 20)
  OrderResult result;
  float moved;
};

TEST_F(TransferOrderTest, TransferModesMoveTheirShare) {
  const MoveCase cases[] = {
      {"amount below have and room", TM_Amount, 2, 0, 8, 10, Done, 2},
      {"amount limited by room", TM_Amount, 5, 0, 8, 3, Done, 3},
      {"amount limited by have", TM_Amount, 5, 0, 4, 10, Done, 4},
      {"percent 1.0 moves all it has", TM_Percent, 1.0f, 0, 4, 10, Done, 4},
      {"percent 1.0 limited by room", TM_Percent, 1.0f, 0, 8, 3, Done, 3},
      {"percent 0.5 moves half", TM_Percent, 0.5f, 0, 8, 10, Done, 4},
      {"all-amount limited by room keeps going", TM_All_Amount, 10, 0, 8, 3, Running, 3},
      {"an empty source ends an amount", TM_Amount, 5, 0, 0, 10, Done, 0},
      {"a full receiver moves nothing", TM_Amount, 5, 0, 8, 0, Done, 0},
      {"an unknown mode moves nothing", 3, 5, 0, 8, 10, Done, 0},
      {"below the minimum ends it", TM_Amount, 5, 5, 4, 10, Done, 0},
      {"at the minimum it moves", TM_Amount, 5, 4, 4, 10, Done, 4},
      {"a minimum below 0.01 is none", TM_Amount, 5, 0.009f, 0.005f, 10, Done, 0.005f},
      {"a minimum of 0.01 counts", TM_Amount, 5, 0.01f, 0.005f, 10, Done, 0},
  };
  for (const MoveCase& c : cases) {
    SCOPED_TRACE(c.what);
    TestObject* ship = makeShip({0, 0, 0});
    TestObject* depot = makeObject({3, 0, 0});
    fuel(ship, c.have, 20);
    fuel(depot, 20 - c.room, 20);
    transfer_order order(c.mode, c.amount, c.minimum, depot, L"Fuel", false);
    EXPECT_EQ(order.execute(*ship), c.result);
    EXPECT_FLOAT_EQ(fuelOf(ship), c.have - c.moved);
    EXPECT_FLOAT_EQ(fuelOf(depot), 20 - c.room + c.moved);
  }
}

TEST_F(TransferOrderTest, TransferFromTakesFromTheOtherCargoFirst) {
  TestObject* ship = makeShip({0, 0, 0});
  TestObject* depot = makeObject({3, 0, 0}, L"Depot");
  depot->cargoSpace = 10;
  depot->cargoUsed = 3;
  fuel(ship, 0, 20);
  fuel(depot, 5, 5, 3).value.resource = &kCargoFuel;
  transfer_order order(TM_From | TM_Amount, 4.0f, 0.0f, depot, L"Fuel", false);
  EXPECT_EQ(order.execute(*ship), Done);
  EXPECT_FLOAT_EQ(fuelOf(ship), 4.0f);
  const State& taken = *findObjectState(depot, L"Fuel");
  EXPECT_FLOAT_EQ(taken.value.inCargo, 0.0f);
  EXPECT_FLOAT_EQ(taken.value.val, 4.0f);
  EXPECT_FLOAT_EQ(depot->cargoUsed, 0.0f);
}

TEST_F(TransferOrderTest, TransferFarFromTheOtherApproachesWhenItCan) {
  struct Case {
    const char* what;
    bool mover;
    float thrust;
    OrderResult result;
  };
  const Case cases[] = {
      {"a ship with thrust pursues", true, 1.0f, Running},
      {"a ship without thrust gives up", true, 0.0f, Done},
      {"an object without a mover gives up", false, 0.0f, Done},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TestObject* ship = c.mover ? makeShip({0, 0, 0}, c.thrust) : makeObject({0, 0, 0});
    TestObject* depot = makeObject({100, 0, 0});
    fuel(ship, 5, 10);
    fuel(depot, 0, 10);
    transfer_order order(TM_Amount, 2.0f, 0.0f, depot, L"Fuel", false);
    EXPECT_EQ(order.execute(*ship), c.result);
    EXPECT_FLOAT_EQ(fuelOf(depot), 0.0f) << "nothing moves from afar";
    if (c.result == Running) {
      EXPECT_EQ(MobileMover::of(ship)->target, depot);
    }
  }
}

// --- Copies and texts ----------------------------------------------------------

TEST_F(TransferOrderTest, TransferCloneAndText) {
  TestObject* depot = makeObject({3, 0, 0}, L"Depot");
  for (uint8_t mode : {uint8_t(TM_From | TM_Percent), uint8_t(TM_Amount)}) {
    transfer_order order(mode, 0.5f, 2.0f, depot, L"Fuel", false);
    order.remaining = 0.25f;
    EXPECT_EQ(order.describe(),
              irr::core::stringw(mode & TM_From ? L"Take Fuel from Depot" : L"Transfer Fuel to Depot"));
    OrderPtr copy(order.clone());
    auto* transfer = dynamic_cast<transfer_order*>(copy.get());
    ASSERT_NE(transfer, nullptr);
    EXPECT_EQ(transfer->mode, mode);
    EXPECT_EQ(transfer->amount, 0.5f);
    EXPECT_EQ(transfer->remaining, 0.25f);
    EXPECT_EQ(transfer->minimum, 2.0f);
    EXPECT_EQ(transfer->getTarget(), depot);
    EXPECT_EQ(transfer->homeContainer, system_);
    EXPECT_EQ(transfer->resource, internCommonString(L"Fuel"));
  }
  transfer_order gone(TM_Amount, 1.0f, 0.0f, depot, L"Fuel", true);
  depot->clearFlag(FLAG_VALID);
  EXPECT_EQ(gone.clone(), nullptr);
  depot->setFlag(FLAG_VALID);
}

TEST_F(TransferOrderTest, TransferOrdersComeFromTheirPoolInBlocksOf5000) {
  ObjectPool& pool = transferOrderPool();
  EXPECT_EQ(pool.elementSize(), sizeof(transfer_order));
  const unsigned blocks = pool.blockCount();
  std::vector<void*> taken;
  for (int n = 0; n < kTransferPoolBlockElements * static_cast<int>(blocks); ++n)
    taken.push_back(allocTransferOrder(sizeof(transfer_order)));
  EXPECT_EQ(pool.blockCount(), blocks) << "every block was free";
  taken.push_back(allocTransferOrder(sizeof(transfer_order)));
  EXPECT_EQ(pool.blockCount(), blocks + 1);
  for (void* memory : taken)
    releaseTransferOrder(memory);
  EXPECT_EQ(pool.blockCount(), blocks);
  releaseTransferOrder(nullptr);
}

// --- Records -------------------------------------------------------------------

TEST_F(TransferOrderTest, TransferSaveRecordAndAnOtherObjectLoadedLater) {
  const char* const kRecord = "08 01 4D 01 00 00 80 3F 00 00 80 3F 00 00 00 00 82 01 03";
  OrderPtr loaded = load(hexBytes(kRecord));
  auto* transfer = dynamic_cast<transfer_order*>(loaded.get());
  ASSERT_NE(transfer, nullptr);
  EXPECT_EQ(transfer->getTarget(), nullptr) << "not before the object tree is complete";

  const uint32_t counter = nextUid.exchange(77);  // the other object is loaded after the order
  TestObject* depot = makeObject({3, 0, 0});
  nextUid = std::max(counter, 78u);
  ASSERT_EQ(depot->uid, 77u);
  runPostObjectTreeSteps();

  EXPECT_EQ(transfer->getTarget(), depot);
  EXPECT_EQ(transfer->homeContainer, nullptr);
  EXPECT_EQ(transfer->mode, 0x82);
  EXPECT_EQ(transfer->amount, 1.0f);
  EXPECT_EQ(transfer->remaining, 1.0f);
  EXPECT_EQ(transfer->minimum, 0.0f);
  EXPECT_EQ(transfer->resource, internCommonString(L"Fuel"));
  EXPECT_EQ(hexText(saved(*transfer)), hex(kRecord));

  transfer_order made(0x82, 1.0f, 0.0f, depot, L"Fuel", true);
  EXPECT_EQ(hexText(saved(made)), hex(kRecord));
}

TEST_F(TransferOrderTest, TransferWithHomeContainerSavesAndRestoresIt) {
  TestObject* depot = makeObject({3, 0, 0});
  transfer_order order(TM_From | TM_All_Amount, 8.0f, 0.5f, depot, L"Fuel", false);
  order.remaining = 3.0f;
  const Bytes record = saved(order);
  OrderPtr loaded = load(record);
  runPostObjectTreeSteps();
  auto* transfer = static_cast<transfer_order*>(loaded.get());
  EXPECT_EQ(transfer->getTarget(), depot);
  EXPECT_EQ(transfer->homeContainer, system_);
  EXPECT_EQ(transfer->remaining, 3.0f);
  EXPECT_EQ(saved(*transfer), record);
}

TEST_F(TransferOrderTest, TransferRecordsWithoutAnOtherOrWithBadContents) {
  TestObject* depot = makeObject({3, 0, 0});
  transfer_order order(TM_Amount, 1.0f, 0.0f, depot, L"Fuel", true);
  depot->clearFlag(FLAG_VALID);
  EXPECT_EQ(hexText(saved(order)), "00") << "no other object: the single byte 0";
  depot->setFlag(FLAG_VALID);

  const SaveFileError unknownName = saveErrorOf([&] { saved(order, {internCommonString(L"Armor")}); });
  EXPECT_EQ(unknownName, kSaveErrorInvalidCommonString);

  const char* const cut[] = {"08", "08 01 4D", "08 01 4D 01 00 00 80 3F 00 00 80",
                             "08 01 4D 01 00 00 80 3F 00 00 80 3F 00 00 00 00 82 01"};
  for (const char* record : cut)
    EXPECT_EQ(saveErrorOf([&] { load(hexBytes(record)); }), kSaveErrorEOF) << record;
  EXPECT_EQ(saveErrorOf([&] { load(hexBytes("08 01 4D 01 00 00 80 3F 00 00 80 3F 00 00 00 00 82 01 04")); }),
            kSaveErrorInvalidCommonString);
  EXPECT_EQ(queuedPostObjectTreeSteps(), 0u) << "a failed record queues nothing";
}

TEST_F(TransferOrderTest, TransferNetworkRoundTrip) {
  TestObject* depot = makeObject({3, 0, 0});
  for (bool followAnywhere : {true, false}) {
    transfer_order order(TM_From | TM_Percent, 0.75f, 1.5f, depot, L"Fuel", followAnywhere);
    OrderPtr back = throughNetwork(order);
    auto* transfer = dynamic_cast<transfer_order*>(back.get());
    ASSERT_NE(transfer, nullptr);
    EXPECT_EQ(transfer->getTarget(), depot);
    EXPECT_EQ(transfer->homeContainer, followAnywhere ? nullptr : system_);
    EXPECT_EQ(transfer->mode, TM_From | TM_Percent);
    EXPECT_EQ(transfer->amount, 0.75f);
    EXPECT_EQ(transfer->remaining, 0.75f);
    EXPECT_EQ(transfer->minimum, 1.5f);
    EXPECT_EQ(transfer->resource, internCommonString(L"Fuel"));
  }
}

TEST_F(TransferOrderTest, TransferNetworkRecordsThatGiveNoOrder) {
  TestObject* depot = makeObject({3, 0, 0});
  transfer_order unnamed(TM_Amount, 1.0f, 0.0f, depot, L"", true);
  EXPECT_EQ(throughNetwork(unnamed), nullptr) << "an empty resource name";

  transfer_order order(TM_Amount, 1.0f, 0.0f, depot, L"Fuel", true);
  RakNet::BitStream full;
  order.writeNetwork(full);
  const auto bits = full.GetNumberOfBitsUsed();
  for (RakNet::BitSize keep : {bits - 1, bits - 40, RakNet::BitSize{20}}) {
    RakNet::BitStream cut;
    cut.WriteBits(full.GetData(), keep, false);
    uint8_t type = 0;
    ASSERT_TRUE(cut.Read(type));
    EXPECT_EQ(OrderPtr(readTransferOrderNetwork(cut)), nullptr) << keep;
  }

  unregisterUid(depot->uid, depot);  // a UID that names no object
  EXPECT_EQ(throughNetwork(order), nullptr);
  registerUid(depot->uid, depot);

  depot->clearFlag(FLAG_VALID);
  RakNet::BitStream none;
  order.writeNetwork(none);
  EXPECT_EQ(none.GetNumberOfBitsUsed(), 8u) << "no other object: the single byte 0";
  depot->setFlag(FLAG_VALID);
}

}  // namespace

}  // namespace transfer_order_test
