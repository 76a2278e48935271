// The mini system view over a star system of the strategic-view fixture:
// the system (radius 2000) shows in a 200 x 200 view at (100, 100), so a
// system point (x, z) lands on the screen at (200 + x / 20, 200 + z / 20).
// What the view builds, what it draws (recorded), and what the player's
// clicks, boxes and right clicks do to the selection, the camera, the
// context menu and the ships' orders.
#include "ui/mini_view.h"

#include <angelscript.h>
#include <gtest/gtest.h>
#include <irrlicht.h>

#include <cmath>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "app/base/event_handler.h"
#include "app/script_setup.h"
#include "support/recording_painter.h"
#include "ui/actionmenu/action_list.h"
#include "universe/galaxygen/galaxy_generation.h"
#include "universe/movement/mobile_mover.h"
#include "universe/objects/object_states.h"
#include "view_picking_fixture.h"

namespace mini_view_test {

using irr::s32;
using irr::core::position2di;
using irr::core::recti;
using irr::core::vector3df;
using viewpicking::Thing;

namespace {

// Writes down which pair each opening of the context menu was for.
class RecordingActionList : public CGUIActionList {
 public:
  void show(generic_object* first, generic_object* clicked) override { shown.emplace_back(first, clicked); }
  std::vector<std::pair<generic_object*, generic_object*>> shown;
};

irr::SEvent mouseEvent(irr::EMOUSE_INPUT_EVENT kind, s32 x, s32 y) {
  irr::SEvent event{};
  event.EventType = irr::EET_MOUSE_INPUT_EVENT;
  event.MouseInput.Event = kind;
  event.MouseInput.X = x;
  event.MouseInput.Y = y;
  return event;
}

}  // namespace

class MiniViewTest : public viewpicking::ViewPickingTest {
 protected:
  void SetUp() override {
    ViewPickingTest::SetUp();
    red->color = 0xFFFF0000;
    blue->color = 0xFF0000FF;
    system->visibilityMask = red->ownBit;
    view = new MiniView(ui->gui(), recti(100, 100, 300, 300), nullptr, -1);
    view->drop();  // the root holds it
    view->setSystem(system);
  }
  void TearDown() override {
    view->remove();  // lets the system and the hovered object go
    gameCamera.clearFocus();
    clearActionLists();
    ViewPickingTest::TearDown();
  }

  // The screen point of system point (x, z) seen from above.
  static position2di screen(float x, float z) {
    return position2di(200 + static_cast<s32>(x / 20.0f), 200 + static_cast<s32>(z / 20.0f));
  }

  bool send(irr::EMOUSE_INPUT_EVENT kind, const position2di& at) {
    return view->OnEvent(mouseEvent(kind, at.X, at.Y));
  }
  // Moves the cursor there and lets the view find what lies under it.
  void hover(const position2di& at) {
    send(irr::EMIE_MOUSE_MOVED, at);
    view->update();
  }
  bool leftClick(const position2di& at) {
    hover(at);
    send(irr::EMIE_LMOUSE_PRESSED_DOWN, at);
    return send(irr::EMIE_LMOUSE_LEFT_UP, at);
  }
  void dragBox(const position2di& from, const position2di& to) {
    hover(from);
    send(irr::EMIE_LMOUSE_PRESSED_DOWN, from);
    send(irr::EMIE_MOUSE_MOVED, to);
    send(irr::EMIE_LMOUSE_LEFT_UP, to);
  }

  std::vector<std::string> drawn() {
    RecordingPainter painter;
    painter.install();
    view->draw();
    return painter.calls;
  }

  std::set<generic_object*> selected() {
    std::set<generic_object*> members;
    SelectionGuard guard;
    for (uint32_t i = 0; graphicsObject* member = selectedObjectAt(i); ++i)
      members.insert(member->getOwner());
    return members;
  }

  // A planet circling `body` at `radius` on a park orbit, as galaxy
  // generation makes them.
  Thing* orbitingPlanet(empire* owner, generic_object* body, float radius) {
    Thing* planet = thing(owner, OT_Planet, system, vector3df(radius, 0, 0), 200.0f);
    auto* mover = new MobileMover();
    auto* orbit = new OrbitOtherMover();
    orbit->setOrbit(radius, 1.0f, 1.0f, 0.0f, 0.0f, 0.0f, 1.0f, 0.0f);
    orbit->setOrbited(body);
    mover->parkOrbit = orbit;
    mover->setParked(true);
    orbit->active = true;
    planet->mover = mover;
    return planet;
  }

  MiniView* view = nullptr;
};

TEST_F(MiniViewTest, DisplayFlagsAndModeChooseWhatShowsWhere) {
  Thing* star = thing(nullptr, OT_Star, system, vector3df(0, 0, 0), 100.0f);
  thing(red, OT_Planet, system, vector3df(1000, 400, -1000), 300.0f);
  thing(red, OT_Hulled, system, vector3df(-1000, 0, 0), 50.0f);
  thing(blue, OT_Hulled, system, vector3df(0, 0, 1000), 0.5f);
  thing(nullptr, OT_Oddity, system, vector3df(500, 0, 500), 10.0f);
  Thing* invalid = thing(red, OT_Planet, system, vector3df(800, 0, 0), 300.0f);
  invalid->clearFlag(FLAG_VALID);
  getOrAddObjectState(star, L"Temp K")->value.val = 5800.0f;

  const recti starArea(185, 185, 215, 215);  // half size max(12, 100 / 20 x 3)
  const recti planetTop(246, 146, 254, 154), planetSide(246, 216, 254, 224);
  const recti ship(148, 198, 152, 202);   // half size 50 / 20, cut
  const recti small(199, 249, 201, 251);  // at least 1
  const recti oddity(225, 225, 226, 226), oddSide(225, 200, 226, 201);
  struct {
    const char* what;
    bool planets, units, smallUnits, oddities;
    MiniViewMode mode;
    std::vector<recti> areas;
  } cases[] = {
      {"everything from above", true, true, true, true, MVM_Top, {starArea, planetTop, ship, small, oddity}},
      {"everything from the side", true, true, true, true, MVM_Side, {starArea, planetSide, ship,
                                                                       recti(199, 199, 201, 201), oddSide}},
      {"no planets", false, true, true, true, MVM_Top, {starArea, ship, small, oddity}},
      {"no units", true, false, true, true, MVM_Top, {starArea, planetTop, oddity}},
      {"no small units", true, true, false, true, MVM_Top, {starArea, planetTop, ship, oddity}},
      {"no oddities", true, true, true, false, MVM_Top, {starArea, planetTop, ship, small}},
  };
  for (const auto& row : cases) {
    view->display_planets = row.planets;
    view->display_units = row.units;
    view->display_smallunits = row.smallUnits;
    view->display_oddities = row.oddities;
    view->mode = row.mode;
    view->update();
    std::vector<recti> areas;
    for (const MiniItem& item : view->items())
      areas.push_back(item.area);
    EXPECT_EQ(areas, row.areas) << row.what;
  }
  ASSERT_FALSE(view->items().empty());
  EXPECT_EQ(view->items()[0].colour, getBlackBodyColor(5800.0f)) << "the star shines by its temperature";
  invalid->setFlag(FLAG_VALID);  // so that the galaxy takes it down
}

TEST_F(MiniViewTest, ASystemThePlayerCannotSeeShowsNoItem) {
  thing(red, OT_Planet, system, vector3df(1000, 0, 0), 300.0f);
  thing(red, OT_Hulled, system, vector3df(-1000, 0, 0), 50.0f);
  struct {
    const char* what;
    uint32_t mask;
    empire* player;
    size_t items;
  } cases[] = {
      {"seen by the player", 1u, red, 2},
      {"seen by another empire only", 2u, red, 0},
      {"no player empire", 3u, nullptr, 0},
      {"seen again", 1u, red, 2},
  };
  for (const auto& row : cases) {
    system->visibilityMask = row.mask;
    activeEmpire = row.player;
    hover(screen(1000, 0));  // over the planet
    EXPECT_EQ(view->items().size(), row.items) << row.what;
    EXPECT_EQ(drawn().empty(), row.items == 0) << row.what;
    EXPECT_EQ(view->hoveredObject() != nullptr, row.items != 0) << row.what;
  }
}

TEST_F(MiniViewTest, OwnersColourTheirObjectsAndAnUnownedPlanetIsNeutral) {
  thing(nullptr, OT_Planet, system, vector3df(1000, 0, 0), 300.0f);
  thing(red, OT_Planet, system, vector3df(-1000, 0, 0), 300.0f);
  thing(blue, OT_Hulled, system, vector3df(0, 0, 1000), 40.0f);
  view->display_names = false;
  view->display_orbits = false;
  hover(position2di(0, 0));
  EXPECT_EQ(drawn(), (std::vector<std::string>{
                         "scaled 246,196,254,204 src 0,0,0,0 clip 100,100,300,300 FFA0A0A0 FFA0A0A0 FFA0A0A0 "
                         "FFA0A0A0 alpha",
                         "scaled 146,196,154,204 src 0,0,0,0 clip 100,100,300,300 FFFF0000 FFFF0000 FFFF0000 "
                         "FFFF0000 alpha",
                         "corners 198,248,202,252 FF0000FF FF0000FF FF0000FF FF0000FF clip 100,100,300,300",
                     }));
}

TEST_F(MiniViewTest, AHoveredPlanetGrowsAndIsHandedToTheStrategicView) {
  Thing* planet = thing(red, OT_Planet, system, vector3df(1000, 0, 0), 300.0f);
  planet->name = L"Tellus";
  view->display_orbits = false;
  const std::string big = "scaled 244,194,256,206 src 0,0,0,0 clip 100,100,300,300 FFFF0000 FFFF0000 FFFF0000 "
                          "FFFF0000 alpha";
  const std::string small = "scaled 246,196,254,204 src 0,0,0,0 clip 100,100,300,300 FFFF0000 FFFF0000 FFFF0000 "
                            "FFFF0000 alpha";
  const std::string name = "text 6 229,181,271,192 FFFF0000 clip 100,100,300,300";  // 2 pixels above, centred

  hover(screen(1000, 0));
  EXPECT_EQ(view->hoveredObject(), planet);
  EXPECT_EQ(getHoveredObject(), planet->graphics);
  EXPECT_EQ(drawn(), (std::vector<std::string>{"measure 6", name, big}));

  hover(screen(-1000, 0));
  EXPECT_EQ(view->hoveredObject(), nullptr);
  EXPECT_EQ(getHoveredObject(), nullptr);
  EXPECT_EQ(drawn(), (std::vector<std::string>{"measure 6", "text 6 229,183,271,194 FFFF0000 clip 100,100,300,300",
                                               small}));

  // Selected, it stays large with the cursor away.
  setSelection(planet->graphics);
  view->update();
  const std::vector<std::string> calls = drawn();
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_EQ(calls[2], big);
}

TEST_F(MiniViewTest, ABoxReplacesTheSelectionWithTheShipsInsideOrAddsThemWithShift) {
  Thing* inside1 = thing(red, OT_Hulled, system, vector3df(-1000, 0, -1000), 40.0f);
  Thing* inside2 = thing(blue, OT_Hulled, system, vector3df(-800, 0, -800), 40.0f);
  Thing* outside = thing(red, OT_Hulled, system, vector3df(1000, 0, 1000), 40.0f);
  Thing* planetInside = thing(red, OT_Planet, system, vector3df(-900, 0, -900), 300.0f);
  struct {
    const char* what;
    bool shift;
    std::set<generic_object*> expected;
  } cases[] = {
      {"without Shift", false, {inside1, inside2}},
      {"with Shift", true, {inside1, inside2, outside}},
  };
  for (const auto& row : cases) {
    setSelection(outside->graphics);
    shiftKeyDown = row.shift;
    dragBox(screen(-1300, -1300), screen(-700, -700));
    shiftKeyDown = false;
    EXPECT_EQ(selected(), row.expected) << row.what;
    EXPECT_EQ(view->boxState(), 0) << row.what;
  }
  EXPECT_FALSE(planetInside->graphics->selected.load());

  // While the box is dragged its outline shows.
  hover(screen(1500, 1500));
  send(irr::EMIE_LMOUSE_PRESSED_DOWN, screen(1500, 1500));
  send(irr::EMIE_MOUSE_MOVED, screen(1700, 1600));
  EXPECT_EQ(view->boxState(), 1);
  EXPECT_EQ(drawn().back(), "outline 275,275,285,280 FF00FF00");
}

TEST_F(MiniViewTest, ClickSelectsAndASecondClickCentresTheCameraWithoutScripts) {
  Thing* planet = thing(red, OT_Planet, system, vector3df(1000, 0, 0), 300.0f);
  Thing* ship = thing(red, OT_Hulled, system, vector3df(-1000, 0, 0), 40.0f);
  Thing* other = thing(red, OT_Hulled, system, vector3df(0, 0, 1000), 40.0f);

  EXPECT_TRUE(leftClick(screen(1000, 0)));
  EXPECT_EQ(selected(), std::set<generic_object*>{planet});
  EXPECT_EQ(gameCamera.focus, nullptr);
  EXPECT_TRUE(leftClick(screen(1000, 0)));
  EXPECT_EQ(gameCamera.focus, planet->graphics) << "no onDoubleClick: the camera centres";
  EXPECT_EQ(selected(), std::set<generic_object*>{planet});

  shiftKeyDown = true;
  leftClick(screen(-1000, 0));
  shiftKeyDown = false;
  EXPECT_EQ(selected(), (std::set<generic_object*>{planet, ship}));
  leftClick(screen(0, 1000));
  EXPECT_EQ(selected(), std::set<generic_object*>{other});

  controlKeyDown = true;
  EXPECT_TRUE(leftClick(screen(-1000, 0)));
  controlKeyDown = false;
  EXPECT_EQ(gameCamera.focus, ship->graphics);
  EXPECT_EQ(selected(), std::set<generic_object*>{other}) << "Control only centres";
}

TEST_F(MiniViewTest, MiddleClickCentresOnTheHoveredObjectOrTheSystem) {
  Thing* planet = thing(red, OT_Planet, system, vector3df(1000, 0, 0), 300.0f);
  hover(screen(1000, 0));
  EXPECT_TRUE(send(irr::EMIE_MMOUSE_LEFT_UP, screen(1000, 0)));
  EXPECT_EQ(gameCamera.focus, planet->graphics);
  hover(screen(0, 1500));
  EXPECT_TRUE(send(irr::EMIE_MMOUSE_LEFT_UP, screen(0, 1500)));
  EXPECT_EQ(gameCamera.focus, systemGroup);
}

TEST_F(MiniViewTest, RightClickOpensTheMenuOnAnObjectOrSendsTheSelectionToThePoint) {
  auto recording = std::make_unique<RecordingActionList>();
  RecordingActionList* menu = recording.get();
  actionLists.push_back(std::move(recording));
  Thing* planet = thing(blue, OT_Planet, system, vector3df(1000, 0, 0), 300.0f);
  Thing* first = ship(red, system, vector3df(-1000, 0, 0));
  Thing* second = ship(red, system, vector3df(-1000, 0, 100));

  // Nothing selected: the planet acts on itself.
  hover(screen(1000, 0));
  EXPECT_TRUE(send(irr::EMIE_RMOUSE_LEFT_UP, screen(1000, 0)));
  // The first selected object acts on the hovered one.
  setSelection(first->graphics);
  EXPECT_TRUE(send(irr::EMIE_RMOUSE_LEFT_UP, screen(1000, 0)));
  using Pair = std::pair<generic_object*, generic_object*>;
  EXPECT_EQ(menu->shown, (std::vector<Pair>{{planet, planet}, {first, planet}}));

  // Over empty space the selection goes to the point, in formation.
  addToSelection(second->graphics);
  hover(screen(500, -1000));
  EXPECT_TRUE(send(irr::EMIE_RMOUSE_LEFT_UP, screen(500, -1000)));
  EXPECT_EQ(menu->shown.size(), 2u);
  size_t orders = 0;
  for (Thing* made : {first, second}) {
    ASSERT_EQ(made->destinations.size(), 1u);
    orders += made->destinations[0].equals(vector3df(500, 0, -1000)) ? 1 : 0;
  }
  EXPECT_EQ(orders, 1u) << "one of them stands on the point itself";

  // Nothing selected and nothing hovered: not the view's business.
  setSelection(nullptr);
  EXPECT_FALSE(send(irr::EMIE_RMOUSE_LEFT_UP, screen(500, -1000)));
}

TEST_F(MiniViewTest, MovingTheElementMovesIconsAndOrbitsWithoutAnUpdate) {
  Thing* star = thing(nullptr, OT_Star, system, vector3df(0, 0, 0), 100.0f);
  orbitingPlanet(red, star, 1000.0f);
  view->display_names = false;
  view->update();
  ASSERT_EQ(view->orbits().size(), 1u);
  EXPECT_EQ(view->orbits()[0][0], screen(1000, 0));
  EXPECT_EQ(view->orbits()[0][8], screen(0, 1000)) << "a quarter turn on";
  EXPECT_EQ(view->orbits()[0][16], screen(-1000, 0));

  const std::vector<std::string> before = drawn();
  ASSERT_EQ(before.size(), 32u + 2u);  // the ring, the star, the planet
  view->move(position2di(10, 20));
  const std::vector<std::string> after = drawn();
  view->move(position2di(-10, -20));
  view->update();
  view->move(position2di(10, 20));
  EXPECT_EQ(drawn(), after) << "the same as a new update there";
  EXPECT_NE(after, before);

  view->mode = MVM_Side;
  view->update();
  const std::vector<std::string> side = drawn();
  ASSERT_FALSE(side.empty());
  EXPECT_EQ(side[0], "line 160,220 260,220 32FFFFFF") << "one line, the widest orbit each way";
}

TEST_F(MiniViewTest, BadSizesAndSystemsChangeNothing) {
  Thing* ship1 = ship(red, system, vector3df(-1000, 0, 0));
  // The engine keeps every element at least 1 x 1: an element asked to be
  // 0 wide is 1 wide, and maps its one column onto the system's left edge.
  struct {
    const char* what;
    float radius;
    recti area;
    bool withChildren;
    bool shows;
    bool orders;  // a right click on empty space sends the selection
  } cases[] = {
      {"a zero-radius system", 0.0f, recti(100, 100, 300, 300), true, false, false},
      {"a negative radius", -5.0f, recti(100, 100, 300, 300), true, false, false},
      {"a radius that is not a number", std::nanf(""), recti(100, 100, 300, 300), true, false, false},
      {"a zero-width element", 2000.0f, recti(100, 100, 100, 300), true, true, true},
      // Everything shows on its one pixel, under the cursor: the ship takes
      // the right click (the context menu).
      {"a zero-size element", 2000.0f, recti(100, 100, 100, 100), true, true, false},
      {"a system without children", 2000.0f, recti(100, 100, 300, 300), false, false, true},
  };
  for (const auto& row : cases) {
    system->radius = row.radius;
    view->setRelativePosition(row.area);
    solarSystem* empty = nullptr;
    if (!row.withChildren) {
      empty = new solarSystem();
      empty->radius = 2000.0f;
      empty->visibilityMask = red->ownBit;
      view->setSystem(empty);
    }
    setSelection(ship1->graphics);
    hover(position2di(100, 100));
    EXPECT_EQ(!view->items().empty(), row.shows) << row.what;
    drawn();
    send(irr::EMIE_LMOUSE_PRESSED_DOWN, position2di(100, 100));
    send(irr::EMIE_LMOUSE_LEFT_UP, position2di(100, 100));
    setSelection(ship1->graphics);
    send(irr::EMIE_RMOUSE_LEFT_UP, position2di(100, 100));
    ASSERT_EQ(ship1->destinations.size(), row.orders ? 1u : 0u) << row.what;
    if (row.orders) {
      const vector3df& to = ship1->destinations[0];
      EXPECT_TRUE(std::isfinite(to.X) && std::isfinite(to.Y) && std::isfinite(to.Z)) << row.what;
    }
    ship1->destinations.clear();
    if (empty != nullptr) {
      view->setSystem(system);
      empty->drop();  // the creator's reference
    }
  }
  view->setSystem(nullptr);
  view->update();
  EXPECT_TRUE(drawn().empty());
  EXPECT_TRUE(send(irr::EMIE_MMOUSE_LEFT_UP, position2di(150, 150)));
}

// A view whose screen area has collapsed to nothing, which the engine
// itself never leaves an element with.
class CollapsedView : public MiniView {
 public:
  using MiniView::MiniView;
  void collapse() { AbsoluteRect.LowerRightCorner = AbsoluteRect.UpperLeftCorner; }
};

TEST_F(MiniViewTest, AViewWithNoAreaSendsNoOrder) {
  Thing* ship1 = ship(red, system, vector3df(-1000, 0, 0));
  auto* collapsed = new CollapsedView(ui->gui(), recti(400, 100, 600, 300), nullptr, -1);
  collapsed->drop();
  collapsed->setSystem(system);
  collapsed->collapse();
  collapsed->update();
  setSelection(ship1->graphics);
  EXPECT_TRUE(collapsed->OnEvent(mouseEvent(irr::EMIE_RMOUSE_LEFT_UP, 400, 100)));
  EXPECT_TRUE(ship1->destinations.empty());
  collapsed->remove();
}

// --- The scripts' double click ------------------------------------------------------

class MiniViewScriptTest : public MiniViewTest {
 protected:
  void SetUp() override {
    MiniViewTest::SetUp();
    scriptapitest::setUpScriptsOfWorkingFolder();
    ASSERT_NE(clientScriptEngine, nullptr);
  }
  static void useModule(const std::string& code) { ASSERT_TRUE(useGuiModule(code)) << code; }
  static std::string report() {
    return scriptapitest::call(clientScriptEngine->GetModule("gui"), "string@ report()");
  }
};

TEST_F(MiniViewScriptTest, EachSessionsDoubleClickRunsThatSessionsScript) {
  Thing* planet = thing(red, OT_Planet, system, vector3df(1000, 0, 0), 300.0f);
  planet->name = L"Tellus";
  const int32_t references = planet->refCount.load();
  for (const char* session : {"first", "second"}) {
    useModule(std::string("string seen;\n"
                          "void onDoubleClick(Object@ o) { seen += \"") +
              session + " \" + o.getName() + \";\"; }\n"
                        "string@ report() { return seen; }\n");
    leftClick(screen(1000, 0));  // selects
    leftClick(screen(1000, 0));  // the double click
    EXPECT_EQ(report(), std::string(session) + " Tellus;");
    EXPECT_EQ(gameCamera.focus, nullptr) << session;
    setSelection(nullptr);
    // The session ends as a game session does; the next one has new
    // engines.
    releasePickingState();
    tearDownScriptEngines();
    scriptapitest::setUpScriptsOfWorkingFolder();
  }
  hover(screen(-1500, 0));
  EXPECT_EQ(planet->refCount.load(), references);
}

}  // namespace mini_view_test
