// Picking in the strategic view on the null scene with a real camera: what
// the ray under the cursor finds, the hovered object with its server watch
// and its clearing by the GUI, and the "gui" module's view callbacks (ids
// cached per session, fallbacks, no reference kept).
#include "ui/object_picking.h"

#include <angelscript.h>
#include <gtest/gtest.h>
#include <irrlicht.h>

#include <string>

#include "net/network_manager.h"
#include "view_picking_fixture.h"

namespace object_picking_test {

using irr::core::vector3df;
using viewpicking::Thing;

class ObjectPickingTest : public viewpicking::ViewPickingTest {};

TEST_F(ObjectPickingTest, RayUnderTheCursorFindsThePlanetTheSystemOrNothing) {
  // The camera is 50000 from the system: near enough to try its objects,
  // far enough for the system itself to count.
  Thing* planet = thing(blue, OT_Planet, system, vector3df(0, 0, -600), 300.0f);
  struct Case {
    const char* what;
    vector3df aim;  // the cursor stands where this point shows
    generic_object* expected;
  };
  const Case cases[] = {
      {"a planet in front of its system", vector3df(0, 0, -600), planet},
      {"only the system (the wide pick finding nothing)", vector3df(1200, 0, 900), system},
      {"nothing at all", vector3df(30000, 0, 0), nullptr},
  };
  for (const Case& c : cases) {
    engine.cursor->setPosition(screenOf(c.aim));
    graphicsObject* found = pickObjectUnderCursor();
    EXPECT_EQ(found != nullptr ? found->getOwner() : nullptr, c.expected) << c.what;
  }
  EXPECT_EQ(sceneLock->depth(), 0u) << "the pick gave the scene lock back";
}

TEST_F(ObjectPickingTest, WithoutGraphicsObjectsEveryPickFindsNothing) {
  Thing* planet = thing(blue, OT_Planet, system, vector3df(0, 0, -600), 300.0f);
  setCurrentViewGroup(nullptr);
  planet->graphics->drop();
  planet->graphics = nullptr;
  system->graphics = nullptr;
  systemGroup->remove(false);
  engine.cursor->setPosition(screenOf(vector3df(0, 0, -600)));
  EXPECT_EQ(pickObjectUnderCursor(), nullptr);
}

TEST_F(ObjectPickingTest, HoverWatchesAgainOnlyAfterMoreThan333Ms) {
  Thing* planet = thing(blue, OT_Planet, system, vector3df(0, 0, -600), 300.0f);
  Thing* other = thing(blue, OT_Planet, system, vector3df(600, 0, 0), 300.0f);
  networkManager->isNetworked = true;
  networkManager->isConnected = true;
  auto watched = [](generic_object* object) {
    return networkManager->watchedObjects.count(object) != 0;
  };
  // The network update sends the watch and forgets it.
  auto sendWatches = [] {
    for (generic_object* object : networkManager->watchedObjects)
      object->drop();
    networkManager->watchedObjects.clear();
  };
  timer.realTime = 0xFFFFFF00u;  // the windows cross the timer's wrap
  const irr::u32 start = timer.realTime;
  setHoveredObject(planet->graphics);
  EXPECT_TRUE(watched(planet));
  sendWatches();
  struct Step {
    irr::u32 after;
    bool watchedAgain;
  };
  for (const Step& step : {Step{1, false}, Step{200, false}, Step{333, false}, Step{334, true}, Step{335, false}}) {
    timer.realTime = start + step.after;
    setHoveredObject(planet->graphics);
    EXPECT_EQ(watched(planet), step.watchedAgain) << step.after << " ms";
    sendWatches();
  }
  // Another object is watched at once.
  setHoveredObject(other->graphics);
  EXPECT_TRUE(watched(other));
  sendWatches();
  setHoveredObject(nullptr);
  networkManager->isNetworked = false;
  networkManager->isConnected = false;
}

TEST_F(ObjectPickingTest, HoveringTheSameObjectKeepsItsCountAndTheRenderGroupsSeeIt) {
  Thing* planet = thing(blue, OT_Planet, system, vector3df(0, 0, -600), 300.0f);
  graphicsObject* graphics = planet->graphics;
  const int32_t before = graphics->refCount.load();
  setHoveredObject(graphics);
  EXPECT_EQ(graphics->refCount.load(), before + 1);
  for (int i = 0; i < 3; ++i)
    setHoveredObject(graphics);
  EXPECT_EQ(graphics->refCount.load(), before + 1);
  EXPECT_EQ(hoveredGraphicsObject.load(), graphics);
  EXPECT_TRUE(containsHoveredObject(graphics));
  EXPECT_TRUE(containsHoveredObject(systemGroup)) << "its system contains it";
  EXPECT_FALSE(containsHoveredObject(nullptr));
  setHoveredObject(nullptr);
  EXPECT_EQ(graphics->refCount.load(), before);
  EXPECT_FALSE(containsHoveredObject(systemGroup));
  EXPECT_EQ(hoveredGraphicsObject.load(), nullptr);
}

// Takes every mouse event over it.
class MouseCatcher : public irr::gui::IGUIElement {
 public:
  MouseCatcher(irr::gui::IGUIEnvironment* gui, const irr::core::recti& area)
      : IGUIElement(irr::gui::EGUIET_ELEMENT, gui, gui->getRootGUIElement(), -1, area) {}
  bool OnEvent(const irr::SEvent& event) override { return event.EventType == irr::EET_MOUSE_INPUT_EVENT; }
};

TEST_F(ObjectPickingTest, AMouseMoveTheGuiUsesClearsTheHoveredObject) {
  Thing* planet = thing(blue, OT_Planet, system, vector3df(0, 0, -600), 300.0f);
  auto* catcher = new MouseCatcher(ui->gui(), irr::core::recti(0, 0, 100, 100));
  catcher->drop();  // the root holds it
  setHoveredObject(planet->graphics);
  ui->moveMouse(400, 300);  // over the view
  EXPECT_EQ(getHoveredObject(), planet->graphics);
  ui->moveMouse(50, 50);  // over the element
  EXPECT_EQ(getHoveredObject(), nullptr);
  catcher->remove();
}

// --- View callbacks ---------------------------------------------------------------

class ViewScriptsTest : public viewpicking::ViewPickingTest {
 protected:
  void SetUp() override {
    ViewPickingTest::SetUp();
    scriptapitest::setUpScriptsOfWorkingFolder();
    ASSERT_NE(clientScriptEngine, nullptr);
  }
  static void useModule(const std::string& code) { ASSERT_TRUE(useGuiModule(code)) << code; }
  static std::string report() {
    return scriptapitest::call(clientScriptEngine->GetModule("gui"), "string@ report()");
  }
};

TEST_F(ViewScriptsTest, ClicksReachTheScriptWithoutKeepingAReference) {
  useModule(R"(
    int clicks = 0;
    string last;
    void onClick(Object@ o) { ++clicks; last = o.getName(); }
    string@ report() { return "" + clicks + " " + last; }
  )");
  Thing* planet = thing(blue, OT_Planet, system, vector3df(0, 0, -600), 300.0f);
  planet->name = L"Tellus";
  const int32_t before = planet->refCount.load();
  for (int i = 0; i < 100; ++i)
    ASSERT_TRUE(callViewScript(VS_OnClick, planet->graphics));
  EXPECT_EQ(report(), "100 Tellus");
  EXPECT_EQ(planet->refCount.load(), before);
  EXPECT_GE(viewScriptId(VS_OnClick), 0);
}

TEST_F(ViewScriptsTest, MissingOrBrokenCallbacksLeaveTheBuiltInBehaviour) {
  Thing* planet = thing(blue, OT_Planet, system, vector3df(0, 0, -600), 300.0f);
  const int32_t before = planet->refCount.load();
  // No "gui" module: every callback is missing until the session ends.
  EXPECT_FALSE(callViewScript(VS_OnClick, planet->graphics));
  EXPECT_EQ(viewScriptId(VS_OnClick), kViewScriptNoModule);
  useModule("void onClick(Object@ o) {}");
  EXPECT_FALSE(callViewScript(VS_OnClick, planet->graphics)) << "the cache holds until the session ends";
  releasePickingState();
  EXPECT_TRUE(callViewScript(VS_OnClick, planet->graphics)) << "looked up again by the next session";

  struct Case {
    const char* what;
    const char* code;
    bool available;
  };
  const Case cases[] = {
      {"another declaration", "void onDoubleClick(Object@ o, int n) {}", false},
      {"a const handle", "void onDoubleClick(const Object@ o) {}", false},
      {"a callback that throws", "void onDoubleClick(Object@ o) { Object@ none; none.getName(); }", true},
      {"a callback of a null object", "void onDoubleClick(Object@ o) { o.getName(); }", true},
  };
  for (const Case& c : cases) {
    releasePickingState();
    useModule(c.code);
    EXPECT_EQ(callViewScript(VS_OnDoubleClick, planet->graphics), c.available) << c.what;
    EXPECT_EQ(viewScriptId(VS_OnDoubleClick) >= 0, c.available) << c.what;
    EXPECT_EQ(planet->refCount.load(), before) << c.what;
  }
  EXPECT_TRUE(callViewScriptOn(VS_OnDoubleClick, nullptr)) << "a null object raises in the script, nothing more";
}

TEST_F(ViewScriptsTest, MouseOverContextGetsTheObjectAndThePosition) {
  useModule(R"(
    string seen;
    void OnMouseOverContext(Object@ o, pos2di at) {
      seen += (o is null ? "null" : o.getName()) + "@" + at.x + "," + at.y + ";";
    }
    string@ report() { return seen; }
  )");
  Thing* planet = thing(blue, OT_Planet, system, vector3df(0, 0, -600), 300.0f);
  planet->name = L"Tellus";
  const int32_t before = planet->refCount.load();
  callMouseOverContext(nullptr, irr::core::position2di(0, 0));
  callMouseOverContext(planet, irr::core::position2di(12, -3));
  EXPECT_EQ(report(), "null@0,0;Tellus@12,-3;");
  EXPECT_EQ(planet->refCount.load(), before);
}

}  // namespace object_picking_test
