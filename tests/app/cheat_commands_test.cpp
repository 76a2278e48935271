// The cheat and debugging console commands, typed as console lines over a
// small universe: the sv_cheats switch and its gate, each command's checks in
// their order, what each changes, where create_ship puts its ship, and what
// they say without a selection or a local empire.
#include "app/cheat_commands.h"

#include <gtest/gtest.h>
#include <irrlicht.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/base/engine.h"
#include "app/base/session_state.h"
#include "app/console_commands.h"
#include "core/threads.h"
#include "design/hull_list.h"
#include "design/sub_system_fixture.h"
#include "gfx/game_camera.h"
#include "gfx/graphics_object.h"
#include "support/log_capture.h"
#include "support/null_device.h"
#include "support/scratch_dir.h"
#include "support/space_empire.h"
#include "support/working_folder.h"
#include "ui/selection.h"
#include "universe/galaxygen/galaxy_generation.h"
#include "universe/objects/galaxy.h"
#include "universe/objects/object_states.h"
#include "universe/universe_fixture.h"

namespace cheat_commands_test {

namespace {

using irr::core::stringc;
using irr::core::stringw;
using irr::core::vector3df;
using Lines = std::vector<std::wstring>;

const std::wstring kGate = L"  sv_cheats must be enabled to use this command";

class CheatCommandsTest : public UniverseTest {
 protected:
  void SetUp() override {
    UniverseTest::SetUp();
    green = registerEmpire(new empire);  // ID 3
    green->name = L"Green";
    green->ownBit = 4;
    space = registerSpaceEmpire();
    savedTable_ = Console::commands();
    device_ = createTestDevice();
    ASSERT_NE(device_, nullptr);
    setEngineDevice(device_);
    target_ = createConsole(device_->getGUIEnvironment());
    registerConsoleCommands();
    svCheats = false;
    activeEmpire = nullptr;

    folder_ = std::make_unique<WorkingFolder>(scratchDir());
    subsystemtest::loadDefinition(scratchDir(), "System: Plate\nSize: 10\nDurability: 15\nMass: 5\n", L"Plate");
    galaxy_ = createGalaxy();
    System_Desc desc;
    desc.autoStar = false;
    system = makeSystem(galaxy_, desc);
    planet = place(red, vector3df(300, 0, 400), 10.0f, L"Rock");
  }

  void TearDown() override {
    setSelection(nullptr);
    for (graphicsObject* made : graphics_)
      made->drop();
    gameCamera.clearFocus();
    svCheats = false;
    activeEmpire = nullptr;
    sessionEnding = true;  // systems take their objects with them
    galaxy_->destroyNow(true);
    sessionEnding = false;
    clearSubSystemDefs();
    freeThreadLocals();
    folder_.reset();
    setConsole(nullptr);
    setEngineDevice(nullptr);
    device_->drop();
    const_cast<ConsoleCommandTable&>(Console::commands()) = savedTable_;
    UniverseTest::TearDown();
  }

  // An object of `owner`'s in the system.
  TestObject* place(empire* owner, const vector3df& position, float radius, const wchar_t* objectName) {
    auto* object = new TestObject(owner, OT_Planet, objectName);
    object->position = position;
    object->radius = radius;
    object->setContainer(system);
    return object;
  }

  // Makes `object` the only selected one, through a graphics object of its own.
  graphicsObject* select(generic_object* object) {
    auto* made = new graphicsObject(object);
    graphics_.push_back(made);
    setSelection(made);
    return made;
  }

  // A layout of one plate in `owner`'s table.
  static hull_list* layoutOf(empire* owner, const wchar_t* layoutName, float scale) {
    layout_desc desc;
    const irr::s32 index = findSubSystemDefByName(L"Plate");
    desc.systems.push_back({subSystemDefRegistry[static_cast<irr::u32>(index)].value, 1.0f, 0.0f, 0.0f, -1});
    hull_list* layout = new hull_list(desc, owner, true);
    layout->name = layoutName;
    layout->scale = scale;
    NamedVar<hull_list*>::getOrAdd(owner->hulls, stringw(layoutName)).value = layout;
    return layout;
  }

  // The ships in the system, in the order made.
  std::vector<generic_object*> ships() const {
    std::vector<generic_object*> found;
    for (irr::u32 i = 0; i < system->children.size(); ++i)
      if (system->children[i]->getType() == OT_Hulled)
        found.push_back(system->children[i].get());
    return found;
  }

  Lines run(const std::wstring& line) {
    target_->clear();
    target_->execute(line.c_str(), false);
    Lines out;
    for (const stringw& printed : target_->lines())
      if (!printed.empty())
        out.emplace_back(printed.c_str());
    return out;
  }

  // A command's help as the console prints it (one line per line of text).
  static Lines help(const wchar_t* name) {
    const auto found = Console::findCommand(name);
    Lines lines;
    std::wstring text = found == Console::commands().end() ? L"" : found->second.help.c_str();
    for (std::size_t start = 0;;) {
      const std::size_t end = text.find(L'\n', start);
      lines.push_back(text.substr(start, end - start));
      if (end == std::wstring::npos)
        break;
      start = end + 1;
    }
    return lines;
  }
  static Lines helpAndGate(const wchar_t* name) {
    Lines lines = help(name);
    lines.push_back(kGate);
    return lines;
  }

  empire* space = nullptr;
  empire* green = nullptr;
  objGalaxy* galaxy_ = nullptr;
  solarSystem* system = nullptr;
  TestObject* planet = nullptr;

 private:
  ConsoleCommandTable savedTable_;
  irr::IrrlichtDevice* device_ = nullptr;
  Console* target_ = nullptr;
  std::unique_ptr<WorkingFolder> folder_;
  std::vector<graphicsObject*> graphics_;
};

TEST_F(CheatCommandsTest, TheSwitchAndItsGate) {
  const struct {
    const wchar_t* line;
    Lines printed;
    bool cheats;  // afterwards
  } switches[] = {
      {L"sv_cheats", {L"sv_cheats 0", help(L"sv_cheats")[0]}, false},
      {L"sv_cheats 2", {L"sv_cheats only takes the values 0 and 1"}, false},
      {L"sv_cheats yes", {L"sv_cheats only takes the values 0 and 1"}, false},
      {L"sv_cheats 1", {}, true},
      {L"sv_cheats", {L"sv_cheats 1", help(L"sv_cheats")[0]}, true},
      {L"sv_cheats 0", {}, false},
  };
  for (const auto& c : switches) {
    SCOPED_TRACE(stringc(c.line).c_str());
    EXPECT_EQ(run(c.line), c.printed);
    EXPECT_EQ(svCheats.load(), c.cheats);
  }

  // A client takes its server's value.
  networkManager->isNetworked = true;
  networkManager->isConnected = true;
  EXPECT_EQ(run(L"sv_cheats 1"), Lines{L"sv_cheats is server-mandated"});
  EXPECT_FALSE(svCheats.load());
  networkManager->isNetworked = false;
  networkManager->isConnected = false;

  // With cheats off and everything each command needs in place, the gate
  // alone answers; a wrong count gets the help first.
  activeEmpire = red;
  layoutOf(red, L"Scout", 1.0f);
  select(planet);
  const struct {
    const wchar_t* line;
    Lines printed;
  } gated[] = {
      {L"create_ship Scout", {kGate}},
      {L"create_ship", help(L"create_ship")},
      {L"create_ship a b", help(L"create_ship")},
      {L"emp_see_all 1", {kGate}},
      {L"emp_see_all 1 2", helpAndGate(L"emp_see_all")},
      {L"add_resource Ore 5", {kGate}},
      {L"add_resource", helpAndGate(L"add_resource")},
      {L"add_emp_stat Cash 5", {kGate}},
      {L"add_emp_stat", helpAndGate(L"add_emp_stat")},
      {L"destroy", {kGate}},
      {L"destroy 1 2", helpAndGate(L"destroy")},
      {L"set_emp_col Red ff0000", {kGate}},
      {L"set_emp_col", helpAndGate(L"set_emp_col")},
      {L"list_stats", {kGate}},
      {L"list_stats extra", helpAndGate(L"list_stats")},
      {L"list_states", {kGate}},
      {L"list_states extra", helpAndGate(L"list_states")},
      {L"zoom_to 1", {kGate}},
      {L"zoom_to", helpAndGate(L"zoom_to")},
  };
  for (const auto& c : gated) {
    SCOPED_TRACE(stringc(c.line).c_str());
    EXPECT_EQ(run(c.line), c.printed);
  }
  EXPECT_TRUE(ships().empty());
  EXPECT_FALSE(red->seeAll);
  EXPECT_EQ(findObjectState(planet, L"Ore"), nullptr);
  EXPECT_EQ(red->getStat(L"Cash"), 0.0f);
  EXPECT_FALSE(planet->hasFlag(FLAG_DESTROY));
  EXPECT_EQ(gameCamera.focus, nullptr);

  // set_owner needs no cheats.
  EXPECT_EQ(run(L"set_owner 3"), Lines{});
  EXPECT_EQ(planet->getOwner(), green);
}

TEST_F(CheatCommandsTest, WithoutASelectionOrALocalEmpireTheCommandsSaySo) {
  svCheats = true;
  const struct {
    const wchar_t* line;
    Lines printed;
  } cases[] = {
      {L"emp_see_all 1", {L"No active empire"}},
      {L"emp_see_all", {L"No active empire"}},
      {L"add_emp_stat Cash 5", {L"No active empire"}},
      {L"create_ship Scout", {L"  May only be used with an object selected."}},
      {L"add_resource Ore 5", {L"add_resource may only be used with an object selected"}},
      {L"destroy", {L"destroy may only be used with an object selected"}},
      {L"destroy 0", {}},
      {L"destroy 99999", {}},
      {L"set_owner 1", {L"dbg_set_owner may only be used with an object selected."}},
      {L"set_owner", {L"dbg_set_owner takes exactly one argument, the new owner empire's ID."}},
      {L"list_stats", {L"list_stats may only be used with an object selected"}},
      {L"list_states", {L"list_states may only be used with an object selected"}},
      {L"zoom_to 99999", {L"No object found with that UID"}},
      {L"set_emp_col Nobody ff0000", {L"Invalid empire"}},
      {L"set_emp_col Nobody", {L"Invalid empire"}},
      {L"set_emp_col Red", {L"set_emp_color requires a stat name and a color"}},
      {L"set_emp_col Red reddish", {L"Bad color 'reddish': contained non-hex characters"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(stringc(c.line).c_str());
    EXPECT_EQ(run(c.line), c.printed);
  }
  EXPECT_FALSE(planet->hasFlag(FLAG_DESTROY));
  EXPECT_EQ(planet->getOwner(), red);

  // An object of no empire's, with no local empire: no owner for a ship.
  layoutOf(space, L"Scout", 1.0f);
  select(place(space, vector3df(50, 0, 0), 1.0f, L"Dust"));
  EXPECT_EQ(run(L"create_ship Scout"), Lines{L"No active empire"});
  EXPECT_TRUE(ships().empty());
}

TEST_F(CheatCommandsTest, CreateShipPutsTheShipJustBeyondTheSelectedObject) {
  svCheats = true;
  activeEmpire = blue;
  layoutOf(red, L"Scout", 2.0f);
  layoutOf(blue, L"Scout", 3.0f);
  TestObject* atOrigin = place(red, vector3df(0, 0, 0), 10.0f, L"Centre");
  TestObject* unowned = place(space, vector3df(0, 60, 80), 4.0f, L"Dust");
  const struct {
    generic_object* selected;
    empire* owner;
    vector3df position;
  } cases[] = {
      // |p| = 500: p x (10 + 500 + 2 + 5) / 500.
      {planet, red, vector3df(310.2f, 0.0f, 413.6f)},
      {atOrigin, red, vector3df(100, 0, 0)},
      // The space empire owns nothing: the local player's empire takes the
      // ship, with its own layout. |p| = 100: p x (4 + 100 + 3 + 5) / 100.
      {unowned, blue, vector3df(0.0f, 67.2f, 89.6f)},
      // A star system's ships go inside it: from its centre.
      {system, blue, vector3df(100, 0, 0)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(stringc(c.selected->name).c_str());
    select(c.selected);
    const std::size_t before = ships().size();
    EXPECT_EQ(run(L"create_ship Scout"), Lines{});
    ASSERT_EQ(ships().size(), before + 1);
    const generic_object* ship = ships().back();
    EXPECT_EQ(ship->getOwner(), c.owner);
    EXPECT_NEAR(ship->position.X, c.position.X, 1e-3f);
    EXPECT_NEAR(ship->position.Y, c.position.Y, 1e-3f);
    EXPECT_NEAR(ship->position.Z, c.position.Z, 1e-3f);
  }

  select(planet);
  EXPECT_EQ(run(L"create_ship Frigate"), Lines{L"  Specified hull layout did not exist."});
  EXPECT_EQ(run(L"create_ship scout"), Lines{L"  Specified hull layout did not exist."});
}

TEST_F(CheatCommandsTest, EachCommandChangesWhatItNames) {
  svCheats = true;
  activeEmpire = red;
  select(planet);

  EXPECT_EQ(run(L"emp_see_all"), (Lines{L"emp_see_all 0", help(L"emp_see_all")[0], help(L"emp_see_all")[1]}));
  EXPECT_EQ(run(L"emp_see_all 1"), Lines{});
  EXPECT_TRUE(red->seeAll);
  EXPECT_EQ(run(L"emp_see_all 7"), Lines{L"emp_see_all only takes the values 0 and 1"});
  EXPECT_TRUE(red->seeAll);
  EXPECT_EQ(run(L"emp_see_all 0"), Lines{});
  EXPECT_FALSE(red->seeAll);

  EXPECT_EQ(run(L"add_resource Ore"), Lines{L"add_resource requires a resource name and amount"});
  EXPECT_EQ(run(L"add_resource Ore lots"), Lines{L"  The 2nd argument must be a decimal number"});
  EXPECT_EQ(findObjectState(planet, L"Ore"), nullptr);
  State* ore = getOrAddObjectState(planet, L"Ore");
  ore->value.max = 100.0f;
  EXPECT_EQ(run(L"add_resource Ore 40"), Lines{});
  EXPECT_EQ(run(L"add_resource Ore 2.5"), Lines{});
  EXPECT_FLOAT_EQ(ore->value.val, 42.5f);

  EXPECT_EQ(run(L"add_emp_stat Cash"), Lines{L"add_emp_stat requires a stat name and amount"});
  EXPECT_EQ(run(L"add_emp_stat Cash 5"), Lines{});
  EXPECT_EQ(run(L"add_emp_stat Cash -1.5"), Lines{});
  EXPECT_FLOAT_EQ(red->getStat(L"Cash"), 3.5f);

  EXPECT_EQ(run(L"set_emp_col Blue 00ff00"), Lines{});
  EXPECT_EQ(blue->color, 0xFF00FF00u);

  {
    LogCapture log;
    EXPECT_EQ(run(L"list_states"), Lines{});
    EXPECT_EQ(log.take(), "Ore: val = 42.500000, max = 100.000000, req = 0.000000, cargo = 0.000000\n");
  }
  EXPECT_EQ(run(L"list_stats"), Lines{L"No stat manager associated with the object"});
  select(system);
  statValue(getEmpireStats(*system->systemStats, red), L"prs") = 2.0f;
  {
    LogCapture log;
    EXPECT_EQ(run(L"list_stats"), Lines{});
    const std::string logged = log.take();
    EXPECT_EQ(logged.rfind("Stats for Red:\n", 0), 0u) << logged;
    EXPECT_NE(logged.find("\n prs=2.000000\n"), std::string::npos) << logged;
  }

  // set_owner by ID; an ID of no empire gives the object to no one's.
  select(planet);
  EXPECT_EQ(run(L"set_owner 2"), Lines{});
  EXPECT_EQ(planet->getOwner(), blue);
  EXPECT_EQ(run(L"set_owner 300"), Lines{});
  EXPECT_EQ(planet->getOwner(), defaultEmpire());

  // zoom_to: nothing for an object without graphics, the camera follows
  // one that has them.
  TestObject* bare = place(red, vector3df(9, 0, 0), 1.0f, L"Bare");
  EXPECT_EQ(run(L"zoom_to " + std::to_wstring(bare->uid)), Lines{});
  EXPECT_EQ(gameCamera.focus, nullptr);
  graphicsObject* shown = select(bare);
  bare->graphics = shown;
  EXPECT_EQ(run(L"zoom_to " + std::to_wstring(bare->uid)), Lines{});
  EXPECT_EQ(gameCamera.focus, shown);
  gameCamera.clearFocus();
  bare->graphics = nullptr;

  // destroy: by UID (0 names nothing), then the selected object.
  TestObject* doomed = place(red, vector3df(20, 0, 0), 1.0f, L"Doomed");
  doomed->setFlag(FLAG_QUIET_DESTROY);
  EXPECT_EQ(run(L"destroy 0"), Lines{});
  EXPECT_FALSE(doomed->hasFlag(FLAG_DESTROY));
  EXPECT_EQ(run(L"destroy " + std::to_wstring(doomed->uid)), Lines{});
  EXPECT_TRUE(doomed->hasFlag(FLAG_DESTROY));
  EXPECT_FALSE(doomed->hasFlag(FLAG_QUIET_DESTROY));
  select(planet);
  EXPECT_EQ(run(L"destroy"), Lines{});
  EXPECT_TRUE(planet->hasFlag(FLAG_DESTROY));
}

}  // namespace

}  // namespace cheat_commands_test
