// The resource standing orders: collect and deposit (fullness in single
// precision, the scan window, the candidate rules and the transfer put in
// front), fetch (the draw on entering a system, the parked body, the
// candidate rules and its transfer) and their records.
#include <gtest/gtest.h>

#include <initializer_list>
#include <memory>
#include <vector>

#include "core/common_strings.h"
#include "core/random.h"
#include "core/threads.h"
#include "design/hull_list.h"
#include "movement_fixture.h"
#include "platform/bit_stream.h"
#include "support/save_bytes.h"
#include "universe/movement/mobile_mover.h"
#include "universe/objects/object_states.h"
#include "universe/orders/cargo_orders.h"
#include "universe/orders/standing_orders.h"
#include "universe/orders/unit_ai.h"
#include "universe/ships/ship.h"

namespace resource_orders_test {

namespace {

using OrderPtr = std::unique_ptr<Order>;

// A common-string view (in name order) with "Metals" at index 2.
std::vector<const irr::core::stringw*> metalsAtTwo() {
  return {internCommonString(L"Alpha"), internCommonString(L"Bravo"), internCommonString(L"Metals")};
}

class ResourceOrderTest : public movementtest::MadeObjectsTest {
 protected:
  void SetUp() override {
    MadeObjectsTest::SetUp();
    initThreadLocals();
    singleThreaded = true;
    setObjectTestClock(1000);
    system = makeSystem();
  }

  void TearDown() override {
    // The ships go before their layouts.
    clearPostObjectTreeSteps();
    for (auto it = made_.rbegin(); it != made_.rend(); ++it)
      (*it)->destroyNow(true);
    made_.clear();
    for (hull_list* layout : layouts_)
      layout->drop();
    freeThreadLocals();
    singleThreaded = false;
    UniverseTest::TearDown();
  }

  // A ship of `owner` at `position` with a mobile mover of `thrust`.
  objHulled* ship(const vector3df& position, empire* owner = nullptr, float thrust = 1.0f) {
    auto* layout = new hull_list(L"Hauler", owner != nullptr ? owner : red);
    layouts_.push_back(layout);
    auto* made = new objHulled(owner != nullptr ? owner : red, layout, nullptr);
    made->radius = 1.0f;
    made->position = position;
    made->mover = new MobileMover();
    MobileMover::of(made)->thrust = thrust;
    made->setContainer(system);
    made_.push_back(made);
    return made;
  }

  static hull_targeting& targeting(objHulled* ship) { return ship->getHull()->targeting; }

  // A plain store of `type` at `position`.
  TestObject* store(const vector3df& position, int type = OT_Planet, empire* owner = nullptr) {
    auto* made = new TestObject(owner != nullptr ? owner : red, type);
    made->radius = 1.0f;
    made->position = position;
    made->setContainer(system);
    made_.push_back(made);
    return made;
  }

  static void metals(generic_object* object, float val, float max, float inCargo = 0.0f) {
    State* state = getOrAddObjectState(object, L"Metals");
    state->value.val = val;
    state->value.max = max;
    state->value.inCargo = inCargo;
  }

  // Runs `order` on `object` at its next check.
  template <class O>
  static OrderResult runDue(O& order, generic_object* object) {
    setObjectTestClock(order.timer.nextCheck);
    return order.execute(*object);
  }

  // The transfer at the front of `object`'s queue, or null.
  static transfer_order* frontTransfer(generic_object* object) {
    if (object->ai->getOrderCount() == 0)
      return nullptr;
    return dynamic_cast<transfer_order*>(object->ai->getOrder(0));
  }

  static generic_object* frontTarget(generic_object* object) {
    transfer_order* transfer = frontTransfer(object);
    return transfer != nullptr ? transfer->other : nullptr;
  }

  solarSystem* system = nullptr;
  std::vector<hull_list*> layouts_;
};

// --- Collect and deposit
// -------------------------------------------------------

TEST_F(ResourceOrderTest, FullnessIsComparedInSinglePrecision) {
  enum Kind { Collect, Deposit };
  struct Case {
    Kind kind;
    float aboard;  // of 100, no cargo
    bool finishWhenDone;
    OrderResult expected;
  };
  // Collect takes nothing more from 95% on; deposit (threshold 0.95) unloads
  // from 95% on. 95f / 100f equals 0.95f, though it is below the double 0.95.
  const Case cases[] = {
      {Collect, 96, true, Done},     {Collect, 96, false, Running}, {Collect, 95, true, Done},
      {Collect, 95, false, Running}, {Collect, 94, true, Yielded},  {Collect, 94, false, Yielded},
      {Deposit, 95, true, Yielded},  {Deposit, 95, false, Yielded}, {Deposit, 94, true, Done},
      {Deposit, 94, false, Running},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << (c.kind == Collect ? "collect " : "deposit ") << c.aboard << " finish "
                                    << c.finishWhenDone);
    system = makeSystem();
    objHulled* hauler = ship({0, 0, 0});
    metals(hauler, c.aboard, 100);
    metals(store({10, 0, 0}), c.kind == Collect ? 80.0f : 0.0f, 100);
    std::unique_ptr<automation_order> order;
    if (c.kind == Collect)
      order = std::make_unique<collect_order>(L"Metals", 0.5f, c.finishWhenDone);
    else
      order = std::make_unique<deposit_order>(L"Metals", 0.95f, c.finishWhenDone);
    EXPECT_EQ(runDue(*order, hauler), c.expected);
  }
}

TEST_F(ResourceOrderTest, CollectAndDepositScanTenChildrenAtATimeAndWrap) {
  for (const bool collect : {true, false}) {
    SCOPED_TRACE(collect ? "collect" : "deposit");
    system = makeSystem();
    objHulled* hauler = ship({0, 0, 0});  // child 0
    metals(hauler, 50, 100);
    std::vector<TestObject*> stores;
    for (int i = 1; i < 25; ++i)
      stores.push_back(store({static_cast<float>(i), 0, 0}));
    metals(stores[21], 80, 100);  // child 22; the others hold no metals
    std::unique_ptr<automation_order> order;
    if (collect)
      order = std::make_unique<collect_order>(L"Metals", 0.0f, false);
    else
      order = std::make_unique<deposit_order>(L"Metals", 0.1f, false);

    struct Step {
      OrderResult result;
      uint32_t nextIndex;
    };
    for (const Step& step : {Step{Running, 10}, Step{Running, 20}, Step{Yielded, 0}, Step{Running, 10}}) {
      EXPECT_EQ(runDue(*order, hauler), step.result);
      EXPECT_EQ(order->timer.scanIndex, step.nextIndex);
    }
    EXPECT_EQ(frontTarget(hauler), stores[21]);
  }
}

TEST_F(ResourceOrderTest, CollectCandidateRules) {
  enum Store { Plain, Invalid, Foreign, NoState, NoCapacity, CargoOnly, NotAboveThreshold, TooLittleBeyondRoom };
  struct Case {
    Store kind;
    bool picked;
  };
  // The collector has room for 10; threshold 0.5.
  const Case cases[] = {
      {Plain, true},       {Invalid, false},  {Foreign, false},           {NoState, false},
      {NoCapacity, false}, {CargoOnly, true}, {NotAboveThreshold, false}, {TooLittleBeyondRoom, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.kind);
    system = makeSystem();
    objHulled* hauler = ship({0, 0, 0});
    metals(hauler, 0, 10);
    TestObject* candidate = store({10, 0, 0}, OT_Planet, c.kind == Foreign ? blue : red);
    switch (c.kind) {
      case NoState:
        break;
      case NoCapacity:
        metals(candidate, 80, 0);
        break;
      case CargoOnly:
        metals(candidate, 0, 0, 80);
        break;
      case NotAboveThreshold:
        metals(candidate, 40, 100);
        break;
      case TooLittleBeyondRoom:  // fill 0.55, but (55 - 10) / 100 = 0.45
        metals(candidate, 55, 100);
        break;
      default:
        metals(candidate, 80, 100);
    }
    if (c.kind == Invalid)
      candidate->clearFlag(FLAG_VALID);
    collect_order order(L"Metals", 0.5f, false);
    EXPECT_EQ(runDue(order, hauler), c.picked ? Yielded : Running);
    EXPECT_EQ(frontTarget(hauler), c.picked ? candidate : nullptr);
    candidate->setFlag(FLAG_VALID);
  }
}

TEST_F(ResourceOrderTest, CollectTakesTheBestStockOverDistanceTimesFillForItsRoom) {
  objHulled* hauler = ship({0, 0, 0});
  metals(hauler, 30, 40);
  TestObject* near = store({10, 0, 0});  // (60 / 10) x 0.6 = 3.6
  metals(near, 60, 100);
  TestObject* far = store({20, 0, 0});  // (100 / 20) x 1.0 = 5.0
  metals(far, 100, 100);
  collect_order order(L"Metals", 0.0f, true);

  ASSERT_EQ(runDue(order, hauler), Yielded);
  transfer_order* transfer = frontTransfer(hauler);
  ASSERT_NE(transfer, nullptr);
  EXPECT_EQ(transfer->other, far);
  EXPECT_EQ(transfer->mode, TM_From | TM_Amount);
  EXPECT_FLOAT_EQ(transfer->amount, 10.0f) << "the collector's own room";
  EXPECT_FLOAT_EQ(transfer->minimum, 0.0f);
  EXPECT_EQ(transfer->homeContainer, nullptr) << "follows anywhere";
  EXPECT_EQ(transfer->resource, internCommonString(L"Metals"));
}

TEST_F(ResourceOrderTest, DepositPrefersPlanetsFourToOneWithinTheLayoutsPermissions) {
  struct Case {
    bool shipsReceive;
    bool planetsReceive;
    int winner;  // 0 none, 1 the planet, 2 the ship
  };
  const Case cases[] = {{true, true, 1}, {true, false, 2}, {false, true, 1}, {false, false, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "ships " << c.shipsReceive << " planets " << c.planetsReceive);
    system = makeSystem();
    objHulled* hauler = ship({0, 0, 0});
    targeting(hauler).depositTargets[0] = c.shipsReceive;
    targeting(hauler).depositTargets[1] = c.planetsReceive;
    metals(hauler, 20, 100);
    TestObject* planet = store({100, 0, 0});  // room 50 x 4 / 100: rank 2.0
    metals(planet, 50, 100);
    objHulled* receiver = ship({30, 0, 0});  // room 50 / 30: rank 1.67
    metals(receiver, 50, 100);
    deposit_order order(L"Metals", 0.1f, false);

    EXPECT_EQ(runDue(order, hauler), c.winner == 0 ? Running : Yielded);
    generic_object* expected = c.winner == 1   ? static_cast<generic_object*>(planet)
                               : c.winner == 2 ? receiver
                                               : nullptr;
    EXPECT_EQ(frontTarget(hauler), expected);
    if (transfer_order* transfer = frontTransfer(hauler)) {
      EXPECT_EQ(transfer->mode, TM_Percent);
      EXPECT_FLOAT_EQ(transfer->amount, 1.0f);
      EXPECT_EQ(transfer->homeContainer, nullptr);
    }
  }
}

TEST_F(ResourceOrderTest, StoreOrdersWaitForTheirCheckAndNeedAStarSystem) {
  objHulled* hauler = ship({0, 0, 0});
  metals(hauler, 0, 100);
  metals(store({10, 0, 0}), 80, 100);
  collect_order finishing(L"Metals", 0.5f, true);
  collect_order idling(L"Metals", 0.5f, false);
  EXPECT_EQ(finishing.timer.nextCheck, 2000u) << "one interval from construction";
  setObjectTestClock(1999);
  EXPECT_EQ(finishing.execute(*hauler), Waiting);
  EXPECT_EQ(idling.execute(*hauler), Running);
  EXPECT_EQ(hauler->ai->getOrderCount(), 0u);

  hauler->setContainer(nullptr);  // in no star system
  EXPECT_EQ(runDue(finishing, hauler), Running);
}

// --- Fetch
// ---------------------------------------------------------------------

TEST_F(ResourceOrderTest, FetchWithoutAStateOfItsResourceEnds) {
  fetch_order order(L"Metals", 0.25f);
  EXPECT_EQ(order.timer.interval, 500u);
  EXPECT_EQ(runDue(order, ship({0, 0, 0})), Done);
}

TEST_F(ResourceOrderTest, FetchDrawsItsScanStartOnlyOnTheTickItEntersASystem) {
  for (int i = 0; i < 49; ++i)
    store({static_cast<float>(i + 5), 0, 0});
  objHulled* hauler = ship({0, 0, 0});  // 50 children
  metals(hauler, 10, 100);
  fetch_order order(L"Metals", 0.25f);

  seedProcessRandom(7);
  EXPECT_EQ(runDue(order, hauler), Running);
  EXPECT_EQ(order.lastSystem, system);
  const uint32_t drawnStart = order.timer.scanIndex;
  setObjectTestClock(order.timer.nextCheck - 1);
  EXPECT_EQ(order.execute(*hauler), Running) << "waiting in the system it scans";
  EXPECT_EQ(runDue(order, hauler), Running) << "nothing to fetch";
  EXPECT_EQ(order.timer.scanIndex, (drawnStart + 20) % 50);
  const int nextDraw = processRandom();

  seedProcessRandom(7);
  EXPECT_EQ(drawnStart, static_cast<uint32_t>(processRandom() >> 2) % 25);
  EXPECT_EQ(nextDraw, processRandom()) << "one draw only";

  setObjectTestClock(order.timer.nextCheck - 1);
  hauler->setContainer(makeSystem());
  EXPECT_EQ(order.execute(*hauler), Waiting) << "waiting outside the system it scanned";
}

TEST_F(ResourceOrderTest, FetchIdlesWhileNotLowOrUnderWay) {
  struct Case {
    float aboard;  // of 100
    bool moving;
    bool scans;
  };
  // Low level 0.25: the ship tops up below 0.625 when at rest, below 0.25
  // always.
  const Case cases[] = {{70, false, false}, {50, true, false}, {50, false, true}, {20, true, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.aboard << (c.moving ? " moving" : " at rest"));
    system = makeSystem();
    objHulled* hauler = ship({0, 0, 0});
    metals(hauler, c.aboard, 100);
    hauler->velocity.set(c.moving ? 1.0f : 0.0f, 0, 0);
    TestObject* depot = store({10, 0, 0});
    metals(depot, 100, 100);
    fetch_order order(L"Metals", 0.25f);
    EXPECT_EQ(runDue(order, hauler), Running) << "enters the system";
    EXPECT_EQ(runDue(order, hauler), c.scans ? Yielded : Running);
    EXPECT_EQ(frontTarget(hauler), c.scans ? depot : nullptr);
  }
}

TEST_F(ResourceOrderTest, FetchLooksAtTheParkedBodyFirst) {
  objHulled* hauler = ship({0, 0, 0});  // child 0
  metals(hauler, 10, 100);
  TestObject* inWindow = store({10, 0, 0});  // child 1
  metals(inWindow, 100, 100);
  for (int i = 0; i < 30; ++i)
    store({0, static_cast<float>(i + 20), 0});
  TestObject* parkedAt = store({0, 0, 10});  // child 32, outside the window
  metals(parkedAt, 100, 100);
  MobileMover::of(hauler)->orbitAround(*hauler, parkedAt);
  ASSERT_EQ(MobileMover::of(hauler)->getParkedOrbitBody(), parkedAt);
  fetch_order order(L"Metals", 0.25f);
  order.lastSystem = system;
  order.timer.scanIndex = 0;

  ASSERT_EQ(runDue(order, hauler), Yielded);
  transfer_order* transfer = frontTransfer(hauler);
  ASSERT_NE(transfer, nullptr);
  EXPECT_EQ(transfer->other, parkedAt) << "first of two equal stores";
  EXPECT_EQ(transfer->mode, TM_From | TM_Percent);
  EXPECT_FLOAT_EQ(transfer->amount, 0.5f);
  EXPECT_FLOAT_EQ(transfer->minimum, 25.0f) << "the low level of the winner's max";
  EXPECT_EQ(transfer->homeContainer, system) << "stays with the winner's system";
}

TEST_F(ResourceOrderTest, FetchCandidateRules) {
  enum Store {
    Rich,
    PlanetBelowLevel,
    PlainBelowLevel,
    ForbiddingShip,
    AllowingShip,
    PlanetNotAboveLow,
    Foreign,
    Invalid,
    NearWithoutThrust,
    FarWithoutThrust
  };
  struct Case {
    Store kind;
    bool picked;
  };
  // The fetcher holds 10 of 100 (room 90, so 80 short of even); low level
  // 0.25. A store qualifies when (have - 80) / capacity >= 0.25, or when it
  // is a planet (the resource is not one planets require).
  const Case cases[] = {{Rich, true},
                        {PlanetBelowLevel, true},
                        {PlainBelowLevel, false},
                        {ForbiddingShip, false},
                        {AllowingShip, true},
                        {PlanetNotAboveLow, false},
                        {Foreign, false},
                        {Invalid, false},
                        {NearWithoutThrust, true},
                        {FarWithoutThrust, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.kind);
    system = makeSystem();
    const bool still = c.kind == NearWithoutThrust || c.kind == FarWithoutThrust;
    objHulled* hauler = ship({0, 0, 0}, red, still ? 0.0f : 1.0f);
    metals(hauler, 10, 100);
    const float x = c.kind == FarWithoutThrust ? 40.0f : 30.0f;  // surfaces 38 and 28 apart
    generic_object* candidate = nullptr;
    if (c.kind == ForbiddingShip || c.kind == AllowingShip) {
      objHulled* other = ship({x, 0, 0});
      targeting(other).allowFetch = c.kind == AllowingShip;
      candidate = other;
    } else {
      const bool planet = c.kind == PlanetBelowLevel || c.kind == PlanetNotAboveLow;
      candidate = store({x, 0, 0}, planet ? OT_Planet : OT_Generic, c.kind == Foreign ? blue : red);
    }
    const bool poor = c.kind == PlanetBelowLevel || c.kind == PlainBelowLevel;
    if (c.kind == PlanetNotAboveLow)
      metals(candidate, 40, 200);
    else
      metals(candidate, poor ? 100.0f : 200.0f, poor ? 100.0f : 200.0f);
    if (c.kind == Invalid)
      candidate->clearFlag(FLAG_VALID);
    fetch_order order(L"Metals", 0.25f);
    order.lastSystem = system;

    EXPECT_EQ(runDue(order, hauler), c.picked ? Yielded : Running);
    EXPECT_EQ(frontTarget(hauler), c.picked ? candidate : nullptr);
    candidate->setFlag(FLAG_VALID);
  }
}

// --- Describe, clone and records
// -------------------------------------------------

TEST_F(ResourceOrderTest, DescribeAndClone) {
  collect_order collect(L"Metals", 0.5f, true);
  deposit_order deposit(L"Metals", 0.3f, false);
  fetch_order fetch(L"Metals", 0.25f);
  for (automation_order* order : std::initializer_list<automation_order*>{&collect, &deposit, &fetch}) {
    order->timer.scanIndex = 7;
    EXPECT_TRUE(order->isAutomation() && order->runsInBackground() && order->isNotRepeatable());
  }
  fetch.lastSystem = system;
  EXPECT_EQ(collect.describe(), irr::core::stringw(L"Collect Metals"));
  EXPECT_EQ(deposit.describe(), irr::core::stringw(L"Deposit Metals"));
  EXPECT_EQ(fetch.describe(), irr::core::stringw(L"Fetch Metals when low"));

  std::unique_ptr<collect_order> collectCopy(static_cast<collect_order*>(collect.clone()));
  std::unique_ptr<deposit_order> depositCopy(static_cast<deposit_order*>(deposit.clone()));
  std::unique_ptr<fetch_order> fetchCopy(static_cast<fetch_order*>(fetch.clone()));
  EXPECT_EQ(collectCopy->resource, collect.resource);
  EXPECT_FLOAT_EQ(collectCopy->threshold, 0.5f);
  EXPECT_TRUE(collectCopy->finishWhenDone);
  EXPECT_FLOAT_EQ(depositCopy->threshold, 0.3f);
  EXPECT_FALSE(depositCopy->finishWhenDone);
  EXPECT_FLOAT_EQ(fetchCopy->lowLevel, 0.25f);
  EXPECT_EQ(fetchCopy->timer.interval, 500u);
  for (automation_order* copy :
       std::initializer_list<automation_order*>{collectCopy.get(), depositCopy.get(), fetchCopy.get()}) {
    EXPECT_EQ(copy->timer.nextCheck, 0u);
    EXPECT_EQ(copy->timer.scanIndex, 0u);
  }
}

TEST_F(ResourceOrderTest, SavedRecordsReadBack) {
  collect_order collect(L"Metals", 0.5f, true);
  deposit_order deposit(L"Metals", 0.5f, false);
  fetch_order fetch(L"Metals", 0.25f);
  fetch.lastSystem = system;
  struct Case {
    const Order* order;
    const char* record;
  };
  const Case cases[] = {
      {&collect, "0F 00 00 00 3F 01 01 02"}, {&deposit, "05 00 00 00 3F 00 01 02"}, {&fetch, "0D 00 00 80 3E 01 02"}};
  objHulled* holder = ship({0, 0, 0});
  auto* ai = static_cast<UnitAI*>(holder->ai);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.record);
    auto writer = SaveStream::createInMemory();
    writer->commonStrings() = metalsAtTwo();
    c.order->save(*writer);
    EXPECT_EQ(hexText(writtenBody(*writer)), hex(c.record));

    const Bytes file = withHeader(hexBytes(c.record));
    auto reader = readerOver(file);
    reader->commonStrings() = metalsAtTwo();
    readOrderFromSave(*reader, *ai);
  }
  ASSERT_EQ(ai->getOrderCount(), 3u);
  auto* loadedCollect = dynamic_cast<collect_order*>(ai->getOrder(0));
  auto* loadedDeposit = dynamic_cast<deposit_order*>(ai->getOrder(1));
  auto* loadedFetch = dynamic_cast<fetch_order*>(ai->getOrder(2));
  ASSERT_TRUE(loadedCollect != nullptr && loadedDeposit != nullptr && loadedFetch != nullptr);
  EXPECT_EQ(loadedCollect->resource, internCommonString(L"Metals"));
  EXPECT_FLOAT_EQ(loadedCollect->threshold, 0.5f);
  EXPECT_TRUE(loadedCollect->finishWhenDone);
  EXPECT_FALSE(loadedDeposit->finishWhenDone);
  EXPECT_FLOAT_EQ(loadedFetch->lowLevel, 0.25f);
  EXPECT_EQ(loadedFetch->timer.nextCheck, 0u);
  EXPECT_EQ(loadedFetch->lastSystem, nullptr);

  auto unlisted = SaveStream::createInMemory();
  EXPECT_EQ(saveErrorOf([&] { collect.save(*unlisted); }), (SaveFileError{5, "Invalid Common String reference"}));
}

TEST_F(ResourceOrderTest, CutOrUnlistedSavedRecordsThrow) {
  using Reader = Order* (*)(SaveStream&);
  struct Case {
    Reader read;
    const char* record;  // after the type byte
    SaveFileError error;
  };
  const SaveFileError eof{4, "Unexpected EOF"};
  const SaveFileError unlisted{5, "Invalid Common String reference"};
  const Case cases[] = {
      {readCollectOrderSave, "00 00 00 3F 01", eof}, {readCollectOrderSave, "00 00 00 3F 01 01 03", unlisted},
      {readDepositOrderSave, "00 00 00", eof},       {readDepositOrderSave, "00 00 00 3F 00 01 09", unlisted},
      {readFetchOrderSave, "00 00 80 3E", eof},      {readFetchOrderSave, "00 00 80 3E 01 05", unlisted},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.record);
    const Bytes file = withHeader(hexBytes(c.record));
    auto reader = readerOver(file);
    reader->commonStrings() = metalsAtTwo();
    EXPECT_EQ(saveErrorOf([&] { delete c.read(*reader); }), c.error);
  }
}

TEST_F(ResourceOrderTest, NetworkRecordsOfCollectAndDepositMakeNoOrder) {
  objHulled* receiver = ship({0, 0, 0});
  const collect_order collect(L"Metals", 0.5f, true);
  const deposit_order deposit(L"Metals", 0.5f, false);
  for (const Order* order : std::initializer_list<const Order*>{&collect, &deposit}) {
    RakNet::BitStream stream;
    order->writeNetwork(stream);
    EXPECT_EQ(readOrderFromNetwork(stream, receiver), nullptr);
  }

  const fetch_order fetch(L"Metals", 0.25f);
  RakNet::BitStream stream;
  fetch.writeNetwork(stream);
  std::unique_ptr<fetch_order> received(dynamic_cast<fetch_order*>(readOrderFromNetwork(stream, receiver)));
  ASSERT_NE(received, nullptr);
  EXPECT_EQ(received->resource, fetch.resource);
  EXPECT_FLOAT_EQ(received->lowLevel, 0.25f);
  EXPECT_EQ(received->timer.interval, 500u);

  RakNet::BitStream cut;
  cut.Write(static_cast<uint8_t>(OrdT_Fetch));
  cut.Write(0.25f);
  EXPECT_EQ(readOrderFromNetwork(cut, receiver), nullptr);
}

}  // namespace

}  // namespace resource_orders_test
