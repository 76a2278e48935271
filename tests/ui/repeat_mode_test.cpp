// Repeat-orders mode: recording orders for the selected ships and giving
// them as one repeating order, the key's press and release, and the view
// input's tear-down at the end of a session.
#include "ui/repeat_mode.h"

#include <gtest/gtest.h>
#include <irrlicht.h>

#include <vector>

#include "scriptapi/order_selection.h"
#include "ui/key_bindings.h"
#include "ui/menus/cargo_dialog.h"
#include "universe/orders/combat_orders.h"
#include "universe/orders/fleet_ai.h"
#include "universe/orders/movement_orders.h"
#include "universe/orders/repeat_orders.h"
#include "view_picking_fixture.h"

namespace repeat_mode_test {

using irr::core::vector3df;
using viewpicking::Thing;

class RepeatModeTest : public viewpicking::ViewPickingTest {
 protected:
  void TearDown() override {
    releaseViewInputObjects();
    ViewPickingTest::TearDown();
  }

  std::vector<Thing*> selectShips(int count) {
    std::vector<Thing*> ships;
    setSelection(nullptr);
    for (int i = 0; i < count; ++i) {
      ships.push_back(ship(red, system, vector3df(100.0f * static_cast<float>(i), 0, 0)));
      addToSelection(ships.back()->graphics);
    }
    return ships;
  }

  static bool labelShown() { return repeatModeLabel() != nullptr && repeatModeLabel()->isVisible(); }
  static bool press() { return toggleRepeatMode(KF_Pressed); }
};

TEST_F(RepeatModeTest, RecordedOrdersReachTheShipsAsOneRepeatingOrder) {
  const std::vector<Thing*> ships = selectShips(3);
  Thing* enemy = ship(blue, system, vector3df(0, 0, 900));
  Thing* planet = thing(red, OT_Planet, system, vector3df(0, 0, -900));

  EXPECT_TRUE(press());
  ASSERT_NE(repeatRecording, nullptr);
  EXPECT_TRUE(labelShown());
  EXPECT_EQ(irr::core::stringw(repeatModeLabel()->getText()), irr::core::stringw(L"Repeat Mode"));
  EXPECT_EQ(repeatModeLabel()->getRelativePosition(), irr::core::recti(640 - 115, 58, 640, 76));

  giveOrderToSelection(new move_order(vector3df(500, 0, 500), 0.01f));
  giveOrderToSelection(new attack_order(enemy, false, false));
  for (Thing* s : ships)
    EXPECT_EQ(s->ai->getOrderCount(), 0u) << "while recording no order reaches a ship";
  ASSERT_EQ(repeatRecording->orders.size(), 2u);

  // The player looks at something else meanwhile; the press gives the
  // recording to the remembered ships and leaves that selection.
  setSelection(planet->graphics);
  EXPECT_TRUE(press());
  EXPECT_EQ(repeatRecording, nullptr);
  EXPECT_FALSE(labelShown());
  EXPECT_EQ(getSingleSelectedObject(), planet->graphics);
  EXPECT_EQ(planet->ai, nullptr);
  for (Thing* s : ships) {
    ASSERT_EQ(s->ai->getOrderCount(), 1u);
    const auto* repeat = dynamic_cast<const repeat_orders*>(s->ai->getOrder(0));
    ASSERT_NE(repeat, nullptr);
    ASSERT_EQ(repeat->orders.size(), 2u);
    EXPECT_EQ(repeat->orders[0]->getType(), OrdT_Move);
    EXPECT_EQ(repeat->orders[1]->getType(), OrdT_Attack);
  }
  EXPECT_TRUE(repeatRecordedSelection().empty());
}

TEST_F(RepeatModeTest, OrdersThatCannotRepeatAreDroppedWhileRecording) {
  const std::vector<Thing*> ships = selectShips(2);
  press();
  giveOrderToSelection(new repeat_orders);
  giveOrderToSelection(new move_order(vector3df(1, 0, 1), 0.01f));
  ASSERT_EQ(repeatRecording->orders.size(), 1u);
  press();
  for (Thing* s : ships)
    EXPECT_EQ(s->ai->getOrderCount(), 1u);
}

TEST_F(RepeatModeTest, KeyReleasesNeverToggleAndAnEmptySelectionStartsNothing) {
  // Nothing selected: the press is used and starts nothing.
  setSelection(nullptr);
  EXPECT_TRUE(press());
  EXPECT_EQ(repeatRecording, nullptr);
  EXPECT_FALSE(labelShown());

  const std::vector<Thing*> ships = selectShips(2);
  const uint8_t releases[] = {0, KF_Control, KF_Shift, KF_Alt, KF_Control | KF_Shift | KF_Alt};
  for (uint8_t flags : releases) {
    EXPECT_FALSE(toggleRepeatMode(flags)) << int(flags);
    EXPECT_EQ(repeatRecording, nullptr) << int(flags);
  }
  EXPECT_TRUE(toggleRepeatMode(KF_Pressed | KF_Control));
  ASSERT_NE(repeatRecording, nullptr);
  for (uint8_t flags : releases) {
    EXPECT_FALSE(toggleRepeatMode(flags)) << int(flags);
    EXPECT_NE(repeatRecording, nullptr) << int(flags);
  }
  // An empty recording still reaches the ships.
  press();
  for (Thing* s : ships)
    EXPECT_NE(dynamic_cast<const repeat_orders*>(s->ai->getOrder(0)), nullptr);
}

TEST_F(RepeatModeTest, TheBoundKeyTogglesOnItsPressOnly) {
  KeyBindings keys;
  KeyBindings* const active = activeKeyBindings();
  setActiveKeyBindings(&keys);
  keys.bindAction(irr::KEY_KEY_R, registerNativeKeyAction(L"repeat_mode", toggleRepeatMode, 1));
  selectShips(2);
  EXPECT_TRUE(ui->pressKey(irr::KEY_KEY_R, L'r'));
  EXPECT_NE(repeatRecording, nullptr);
  ui->releaseKey(irr::KEY_KEY_R, L'r');
  EXPECT_NE(repeatRecording, nullptr) << "the release leaves the recording running";
  ui->tapKey(irr::KEY_KEY_R, L'r');
  EXPECT_EQ(repeatRecording, nullptr);
  setActiveKeyBindings(active);
}

TEST_F(RepeatModeTest, FleetMembersAreLeftToTheirCommander) {
  Thing* loner = ship(red, system, vector3df(0, 0, 0));
  Thing* commander = ship(red, system, vector3df(100, 0, 0));
  Thing* member = ship(red, system, vector3df(200, 0, 0));
  auto* fleet = new FleetAI(static_cast<UnitAI*>(commander->ai));
  commander->setAI(fleet);
  fleet->release();
  fleet->addMember(member);
  Thing* bare = thing(red, OT_Hulled, system, vector3df(300, 0, 0));

  EXPECT_TRUE(repeatTargetFilter(loner));
  EXPECT_TRUE(repeatTargetFilter(commander));
  EXPECT_FALSE(repeatTargetFilter(member));
  EXPECT_TRUE(repeatTargetFilter(bare));
  EXPECT_FALSE(repeatTargetFilter(nullptr));

  setSelection(nullptr);
  for (Thing* s : {loner, commander, member})
    addToSelection(s->graphics);
  press();
  giveOrderToSelection(new move_order(vector3df(1, 0, 1), 0.01f));
  press();
  EXPECT_EQ(loner->ai->getOrderCount(), 1u);
  EXPECT_FALSE(member->ai->hasOrderOfType(OrdT_Repeat));
  EXPECT_TRUE(commander->ai->hasOrderOfType(OrdT_Repeat));
}

TEST_F(RepeatModeTest, TheTearDownWhileRecordingDiscardsTheOrderAndEveryReference) {
  ui->useFixedFont();
  const std::vector<Thing*> ships = selectShips(3);
  Thing* planet = thing(blue, OT_Planet, system, vector3df(0, 0, -900));
  // The counts with the selection set's own references.
  std::vector<int32_t> before;
  for (Thing* s : ships)
    before.push_back(s->graphics->refCount.load());
  const int32_t planetBefore = planet->graphics->refCount.load();

  press();
  giveOrderToSelection(new move_order(vector3df(500, 0, 500), 0.01f));
  setHoveredObject(planet->graphics);
  openCargoTransferDialog(ships[0], planet);
  irr::gui::IGUIStaticText* label = repeatModeLabel();
  ASSERT_NE(label, nullptr);
  label->grab();  // to see it leave the GUI

  releaseViewInputObjects();
  EXPECT_EQ(repeatRecording, nullptr);
  EXPECT_EQ(repeatModeLabel(), nullptr);
  EXPECT_EQ(label->getParent(), nullptr) << "the label left the GUI";
  label->drop();
  EXPECT_EQ(getHoveredObject(), nullptr);
  EXPECT_EQ(cargoDialogActing(), nullptr);
  EXPECT_EQ(cargoDialogTarget(), nullptr);
  for (size_t i = 0; i < ships.size(); ++i) {
    EXPECT_EQ(ships[i]->graphics->refCount.load(), before[i]) << i;
    EXPECT_EQ(ships[i]->ai->getOrderCount(), 0u) << i << ": the recording was given to no one";
  }
  EXPECT_EQ(planet->graphics->refCount.load(), planetBefore);

  // The next session's first press makes a new label.
  selectShips(1);
  press();
  EXPECT_TRUE(labelShown());
}

}  // namespace repeat_mode_test
