// The strategic view's mouse input, driven through the event handler as the
// engine would deliver it: clicks, double clicks, box drags, presses over
// the GUI, camera drags and the wheel, and the frame step's edge scrolling
// and held cursor.
#include "ui/view_input.h"

#include <gtest/gtest.h>
#include <irrlicht.h>

#include <string>

#include "app/base/config.h"
#include "app/base/event_handler.h"
#include "scriptapi/script_session.h"
#include "ui/actionmenu/action_list.h"
#include "view_picking_fixture.h"

namespace view_input_test {

using irr::core::position2di;
using irr::core::vector3df;
using viewpicking::Thing;

constexpr irr::u32 kStart = 5000000;

class ViewInputTest : public viewpicking::ViewPickingTest {
 protected:
  void SetUp() override {
    ViewPickingTest::SetUp();
    viewInputState = ViewInputState{};
    viewCursor = ViewCursor{};
    timer.realTime = kStart;
    bEdgeScroll = true;
    bCentralZoomOut = false;
  }
  void TearDown() override {
    gameCamera.clearFocus();
    gameCamera.node = nullptr;
    gameCamera.worldMoveInput.set(0, 0, 0);
    gameCamera.targetOffset.set(0, 0, 0);
    gameCamera.zoomDistance = 0.0f;
    gameCamera.freeform = true;
    gameCamera.yaw = gameCamera.pitch = gameCamera.targetYaw = gameCamera.targetPitch = 0.0f;
    viewInputState = ViewInputState{};
    viewCursor = ViewCursor{};
    bEdgeScroll = true;
    ViewPickingTest::TearDown();
  }

  // The camera node driven by the game camera, as in a session.
  void driveCamera() {
    gameCamera.node = camera;
    gameCamera.zoomDistance = (camera->getAbsolutePosition() - camera->getTarget()).getLength();
    gameCamera.targetOffset = camera->getTarget();
  }

  void drag(position2di from, position2di to, InterfaceHarness::Button button = InterfaceHarness::kLeft) {
    ui->moveMouse(from.X, from.Y);
    ui->pressMouse(from.X, from.Y, button);
    ui->moveMouse(to.X, to.Y);
    ui->releaseMouse(to.X, to.Y, button);
  }

  // A click with `hovered` under the cursor (the hover comes from the view's
  // other parts; here it is set by hand).
  void clickOn(graphicsObject* hovered, irr::u32 at) {
    timer.realTime = at;
    setHoveredObject(hovered);
    ui->click(320, 240);
  }

  static uint32_t selectedCount() { return getSelectedObjectCount(); }
};

TEST_F(ViewInputTest, NoGalaxyMeansTheViewTakesNoEvent) {
  Thing* own = ship(red, system, vector3df(0, 0, 0));
  setSelection(own->graphics);
  objGalaxy* world = galaxy;
  galaxy = nullptr;
  EXPECT_FALSE(ui->click(320, 240));
  EXPECT_FALSE(ui->wheel(320, 240, 1.0f));
  galaxy = world;
  EXPECT_EQ(getSingleSelectedObject(), own->graphics);
  EXPECT_FALSE(viewInputState.leftDown);
  EXPECT_TRUE(ui->click(320, 240)) << "with a galaxy the view takes the click";
  EXPECT_EQ(selectedCount(), 0u);
}

TEST_F(ViewInputTest, ALeftDragOfTwoPixelsOnEitherAxisSelectsNothingAndDoesNotClick) {
  Thing* boxed = ship(red, system, vector3df(0, 0, 0));
  Thing* kept = ship(red, system, vector3df(15000, 0, 0));  // far outside every box
  const position2di at = screenOf(boxed->graphics->getAbsolutePosition());
  struct Case {
    int dx, dy;
  };
  const Case cases[] = {{2, 2}, {2, 60}, {60, 2}, {-2, -60}, {-60, -2}, {0, 50}, {50, 0}, {2, -2}};
  for (const Case& c : cases) {
    setSelection(kept->graphics);
    const uint32_t id = getSelectionId();
    drag(position2di(at.X - 30, at.Y - 30), position2di(at.X - 30 + c.dx, at.Y - 30 + c.dy));
    EXPECT_EQ(getSingleSelectedObject(), kept->graphics) << c.dx << "," << c.dy;
    EXPECT_EQ(getSelectionId(), id) << c.dx << "," << c.dy << ": no box, no click";
    EXPECT_FALSE(viewInputState.dragged);
    EXPECT_FALSE(viewInputState.leftDown);
  }
  // Three pixels on both axes is a box, in each direction of drag.
  const Case boxes[] = {{60, 60}, {-60, -60}, {60, -60}, {-60, 60}};
  for (const Case& c : boxes) {
    setSelection(kept->graphics);
    drag(position2di(at.X - c.dx / 2, at.Y - c.dy / 2), position2di(at.X + c.dx / 2, at.Y + c.dy / 2));
    EXPECT_EQ(getSingleSelectedObject(), boxed->graphics) << c.dx << "," << c.dy;
  }
  setSelection(kept->graphics);
  drag(position2di(at.X - 40, at.Y - 40), position2di(at.X - 37, at.Y - 37));
  EXPECT_EQ(selectedCount(), 0u) << "a 3-pixel box that meets nothing still clears the selection";
}

TEST_F(ViewInputTest, AnAltLeftDragPaintsWhatPassesUnderTheCursorIntoTheSelection) {
  Thing* first = ship(red, system, vector3df(-400, 0, 0));
  Thing* second = ship(red, system, vector3df(400, 0, 0));
  const position2di a = screenOf(first->graphics->getAbsolutePosition());
  const position2di b = screenOf(second->graphics->getAbsolutePosition());
  altKeyDown = true;
  ui->moveMouse(a.X + 1, a.Y);
  ui->pressMouse(a.X + 1, a.Y);
  ui->moveMouse(a.X, a.Y);
  ui->moveMouse(b.X, b.Y);
  ui->releaseMouse(b.X, b.Y);
  altKeyDown = false;
  EXPECT_EQ(selectedCount(), 2u);
  EXPECT_TRUE(first->graphics->selected);
  EXPECT_TRUE(second->graphics->selected);
  EXPECT_FALSE(viewInputState.paintSelecting);
}

TEST_F(ViewInputTest, ClicksSelectByTheModifierKeys) {
  Thing* a = ship(red, system, vector3df(0, 0, 0));
  Thing* b = ship(red, system, vector3df(300, 0, 0));
  struct Case {
    const char* what;
    bool shift, control, alt;
    bool aSelectedBefore;
    bool aAfter, bAfter;
  };
  const Case cases[] = {
      {"plain", false, false, false, true, false, true},
      {"shift adds", true, false, false, true, true, true},
      {"control adds", false, true, false, true, true, true},
      {"alt plays no part", false, false, true, true, false, true},
  };
  irr::u32 now = kStart;
  for (const Case& c : cases) {
    setSelection(a->graphics);
    shiftKeyDown = c.shift;
    controlKeyDown = c.control;
    altKeyDown = c.alt;
    clickOn(b->graphics, now += 1000);
    shiftKeyDown = controlKeyDown = altKeyDown = false;
    EXPECT_EQ(a->graphics->selected, c.aAfter) << c.what;
    EXPECT_EQ(b->graphics->selected, c.bAfter) << c.what;
  }
  // Control on a selected member of a larger selection takes it out.
  setSelection(a->graphics);
  addToSelection(b->graphics);
  controlKeyDown = true;
  clickOn(b->graphics, now += 1000);
  EXPECT_FALSE(b->graphics->selected);
  // ... and on the single selected object, too.
  clickOn(a->graphics, now += 100);
  controlKeyDown = false;
  EXPECT_EQ(selectedCount(), 0u);
}

TEST_F(ViewInputTest, ADoubleClickFocusesTheCameraWithinSevenHundredMilliseconds) {
  Thing* a = ship(red, system, vector3df(0, 0, 0));
  setSelection(a->graphics);
  struct Step {
    irr::u32 at;  // after kStart
    bool doubleClick;
  };
  // The window opens at the first click and a double click does not renew
  // it; once it has passed, the next click only opens a new one.
  const Step steps[] = {{0, false},    {300, true},   {700, true},   {701, false}, {1000, true},
                        {1401, true},  {1402, false}, {5000, false}, {5699, true}};
  for (const Step& s : steps) {
    gameCamera.clearFocus();
    clickOn(a->graphics, kStart + s.at);
    EXPECT_EQ(gameCamera.focus == a->graphics, s.doubleClick) << "click at +" << s.at;
    EXPECT_EQ(getSingleSelectedObject(), a->graphics) << s.at;
  }
  // A Control click on it closes the window as it leaves the selection.
  controlKeyDown = true;
  clickOn(a->graphics, kStart + 6000);
  controlKeyDown = false;
  clickOn(a->graphics, kStart + 6100);  // selects it again, opening a window
  gameCamera.clearFocus();
  clickOn(a->graphics, kStart + 6200);
  EXPECT_EQ(gameCamera.focus, a->graphics);
}

TEST_F(ViewInputTest, AClickOnAnotherObjectRestartsTheWindow) {
  Thing* a = ship(red, system, vector3df(0, 0, 0));
  Thing* b = ship(red, system, vector3df(300, 0, 0));
  setSelection(a->graphics);
  clickOn(a->graphics, kStart);        // opens the window on a
  clickOn(b->graphics, kStart + 100);  // b becomes the single selection, window renewed
  clickOn(b->graphics, kStart + 750);  // within 700 ms of b's click
  EXPECT_EQ(gameCamera.focus, b->graphics);
}

TEST_F(ViewInputTest, APressOverTheGuiChangesNothingInTheView) {
  Thing* a = ship(red, system, vector3df(0, 0, 0));
  setSelection(a->graphics);
  irr::gui::IGUIButton* button = ui->gui()->addButton(irr::core::recti(10, 10, 110, 40), nullptr, 77, L"OK");
  irr::gui::IGUIStaticText* text = ui->gui()->addStaticText(L"label", irr::core::recti(10, 60, 110, 90));
  for (irr::gui::IGUIElement* element : {static_cast<irr::gui::IGUIElement*>(button),
                                         static_cast<irr::gui::IGUIElement*>(text)}) {
    for (InterfaceHarness::Button which :
         {InterfaceHarness::kLeft, InterfaceHarness::kRight, InterfaceHarness::kMiddle}) {
      const uint32_t id = getSelectionId();
      ui->clickElement(element, which);
      EXPECT_EQ(getSingleSelectedObject(), a->graphics) << which;
      EXPECT_EQ(getSelectionId(), id) << which;
      EXPECT_FALSE(viewInputState.leftDown || viewInputState.rightDown || viewInputState.middleDown) << which;
      EXPECT_EQ(moveTargetState.moveFireTime, 0u) << which;
    }
  }
  button->remove();
  text->remove();
}

TEST_F(ViewInputTest, AClickOnEmptySpaceClearsTheSelectionOrElseTheCameraFocus) {
  Thing* a = ship(red, system, vector3df(0, 0, 0));
  struct Case {
    const char* what;
    bool selected;
    bool focusAfter;
  };
  const Case cases[] = {{"with a selection", true, true}, {"with nothing selected", false, false}};
  for (const Case& c : cases) {
    setSelection(c.selected ? a->graphics : nullptr);
    gameCamera.setFocus(a->graphics, true);
    clickOn(nullptr, kStart + 1000);
    EXPECT_EQ(selectedCount(), 0u) << c.what;
    EXPECT_EQ(gameCamera.focus != nullptr, c.focusAfter) << c.what;
  }
}

TEST_F(ViewInputTest, MissingScriptCallbacksFallBackAndPresentOnesTakeTheClick) {
  scriptapitest::setUpScriptsOfWorkingFolder();
  ASSERT_NE(clientScriptEngine, nullptr);
  Thing* a = ship(red, system, vector3df(0, 0, 0));
  Thing* b = ship(red, system, vector3df(300, 0, 0));
  a->name = L"Alpha";
  b->name = L"Beta";
  const auto report = [] { return scriptapitest::call(clientScriptEngine->GetModule("gui"), "string@ report()"); };
  // A module with neither callback: the built-in actions.
  ASSERT_TRUE(useGuiModule("string@ report() { return \"none\"; }"));
  setSelection(a->graphics);
  clickOn(b->graphics, kStart);
  EXPECT_EQ(getSingleSelectedObject(), b->graphics);
  clickOn(b->graphics, kStart + 100);
  EXPECT_EQ(gameCamera.focus, b->graphics);
  gameCamera.clearFocus();

  releasePickingState();  // a new session looks the callbacks up again
  ASSERT_TRUE(useGuiModule(R"(
    string seen;
    void onClick(Object@ o) { seen += "click " + o.getName() + ";"; }
    void onDoubleClick(Object@ o) { seen += "double " + o.getName() + ";"; }
    string@ report() { return seen; }
  )"));
  setSelection(a->graphics);
  clickOn(b->graphics, kStart + 2000);
  EXPECT_EQ(getSingleSelectedObject(), a->graphics) << "onClick takes the click";
  clickOn(a->graphics, kStart + 2800);  // the single selected object: opens the window
  clickOn(a->graphics, kStart + 2900);
  EXPECT_EQ(report(), "click Beta;double Alpha;");
  EXPECT_EQ(gameCamera.focus, nullptr) << "onDoubleClick takes the double click";
}

TEST_F(ViewInputTest, EdgeScrollingFollowsTheCursorAtTheScreenEdges) {
  const irr::s32 w = 640;
  const irr::s32 h = 480;
  struct Step {
    irr::s32 x, y;
    float sideways, forward;
  };
  const Step steps[] = {
      {1, 200, -1, 0},  {300, 200, 0, 0},  {w - 1, 200, 1, 0}, {w - 2, 200, 0, 0}, {0, 200, -1, 0},
      {2, 200, 0, 0},   {300, 1, 0, -1},   {300, 300, 0, 0},   {300, h - 1, 0, 1}, {300, h - 2, 0, 0},
      // Straight from one edge to the other: the first step only stops.
      {0, 0, -1, -1},   {w - 1, h - 1, 0, 0}, {w - 1, h - 1, 1, 1}, {300, 300, 0, 0},
  };
  for (const Step& s : steps) {
    ui->moveMouse(s.x, s.y);
    updateViewInput();
    EXPECT_EQ(gameCamera.worldMoveInput.X, s.sideways) << s.x << "," << s.y;
    EXPECT_EQ(gameCamera.worldMoveInput.Z, s.forward) << s.x << "," << s.y;
  }
  // Turned off, or during a drag, the speeds stay as they are.
  ui->moveMouse(1, 200);
  bEdgeScroll = false;
  updateViewInput();
  EXPECT_EQ(gameCamera.worldMoveInput.X, 0.0f);
  bEdgeScroll = true;
  viewInputState.dragged = true;
  updateViewInput();
  EXPECT_EQ(gameCamera.worldMoveInput.X, 0.0f);
}

TEST_F(ViewInputTest, WithNoMouseEventTheCameraStaysPut) {
  driveCamera();
  gameCamera.update(0.01f);
  const vector3df target = camera->getTarget();
  const vector3df offset = gameCamera.targetOffset;
  for (int frame = 0; frame < 1000; ++frame) {
    updateViewInput();
    gameCamera.update(0.02f);
  }
  EXPECT_EQ(gameCamera.worldMoveInput, vector3df(0, 0, 0));
  EXPECT_TRUE(camera->getTarget().equals(target, 1e-3f));
  EXPECT_TRUE(gameCamera.targetOffset.equals(offset, 1e-3f));
  // The same cursor, once a mouse event has placed it there, scrolls.
  ui->moveMouse(0, 0);
  updateViewInput();
  gameCamera.update(0.02f);
  EXPECT_FALSE(gameCamera.targetOffset.equals(offset, 1e-3f));
}

TEST_F(ViewInputTest, CameraDragsHoldTheHiddenCursorAtThePressPoint) {
  driveCamera();
  gameCamera.freeform = false;
  struct Case {
    const char* what;
    InterfaceHarness::Button button;
    bool held;
  };
  const Case cases[] = {{"right drag turns", InterfaceHarness::kRight, true},
                        {"middle drag pans", InterfaceHarness::kMiddle, true},
                        {"left drag draws a box", InterfaceHarness::kLeft, false}};
  for (const Case& c : cases) {
    const float yaw = gameCamera.targetYaw;
    const vector3df offset = gameCamera.targetOffset;
    ui->moveMouse(300, 200);
    ui->pressMouse(300, 200, c.button);
    ui->moveMouse(340, 230);
    updateViewInput();
    EXPECT_EQ(viewCursor.position, c.held ? position2di(300, 200) : position2di(340, 230)) << c.what;
    EXPECT_EQ(viewCursor.visible, !c.held) << c.what;
    if (c.held) {
      EXPECT_EQ(engine.cursor->getPosition(), position2di(300, 200)) << c.what;
      ui->moveMouse(300, 200);  // the engine reports the cursor put back: no move
      ui->moveMouse(310, 200);  // measured from the press point again
    }
    if (c.button == InterfaceHarness::kRight) {
      EXPECT_NE(gameCamera.targetYaw, yaw) << c.what;
    }
    if (c.button == InterfaceHarness::kMiddle) {
      EXPECT_FALSE(gameCamera.targetOffset.equals(offset)) << c.what;
    }
    ui->releaseMouse(310, 200, c.button);
    EXPECT_TRUE(viewCursor.visible) << c.what;
    EXPECT_FALSE(viewInputState.dragged) << c.what;
  }
}

TEST_F(ViewInputTest, RightClicksOpenTheMenuOnAnObjectOrSendTheSelectionToAPoint) {
  Thing* own = ship(red, system, vector3df(0, 0, 0));
  setSelection(own->graphics);
  // Empty space: the order waits its 300 ms.
  ui->click(400, 300, InterfaceHarness::kRight);
  EXPECT_NE(moveTargetState.moveFireTime, 0u);
  // A second right press while it waits becomes a height drag; the release
  // fires it on the next frame.
  ui->pressMouse(400, 300, InterfaceHarness::kRight);
  EXPECT_TRUE(viewInputState.heightAdjust);
  EXPECT_EQ(moveTargetState.moveFireTime, 0u);
  const float height = moveTargetState.heightOffset;
  ui->moveMouse(400, 280);
  EXPECT_NE(moveTargetState.heightOffset, height);
  ui->releaseMouse(400, 280, InterfaceHarness::kRight);
  EXPECT_EQ(moveTargetState.moveFireTime, 1u);
  updateViewInput();
  EXPECT_EQ(moveTargetState.moveFireTime, 0u);
  ASSERT_EQ(own->destinations.size(), 1u);
  EXPECT_FALSE(viewInputState.heightAdjust || viewInputState.dragged || viewInputState.rightDown);
}

TEST_F(ViewInputTest, TheWheelFocusesANearHoveredObjectAndZoomsOtherwise) {
  driveCamera();
  Thing* near = thing(blue, OT_Planet, system, vector3df(0, 0, 0), 8000.0f);
  const float zoom = gameCamera.zoomDistance;
  setHoveredObject(near->graphics);
  ui->wheel(320, 240, 1.0f);
  EXPECT_EQ(gameCamera.focus, near->graphics) << "within 8 radii of the camera";
  ui->wheel(320, 240, -1.0f);
  EXPECT_EQ(gameCamera.focus, near->graphics);
  EXPECT_EQ(getHoveredObject(), nullptr) << "a zoom-out on the focus lets the hover go";
  gameCamera.clearFocus();
  gameCamera.zoomDistance = zoom;
  bCentralZoomOut = true;
  ui->wheel(320, 240, -1.0f);
  EXPECT_GT(gameCamera.zoomDistance, zoom) << "a central zoom-out";
  bCentralZoomOut = false;
}

}  // namespace view_input_test
