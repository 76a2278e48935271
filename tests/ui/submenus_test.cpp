// The context menu's sub-menus, chosen with the mouse as a player would:
// building ships (best planet of a system, Shift and Ctrl, a network
// client's requests read back by the server), structures and governors
// against a world that changed since the menu opened, fleets, and tools.
#include <angelscript.h>
#include <gtest/gtest.h>
#include <irrlicht.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "app/base/event_handler.h"
#include "core/common_strings.h"
#include "core/locale.h"
#include "design/build/build_rules.h"
#include "design/build/constructible.h"
#include "design/hull_list.h"
#include "design/subsystems/sub_system.h"
#include "design/subsystems/sub_system_def.h"
#include "gfx/gfx_resources.h"
#include "gfx/graphics_object.h"
#include "gui/base/gui_callbacks.h"
#include "net/network_manager.h"
#include "net/object_requests.h"
#include "platform/bit_stream.h"
#include "scriptapi/scripted_galaxy.h"
#include "support/interface_harness.h"
#include "support/space_empire.h"
#include "ui/actionmenu/action_list.h"
#include "ui/actionmenu/submenus.h"
#include "ui/selection.h"
#include "universe/orders/fleet_ai.h"
#include "universe/orders/tool_orders.h"
#include "universe/orders/unit_ai.h"
#include "universe/planets/planet.h"
#include "universe/ships/ship.h"

namespace submenustest {

namespace {

using Items = std::vector<std::wstring>;
using irr::core::stringw;

// Client-module functions that count their calls and check their handles.
const char* const kGuiModule = R"(
int objectCalls = 0;
int systemCalls = 0;
int structureCalls = 0;
void multiBuild(Object@ o, const HullLayout@ l) { if (o !is null && l !is null) objectCalls += 1; }
void multiBuild(System@ s, const HullLayout@ l) { if (s !is null && l !is null) systemCalls += 1; }
void multiBuild(Planet@ p, const subSystemDef@ d) { if (p !is null && d !is null) structureCalls += 1; }
int calls(int which) { return which == 0 ? objectCalls : (which == 1 ? systemCalls : structureCalls); }
)";

class SubMenuTest : public scriptapitest::ScriptedGalaxyTest {
 protected:
  void SetUp() override {
    ScriptedGalaxyTest::SetUp();
    space = registerSpaceEmpire();
    ui = std::make_unique<InterfaceHarness>();
    ASSERT_NE(ui->device(), nullptr);
    ui->useFixedFont();
    NamedVar<irr::video::SMaterial*>::getOrAdd(gfxResources.materials, L"selectRing").value = &ringMaterial_;
    activeEmpire = red;
    setSelection(nullptr);
    home = addSystems(1).front();
  }
  void TearDown() override {
    setSelection(nullptr);
    clearActionLists();
    shiftKeyDown = controlKeyDown = altKeyDown = false;
    networkManager->isNetworked = networkManager->isConnected = networkManager->isServer = false;
    for (generic_object* object : objects_)
      object->destroyNow(false);
    objects_.clear();
    activeEmpire = nullptr;
    gfxResources.materials.clear();
    ui.reset();
    ScriptedGalaxyTest::TearDown();  // the empires and their layouts go
  }

  template <class T>
  T* keep(T* object, generic_object* place) {
    if (place != nullptr)
      object->setContainer(place);
    objects_.push_back(object);
    return object;
  }
  // A planet of `owner` in `place` (the home system by default) with
  // `structures` structures and `queued` items in its build queue.
  objHabitation* planet(empire* owner, int structures = 0, int queued = 0, generic_object* place = nullptr) {
    auto* made = keep(new objHabitation(owner, nullptr), place != nullptr ? place : home);
    made->structureSpace = 10.0f;
    for (int i = 0; i < structures; ++i)
      made->structures.push_back({});
    for (int i = 0; i < queued; ++i)
      made->addConstructible(new ShipConstructible(nullptr));
    return made;
  }
  // A layout of red filed in red's table: tags of its own (such as
  // "BuildBay"), and one sub-system for each of `subSystemTags`.
  hull_list* design(const wchar_t* name, std::vector<const wchar_t*> tags = {},
                    std::vector<std::vector<const wchar_t*>> subSystemTags = {}, bool obsolete = false) {
    auto* layout = new hull_list(name, red);
    for (const wchar_t* tag : tags)
      layout->tags.insert(internCommonString(tag));
    if (!subSystemTags.empty()) {
      layout->systemCount = static_cast<uint32_t>(subSystemTags.size());
      layout->systems.reset(new placedSubSystem[subSystemTags.size()]);
      for (size_t i = 0; i < subSystemTags.size(); ++i) {
        auto def = std::make_unique<SubSystemDef>();
        def->name = L"Part";
        for (const wchar_t* tag : subSystemTags[i])
          PtrNamedVar<void*>::getOrAdd(def->tags, tag, internCommonString);
        auto* system = new subSystem();
        system->def = def.get();
        layout->systems[i].system = system;
        definitions_.push_back(std::move(def));
      }
    }
    layout->obsolete = obsolete;
    NamedVar<hull_list*>::getOrAdd(red->hulls, name).value = layout;  // the table's reference
    return layout;
  }
  objHulled* ship(hull_list* layout, empire* owner = nullptr) {
    return keep(new objHulled(owner != nullptr ? owner : red, layout, nullptr), home);
  }
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

  // The session's menu, opened on the pair.
  irr::gui::IGUIContextMenu* open(generic_object* first, generic_object* clicked) {
    if (actionLists.empty())
      buildContextActionMenu();
    ui->moveMouse(100, 100);
    showContextActionMenu(first, clicked);
    return actionLists.front()->menu();
  }
  static Items itemsOf(const irr::gui::IGUIContextMenu* menu) {
    Items items;
    for (irr::u32 i = 0; menu != nullptr && i < menu->getItemCount(); ++i) {
      const wchar_t* text = menu->getItemText(i);
      items.emplace_back(text[0] == 0 ? L"-" : text);
    }
    return items;
  }
  // The item of the open menu with `label`'s text and its sub-menu.
  static irr::s32 itemIndex(irr::gui::IGUIContextMenu* menu, const wchar_t* key) {
    const std::wstring label = getLocalizedText(key);
    for (irr::u32 i = 0; menu != nullptr && i < menu->getItemCount(); ++i)
      if (label == menu->getItemText(i))
        return static_cast<irr::s32>(i);
    return -1;
  }
  irr::gui::IGUIContextMenu* subMenuOf(irr::gui::IGUIContextMenu* menu, const wchar_t* key) {
    const irr::s32 index = itemIndex(menu, key);
    return index >= 0 ? menu->getSubMenu(static_cast<irr::u32>(index)) : nullptr;
  }

  // Points at the menu's item `parent` until its sub-menu opens, moves into
  // the sub-menu until item `index` is highlighted and clicks there, with
  // the modifiers held. False when no place highlights it.
  bool choose(irr::gui::IGUIContextMenu* menu, const wchar_t* parentKey, irr::u32 index,
              InputModifiers modifiers = {}) {
    const irr::s32 parent = itemIndex(menu, parentKey);
    if (parent < 0)
      return false;
    const irr::core::recti area = menu->getAbsolutePosition();
    bool opened = false;
    for (irr::s32 y = area.UpperLeftCorner.Y; y < area.LowerRightCorner.Y && !opened; ++y) {
      ui->moveMouse(area.getCenter().X, y, modifiers);
      opened = menu->getSelectedItem() == parent;
    }
    irr::gui::IGUIContextMenu* sub = menu->getSubMenu(static_cast<irr::u32>(parent));
    if (!opened || sub == nullptr || !sub->isVisible())
      return false;
    const irr::core::recti subArea = sub->getAbsolutePosition();
    const irr::s32 x = subArea.getCenter().X;
    for (irr::s32 y = subArea.UpperLeftCorner.Y; y < subArea.LowerRightCorner.Y; ++y) {
      ui->moveMouse(x, y, modifiers);
      if (sub->getSelectedItem() == static_cast<irr::s32>(index)) {
        shiftKeyDown = modifiers.shift;
        controlKeyDown = modifiers.control;
        ui->pressMouse(x, y, InterfaceHarness::kLeft, modifiers);
        ui->releaseMouse(x, y, InterfaceHarness::kLeft, modifiers);
        shiftKeyDown = controlKeyDown = false;
        return true;
      }
    }
    return false;
  }

  static std::vector<std::wstring> queueOf(const generic_object* object) {
    std::vector<std::wstring> names;
    for (irr::u32 i = 0; i < object->buildQueue.size(); ++i)
      names.emplace_back(object->buildQueue[i]->getName().c_str());
    return names;
  }

  std::unique_ptr<InterfaceHarness> ui;
  galaxytest::CountingSystem* home = nullptr;
  empire* space = nullptr;

 private:
  irr::video::SMaterial ringMaterial_;
  std::vector<generic_object*> objects_;
  std::vector<std::unique_ptr<SubSystemDef>> definitions_;
};

TEST_F(SubMenuTest, BestPlanetDistributionByTable) {
  // Each planet: {structures, queued items}; the ships each one gets.
  const struct {
    const char* name;
    std::vector<std::pair<int, int>> planets;
    bool blueFirst;  // a planet of another empire leads the system
    uint32_t ships;
    std::vector<size_t> added;
  } rows[] = {
      // Scores 2, 3, 2.5: the 3 leads, the 2 it displaced is the runner-up.
      {"first ship to the best", {{2, 0}, {3, 0}, {5, 1}}, false, 1, {0, 1, 0}},
      {"then to the runner-up once the best is down to 2", {{2, 0}, {3, 0}, {5, 1}}, false, 2, {1, 1, 0}},
      {"best keeps taking while above the runner-up", {{2, 0}, {5, 0}, {5, 1}}, false, 3, {1, 2, 0}},
      {"equal scores: the first child", {{2, 0}, {2, 0}}, false, 1, {1, 0}},
      {"a lone planet takes them all", {{1, 0}}, false, 5, {5}},
      {"score 0 is never chosen", {{0, 0}, {0, 3}}, false, 2, {0, 0}},
      {"another empire's planet is not ours", {{4, 0}}, true, 2, {2}},
  };
  hull_list* layout = design(L"Scout");
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    galaxytest::CountingSystem* system = addSystems(1, 0.0f).front();
    if (row.blueFirst)
      planet(blue, 9, 0, system);
    std::vector<objHabitation*> planets;
    for (const auto& [structures, queued] : row.planets)
      planets.push_back(planet(red, structures, queued, system));
    std::vector<size_t> before;
    for (objHabitation* made : planets)
      before.push_back(made->buildQueue.size());
    distributeShipsToBestPlanets(system, row.ships, layout);
    for (size_t i = 0; i < planets.size(); ++i)
      EXPECT_EQ(planets[i]->buildQueue.size() - before[i], row.added[i]) << "planet " << i;
  }
  // A system with no planet of the player builds nothing.
  galaxytest::CountingSystem* foreign = addSystems(1, 0.0f).front();
  objHabitation* theirs = planet(blue, 3, 0, foreign);
  distributeShipsToBestPlanets(foreign, 3, layout);
  EXPECT_EQ(theirs->buildQueue.size(), 0u);
}

TEST_F(SubMenuTest, BuildShipsListsCurrentDesignsAndShiftBuildsFive) {
  design(L"Old", {}, {}, true);
  design(L"Scout");
  design(L"Hauler");
  objHabitation* world = planet(red, 2);
  objHabitation* second = planet(red, 1);
  const int references = world->refCount.load();

  irr::gui::IGUIContextMenu* menu = open(world, world);
  irr::gui::IGUIContextMenu* sub = subMenuOf(menu, L"#RM_BuildShips");
  ASSERT_NE(sub, nullptr);
  EXPECT_EQ(sub->getID(), kBuildShipsMenuId);
  EXPECT_EQ(itemsOf(sub), (Items{L"Hauler", L"Scout"}));  // the obsolete design is left out

  ASSERT_TRUE(choose(menu, L"#RM_BuildShips", 0));
  EXPECT_EQ(queueOf(world), (std::vector<std::wstring>{L"Hauler"}));
  EXPECT_EQ(world->refCount.load(), references);  // the menu and the choice let the planet go

  menu = open(world, world);
  ASSERT_TRUE(choose(menu, L"#RM_BuildShips", 1, {true, false}));
  EXPECT_EQ(queueOf(world), (std::vector<std::wstring>{L"Hauler", L"Scout", L"Scout", L"Scout", L"Scout", L"Scout"}));

  // On the system: "best" label, the distribution (the other planet now
  // scores 1 against 2/7).
  menu = open(home, home);
  EXPECT_EQ(itemIndex(menu, L"#RM_BuildShips"), -1);
  ASSERT_TRUE(choose(menu, L"#RM_BuildShipsBest", 1));
  EXPECT_EQ(queueOf(second), (std::vector<std::wstring>{L"Scout"}));
  EXPECT_EQ(world->buildQueue.size(), 6u);

  // A ship offers it only with a build bay.
  objHulled* bay = ship(design(L"Carrier", {L"BuildBay"}));
  objHulled* plain = ship(design(L"Frigate"));
  EXPECT_NE(subMenuOf(open(bay, bay), L"#RM_BuildShips"), nullptr);
  EXPECT_EQ(subMenuOf(open(plain, plain), L"#RM_BuildShips"), nullptr);
}

TEST_F(SubMenuTest, ANetworkClientSendsFiveIdenticalRequestsTheServerQueues) {
  design(L"Scout");
  objHabitation* world = planet(red, 2);
  networkManager->isNetworked = networkManager->isConnected = true;
  irr::gui::IGUIContextMenu* menu = open(world, world);
  sent.clear();
  ASSERT_TRUE(choose(menu, L"#RM_BuildShips", 0, {true, false}));
  ASSERT_EQ(sent.size(), 5u);
  for (const SentMessage& message : sent) {
    EXPECT_EQ(message.bytes, sent.front().bytes);
    EXPECT_EQ(message.channel, 0);
    EXPECT_EQ(message.reliability, RakNet::RELIABLE_ORDERED);
  }
  EXPECT_EQ(world->buildQueue.size(), 0u);

  // The server reads each one as one ship of the sender's design.
  networkManager->isConnected = false;
  networkManager->isServer = true;
  NetPlayer player;
  player.emp = red;
  for (const SentMessage& message : sent) {
    ASSERT_EQ(message.bytes.front(), ID_BUILD_QUEUE);
    RakNet::BitStream behind;
    for (size_t i = 1; i < message.bytes.size(); ++i)
      behind.Write(message.bytes[i]);
    handleBuildRequest(behind, &player);
  }
  EXPECT_EQ(queueOf(world), (std::vector<std::wstring>(5, L"Scout")));
}

TEST_F(SubMenuTest, CtrlHandsTheChoiceToTheScriptOnceWhateverShiftSays) {
  scriptapitest::setUpScriptsOfWorkingFolder();
  ASSERT_NE(clientScriptEngine, nullptr);
  AngelScript::asIScriptModule* gui = clientScriptEngine->GetModule("gui", AngelScript::asGM_ALWAYS_CREATE);
  gui->AddScriptSection("gui", kGuiModule);
  ASSERT_GE(gui->Build(), 0);
  const auto calls = [&](int which) {
    AngelScript::asIScriptContext* context = clientScriptEngine->CreateContext();
    context->Prepare(gui->GetFunctionByDecl("int calls(int)"));
    context->SetArgDWord(0, static_cast<AngelScript::asDWORD>(which));
    context->Execute();
    const int result = static_cast<int>(context->GetReturnDWord());
    context->Release();
    return result;
  };
  design(L"Scout");
  objHabitation* world = planet(red, 2);
  const int references = world->refCount.load();
  for (bool shift : {false, true}) {
    ASSERT_TRUE(choose(open(world, world), L"#RM_BuildShips", 0, {shift, true}));
    ASSERT_TRUE(choose(open(home, home), L"#RM_BuildShipsBest", 0, {shift, true}));
  }
  EXPECT_EQ(calls(0), 2);
  EXPECT_EQ(calls(1), 2);
  EXPECT_EQ(world->buildQueue.size(), 0u);
  EXPECT_EQ(world->refCount.load(), references);

  // Without the module the Ctrl choice does nothing at all.
  clientScriptEngine->DiscardModule("gui");
  ASSERT_TRUE(choose(open(world, world), L"#RM_BuildShips", 0, {true, true}));
  EXPECT_EQ(world->buildQueue.size(), 0u);
  EXPECT_EQ(world->refCount.load(), references);
}

TEST_F(SubMenuTest, StructureAndGovernorChoicesAgainstAChangedWorldChangeNothing) {
  SubSystemDef mine;
  mine.name = L"Mine";
  mine.id = 4242;
  PtrNamedVar<void*>::getOrAdd(mine.tags, L"Structure", internCommonString);
  red->subSysLevels.push_back({&mine, 1.0f});
  red->setBuildList(L"Economy", new bp_wait_for_empty_queue());
  red->setBuildList(L"Defense", new bp_wait_for_empty_queue());
  objHabitation* world = planet(red, 2);
  // Structures are asked of the server here: every request is visible.
  networkManager->isNetworked = networkManager->isConnected = true;

  enum Change { None, IndexMinusOne, IndexAtCount, OwnerChanged };
  const struct {
    const char* name;
    Change change;
    bool acts;
  } rows[] = {
      {"as offered", None, true},
      {"index -1", IndexMinusOne, false},
      {"index at the count", IndexAtCount, false},
      {"the planet changed owner", OwnerChanged, false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    world->setOwner(red);
    world->setUseGovernor(false);
    world->governorType = nullptr;
    sent.clear();

    for (const wchar_t* key : {L"#RM_BuildStructs", L"#RM_Governor"}) {
      const bool governor = key[4] == L'G';
      irr::gui::IGUIContextMenu* menu = open(world, world);
      irr::gui::IGUIContextMenu* sub = subMenuOf(menu, key);
      ASSERT_NE(sub, nullptr);
      // Structures: the one definition at 0; governor: toggle, separator,
      // then the lists.
      const irr::u32 item = governor ? 3 : 0;
      ASSERT_GT(sub->getItemCount(), item);
      const irr::s32 count = governor ? 2 : 1;
      if (row.change == IndexMinusOne)
        sub->setItemCommandId(item, -1);
      if (row.change == IndexAtCount)
        sub->setItemCommandId(item, count);
      if (row.change == OwnerChanged)
        world->setOwner(blue);
      ASSERT_TRUE(choose(menu, key, item));
      if (row.change == OwnerChanged)
        world->setOwner(red);
    }
    EXPECT_EQ(sent.size(), row.acts ? 3u : 0u);  // the structure, the governor's list and its use
    EXPECT_EQ(world->usesGovernor(), row.acts);
    EXPECT_EQ(world->getGovernorType() != nullptr && *world->getGovernorType() == red->getBuildListName(1), row.acts);
  }
  // The structure request names the definition.
  sent.clear();
  ASSERT_TRUE(choose(open(world, world), L"#RM_BuildStructs", 0, {true, false}));
  ASSERT_EQ(sent.size(), 5u);
  RakNet::BitStream expected;
  writeStructureBuildRequest(expected, world->uid, 4242);
  EXPECT_EQ(sent.front().bytes, std::vector<uint8_t>(expected.GetData(), expected.GetData() + expected.GetNumberOfBytesUsed()));
  // A client's governor choice is the server's to make too: the server
  // reads the requests onto its own planet.
  world->setUseGovernor(false);
  world->governorType = nullptr;
  sent.clear();
  ASSERT_TRUE(choose(open(world, world), L"#RM_Governor", 2));
  const stringw chosen = red->getBuildListName(0);
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(sent[0].channel, 2);
  world->setUseGovernor(false);
  world->governorType = nullptr;
  networkManager->isConnected = false;
  networkManager->isServer = true;
  NetPlayer player;
  player.emp = red;
  for (const SentMessage& message : sent) {
    ASSERT_EQ(message.bytes.front(), ID_PLANET_SETTING);
    RakNet::BitStream behind;
    for (size_t i = 1; i < message.bytes.size(); ++i)
      behind.Write(message.bytes[i]);
    handlePlanetSetting(behind, &player);
  }
  EXPECT_TRUE(world->usesGovernor());
  ASSERT_NE(world->getGovernorType(), nullptr);
  EXPECT_EQ(*world->getGovernorType(), chosen);

  // The governor toggle flips the planet's governor.
  networkManager->isNetworked = networkManager->isServer = false;
  ASSERT_TRUE(choose(open(world, world), L"#RM_Governor", 0));
  EXPECT_FALSE(world->usesGovernor());
  red->subSysLevels.clear();
}

TEST_F(SubMenuTest, JoinFleetLeavesOutTheClickedObjectsOwnFleet) {
  hull_list* layout = design(L"Scout");
  objHulled* alpha = ship(layout);
  objHulled* beta = ship(layout);
  objHulled* loose = ship(layout);
  std::vector<FleetAI*> fleets;
  for (objHulled* leader : {alpha, beta}) {
    auto* fleet = new FleetAI(static_cast<UnitAI*>(leader->ai));
    leader->setAI(fleet);
    fleet->release();
    red->addFleet(fleet);
    fleets.push_back(fleet);
  }
  const std::wstring alphaName = fleets[0]->getName().c_str();
  const std::wstring betaName = fleets[1]->getName().c_str();

  // Beta's commander is offered only alpha's fleet; a loose ship both.
  EXPECT_EQ(itemsOf(subMenuOf(open(beta, beta), L"#RM_JoinFleet")), (Items{alphaName}));
  EXPECT_EQ(itemsOf(subMenuOf(open(loose, loose), L"#RM_JoinFleet")), (Items{alphaName, betaName}));

  // Choosing beta's fleet moves the selected loose ship into it.
  select(loose);
  ASSERT_TRUE(choose(open(loose, loose), L"#RM_JoinFleet", 1));
  EXPECT_EQ(static_cast<UnitAI*>(loose->ai)->fleet, fleets[1]);

  // A lone fleet that the clicked object commands: no entry.
  setSelection(nullptr);
  red->removeFleet(fleets[1]);
  EXPECT_EQ(subMenuOf(open(alpha, alpha), L"#RM_JoinFleet"), nullptr);
}

TEST_F(SubMenuTest, OneToolIsAPlainEntryTwoOpenASubMenuThatOrdersOnlyShipsWithTheTool) {
  hull_list* oneTool = design(L"Miner", {L"Mine"}, {{L"Tool:Mine"}, {L"Armor"}});
  hull_list* twoTools = design(L"Worker", {L"Mine", L"Salvage"}, {{L"Tool:Mine"}, {L"Tool:Salvage"}});
  hull_list* salvager = design(L"Salvager", {L"Salvage"}, {{L"Tool:Salvage"}});
  objHulled* miner = ship(oneTool);
  objHulled* worker = ship(twoTools);
  objHulled* other = ship(salvager);
  objHabitation* rock = planet(space);

  irr::gui::IGUIContextMenu* menu = open(miner, rock);
  const std::wstring plain = std::wstring(getLocalizedText(L"#RM_UseTool")) + L" Mine";
  Items items = itemsOf(menu);
  EXPECT_NE(std::find(items.begin(), items.end(), plain), items.end());
  EXPECT_EQ(subMenuOf(menu, L"#RM_UseTool"), nullptr);

  select(worker);
  select(other);
  menu = open(worker, rock);
  irr::gui::IGUIContextMenu* sub = subMenuOf(menu, L"#RM_UseTool");
  ASSERT_NE(sub, nullptr);
  EXPECT_EQ(sub->getID(), kUseToolMenuId);
  EXPECT_EQ(itemsOf(sub), (Items{L"Mine", L"Salvage"}));
  const uint32_t workerOrders = worker->ai->getOrderCount();
  const uint32_t otherOrders = other->ai->getOrderCount();
  ASSERT_TRUE(choose(menu, L"#RM_UseTool", 0));
  ASSERT_EQ(worker->ai->getOrderCount(), workerOrders + 1);
  auto* order = dynamic_cast<use_tool_order*>(worker->ai->getOrder(0));
  ASSERT_NE(order, nullptr);
  EXPECT_EQ(order->getTool(), L"Mine");
  EXPECT_EQ(order->target, rock);
  EXPECT_EQ(other->ai->getOrderCount(), otherOrders);  // no "Mine" entry
}

}  // namespace

}  // namespace submenustest
