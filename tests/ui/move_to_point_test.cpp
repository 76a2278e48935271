// Move-to-point orders on the null scene with a real camera: the formation
// the orders spread the selection in, the point under the cursor on the
// system's plane (and the rays that give none), the 300 ms wait with its
// markers, and how the orders join each queue.
#include "ui/move_to_point.h"

#include <gtest/gtest.h>
#include <irrlicht.h>

#include <cmath>
#include <vector>

#include "app/base/event_handler.h"
#include "universe/orders/fleet_ai.h"
#include "universe/orders/movement_orders.h"
#include "view_picking_fixture.h"

namespace move_to_point_test {

using irr::core::vector3df;
using viewpicking::Thing;

class MoveToPointTest : public viewpicking::ViewPickingTest {
 protected:
  // `count` of the player's ships in the system, all selected.
  std::vector<Thing*> selectShips(int count) {
    std::vector<Thing*> ships;
    for (int i = 0; i < count; ++i) {
      ships.push_back(ship(red, system, vector3df(20.0f * static_cast<float>(i), 0, 0)));
      addToSelection(ships.back()->graphics);
    }
    return ships;
  }
  static void giveOrder(const vector3df& target, const vector3df& direction) {
    GiveMoveToPointOrder order(target, direction, 5.0f);
    forEachSelected(order);
  }
  static vector3df queuedDestination(generic_object* object, uint32_t index = 0) {
    const Order* order = object->ai->getOrder(index);
    return order != nullptr ? order->getDestination() : vector3df(-1, -1, -1);
  }
  static bool finite(const vector3df& v) {
    return std::isfinite(v.X) && std::isfinite(v.Y) && std::isfinite(v.Z);
  }
  MoveMarkerNode* route() { return moveMarker(MM_Route); }
};

TEST_F(MoveToPointTest, TheFormationRunsOutFromTheTargetInSignedColumns) {
  const std::vector<Thing*> ships = selectShips(13);
  const vector3df target(100, 0, 0);
  giveOrder(target, vector3df(3, 0, 0));  // facing +x: the side is +z
  const int columns[13] = {0, -1, +1, -2, +2, -3, +3, +4, -4, +5, -5, +6, -6};
  for (int i = 0; i < 13; ++i) {
    const float behind = i < 7 ? 0.0f : 5.0f;
    const vector3df expected(100.0f - behind, 0.0f, 5.0f * static_cast<float>(columns[i]));
    ASSERT_EQ(ships[i]->destinations.size(), 1u) << i;
    EXPECT_TRUE(ships[i]->destinations[0].equals(expected)) << i;
    EXPECT_TRUE(queuedDestination(ships[i]).equals(expected)) << i;
    EXPECT_LT(std::fabs(ships[i]->destinations[0].Z), 1e6f) << i << ": no unsigned column";
  }
}

TEST_F(MoveToPointTest, TheRowWidthGrowsWithTheSelection) {
  struct Case {
    int selected;
    uint32_t width;
  };
  for (const Case& c : {Case{1, 7}, Case{49, 7}, Case{55, 7}, Case{56, 8}, Case{70, 10}}) {
    setSelection(nullptr);
    for (int i = 0; i < c.selected; ++i)
      addToSelection(thing(red, OT_Generic, system, vector3df(0, 0, 0))->graphics);
    const GiveMoveToPointOrder order(vector3df(0, 0, 0), vector3df(1, 0, 0), 5.0f);
    EXPECT_EQ(order.rowWidth(), c.width) << c.selected;
  }
}

TEST_F(MoveToPointTest, ATargetOnTheFirstObjectGivesFiniteDestinations) {
  const std::vector<Thing*> ships = selectShips(3);
  const vector3df at = ships[0]->graphics->getAbsolutePosition();
  giveOrder(at, at - ships[0]->graphics->getAbsolutePosition());
  for (Thing* made : ships) {
    ASSERT_EQ(made->destinations.size(), 1u);
    EXPECT_TRUE(finite(made->destinations[0]));
  }
  EXPECT_TRUE(ships[0]->destinations[0].equals(at));
}

TEST_F(MoveToPointTest, FleetMembersFollowTheirCommanderAndAForeignObjectStopsAll) {
  std::vector<Thing*> ships = selectShips(3);
  auto* fleet = new FleetAI(static_cast<UnitAI*>(ships[0]->ai));
  ships[0]->setAI(fleet);
  fleet->release();
  fleet->addMember(ships[1]);
  giveOrder(vector3df(100, 0, 0), vector3df(1, 0, 0));
  EXPECT_EQ(ships[0]->destinations.size(), 1u) << "the commander";
  EXPECT_TRUE(ships[1]->destinations.empty()) << "a member moves with its fleet";
  ASSERT_EQ(ships[2]->destinations.size(), 1u);
  EXPECT_TRUE(ships[2]->destinations[0].equals(vector3df(100, 0, -5))) << "the second ordered object";

  setSelection(nullptr);
  Thing* foreign = ship(blue, system, vector3df(0, 0, 50));
  addToSelection(foreign->graphics);
  Thing* own = ship(red, system, vector3df(0, 0, 80));
  addToSelection(own->graphics);
  giveOrder(vector3df(100, 0, 0), vector3df(1, 0, 0));
  EXPECT_TRUE(foreign->destinations.empty());
  EXPECT_TRUE(own->destinations.empty()) << "the distribution stopped at the foreign ship";
}

TEST_F(MoveToPointTest, RaysThatMeetThePlaneNowhereInReachGiveNoOrder) {
  selectShips(1);
  struct Case {
    const char* what;
    vector3df camera, target;
    float galaxyRadius;
  };
  const Case cases[] = {
      {"a ray along the plane", vector3df(0, 0, -5000), vector3df(0, 0, 0), 200000.0f},
      {"a point beyond three galaxy radii", vector3df(0, 40000, -30000), vector3df(0, 0, 0), 1000.0f},
      {"a point behind the camera", vector3df(0, 40000, -30000), vector3df(0, 80000, 0), 200000.0f},
  };
  for (const Case& c : cases) {
    galaxy->radius = c.galaxyRadius;
    aimCamera(c.camera, c.target);
    engine.cursor->setPosition(320, 240);
    EXPECT_FALSE(startMoveToPoint()) << c.what;
    EXPECT_EQ(moveTargetState.moveFireTime, 0u) << c.what;
    EXPECT_FALSE(route()->isVisible()) << c.what << ": the markers stay hidden";
  }
}

TEST_F(MoveToPointTest, TheArmedOrderFiresOnceAfter300MsAndHidesTheMarkers) {
  Thing* only = selectShips(1)[0];
  only->position.Y = 40.0f;
  engine.cursor->setPosition(320, 240);  // the system's centre
  timer.realTime = 0xFFFFFF80u;          // the wait crosses the timer's wrap
  const irr::u32 start = timer.realTime;

  altKeyDown = true;
  ASSERT_TRUE(startMoveToPoint());
  EXPECT_EQ(moveTargetState.heightOffset, 0.0f) << "Alt: on the plane itself";
  altKeyDown = false;
  ASSERT_TRUE(startMoveToPoint());
  EXPECT_EQ(moveTargetState.heightOffset, 40.0f) << "the ship keeps its height";
  EXPECT_EQ(moveTargetState.moveFireTime, start + 300u);
  EXPECT_LT(moveTargetState.moveTarget.getLength(), 200.0f) << "under the cursor, on the plane";
  EXPECT_TRUE(route()->isVisible());
  EXPECT_TRUE(moveMarker(MM_Drop)->isVisible()) << "a raised target shows its drop";

  timer.realTime = start + 299;
  updatePendingMoveOrder(false);
  EXPECT_TRUE(only->destinations.empty());
  EXPECT_TRUE(route()->isVisible());
  timer.realTime = start + 300;
  updatePendingMoveOrder(false);
  ASSERT_EQ(only->destinations.size(), 1u);
  EXPECT_FLOAT_EQ(only->destinations[0].Y, moveTargetState.moveTarget.Y + 40.0f);
  EXPECT_EQ(moveTargetState.moveFireTime, 0u);
  for (MoveMarker marker : {MM_Route, MM_Drop, MM_Base})
    EXPECT_FALSE(moveMarker(marker)->isVisible()) << marker;
  timer.realTime = start + 1000;
  updatePendingMoveOrder(false);
  EXPECT_EQ(only->destinations.size(), 1u) << "fired once";
  EXPECT_EQ(only->ai->getOrderCount(), 1u);
}

TEST_F(MoveToPointTest, ShiftQueuesTheOrderOtherwiseItReplacesTheQueue) {
  Thing* only = selectShips(1)[0];
  engine.cursor->setPosition(320, 240);
  for (bool shift : {true, false}) {
    only->ai->clearOrders(true);
    only->ai->addOrder(new move_order(vector3df(-7, 0, 0), 0.01f), false);
    shiftKeyDown = shift;
    ASSERT_TRUE(startMoveToPoint());
    endMoveHeightDrag();  // fire on the next frame
    updatePendingMoveOrder(false);
    if (shift) {
      ASSERT_EQ(only->ai->getOrderCount(), 2u);
      EXPECT_TRUE(queuedDestination(only, 0).equals(vector3df(-7, 0, 0)));
      EXPECT_TRUE(queuedDestination(only, 1).equals(only->destinations.back()));
    } else {
      ASSERT_EQ(only->ai->getOrderCount(), 1u);
      EXPECT_TRUE(queuedDestination(only, 0).equals(only->destinations.back()));
    }
  }
  shiftKeyDown = false;
}

TEST_F(MoveToPointTest, AForeignSelectionGivesNoOrder) {
  Thing* foreign = ship(blue, system, vector3df(0, 0, 0));
  addToSelection(foreign->graphics);
  engine.cursor->setPosition(320, 240);
  EXPECT_FALSE(startMoveToPoint());
  EXPECT_EQ(moveTargetState.moveFireTime, 0u);
}

}  // namespace move_to_point_test
