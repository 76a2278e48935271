// Ships and fleets in scripts: damage to one sub-system, forced activation,
// cease-fire in each engine and over the network, the planet a ship
// circles, spawnShip with the ship module's hook, and fleets: their names
// in the empire's table, a ship's fleet, the refused members, and a fleet
// made and given up again while the ship's system thread ticks it.
#include <angelscript.h>
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "app/base/config.h"
#include "core/net_encoders.h"
#include "design/effects/effects.h"
#include "design/hull_list.h"
#include "design/subsystems/sub_system.h"
#include "design/subsystems/sub_system_def.h"
#include "empire/empire.h"
#include "net/network_manager.h"
#include "script/script_engine.h"
#include "script/script_string.h"
#include "scripted_galaxy.h"
#include "support/log_capture.h"
#include "support/sent_messages.h"
#include "universe/movement/mobile_mover.h"
#include "universe/objects/solar_system.h"
#include "universe/objects/star.h"
#include "universe/objects/system_locks.h"
#include "universe/orders/fleet_ai.h"
#include "universe/orders/unit_ai.h"
#include "universe/planets/planet.h"
#include "universe/ships/ship.h"

namespace ship_fleet_script_test {

using namespace AngelScript;

namespace {

const char kSubSystemFile[] = "System: Plate\nSize: 10\nDurability: 15\nMass: 5\n";

// Counts the OnActive calls of the sub-systems it is given to.
class CountingEffect : public effect_generic {
 public:
  void OnActive(EffectEvent*, effect_data*) override { ++activations; }
  int activations = 0;
};

class ShipFleetScriptTest : public scriptapitest::ScriptedGalaxyTest {
 protected:
  void SetUp() override {
    ScriptedGalaxyTest::SetUp();
    std::filesystem::create_directories(root_ / "Game Data/Sub Systems");
    std::ofstream(root_ / "Game Data/Sub Systems/plate.txt", std::ios::binary) << kSubSystemFile;
    scriptapitest::setUpScriptsOfWorkingFolder();
    ASSERT_NE(serverScriptEngine, nullptr);
    ASSERT_GT(subSystemDefRegistry.size(), 0u);
    system_ = addSystems(1).front();
    activeEmpire = red;
    layout_desc desc;
    desc.systems.push_back({subSystemDefRegistry[0].value, 1.0f, 0.0f, 0.0f, -1});
    desc.systems.push_back({subSystemDefRegistry[0].value, 1.0f, 1.0f, 0.0f, -1});
    layout_ = new hull_list(desc, red, true);
    layout_->name = L"Scout";
    layout_->grab();  // the table's reference
    NamedVar<hull_list*>::getOrAdd(red->hulls, layout_->name).value = layout_;
  }
  void TearDown() override {
    networkManager->isNetworked = false;
    networkManager->isConnected = false;
    stopCapturingSends();
    activeEmpire = nullptr;
    ScriptedGalaxyTest::TearDown();
    layout_->drop();
    clearSubSystemDefs();
  }

  objHulled* ship(empire* owner, hull_list* layout, MoveHandler* mover = nullptr) {
    auto* made = new objHulled(owner, layout, mover);
    made->setContainer(system_);
    return made;
  }

  static asIScriptModule* build(asIScriptEngine* engine, const std::string& code) {
    LogCapture log;
    asIScriptModule* module = engine->GetModule("test", asGM_ALWAYS_CREATE);
    module->AddScriptSection("test", code.c_str(), code.size());
    EXPECT_GE(module->Build(), 0) << log.take();
    return module;
  }

  // Runs `function` with the objects as its first handle arguments (each
  // with its own reference) and `amount` as a following float; the
  // exception text, or "" when it finished. `result` gets a float result.
  static std::string run(asIScriptModule* module, const char* function, std::vector<void*> objects,
                         float amount = 0.0f, float* result = nullptr) {
    asIScriptContext* context = createScriptContext(module->GetEngine());
    asIScriptFunction* called = module->GetFunctionByName(function);
    EXPECT_NE(called, nullptr) << function;
    if (called == nullptr)
      return "no function";
    context->Prepare(called);
    asUINT i = 0;
    for (; i < objects.size(); ++i)
      context->SetArgObject(i, objects[i]);
    if (i < called->GetParamCount())
      context->SetArgFloat(i, amount);
    const int outcome = context->Execute();
    std::string text;
    if (outcome == asEXECUTION_EXCEPTION)
      text = context->GetExceptionString();
    else if (outcome != asEXECUTION_FINISHED)
      text = "result " + std::to_string(outcome);
    else if (result != nullptr)
      *result = context->GetReturnFloat();
    context->Release();
    return text;
  }

  solarSystem* system_ = nullptr;
  hull_list* layout_ = nullptr;
};

// --- damage and activation ---

TEST_F(ShipFleetScriptTest, DamageSystemByTable) {
  asIScriptModule* module = build(serverScriptEngine, R"(
float own(HulledObj@ s, Object@ src, float a) { return s.damageSystem(s.getSubSystem(0), src, a); }
float flagged(HulledObj@ s, Object@ src, float a) { return s.damageSystem(s.getSubSystem(0), src, a, 2); }
float none(HulledObj@ s, Object@ src, float a) { return s.damageSystem(null, src, a); }
float foreign(HulledObj@ s, HulledObj@ other, float a) { return s.damageSystem(other.getSubSystem(0), other, a); }
float nullSource(HulledObj@ s, float a) { return s.damageSystem(s.getSubSystem(0), null, a); }
)");
  objHulled* target = ship(red, layout_);
  objHulled* other = ship(blue, layout_);
  struct Case {
    const char* label;
    const char* function;
    bool otherAsSource;
    float hpBefore;
    uint32_t stateBefore;
    float amount;
    // Expected:
    const char* exception;
    float result, hpAfter;
    uint32_t stateAfter;
  };
  const Case cases[] = {
      {"own source, absorbs 10", "own", false, 10, SS_Active, 25, "", 15, 0, SS_Destroyed},
      {"flags, absorbs all", "flagged", true, 10, SS_Active, 4, "", 0, 6, SS_Active},
      {"null record", "none", false, 10, SS_Active, 25, "", 25, 10, SS_Active},
      {"another ship's record", "foreign", false, 10, SS_Active, 25, "", 25, 10, SS_Active},
      {"nothing left to absorb", "own", false, 0, SS_Destroyed, 25, "", 25, 0, SS_Destroyed},
      {"null source", "nullSource", false, 10, SS_Active, 5, "Null Object@ when damaging an object", 0, 10,
       SS_Active},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    SysRef* record = target->getSubSystem(0);
    record->HP = c.hpBefore;
    record->state = c.stateBefore;
    other->getSubSystem(0)->HP = 10;
    const int refsBefore = target->refCount.load();
    const int otherRefsBefore = other->refCount.load();
    std::vector<void*> objects = {target};
    if (std::string(c.function) != "nullSource")
      objects.push_back(c.otherAsSource || std::string(c.function) == "foreign" ? static_cast<generic_object*>(other)
                                                                               : target);
    float result = -1.0f;
    EXPECT_EQ(run(module, c.function, objects, c.amount, &result), c.exception);
    if (*c.exception == '\0')
      EXPECT_EQ(result, c.result);
    EXPECT_EQ(record->HP, c.hpAfter);
    EXPECT_EQ(record->state, c.stateAfter);
    EXPECT_EQ(other->getSubSystem(0)->HP, 10.0f) << "the other ship is never touched";
    EXPECT_EQ(target->refCount.load(), refsBefore) << "the script's and the event's references are given back";
    EXPECT_EQ(other->refCount.load(), otherRefsBefore);
  }
}

TEST_F(ShipFleetScriptTest, ForceActivateRunsOnActiveOnlyForDisabledRecords) {
  asIScriptModule* module = build(serverScriptEngine, "void activate(HulledObj@ s) { s.forceActivate(); }");
  objHulled* target = ship(red, layout_);
  CountingEffect effect;
  subSystemDefRegistry[0].value->effectFlags |= static_cast<uint16_t>(1u << EH_OnActive);
  for (uint32_t i = 0; i < target->getSubSystemCount(); ++i) {
    effect_data data;
    data.effect = &effect;
    target->getSubSystem(static_cast<int>(i))->system->provisions.push_back(data);
  }
  SysRef* first = target->getSubSystem(0);
  SysRef* second = target->getSubSystem(1);

  first->state = SS_Active;
  second->state = SS_Destroyed;
  EXPECT_EQ(run(module, "activate", {target}), "");
  EXPECT_EQ(effect.activations, 0);
  EXPECT_EQ(second->state, SS_Destroyed);

  second->state = SS_Disabled;
  EXPECT_EQ(run(module, "activate", {target}), "");
  EXPECT_EQ(effect.activations, 1);
  EXPECT_EQ(first->state, SS_Active);
  EXPECT_EQ(second->state, SS_Active);

  for (uint32_t i = 0; i < target->getSubSystemCount(); ++i)
    target->getSubSystem(static_cast<int>(i))->system->provisions.clear();
}

// --- sub-system reads ---

TEST_F(ShipFleetScriptTest, SubSystemReadsStayInsideTheShip) {
  asIScriptModule* module = build(serverScriptEngine, R"(
bool bare(HulledObj@ s) { return s.getSubSystemCount() == 0 && s.getSubSystem(0) is null; }
bool pastTheEnd(HulledObj@ s) { return s.getSubSystem(s.getSubSystemCount()) is null; }
bool firstDamaged(HulledObj@ s) { return s.getDamagedSystem(null) is s.getSubSystem(1); }
bool afterFirst(HulledObj@ s) { return s.getDamagedSystem(s.getSubSystem(1)) is null; }
bool foreignStart(HulledObj@ s, Planet@ p) {
  PlanetStructureList l;
  l.prepare(p);
  const SysRef@ structure = l.getStructureState(0);
  return structure !is null && s.getDamagedSystem(structure) is s.getSubSystem(1);
}
)");
  objHulled* noLayout = ship(red, nullptr);
  objHulled* target = ship(red, layout_);
  target->getSubSystem(1)->HP = 0.5f * target->getSubSystem(1)->HP;
  auto* planet = new objHabitation(red, nullptr);
  planet->setContainer(system_);
  planet->setStructureSpace(4.0f);
  planet->addStructureFromDef(subSystemDefRegistry[0].value);
  ASSERT_GT(target->getSubSystem(0)->HP, 0.0f) << "the plate has hit points";

  auto check = [&](const char* function, std::vector<void*> objects) {
    asIScriptContext* context = createScriptContext(serverScriptEngine);
    context->Prepare(module->GetFunctionByName(function));
    for (asUINT i = 0; i < objects.size(); ++i)
      context->SetArgObject(i, objects[i]);
    const bool finished = context->Execute() == asEXECUTION_FINISHED;
    const bool value = finished && context->GetReturnByte() != 0;
    context->Release();
    return value;
  };
  EXPECT_TRUE(check("bare", {noLayout}));
  EXPECT_TRUE(check("pastTheEnd", {target}));
  EXPECT_TRUE(check("firstDamaged", {target}));
  EXPECT_TRUE(check("afterFirst", {target}));
  EXPECT_TRUE(check("foreignStart", {target, planet}));
}

// --- cease-fire ---

TEST_F(ShipFleetScriptTest, CeaseFireInEachEngineAndOverTheNetwork) {
  const char* code = "void hold(HulledObj@ s) { s.ceaseFire(); }";
  asIScriptModule* server = build(serverScriptEngine, code);
  asIScriptModule* client = build(clientScriptEngine, code);
  objHulled* own = ship(red, layout_);
  objHulled* foreign = ship(blue, layout_);
  objHulled* target = ship(blue, layout_);
  // One effector state for each ship (the plate carries no weapon), which
  // holds `at`.
  for (objHulled* s : {own, foreign}) {
    s->effectorStates = new objHulled::EffectorState[1];
    s->effectorStateCount = 1;
    s->effectorStates[0].system = s->getSubSystem(0);
  }
  auto aim = [&](objHulled* at) {
    for (objHulled* s : {own, foreign}) {
      if (s->effectorStates[0].target == nullptr) {
        at->grab();
        s->effectorStates[0].target = at;
      }
    }
  };
  auto targets = [](objHulled* s) { return s->effectorStates[0].target != nullptr ? 1 : 0; };
  aim(target);
  EXPECT_EQ(run(server, "hold", {foreign}), "");
  EXPECT_EQ(targets(foreign), 0) << "the server engine clears any ship";

  aim(target);
  EXPECT_EQ(run(client, "hold", {foreign}), "");
  EXPECT_EQ(run(client, "hold", {own}), "");
  EXPECT_GT(targets(foreign), 0) << "only the active empire's ships";
  EXPECT_EQ(targets(own), 0);
}

TEST_F(ShipFleetScriptTest, CeaseFireOfANetworkClientAsksForOwnShipsOnly) {
  asIScriptModule* client = build(clientScriptEngine, "void hold(HulledObj@ s) { s.ceaseFire(); }");
  objHulled* own = ship(red, layout_);
  objHulled* foreign = ship(blue, layout_);
  // A held target, which the request leaves to the server.
  own->effectorStates = new objHulled::EffectorState[1];
  own->effectorStateCount = 1;
  own->effectorStates[0].system = own->getSubSystem(0);
  foreign->grab();
  own->effectorStates[0].target = foreign;
  std::vector<SentMessage> sent;
  captureSends(sent);
  networkManager->isNetworked = true;
  networkManager->isConnected = true;

  EXPECT_EQ(run(client, "hold", {foreign}), "");
  EXPECT_TRUE(sent.empty()) << "nothing for another empire's ship";
  EXPECT_EQ(run(client, "hold", {own}), "");
  ASSERT_EQ(sent.size(), 1u);
  RakNet::BitStream expected;
  expected.Write(static_cast<uint8_t>(0x8B));
  expected.Write(static_cast<uint8_t>(4));
  writeNetObjectRef(expected, own);
  const uint8_t* bytes = expected.GetData();
  EXPECT_EQ(sent[0].bytes, std::vector<uint8_t>(bytes, bytes + expected.GetNumberOfBytesUsed()));
  EXPECT_EQ(sent[0].channel, 0);
  EXPECT_EQ(sent[0].reliability, RakNet::RELIABLE_ORDERED);
  EXPECT_EQ(own->effectorStates[0].target, foreign) << "nothing is cleared here";
}

// --- orbit and spawning ---

TEST_F(ShipFleetScriptTest, InOrbitAroundGivesOnlyAPlanet) {
  asIScriptModule* module = build(serverScriptEngine, R"(
bool around(HulledObj@ s, Object@ body) {
  Planet@ p = s.inOrbitAround();
  return body is null ? p is null : p is body;
}
)");
  auto* star = new objStar(system_, nullptr);
  star->setContainer(system_);
  auto* planet = new objHabitation(red, nullptr);
  planet->setContainer(system_);
  objHulled* target = ship(red, layout_, new MobileMover());
  MobileMover* mover = MobileMover::of(target);

  auto check = [&](generic_object* expected) {
    asIScriptContext* context = createScriptContext(serverScriptEngine);
    context->Prepare(module->GetFunctionByName("around"));
    context->SetArgObject(0, target);
    context->SetArgObject(1, expected);
    const bool value = context->Execute() == asEXECUTION_FINISHED && context->GetReturnByte() != 0;
    context->Release();
    return value;
  };
  mover->orbitAround(*target, star);
  ASSERT_EQ(mover->getParkedOrbitBody(), star);
  EXPECT_TRUE(check(nullptr)) << "a star is no planet";
  mover->orbitAround(*target, planet);
  ASSERT_EQ(mover->getParkedOrbitBody(), planet);
  const int planetRefs = planet->refCount.load();
  EXPECT_TRUE(check(planet));
  EXPECT_EQ(planet->refCount.load(), planetRefs) << "the returned handle's reference is given back";
}

TEST_F(ShipFleetScriptTest, SpawnShipRunsTheShipHook) {
  const char kShipModule[] = "int created = 0;\nvoid onCreate(HulledObj@ s, Object@ place) { ++created; }\n";
  asIScriptModule* shipModule = serverScriptEngine->GetModule("ship", asGM_ALWAYS_CREATE);
  shipModule->AddScriptSection("ship", kShipModule, sizeof kShipModule - 1);
  ASSERT_GE(shipModule->Build(), 0);
  bindShipScriptHooks();
  asIScriptModule* module = build(serverScriptEngine, R"(
HulledObj@ spawned;
void spawnNowhere(Empire@ e) { @spawned = spawnShip(e, e.getShipLayout("Scout"), null, vector(0, 0, 0)); }
void spawnIn(Empire@ e, System@ sys) { @spawned = spawnShip(e, e.getShipLayout("Scout"), sys, vector(3, 0, 0)); }
)");
  auto* created = static_cast<int*>(shipModule->GetAddressOfGlobalVar(0));
  auto spawned = [&] {
    return *static_cast<objHulled**>(module->GetAddressOfGlobalVar(module->GetGlobalVarIndexByName("spawned")));
  };
  EXPECT_EQ(run(module, "spawnNowhere", {red}), "");
  EXPECT_EQ(spawned(), nullptr);
  EXPECT_EQ(*created, 0);

  EXPECT_EQ(run(module, "spawnIn", {red, system_}), "");
  objHulled* made = spawned();
  ASSERT_NE(made, nullptr);
  EXPECT_EQ(made->containingSystem(), system_);
  EXPECT_EQ(made->getHull(), layout_);
  const std::string name = irr::core::stringc(made->name).c_str();
  EXPECT_EQ(name.rfind("Scout ", 0), 0u) << name;
  EXPECT_GT(name.size(), 6u) << "a number follows";
  EXPECT_EQ(*created, 1);
  module->Discard();
}

// --- fleets ---

TEST_F(ShipFleetScriptTest, FleetNamesRenamingAndAShipsFleet) {
  asIScriptModule* module = build(serverScriptEngine, R"(
Fleet@ first;
Fleet@ second;
bool refused;
void make(Empire@ e, Object@ a, Object@ b) { @first = e.createFleet(a); @second = e.createFleet(b); }
void refuse(Empire@ e, Object@ foreign, Object@ planet) {
  refused = e.createFleet(foreign) is null && e.createFleet(planet) is null;
}
void rename(Empire@ e, const string &in name) { first.setName(name); }
bool fleetOf(HulledObj@ s, HulledObj@ loose) { return s.getFleet() is first && loose.getFleet() is null; }
void addSelf(Empire@ e) { first.addMember(first.getCommander()); }
void addCommander(Empire@ e) { first.addMember(second.getCommander()); }
void giveUp(Empire@ e) { first.giveUpCommand(); second.giveUpCommand(); }
void again(Empire@ e, Object@ a) { @first = e.createFleet(a); }
)");
  objHulled* a = ship(red, layout_);
  objHulled* b = ship(red, layout_);
  objHulled* loose = ship(red, layout_);
  objHulled* foreign = ship(blue, layout_);
  auto* planet = new objHabitation(red, nullptr);
  planet->setContainer(system_);
  auto names = [&] {
    std::vector<std::string> listed;
    for (irr::u32 i = 0; i < red->fleets.size(); ++i)
      listed.push_back(irr::core::stringc(red->fleets[i].name).c_str());
    return listed;
  };
  auto fleetName = [](objHulled* s) {
    auto* fleet = dynamic_cast<FleetAI*>(s->ai);
    return fleet != nullptr ? std::string(irr::core::stringc(fleet->getName()).c_str()) : std::string("none");
  };

  EXPECT_EQ(run(module, "refuse", {red, foreign, planet}), "");
  EXPECT_TRUE(*static_cast<bool*>(module->GetAddressOfGlobalVar(module->GetGlobalVarIndexByName("refused"))));
  EXPECT_TRUE(names().empty());

  EXPECT_EQ(run(module, "make", {red, a, b}), "");
  EXPECT_EQ(fleetName(a), "Fleet 1");
  EXPECT_EQ(fleetName(b), "Fleet 2");
  EXPECT_TRUE(a->hasFlag(FLAG_IN_FLEET));

  auto* setName = module->GetFunctionByName("rename");
  auto renameTo = [&](const char* name) {
    asIScriptContext* context = createScriptContext(serverScriptEngine);
    context->Prepare(setName);
    context->SetArgObject(0, red);
    auto* text = new ScriptString(irr::core::stringw(name));
    context->SetArgAddress(1, text);
    EXPECT_EQ(context->Execute(), asEXECUTION_FINISHED);
    context->Release();
    text->release();
  };
  renameTo("Home");
  EXPECT_EQ(names(), (std::vector<std::string>{"Fleet 2", "Home"}));
  EXPECT_EQ(fleetName(a), "Home");
  renameTo("Home");
  EXPECT_EQ(names(), (std::vector<std::string>{"Fleet 2", "Home"})) << "renaming to the current name keeps it";

  asIScriptContext* context = createScriptContext(serverScriptEngine);
  context->Prepare(module->GetFunctionByName("fleetOf"));
  context->SetArgObject(0, a);
  context->SetArgObject(1, loose);
  ASSERT_EQ(context->Execute(), asEXECUTION_FINISHED);
  EXPECT_NE(context->GetReturnByte(), 0);
  context->Release();

  {
    LogCapture log;
    EXPECT_EQ(run(module, "addSelf", {red}), "");
    EXPECT_NE(log.take().find("Error: Fleet attempted to add itself as member\n"), std::string::npos);
    EXPECT_EQ(run(module, "addCommander", {red}), "");
    EXPECT_NE(log.take().find("Error: Fleet attempted to add another fleet as a member\n"), std::string::npos);
  }

  EXPECT_EQ(run(module, "giveUp", {red}), "");
  EXPECT_TRUE(names().empty());
  EXPECT_NE(dynamic_cast<UnitAI*>(a->ai), nullptr);
  EXPECT_EQ(run(module, "again", {red, a}), "");
  EXPECT_EQ(fleetName(a), "Fleet 3") << "the number keeps counting";
  module->Discard();
}

TEST_F(ShipFleetScriptTest, ANetworkClientMakesNoFleet) {
  asIScriptModule* module = build(clientScriptEngine, "bool make(Empire@ e, Object@ o) { return e.createFleet(o) is null; }");
  objHulled* a = ship(red, layout_);
  networkManager->isNetworked = true;
  networkManager->isConnected = true;
  asIScriptContext* context = createScriptContext(clientScriptEngine);
  context->Prepare(module->GetFunctionByName("make"));
  context->SetArgObject(0, red);
  context->SetArgObject(1, a);
  ASSERT_EQ(context->Execute(), asEXECUTION_FINISHED);
  EXPECT_NE(context->GetReturnByte(), 0);
  context->Release();
  EXPECT_NE(dynamic_cast<UnitAI*>(a->ai), nullptr);
  EXPECT_EQ(red->fleets.size(), 0u);
}

// A script on this thread makes a fleet of a ship and gives its command up,
// again and again, while another thread ticks the ship's AI under its
// system's lock as the galaxy thread does: the AI is only ever replaced
// under that lock.
TEST_F(ShipFleetScriptTest, FleetsMadeAndGivenUpWhileTheSystemTicks) {
  asIScriptModule* module = build(serverScriptEngine, R"(
void round(Empire@ e, Object@ o) {
  Fleet@ f = e.createFleet(o);
  if (f !is null)
    f.giveUpCommand();
}
)");
  objHulled* commander = ship(red, layout_, new MobileMover());
  const bool wasSingleThreaded = singleThreaded;
  singleThreaded = false;
  std::atomic<bool> done{false};
  std::atomic<int> ticks{0};
  std::thread galaxy([&] {
    while (!done.load()) {
      lockSolarSystem(system_);
      if (ObjectAI* ai = commander->ai)
        ai->tick();
      unlockSolarSystem(system_);
      ticks.fetch_add(1);
    }
    freeThreadLocals();
  });
  constexpr int kRounds = 1000;
  for (int i = 0; i < kRounds; ++i)
    ASSERT_EQ(run(module, "round", {red, commander}), "") << "round " << i;
  done = true;
  galaxy.join();
  singleThreaded = wasSingleThreaded;
  EXPECT_GT(ticks.load(), 0);
  EXPECT_NE(dynamic_cast<UnitAI*>(commander->ai), nullptr);
  EXPECT_EQ(red->fleets.size(), 0u);
  module->Discard();
}

}  // namespace

}  // namespace ship_fleet_script_test
