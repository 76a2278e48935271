// Box selection on the null scene with a real camera: the preference among
// the objects in the box, what the player cannot see, the reach from the
// camera, Shift, and the "gui" module's onBoxSelect.
#include "ui/box_select.h"

#include <gtest/gtest.h>
#include <irrlicht.h>

#include <set>
#include <string>

#include "app/base/event_handler.h"
#include "universe/orders/fleet_ai.h"
#include "view_picking_fixture.h"

namespace box_select_test {

using irr::core::vector3df;
using viewpicking::Thing;

class BoxSelectTest : public viewpicking::ViewPickingTest {
 protected:
  // The box over the whole screen.
  static void selectAll() { boxSelect(0, 0, 639, 479); }

  static std::set<generic_object*> selected() {
    std::set<generic_object*> out;
    const SelectionGuard guard;
    for (uint32_t i = 0; i < getSelectedObjectCount(); ++i)
      out.insert(selectedObjectAt(i)->getOwner());
    return out;
  }
};

TEST_F(BoxSelectTest, OnlyTheMostPreferredGroupIsSelected) {
  struct Case {
    const char* what;
    bool ownShip, enemyShip, enemyPlanet, systemSeen;
    const char* expected;  // s own ship, e enemy ship, p enemy planet
  };
  const Case cases[] = {
      {"own ship and enemy planet", true, false, true, true, "s"},
      {"enemy ship and enemy planet", false, true, true, true, "e"},
      {"only an enemy planet", false, false, true, true, "p"},
      {"own ship, unseen enemies", true, true, true, false, "s"},
      {"only unseen enemies", false, true, true, false, ""},
  };
  for (const Case& c : cases) {
    system->visibilityMask = c.systemSeen ? red->ownBit : 0u;
    Thing* own = c.ownShip ? thing(red, OT_Hulled, system, vector3df(300, 0, 0)) : nullptr;
    Thing* enemy = c.enemyShip ? thing(blue, OT_Hulled, system, vector3df(-300, 0, 0)) : nullptr;
    Thing* planet = c.enemyPlanet ? thing(blue, OT_Planet, system, vector3df(0, 0, 400)) : nullptr;
    selectAll();
    std::string got;
    for (generic_object* object : selected())
      got += object == own ? "s" : object == enemy ? "e" : object == planet ? "p" : "?";
    EXPECT_EQ(got, c.expected) << c.what;
    for (Thing* made : {own, enemy, planet})
      if (made != nullptr)
        made->destroyNow(true);
  }
}

TEST_F(BoxSelectTest, ObjectsOutOfReachOfTheCameraAreNotSelected) {
  struct Case {
    const char* what;
    bool openSpace;
    float distance;  // from the camera to the object (or the system's centre)
    bool selected;
  };
  const float systemReach = system->radius + 85000.0f;
  const Case cases[] = {
      {"a system's ship, camera just within reach", false, systemReach - 200.0f, true},
      {"a system's ship, camera just beyond the reach", false, systemReach + 5.0f, false},
      {"a ship in open space just within reach", true, 84900.0f, true},
      {"a ship in open space just beyond the reach", true, 85005.0f, false},
  };
  for (const Case& c : cases) {
    // Open space lies far beyond the system, the camera looking away from it.
    const vector3df at = c.openSpace ? vector3df(500000, 0, 0) : vector3df(0, 0, 0);
    Thing* own = thing(red, OT_Hulled, c.openSpace ? static_cast<generic_object*>(galaxy) : system, at);
    aimCamera(at + vector3df(-0.6f, 0.8f, 0.0f) * c.distance, at);
    setSelection(nullptr);
    selectAll();
    const std::set<generic_object*> chosen = selected();
    EXPECT_EQ(chosen.count(own) != 0, c.selected) << c.what;
    if (!c.openSpace && !c.selected) {
      EXPECT_EQ(chosen, std::set<generic_object*>{system}) << c.what << ": nothing near, the system itself";
    }
    own->destroyNow(true);
  }
}

TEST_F(BoxSelectTest, ShiftAddsAndAPlainBoxClearsEvenWhenNothingIsChosen) {
  Thing* first = thing(red, OT_Hulled, system, vector3df(1500, 0, 0));
  Thing* second = thing(red, OT_Hulled, system, vector3df(-1500, 0, 0));
  Thing* elsewhere = thing(red, OT_Planet, galaxy, vector3df(900000, 0, 0));
  const irr::core::position2di p = screenOf(first->getPosition());
  const irr::core::position2di q = screenOf(second->getPosition());

  setSelection(elsewhere->graphics);
  shiftKeyDown = true;
  boxSelect(p.X - 5, p.Y - 5, p.X + 5, p.Y + 5);
  EXPECT_EQ(selected(), (std::set<generic_object*>{elsewhere, first}));
  shiftKeyDown = false;
  boxSelect(q.X - 5, q.Y - 5, q.X + 5, q.Y + 5);
  EXPECT_EQ(selected(), std::set<generic_object*>{second});
  const uint32_t id = getSelectionId();
  boxSelect(0, 0, 4, 4);  // a corner where nothing is
  EXPECT_TRUE(selected().empty());
  EXPECT_GT(getSelectionId(), id);
}

TEST_F(BoxSelectTest, TheFirstFleetCommanderBecomesTheSubSelection) {
  ship(red, system, vector3df(300, 0, 0));
  Thing* commander = ship(red, system, vector3df(-300, 0, 0));
  auto* fleet = new FleetAI(static_cast<UnitAI*>(commander->ai));
  commander->setAI(fleet);
  fleet->release();  // the commander holds it
  selectAll();
  ASSERT_EQ(getSelectedObjectCount(), 2u);
  const SelectionGuard guard;
  EXPECT_EQ(selectedObjectAt(getSubSelection())->getOwner(), commander);
}

TEST_F(BoxSelectTest, AnOnBoxSelectScriptTakesEachChosenObjectInstead) {
  scriptapitest::setUpScriptsOfWorkingFolder();
  ASSERT_TRUE(useGuiModule(R"(
    string seen;
    void onBoxSelect(Object@ o) { seen += o.getName() + ";"; }
    string@ report() { return seen; }
  )"));
  Thing* a = thing(red, OT_Hulled, system, vector3df(300, 0, 0));
  Thing* b = thing(red, OT_Hulled, system, vector3df(-300, 0, 0));
  Thing* planet = thing(red, OT_Planet, system, vector3df(0, 0, 400));
  a->name = L"A";
  b->name = L"B";
  const int32_t before = a->refCount.load();
  selectAll();
  const std::string seen = scriptapitest::call(clientScriptEngine->GetModule("gui"), "string@ report()");
  EXPECT_TRUE(seen == "A;B;" || seen == "B;A;") << seen;
  EXPECT_EQ(getSelectedObjectCount(), 0u) << "nothing added natively";
  EXPECT_EQ(a->refCount.load(), before);
  (void)planet;
}

}  // namespace box_select_test
