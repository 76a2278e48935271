// Rich-text links clicked as a player clicks them (injected mouse events
// through the event handler): an object link selects its object, a second
// click focuses the camera on it; a release without a press on the link
// goes to the parent; links whose object is gone, or that do nothing, or
// whose hook is unknown, change nothing.
#include <gtest/gtest.h>
#include <irrlicht.h>

#include <memory>
#include <vector>

#include "gfx/game_camera.h"
#include "gfx/gfx_resources.h"
#include "gfx/graphics_object.h"
#include "gui/extended_text.h"
#include "gui/richtext/gui_link.h"
#include "gui/richtext/text_tags.h"
#include "support/interface_harness.h"
#include "ui/selection.h"
#include "universe/universe_fixture.h"

namespace text_link_test {

namespace {

// An element that writes down the mouse events that reach it.
class RecordingParent : public irr::gui::IGUIElement {
 public:
  RecordingParent(irr::gui::IGUIEnvironment* environment, const irr::core::recti& area)
      : IGUIElement(irr::gui::EGUIET_ELEMENT, environment, environment->getRootGUIElement(), -1, area) {}
  // Left presses and releases (moves pass through links to here too).
  bool OnEvent(const irr::SEvent& event) override {
    if (event.EventType == irr::EET_MOUSE_INPUT_EVENT && (event.MouseInput.Event == irr::EMIE_LMOUSE_PRESSED_DOWN ||
                                                          event.MouseInput.Event == irr::EMIE_LMOUSE_LEFT_UP))
      events.push_back(event.MouseInput.Event);
    return false;
  }
  std::vector<irr::EMOUSE_INPUT_EVENT> events;
};

class TextLinkTest : public UniverseTest {
 protected:
  void SetUp() override {
    UniverseTest::SetUp();
    ui_ = std::make_unique<InterfaceHarness>();
    ASSERT_NE(ui_->device(), nullptr);
    ui_->useFixedFont(10, 16);
    NamedVar<irr::video::SMaterial*>::getOrAdd(gfxResources.materials, L"selectRing").value = &ringMaterial_;
    setSelection(nullptr);
    parent_ = new RecordingParent(ui_->gui(), irr::core::recti(100, 100, 500, 300));
    text_ = addExtendedText(ui_->gui(), irr::core::recti(0, 0, 400, 100), parent_, -1);
  }
  void TearDown() override {
    setSelection(nullptr);
    gameCamera.clearFocus();
    gameCamera = GameCamera();
    parent_->remove();
    parent_->drop();
    for (generic_object* object : objects_)
      object->graphics = nullptr;
    for (graphicsObject* made : graphics_)
      made->drop();
    for (generic_object* object : objects_)
      object->destroyNow(false);
    gfxResources.materials.clear();
    ui_.reset();
    releaseTextTags();
    UniverseTest::TearDown();
  }

  // An object of red's with a graphics object on a node of its own.
  generic_object* object() {
    auto* made = new TestObject(red, OT_Hulled);
    objects_.push_back(made);
    auto* graphics = new graphicsObject(made, engine.scene->addEmptySceneNode());
    graphics_.push_back(graphics);
    made->graphics = graphics;
    return made;
  }

  irr::gui::CGUILink& onlyLink() {
    EXPECT_EQ(text_->links().size(), 1u);
    return *text_->links().front();
  }

  std::unique_ptr<InterfaceHarness> ui_;
  irr::video::SMaterial ringMaterial_;
  RecordingParent* parent_ = nullptr;
  irr::gui::CGUIExtendedText* text_ = nullptr;
  std::vector<generic_object*> objects_;
  std::vector<graphicsObject*> graphics_;
};

TEST_F(TextLinkTest, FirstClickSelectsSecondFocusesTheCamera) {
  generic_object* ship = object();
  ASSERT_EQ(getObjectByUID(ship->uid), ship);
  text_->setText((irr::core::stringw(L"See #link:o") + irr::core::stringw(ship->uid) + L"#the ship#link# now").c_str());
  irr::gui::CGUILink& link = onlyLink();
  // "See " is 40 pixels; the link covers "the ship" (80) on the first line.
  EXPECT_EQ(link.getAbsolutePosition(), irr::core::recti(140, 100, 220, 116));

  EXPECT_TRUE(ui_->clickElement(&link));
  EXPECT_EQ(getSingleSelectedObject(), ship->graphics);
  EXPECT_EQ(gameCamera.focus, nullptr);
  EXPECT_EQ(ui_->gui()->getFocus(), nullptr);

  EXPECT_TRUE(ui_->clickElement(&link));
  EXPECT_EQ(gameCamera.focus, ship->graphics);
  EXPECT_EQ(getSingleSelectedObject(), ship->graphics);
  EXPECT_EQ(ui_->gui()->getFocus(), nullptr);
  EXPECT_TRUE(parent_->events.empty());
}

TEST_F(TextLinkTest, ReleasesAndLinksThatDoNothing) {
  generic_object* ship = object();
  const irr::core::stringw uid(ship->uid);
  text_->setText((irr::core::stringw(L"#link:o") + uid + L"#ship#link#").c_str());
  irr::gui::CGUILink* link = &onlyLink();
  const irr::core::position2di on = link->getAbsolutePosition().getCenter();

  // Pressed elsewhere, released on the link: the parent hears the release.
  ui_->pressMouse(450, 250);
  parent_->events.clear();
  ui_->releaseMouse(on.X, on.Y);
  EXPECT_EQ(parent_->events, std::vector<irr::EMOUSE_INPUT_EVENT>{irr::EMIE_LMOUSE_LEFT_UP});
  EXPECT_EQ(getSingleSelectedObject(), nullptr);

  // Pressed on the link, dragged off and released: consumed, no action.
  parent_->events.clear();
  ui_->moveMouse(on.X, on.Y);
  EXPECT_TRUE(ui_->pressMouse(on.X, on.Y));
  EXPECT_TRUE(link->isPressed());
  EXPECT_TRUE(ui_->releaseMouse(on.X + 300, on.Y + 150));
  EXPECT_FALSE(link->isPressed());
  EXPECT_EQ(getSingleSelectedObject(), nullptr);

  // Links of kinds 2 to 4, a hook nobody registered, an object that is
  // gone: each click is consumed and changes nothing.
  for (const wchar_t* code : {L"s1", L"r2", L"e3", L"h:nobody:x", L"o999999"}) {
    SCOPED_TRACE(irr::core::stringc(code).c_str());
    text_->setText((irr::core::stringw(L"#link:") + code + L"#word#link#").c_str());
    link = &onlyLink();
    EXPECT_TRUE(ui_->clickElement(link));
    EXPECT_EQ(getSingleSelectedObject(), nullptr);
    EXPECT_EQ(gameCamera.focus, nullptr);
  }
  EXPECT_TRUE(parent_->events.empty());
}

}  // namespace
}  // namespace text_link_test
