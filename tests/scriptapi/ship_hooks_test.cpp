// The ships' hooks in the server module "ship", found by the session's
// script set-up: the owner-change and destroy hooks veto only while the game
// rules are active, and the tick and creation hooks receive the ship.
#include <angelscript.h>
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "app/base/session_state.h"
#include "design/hull_list.h"
#include "design/sub_system_fixture.h"
#include "design/subsystems/sub_system_def.h"
#include "scripted_galaxy.h"
#include "universe/orders/movement_orders.h"
#include "universe/ships/ship.h"

namespace ship_hooks_test {

using namespace AngelScript;

namespace {

const char kShipModule[] = R"(
bool answer = true;
string notes;
uint ticks = 0;

string name(Empire@ emp) {
  if (emp is null)
    return "null";
  return emp.getName();
}
void tick(HulledObj@ ship, float seconds) { ++ticks; }
void onCreate(HulledObj@ ship, Object@ place) { notes += "create at " + place.getName() + ";"; }
bool onDestroy(HulledObj@ ship, bool quiet) {
  notes += quiet ? "destroy quiet;" : "destroy;";
  return answer;
}
bool onOwnerChange(HulledObj@ ship, Empire@ from, Empire@ to) {
  notes += "owner " + name(from) + " to " + name(to) + ";";
  return answer;
}
)";

class ShipHooksTest : public scriptapitest::ScriptedGalaxyTest {
 protected:
  void SetUp() override {
    ScriptedGalaxyTest::SetUp();
    std::ofstream(root_ / "Game Data/scripts/server/ship.as", std::ios::binary) << kShipModule;
    scriptapitest::setUpScriptsOfWorkingFolder();
    subsystemtest::loadDefinition(root_, "System: Plate\nSize: 1\nDurability: 10\n", L"Plate");
    gameRulesActive = false;
  }

  void TearDown() override {
    gameRulesActive = false;
    for (objHulled* ship : ships_) {
      ship->destroyNow(true);
      ship->drop();
    }
    for (hull_list* layout : layouts_)
      layout->drop();
    clearShipScriptHooks();
    clearSubSystemDefs();
    ScriptedGalaxyTest::TearDown();
  }

  // A ship of `owner`, held by the test until TearDown.
  objHulled* ship(empire* owner) {
    layout_desc desc;
    const irr::s32 index = findSubSystemDefByName(L"Plate");
    desc.systems.push_back({subSystemDefRegistry[static_cast<irr::u32>(index)].value, 1.0f, 0.0f, 0.0f, -1});
    auto* layout = new hull_list(desc, owner, true);
    layout->name = L"Test";
    layouts_.push_back(layout);
    auto* made = new objHulled(owner, layout, nullptr);
    made->grab();
    ships_.push_back(made);
    return made;
  }

  static asIScriptModule* module() { return serverScriptEngine->GetModule("ship"); }
  template <typename T>
  static T& global(const char* name) {
    return *static_cast<T*>(module()->GetAddressOfGlobalVar(module()->GetGlobalVarIndexByName(name)));
  }
  static std::string notes() { return irr::core::stringc(global<ScriptString>("notes").toStringw()).c_str(); }

  std::vector<objHulled*> ships_;
  std::vector<hull_list*> layouts_;
};

TEST_F(ShipHooksTest, TheSetUpFindsAllFourHooks) {
  EXPECT_GE(shipScriptHooks.tick, 0);
  EXPECT_GE(shipScriptHooks.onCreate, 0);
  EXPECT_GE(shipScriptHooks.onDestroy, 0);
  EXPECT_GE(shipScriptHooks.onOwnerChange, 0);

  serverScriptEngine->DiscardModule("ship");
  bindShipScriptHooks();
  EXPECT_LT(shipScriptHooks.tick, 0);
  EXPECT_LT(shipScriptHooks.onOwnerChange, 0);
  objHulled* scout = ship(red);
  gameRulesActive = true;
  EXPECT_FALSE(shipOwnerChangeHookCancels(scout, red, blue)) << "an absent hook vetoes nothing";
}

TEST_F(ShipHooksTest, OwnerChangeAndDestroyHooksVetoOnlyWhileTheRulesAreActive) {
  const struct {
    bool rulesActive;
    bool answer;
  } cases[] = {{true, true}, {true, false}, {false, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string("rules ") + (c.rulesActive ? "active" : "off") + ", answer " +
                 (c.answer ? "true" : "false"));
    global<bool>("answer") = c.answer;
    const std::string before = notes();
    objHulled* scout = ship(red);
    scout->ai->addOrder(new move_order(vector3df(100.0f, 0.0f, 0.0f), 1.0f), false);
    gameRulesActive = c.rulesActive;
    const bool vetoes = c.rulesActive && c.answer;

    scout->setOwner(blue);
    EXPECT_EQ(scout->getOwner(), vetoes ? red : blue);
    EXPECT_EQ(scout->ai->getOrderCount(), vetoes ? 1u : 0u) << "a kept ship keeps its orders";

    EXPECT_EQ(shipDestroyHookCancels(scout, false), vetoes);
    scout->destroyNow(false);
    EXPECT_EQ(scout->isValid(), vetoes);
    if (vetoes) {
      const uint32_t ticks = global<uint32_t>("ticks");
      scout->tick(0.1f);
      EXPECT_EQ(global<uint32_t>("ticks"), ticks + 1) << "a kept ship ticks on";
    }
    // The hooks' notes of this case: the change, the question, then
    // destroyNow's own call (after which a destroyed ship may let go of its
    // owner too).
    const std::string expected = c.rulesActive ? "owner Red to Blue;destroy;destroy;" : "";
    EXPECT_EQ(notes().substr(before.size(), expected.size()), expected);
    if (!c.rulesActive) {
      EXPECT_EQ(notes(), before);
    }
    gameRulesActive = false;
  }
}

TEST_F(ShipHooksTest, TickAndCreateHooksReceiveTheShipWithItsOwnReference) {
  objHulled* scout = ship(red);
  galaxy->name = L"Milky";
  const int32_t held = scout->refCount.load();
  runShipCreateHook(scout, galaxy);
  EXPECT_EQ(notes(), "create at Milky;");
  const uint32_t ticks = global<uint32_t>("ticks");
  runShipTickHook(scout, 0.25f);
  EXPECT_EQ(global<uint32_t>("ticks"), ticks + 1);
  EXPECT_EQ(scout->refCount.load(), held) << "the calls' references are given back";
}

}  // namespace

}  // namespace ship_hooks_test
