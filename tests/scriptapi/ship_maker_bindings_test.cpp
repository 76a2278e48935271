// The ship maker from scripts: a map script's Hull_Desc keeps its layout
// after the script's own handle is gone, System.makeShip places the ship
// (also under the system's lock while the simulation runs), and the "ship"
// module's onCreate hook runs with the new ship and the place it was made at.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "app/base/session_state.h"
#include "design/hull_list.h"
#include "design/sub_system_fixture.h"
#include "scripted_galaxy.h"
#include "universe/ships/ship.h"

namespace ship_maker_bindings_test {

using namespace AngelScript;
using irr::core::stringw;

namespace {

const char kShipModule[] = R"(
uint creates = 0;
HulledObj@ madeShip;
Object@ madePlace;

void onCreate(HulledObj@ ship, Object@ place) {
  ++creates;
  @madeShip = ship;
  @madePlace = place;
}
void forget() { @madeShip = null; @madePlace = null; }
)";

const char kMapModule[] = R"(
Hull_Desc kept;

void prepare(Empire@ owner, HullLayout@ layout) {
  Hull_Desc desc;
  desc.set_hull(layout);
  @desc.Owner = owner;
  desc.Position = vector(10, 0, 30);
  desc.Position.y = 20;
  kept = desc;
}
Object@ make(System@ sys) { return sys.makeShip(kept); }

string@ defaults() {
  Hull_Desc desc;
  vector at = desc.Position;
  return (desc.Owner is null ? "no owner" : "an owner") + ";" + at.x + "," + at.y + "," + at.z;
}
)";

class ShipMakerBindingsTest : public scriptapitest::ScriptedGalaxyTest {
 protected:
  void SetUp() override {
    ScriptedGalaxyTest::SetUp();
    const std::filesystem::path scripts = root_ / "Game Data/scripts/server";
    std::ofstream(scripts / "ship.as", std::ios::binary) << kShipModule;
    std::ofstream(scripts / "map.as", std::ios::binary) << kMapModule;
    scriptapitest::setUpScriptsOfWorkingFolder();
    subsystemtest::loadDefinition(root_, "System: Plate\nSize: 10\nDurability: 15\nMass: 5\n", L"Plate");
    system = addSystems(1).front();
    shipModule = serverScriptEngine->GetModule("ship");
    mapModule = serverScriptEngine->GetModule("map");
    ASSERT_NE(shipModule, nullptr);
    ASSERT_NE(mapModule, nullptr);
  }
  void TearDown() override {
    if (shipModule != nullptr)
      scriptapitest::call(shipModule, "void forget()");
    clearShipScriptHooks();
    ScriptedGalaxyTest::TearDown();
    clearSubSystemDefs();
  }

  // A script function's outcome: "finished", or "exception: <text>". The
  // arguments are handles; `returned` receives a returned handle (not
  // counted) when given.
  static std::string run(asIScriptModule* module, const char* declaration, std::initializer_list<void*> arguments,
                         void** returned = nullptr) {
    asIScriptContext* context = createScriptContext(serverScriptEngine);
    context->Prepare(module->GetFunctionByDecl(declaration));
    asUINT index = 0;
    for (void* argument : arguments)
      context->SetArgObject(index++, argument);
    std::string outcome = "finished";
    if (context->Execute() != asEXECUTION_FINISHED)
      outcome = std::string("exception: ") + (context->GetExceptionString() ? context->GetExceptionString() : "");
    else if (returned != nullptr)
      *returned = *static_cast<void**>(context->GetAddressOfReturnValue());
    context->Release();
    return outcome;
  }

  template <class T>
  T& global(asIScriptModule* module, const char* declaration) {
    return *static_cast<T*>(module->GetAddressOfGlobalVar(module->GetGlobalVarIndexByDecl(declaration)));
  }

  solarSystem* system = nullptr;
  asIScriptModule* shipModule = nullptr;
  asIScriptModule* mapModule = nullptr;
};

TEST_F(ShipMakerBindingsTest, ADescriptorKeepsItsLayoutAndTheShipIsAnnouncedToTheShipModule) {
  layout_desc desc;
  desc.systems.push_back({subSystemDefRegistry[0].value, 1.0f, 0.0f, 0.0f, -1});
  auto* layout = new hull_list(desc, red, true);
  layout->name = L"Scout";
  layout->scale = 3.0f;
  ASSERT_EQ(run(mapModule, "void prepare(Empire@, HullLayout@)", {red, layout}), "finished");
  // What handed the layout to the script lets it go: only the descriptor
  // holds it now.
  EXPECT_EQ(layout->getReferenceCount(), 2u);
  layout->drop();

  const struct {
    const char* label;
    bool simulationRuns;  // the maker then holds the system's lock
  } cases[] = {{"while the map is made", false}, {"while the simulation runs", true}};
  uint32_t creates = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    simulationRunning = c.simulationRuns;
    void* made = nullptr;
    EXPECT_EQ(run(mapModule, "Object@ make(System@)", {system}, &made), "finished");
    simulationRunning = false;
    auto* ship = static_cast<objHulled*>(static_cast<generic_object*>(made));
    ASSERT_NE(ship, nullptr);
    EXPECT_EQ(ship->getType(), OT_Hulled);
    EXPECT_EQ(ship->getHull(), layout);
    EXPECT_EQ(ship->name.subString(0, 6), stringw(L"Scout "));
    EXPECT_EQ(ship->radius, 3.0f);
    EXPECT_EQ(ship->owner, red);
    EXPECT_EQ(ship->container.load(), system);
    EXPECT_EQ(ship->position, vector3df(10, 20, 30));

    EXPECT_EQ(global<uint32_t>(shipModule, "uint creates"), ++creates);
    EXPECT_EQ(global<generic_object*>(shipModule, "HulledObj@ madeShip"), ship);
    EXPECT_EQ(global<generic_object*>(shipModule, "Object@ madePlace"), system);
  }
}

TEST_F(ShipMakerBindingsTest, ANewDescriptorHasNoOwnerAndStandsAtTheOrigin) {
  EXPECT_EQ(scriptapitest::call(mapModule, "string@ defaults()"), "no owner;0,0,0");
  EXPECT_EQ(run(mapModule, "Object@ make(System@)", {system}), "finished") << "no layout: no ship, no exception";
  EXPECT_EQ(global<uint32_t>(shipModule, "uint creates"), 0u);
}

}  // namespace

}  // namespace ship_maker_bindings_test
