// The trade and colonize standing orders: how they choose their partners
// and planets, the orders they put in front of themselves, their records.
#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <vector>

#include "core/common_strings.h"
#include "core/random.h"
#include "core/threads.h"
#include "design/build/constructible.h"
#include "movement_fixture.h"
#include "support/save_bytes.h"
#include "support/space_empire.h"
#include "universe/objects/galaxy.h"
#include "universe/objects/object_states.h"
#include "universe/orders/cargo_orders.h"
#include "universe/orders/standing_orders.h"
#include "universe/orders/tool_orders.h"
#include "universe/orders/unit_ai.h"
#include "universe/planets/planet.h"

namespace trade_colonize_orders_test {

namespace {

using OrderPtr = std::unique_ptr<Order>;

// A build item that does nothing; it only makes a queue longer.
class IdleItem : public constructible {
 public:
  void complete(generic_object* /*builder*/) override {}
};

class TradeColonizeTest : public movementtest::MadeObjectsTest {
 protected:
  void SetUp() override {
    MadeObjectsTest::SetUp();
    initThreadLocals();
    space = registerSpaceEmpire();
    home = makeSystem();
  }

  void TearDown() override {
    MadeObjectsTest::TearDown();
    freeThreadLocals();
  }

  // An object with an order queue in `where` (the home system by default).
  TestObject* makeUnit(const vector3df& position, int type = OT_Hulled, generic_object* where = nullptr) {
    auto* unit = new TestObject(red, type, L"Unit");
    unit->radius = 1.0f;
    unit->setContainer(where != nullptr ? where : home);
    unit->position = position;
    auto* ai = new UnitAI(unit);
    unit->setAI(ai);
    ai->drop();
    made_.push_back(unit);
    return unit;
  }

  // A planet of `owner` (the space empire: nobody's) with `space` for
  // structures, without orders of its own.
  objHabitation* makePlanet(float space, const vector3df& position, generic_object* where = nullptr,
                            empire* owner = nullptr) {
    auto* planet = new objHabitation(owner != nullptr ? owner : this->space, nullptr);
    planet->setStructureSpace(space);
    planet->ai->clearOrders(true);
    planet->radius = 5.0f;
    planet->setContainer(where != nullptr ? where : home);
    planet->position = position;
    made_.push_back(planet);
    return planet;
  }

  static UnitAI& queueOf(generic_object* object) { return *static_cast<UnitAI*>(object->ai); }

  static Bytes saved(const Order& order) {
    auto stream = SaveStream::createInMemory();
    order.save(*stream);
    return writtenBody(*stream);
  }

  empire* space = nullptr;
  solarSystem* home = nullptr;
};

// --- Shared
// --------------------------------------------------------------------------

TEST_F(TradeColonizeTest, TextsCopiesAndRecords) {
  trade_order trade;
  EXPECT_EQ(trade.describe(), irr::core::stringw(L"Trade (Idle)"));
  EXPECT_EQ(trade.getType(), OrdT_Trade_Local);
  EXPECT_EQ(trade.cursor, 0u);
  EXPECT_EQ(trade.examined, 0u);
  EXPECT_EQ(trade.needMask, 0u);
  EXPECT_EQ(trade.customer, nullptr);
  EXPECT_FLOAT_EQ(trade.thresholdScore, 1.0f);
  EXPECT_TRUE(trade.runsInBackground() && trade.isAutomation() && trade.isNotRepeatable());
  trade.cursor = 7;
  OrderPtr tradeCopy(trade.clone());
  EXPECT_EQ(static_cast<trade_order*>(tradeCopy.get())->cursor, 0u) << "a trade copy starts anew";
  EXPECT_EQ(saved(trade), hexBytes("0A"));

  setObjectTestClock(500);
  colonize_order colonize;
  EXPECT_EQ(colonize.describe(), irr::core::stringw(L"Colonize system (Idle)"));
  EXPECT_EQ(colonize.timer.interval, 1000u);
  EXPECT_EQ(colonize.timer.nextCheck, 1500u);
  colonize.timer.interval = 700;
  colonize.timer.nextCheck = 4321;
  colonize.timer.scanIndex = 9;
  OrderPtr colonizeCopy(colonize.clone());
  const auto& copy = static_cast<colonize_order&>(*colonizeCopy);
  EXPECT_EQ(copy.timer.interval, 700u);
  EXPECT_EQ(copy.timer.nextCheck, 4321u);
  EXPECT_EQ(saved(colonize), hexBytes("06"));
}

TEST_F(TradeColonizeTest, TheTradedResourcesAreThreeNamesInOrder) {
  trade_order first;
  trade_order second;
  const auto& list = tradedResources();
  ASSERT_EQ(list.size(), 3u);
  EXPECT_EQ(list[0], internCommonString(L"Metals"));
  EXPECT_EQ(list[1], internCommonString(L"Electronics"));
  EXPECT_EQ(list[2], internCommonString(L"AdvParts"));
}

// --- Colonize
// ------------------------------------------------------------------------

TEST_F(TradeColonizeTest, ColonizeOutsideAnyStarSystemEnds) {
  auto* galaxy = new objGalaxy();
  made_.insert(made_.begin(), galaxy);
  TestObject* ship = makeUnit(vector3df(0, 0, 0), OT_Hulled, galaxy);
  colonize_order order;
  EXPECT_EQ(order.execute(*ship), Running) << "the timer comes first";
  setObjectTestClock(1000);
  EXPECT_EQ(order.execute(*ship), Done);
}

TEST_F(TradeColonizeTest, ColonizeScanPicksTheRoomiestFreePlanet) {
  // Planets at spaces 0.5, 2.7, 4.0 and 9.0; the last is blue's.
  struct Case {
    const char* what;
    int colonising;  // index already in red's colonising set, or -1
    bool roomyOnes;  // false: the 2.7 and 4.0 planets get 0.9 instead
    int winner;      // -1: none
  };
  const Case cases[] = {
      {"the most room wins", -1, true, 2},
      {"a planet being colonised is passed over", 2, true, 1},
      {"less than one structure's room is never picked", -1, false, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    setObjectTestClock(0);
    solarSystem* system = makeSystem(vector3df(5000, 0, 0));
    const float spaces[] = {0.5f, c.roomyOnes ? 2.7f : 0.9f, c.roomyOnes ? 4.0f : 0.9f};
    std::vector<objHabitation*> planets;
    for (int i = 0; i < 3; ++i)
      planets.push_back(makePlanet(spaces[i], vector3df(100.0f * (i + 1), 0, 0), system));
    makePlanet(9.0f, vector3df(50, 0, 0), system, blue);
    if (c.colonising >= 0)
      red->startColonization(planets[static_cast<size_t>(c.colonising)]->uid);
    TestObject* ship = makeUnit(vector3df(0, 0, 0), OT_Hulled, system);
    auto* order = new colonize_order();
    queueOf(ship).appendOrder(order);

    setObjectTestClock(1000);
    if (c.winner < 0) {
      EXPECT_EQ(order->execute(*ship), Running);
      EXPECT_EQ(queueOf(ship).getOrderCount(), 1u);
    } else {
      objHabitation* winner = planets[static_cast<size_t>(c.winner)];
      EXPECT_EQ(order->execute(*ship), Yielded);
      ASSERT_EQ(queueOf(ship).getOrderCount(), 2u);
      auto* tool = dynamic_cast<use_tool_order*>(queueOf(ship).getOrder(0));
      ASSERT_NE(tool, nullptr);
      EXPECT_EQ(tool->getTool(), irr::core::stringw(L"Colonizer"));
      EXPECT_EQ(tool->target, winner);
      EXPECT_FALSE(tool->keepUsing);
      EXPECT_EQ(tool->homeContainer, nullptr) << "it follows the planet anywhere";
      EXPECT_EQ(tool->colonizing, red);
      EXPECT_EQ(red->colonizing.count(winner->uid), 1u);
      EXPECT_EQ(order->timer.nextCheck, 2000u);
    }
    queueOf(ship).clearOrders(true);
    red->colonizing.clear();
  }
}

TEST_F(TradeColonizeTest, ColonizeFallsBackToTheNearestQueuedPlanet) {
  solarSystem* nearSystem = makeSystem(vector3df(1000, 0, 0));
  solarSystem* farSystem = makeSystem(vector3df(3000, 0, 0));
  makePlanet(0.5f, vector3df(10, 0, 0));  // no room: the scan finds nothing
  objHabitation* far = makePlanet(5.0f, vector3df(0, 0, 0), farSystem);
  objHabitation* near = makePlanet(1.0f, vector3df(0, 0, 0), nearSystem);
  objHabitation* takenNearest = makePlanet(5.0f, vector3df(0, 0, 0), home, blue);
  objHabitation* takenFar = makePlanet(5.0f, vector3df(20, 0, 0), farSystem, red);
  for (const objHabitation* planet : {far, near, takenNearest, takenFar})
    red->queueColonization(planet->uid);
  TestObject* ship = makeUnit(vector3df(0, 0, 0));
  auto* order = new colonize_order();
  queueOf(ship).appendOrder(order);

  setObjectTestClock(1000);
  EXPECT_EQ(order->execute(*ship), Yielded);
  auto* tool = dynamic_cast<use_tool_order*>(queueOf(ship).getOrder(0));
  ASSERT_NE(tool, nullptr);
  EXPECT_EQ(tool->target, near);
  EXPECT_EQ(tool->colonizing, red);
  EXPECT_EQ(red->colonizing.count(near->uid), 1u);
  EXPECT_EQ(red->colonizeQueue, (std::set<uint32_t>{far->uid})) << "taken planets leave the queue";
  queueOf(ship).clearOrders(true);
  EXPECT_TRUE(red->colonizing.empty());
}

// --- Trade
// ---------------------------------------------------------------------------

TEST_F(TradeColonizeTest, TradeCarriesMetalsFromTheSupplierToTheCustomer) {
  threadRandom().seed(11);
  TestObject* trader = makeUnit(vector3df(0, 0, 0));
  trader->cargoSpace = 30.0f;
  TestObject* customer = makeUnit(vector3df(100, 0, 0), OT_Planet);
  customer->buildQueue.push_back(new IdleItem);
  customer->buildQueue.push_back(new IdleItem);
  getOrAddObjectState(customer, L"Metals")->value.max = 100.0f;
  TestObject* supplier = makeUnit(vector3df(-100, 0, 0), OT_Planet);
  State* stock = getOrAddObjectState(supplier, L"Metals");
  stock->value.max = 100.0f;
  stock->value.val = 100.0f;
  const int32_t customerRefs = customer->refCount.load();

  auto* order = new trade_order();
  queueOf(trader).appendOrder(order);
  EXPECT_EQ(order->execute(*trader), Waiting);
  EXPECT_EQ(order->customer, customer);
  EXPECT_EQ(order->needMask, 1u);
  EXPECT_EQ(customer->refCount.load(), customerRefs + 1);
  EXPECT_EQ(queueOf(trader).getOrderCount(), 1u);

  EXPECT_EQ(order->execute(*trader), Yielded);
  struct Expected {
    uint8_t mode;
    float amount;
    generic_object* other;
    const wchar_t* resource;
  };
  const Expected expected[] = {
      {TM_Percent, 1.0f, supplier, L"AdvParts"},          {TM_Percent, 1.0f, supplier, L"Electronics"},
      {TM_From | TM_Amount, 10.0f, supplier, L"Metals"},  {TM_Percent, 1.0f, supplier, L"AdvParts"},
      {TM_Percent, 1.0f, supplier, L"Electronics"},       {TM_From | TM_Percent, 1.0f, supplier, L"Metals"},
      {TM_Percent, 1.0f, customer, L"Metals"},
  };
  const uint32_t count = sizeof(expected) / sizeof(expected[0]);
  ASSERT_EQ(queueOf(trader).getOrderCount(), count + 1);
  for (uint32_t i = 0; i < count; ++i) {
    SCOPED_TRACE(i);
    auto* transfer = dynamic_cast<transfer_order*>(queueOf(trader).getOrder(i));
    ASSERT_NE(transfer, nullptr);
    EXPECT_EQ(transfer->mode, expected[i].mode);
    EXPECT_FLOAT_EQ(transfer->amount, expected[i].amount);
    EXPECT_EQ(transfer->other, expected[i].other);
    EXPECT_EQ(*transfer->resource, irr::core::stringw(expected[i].resource));
    EXPECT_FLOAT_EQ(transfer->minimum, 0.0f);
    EXPECT_EQ(transfer->homeContainer, nullptr);
  }
  EXPECT_EQ(queueOf(trader).getOrder(count), order);
  EXPECT_EQ(order->customer, nullptr);
  EXPECT_EQ(order->examined, 0u);
  EXPECT_FLOAT_EQ(order->thresholdScore, 1.0f);
  queueOf(trader).clearOrders(true);
  EXPECT_EQ(customer->refCount.load(), customerRefs) << "the customer is released";
}

TEST_F(TradeColonizeTest, TradeWithoutNeedsIdlesOnceTheSystemIsLookedThrough) {
  TestObject* trader = makeUnit(vector3df(0, 0, 0));
  for (int i = 0; i < 6; ++i)
    makeUnit(vector3df(10.0f * (i + 1), 0, 0), OT_Planet);
  auto* order = new trade_order();
  queueOf(trader).appendOrder(order);
  EXPECT_EQ(order->execute(*trader), Waiting) << "5 of 7 looked at";
  EXPECT_EQ(order->examined, 5u);
  EXPECT_EQ(order->execute(*trader), Running);
  EXPECT_EQ(order->examined, 0u);
  EXPECT_EQ(order->cursor, 3u) << "the cursor wraps round the children";
}

}  // namespace

}  // namespace trade_colonize_orders_test
