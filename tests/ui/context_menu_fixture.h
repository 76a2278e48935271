// The context action menu over real game objects in a galaxy: the player
// is red (activeEmpire), objects are made in star systems or on their own,
// and a graphics object makes one selectable. The interface harness drives
// the menu and the dialogs as a player would.
#pragma once

#include <gtest/gtest.h>
#include <irrlicht.h>

#include <memory>
#include <string>
#include <vector>

#include "app/base/event_handler.h"
#include "gfx/gfx_resources.h"
#include "gfx/graphics_object.h"
#include "support/interface_harness.h"
#include "support/space_empire.h"
#include "ui/actionmenu/action_list.h"
#include "ui/actionmenu/context_entries.h"
#include "ui/menus/cargo_dialog.h"
#include "ui/selection.h"
#include "universe/galaxy_fixture.h"
#include "universe/movement/mobile_mover.h"
#include "universe/orders/unit_ai.h"

namespace contextmenutest {

class ContextMenuTest : public galaxytest::GalaxyTest {
 protected:
  void SetUp() override {
    GalaxyTest::SetUp();
    space = registerSpaceEmpire();
    ui = std::make_unique<InterfaceHarness>();
    ASSERT_NE(ui->device(), nullptr);
    ui->useFixedFont();
    NamedVar<irr::video::SMaterial*>::getOrAdd(gfxResources.materials, L"selectRing").value = &ringMaterial_;
    activeEmpire = red;
    setSelection(nullptr);
  }
  void TearDown() override {
    setSelection(nullptr);
    clearActionLists();
    releaseCargoDialog();
    shiftKeyDown = controlKeyDown = altKeyDown = false;
    // Newest first: a docked ship goes before its carrier, a planet before
    // its system.
    for (auto it = objects_.rbegin(); it != objects_.rend(); ++it)
      (*it)->destroyNow(false);
    objects_.clear();
    activeEmpire = nullptr;
    gfxResources.materials.clear();
    ui.reset();
    GalaxyTest::TearDown();
  }

  // A star system in the galaxy.
  solarSystem* system(float x = 0.0f) {
    auto* made = new solarSystem();
    made->position.set(x, 0, 0);
    made->setContainer(galaxy);
    objects_.push_back(made);
    return made;
  }
  // An object of `owner` (may be null) of `type`, in `place` when given,
  // with an order queue and a mobile mover when asked.
  TestObject* object(empire* owner, int type, generic_object* place = nullptr, bool queue = true, bool mobile = true) {
    auto* made = new TestObject(owner, type);
    made->radius = 2.0f;
    if (mobile) {
      auto* mover = new MobileMover();
      mover->thrust = 4.0f;
      made->mover = mover;
    }
    if (queue) {
      auto* ai = new UnitAI(made, false);
      made->setAI(ai);
      ai->release();  // the object holds it
    }
    if (place != nullptr)
      made->setContainer(place);
    objects_.push_back(made);
    return made;
  }
  TestObject* ship(empire* owner = nullptr, generic_object* place = nullptr) {
    return object(owner != nullptr ? owner : red, OT_Hulled, place);
  }
  TestObject* planet(empire* owner, generic_object* place = nullptr) {
    return object(owner, OT_Planet, place, false, false);
  }
  // Gives the object a graphics object (which the object holds) on a scene
  // node of its own.
  graphicsObject* show(generic_object* owner) {
    if (owner->graphics == nullptr)
      owner->graphics = new graphicsObject(owner, engine.scene->addEmptySceneNode());
    return owner->graphics;
  }
  graphicsObject* select(generic_object* owner) {
    graphicsObject* shown = show(owner);
    addToSelection(shown);
    return shown;
  }

  // The items of an open menu: their texts, "-" for a separator.
  static std::vector<std::wstring> itemsOf(const irr::gui::IGUIContextMenu* menu) {
    std::vector<std::wstring> items;
    if (menu == nullptr)
      return items;
    for (irr::u32 i = 0; i < menu->getItemCount(); ++i) {
      const wchar_t* text = menu->getItemText(i);
      items.emplace_back(text[0] == 0 ? L"-" : text);
    }
    return items;
  }
  // Whether any context menu is in the GUI.
  bool menuInGui() const {
    for (irr::gui::IGUIElement* child : ui->root()->getChildren())
      if (child->getType() == irr::gui::EGUIET_CONTEXT_MENU)
        return true;
    return false;
  }
  // Moves the mouse over the menu until item `index` is highlighted and
  // clicks it there; false when no place highlights it.
  bool clickItem(irr::gui::IGUIContextMenu* menu, irr::u32 index) {
    const irr::core::recti area = menu->getAbsolutePosition();
    const irr::s32 x = area.getCenter().X;
    for (irr::s32 y = area.UpperLeftCorner.Y; y < area.LowerRightCorner.Y; ++y) {
      ui->moveMouse(x, y);
      if (menu->getSelectedItem() == static_cast<irr::s32>(index)) {
        ui->pressMouse(x, y);
        ui->releaseMouse(x, y);
        return true;
      }
    }
    return false;
  }

  empire* space = nullptr;
  std::unique_ptr<InterfaceHarness> ui;

 private:
  irr::video::SMaterial ringMaterial_;
  std::vector<generic_object*> objects_;
};

}  // namespace contextmenutest
