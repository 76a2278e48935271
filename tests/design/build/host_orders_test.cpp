// The retrofit and scuttle orders at a host: which build item a retrofit
// leaves in the host's queue, and what a scuttled ship gives back to the host
// and to its owner's stats.
#include <gtest/gtest.h>

#include <memory>

#include "design/build/build_fixture.h"
#include "design/effects/resources.h"
#include "universe/movement/mobile_mover.h"
#include "universe/orders/dock_orders.h"

namespace host_orders_test {

namespace {

using OrderPtr = std::unique_ptr<Order>;

// Parts with single costs: "Ore" for the retrofits, "Slag" (no cargo) and
// "Goods" (cargo, by the record the tests give its states) for scuttling.
constexpr char kHostOrderParts[] =
    "System: HalfHull\nSize: 10\nCosts: Ore[50]\n\n"
    "System: FullHull\nSize: 10\nCosts: Ore[100]\n\n"
    "System: Slag10\nSize: 10\nCosts: Slag[10]\n\n"
    "System: SlagOver\nSize: 10\nCosts: Slag[10.015625]\n\n"
    "System: SlagFar\nSize: 10\nCosts: Slag[10.03125]\n\n"
    "System: Goods10\nSize: 10\nCosts: Goods[10]\n";

class HostOrderTest : public buildtest::BuildTest {
 protected:
  void SetUp() override {
    BuildTest::SetUp();
    subsystemtest::loadDefinition(scratchDir(), kHostOrderParts, L"HalfHull");
    goods.canBeCargo = true;
    host = planetOf(red);  // radius 10 at (500, 0, 0)
  }

  // A ship of `layout` beside the host, or `gap` beyond its surface.
  objHulled* shipNearHost(hull_list* layout, float gap = 0.0f, float thrust = 1.0f) {
    objHulled* ship = shipOf(layout, host->position + vector3df(host->radius + gap, 0, 0));
    MobileMover::of(ship)->thrust = thrust;
    return ship;
  }

  // Parks the ship in orbit of the host with no thrust left.
  void parkAtHost(objHulled* ship) {
    MobileMover* mover = MobileMover::of(ship);
    mover->orbitAround(*ship, host);
    mover->thrust = 0.0f;
    ASSERT_TRUE(isParkedAndImmobile(*ship, host));
  }

  // The host's state `name` with `room` left below its maximum.
  State* hostState(const wchar_t* name, float room, const cargoData* resource = nullptr) {
    State* state = stock(host, name, 20.0f);
    state->value.max = 20.0f + room;
    if (resource != nullptr)
      state->value.resource = resource;
    return state;
  }

  ShipConstructible* onlyItem() {
    if (host->buildQueue.size() != 1)
      return nullptr;
    return dynamic_cast<ShipConstructible*>(host->buildQueue[0]);
  }

  cargoData goods;
  objHabitation* host = nullptr;
};

// --- Retrofit ----------------------------------------------------------------

TEST_F(HostOrderTest, ARetrofitOwesTheNewDesignLessAShareOfTheOld) {
  const struct {
    const char* what;
    bool parked;
    float factor;
    float owed;
  } cases[] = {
      {"parked and immobile: rebuilt in place", true, 0.4f, 80.0f},  // 100 - 50 x 0.4
      {"flown there", false, 0.5f, 75.0f},                           // 100 - 50 x 0.5
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    host->clearBuildQueue();
    hull_list* old = layoutOf(red, L"Tug", {L"HalfHull"});
    hull_list* newer = layoutOf(red, L"Tug II", {L"FullHull"});
    ASSERT_EQ(red->replaceHull(old, newer), newer);
    objHulled* ship = shipNearHost(old);
    if (c.parked)
      parkAtHost(ship);

    retrofit_order order(host);
    EXPECT_EQ(order.execute(*ship), Done);
    ShipConstructible* item = onlyItem();
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->layout, newer);
    EXPECT_EQ(item->retrofitFlag, 1);
    EXPECT_FLOAT_EQ(costOf(*item, L"Ore"), c.owed);
    EXPECT_TRUE(ship->hasFlag(FLAG_DESTROY)) << "the old ship goes when the item is made";
  }
}

TEST_F(HostOrderTest, ARetrofitApproachesFirstAndHandsTheItemOverOnArrival) {
  hull_list* old = layoutOf(red, L"Tug", {L"HalfHull"});
  hull_list* newer = layoutOf(red, L"Tug II", {L"FullHull"});
  red->replaceHull(old, newer);
  objHulled* ship = shipNearHost(old, 1000.0f);

  retrofit_order order(host);
  EXPECT_EQ(order.execute(*ship), Running);
  EXPECT_TRUE(order.started);
  EXPECT_EQ(MobileMover::of(ship)->target, host) << "pursues the host";
  EXPECT_EQ(host->buildQueue.size(), 0u);

  ship->position = host->position + vector3df(host->radius, 0, 0);
  EXPECT_EQ(order.execute(*ship), Done);
  ShipConstructible* item = onlyItem();
  ASSERT_NE(item, nullptr);
  EXPECT_FLOAT_EQ(costOf(*item, L"Ore"), 75.0f);
}

TEST_F(HostOrderTest, ARetrofitEndsWithoutAnItemWhenItCannotGoOn) {
  hull_list* current = layoutOf(red, L"Tug", {L"HalfHull"});
  hull_list* old = layoutOf(red, L"Barge", {L"HalfHull"});
  red->replaceHull(old, layoutOf(red, L"Barge II", {L"FullHull"}));

  {
    SCOPED_TRACE("the newest revision of the layout is itself");
    objHulled* ship = shipNearHost(current);
    parkAtHost(ship);
    retrofit_order order(host);
    EXPECT_EQ(order.execute(*ship), Done);
    EXPECT_FALSE(ship->hasFlag(FLAG_DESTROY));
  }
  {
    SCOPED_TRACE("the host changed hands");
    objHulled* ship = shipNearHost(old);
    retrofit_order order(host);
    host->setOwner(blue);
    EXPECT_EQ(order.execute(*ship), Done);
    EXPECT_FALSE(order.started) << "ended before looking at the layout";
    host->setOwner(red);
    EXPECT_FALSE(ship->hasFlag(FLAG_DESTROY));
  }
  EXPECT_EQ(host->buildQueue.size(), 0u);
}

// --- Scuttle -----------------------------------------------------------------

TEST_F(HostOrderTest, AScuttledShipGivesHalfItsCostToTheHostAndTheRestToTheStats) {
  const struct {
    const char* what;
    const wchar_t* part;
    float room;
    float hostGain;
    float statGain;
  } cases[] = {
      {"half of 10 into room for 3: 1 of the 2 left to the stat", L"Slag10", 3.0f, 3.0f, 1.0f},
      {"a remainder of 0.0078125 is too small", L"SlagOver", 5.0f, 5.0f, 0.0f},
      {"a remainder of 0.015625 gives half of it", L"SlagFar", 5.0f, 5.0f, 0.0078125f},
      {"a state over its maximum takes nothing and gives nothing back", L"Slag10", -2.0f, 0.0f, 2.5f},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    State* slag = hostState(L"Slag", c.room);
    const float before = red->getStat(L"Slag");
    objHulled* ship = shipNearHost(layoutOf(red, L"Wreck", {c.part}));

    scuttle_order order(host);
    EXPECT_EQ(order.execute(*ship), Done);
    EXPECT_FLOAT_EQ(slag->value.val, 20.0f + c.hostGain);
    EXPECT_FLOAT_EQ(red->getStat(L"Slag") - before, c.statGain);
    EXPECT_EQ(ship->flags.load() & (FLAG_DESTROY | FLAG_QUIET_DESTROY), FLAG_DESTROY | FLAG_QUIET_DESTROY);
  }
}

// The host's own hold takes the overflow of a cargo resource, and counts it:
// its cargo in use grows with the state's inCargo.
TEST_F(HostOrderTest, AScuttleRefundOverflowsIntoTheHostsOwnHold) {
  State* state = hostState(L"Goods", 3.0f, &goods);
  host->cargoSpace = 10.0f;
  host->cargoUsed = 6.0f;
  objHulled* ship = shipNearHost(layoutOf(red, L"Freighter", {L"Goods10"}));
  ship->cargoSpace = 50.0f;

  scuttle_order order(host);
  EXPECT_EQ(order.execute(*ship), Done);
  EXPECT_FLOAT_EQ(state->value.val, state->value.max);
  EXPECT_FLOAT_EQ(state->value.inCargo, 2.0f);
  EXPECT_FLOAT_EQ(host->cargoUsed, 8.0f);
  EXPECT_FLOAT_EQ(ship->cargoUsed, 0.0f) << "the ship's own hold is not touched";
  EXPECT_FLOAT_EQ(red->getStat(L"Goods"), 0.0f);
}

TEST_F(HostOrderTest, AScuttleWaitsUntilItReachesTheHostOrEndsWhenTheHostChangesHands) {
  objHulled* ship = shipNearHost(layoutOf(red, L"Wreck", {L"Slag10"}), 1000.0f);
  scuttle_order order(host);
  EXPECT_EQ(order.execute(*ship), Running);
  EXPECT_FALSE(ship->hasFlag(FLAG_DESTROY));

  {
    SCOPED_TRACE("parked at the host counts as there, however far");
    parkAtHost(ship);
    scuttle_order parked(host);
    EXPECT_EQ(parked.execute(*ship), Done);
    EXPECT_TRUE(ship->hasFlag(FLAG_DESTROY));
  }

  objHulled* other = shipNearHost(layoutOf(red, L"Wreck", {L"Slag10"}));
  State* slag = hostState(L"Slag", 10.0f);
  host->setOwner(blue);
  EXPECT_EQ(order.execute(*other), Done);
  EXPECT_FALSE(other->hasFlag(FLAG_DESTROY));
  EXPECT_FLOAT_EQ(slag->value.val, 20.0f);
}

}  // namespace

}  // namespace host_orders_test
