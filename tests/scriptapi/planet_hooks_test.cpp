// The planets' hooks in the server module "planet", run by real planets:
// "tick" every 0.1 s of an owned planet, and the four hooks whose true
// answer vetoes damage, repair, an owner change or destruction.
#include <string>
#include <vector>

#include "app/base/session_state.h"
#include "core/locale.h"
#include "design/effects/effects.h"
#include "script_session.h"
#include "universe/movement/orbit_movers.h"
#include "universe/objects/object_registry.h"
#include "universe/objects/object_states.h"
#include "universe/planets/planet.h"
#include "universe/planets/planet_hooks.h"

namespace planet_hooks_test {

using namespace AngelScript;
using scriptapitest::call;

namespace {

// Each veto hook notes its call and answers as `answer` says: 0 false,
// 1 true, 2 by failing (a division by zero).
const char kPlanetModule[] = R"(
int answer = 0;
string notes;
uint ticks = 0;
float tickSeconds = 0;
Planet@ kept;

string name(Empire@ emp) {
  if (emp is null)
    return "null";
  return emp.getName();
}
bool respond(const string &in what) {
  notes += what + ";";
  if (answer == 2) {
    int zero = 0;
    return 1 / zero > 0;
  }
  return answer == 1;
}

void tick(Planet@ planet, float seconds) { ++ticks; tickSeconds += seconds; }
bool onDamage(Planet@ planet, Event@ event) { return respond("damage " + event.damage); }
bool onRepair(Planet@ planet, float amount) { return respond("repair " + amount); }
bool onOwnerChange(Planet@ planet, Empire@ from, Empire@ to) {
  return respond("owner " + name(from) + " to " + name(to));
}
bool onDestroy(Planet@ planet, bool quiet) { return respond(quiet ? "destroy quiet" : "destroy"); }

void keep(Planet@ planet) { @kept = planet; }
void forget() { @kept = null; }
string@ report() { return notes; }
)";

const wchar_t kDamage[] = L"Damage";

class PlanetHooksTest : public scriptapitest::ScriptSessionTest {
 protected:
  void SetUp() override {
    ScriptSessionTest::SetUp();
    gameRulesActive = true;
    sessionEnding = false;
  }

  void TearDown() override {
    // Without the game rules no hook can keep a planet from going.
    gameRulesActive = false;
    for (objHabitation* planet : planets_) {
      planet->destroyNow(true);
      planet->drop();
    }
    clearPlanetScriptHooks();
    ScriptSessionTest::TearDown();
    EXPECT_EQ(registeredObjectCount(), 0u) << "a test left objects alive";
    clearObjectRegistry();
  }

  void start(const std::string& planetModule) {
    if (planetModule.empty())
      startSession({});
    else
      startSession({{"planet", planetModule}});
    red = registerEmpire(new empire);
    red->name = L"Red";
    blue = registerEmpire(new empire);
    blue->name = L"Blue";
  }

  asIScriptModule* module() const { return serverScriptEngine->GetModule("planet"); }
  template <typename T>
  T& global(const char* name) const {
    asIScriptModule* planetModule = module();
    return *static_cast<T*>(planetModule->GetAddressOfGlobalVar(planetModule->GetGlobalVarIndexByName(name)));
  }
  std::string report() const { return call(module(), "string@ report()"); }

  // A planet with a settled population of 5 (so its owner keeps it), held
  // by the test until TearDown.
  objHabitation* planet(empire* owner, MoveHandler* mover = nullptr) {
    auto* made = new objHabitation(owner, mover);
    made->name = L"Terra";
    made->population = made->settledPopulation = 5.0f;
    made->maxPopulation = 10.0f;
    made->grab();
    planets_.push_back(made);
    return made;
  }

  static float damageOf(generic_object* object) {
    const State* state = findObjectState(object, kDamage);
    return state != nullptr ? state->value.val : 0.0f;
  }

  static void damage(objHabitation* target, float amount) {
    EffectEvent event(target, target, amount);
    target->damage(event);
  }

  empire* red = nullptr;
  empire* blue = nullptr;
  std::vector<objHabitation*> planets_;
};

// A veto hook, by what the planet is asked to do, and the hook's note of
// the arguments it received.
struct VetoCase {
  const char* action;
  const char* logged;
};

TEST_F(PlanetHooksTest, VetoHooksStopTheirActionOnlyWhenTheyAnswerTrue) {
  start(kPlanetModule);
  const VetoCase cases[] = {
      {"damage", "damage 4;"},
      {"repair", "repair 3;"},
      {"owner", "owner Red to Blue;"},
      {"destroy", "destroy;"},
  };
  for (const VetoCase& c : cases) {
    for (int answer : {0, 1, 2}) {
      SCOPED_TRACE(std::string(c.action) + " answered " + std::to_string(answer));
      global<int>("answer") = answer;
      objHabitation* world = planet(red);
      getOrAddObjectState(world, kDamage)->value.max = 100.0f;
      getOrAddObjectState(world, kDamage)->value.val = 10.0f;
      const size_t messagesBefore = red->messages.size();
      const int32_t references = world->refCount.load();
      const std::string before = report();
      LogCapture log;

      const std::string what = c.action;
      bool acted = false;
      if (what == "damage") {
        damage(world, 4.0f);
        acted = damageOf(world) == 14.0f;
        EXPECT_TRUE(acted || damageOf(world) == 10.0f) << damageOf(world);
      } else if (what == "repair") {
        world->repair(3.0f);
        acted = damageOf(world) == 7.0f;
        EXPECT_TRUE(acted || damageOf(world) == 10.0f) << damageOf(world);
      } else if (what == "owner") {
        world->setOwner(blue);
        acted = world->getOwner() == blue;
        EXPECT_EQ(red->messages.size(), messagesBefore + (acted ? 1 : 0));
        if (acted) {
          EXPECT_NE(red->messages.back().text.find(getLocalizedText(L"#EM_PlanetLost")), -1);
          EXPECT_NE(red->messages.back().text.find(L"Terra"), -1);
        } else {
          EXPECT_EQ(world->getOwner(), red);
        }
      } else {
        world->destroy(false);
        world->destroyNow(false);
        acted = !world->isValid();
        if (!acted) {
          EXPECT_FALSE(world->hasFlag(FLAG_DESTROY)) << "a kept planet is no longer asked to go";
        }
      }
      if (world->isValid()) {
        EXPECT_EQ(world->refCount.load(), references) << "the hook's reference is given back";
      }
      EXPECT_EQ(acted, answer != 1) << "only a true answer vetoes; a failing hook leaves the default";
      EXPECT_EQ(report().substr(before.size()), c.logged);
      EXPECT_EQ(log.take().find("Divide by zero") != std::string::npos, answer == 2);
    }
  }
}

TEST_F(PlanetHooksTest, HooksReceiveThePlanetWithItsOwnReference) {
  start(kPlanetModule);
  objHabitation* world = planet(red);
  const int32_t held = world->refCount.load();
  world->tick(0.1f);
  EXPECT_EQ(global<uint32_t>("ticks"), 1u);
  EXPECT_EQ(world->refCount.load(), held) << "the call's reference is given back";

  asIScriptContext* context = createScriptContext(serverScriptEngine);
  context->Prepare(module()->GetFunctionByDecl("void keep(Planet@)"));
  context->SetArgObject(0, static_cast<generic_object*>(world));
  ASSERT_EQ(context->Execute(), asEXECUTION_FINISHED);
  context->Release();
  EXPECT_EQ(world->refCount.load(), held + 1) << "a handle the script keeps holds the planet";
  call(module(), "void forget()");
  EXPECT_EQ(world->refCount.load(), held);
}

TEST_F(PlanetHooksTest, TickRunsEveryTenthOfASecondForOwnedPlanetsOnly) {
  start(kPlanetModule);
  objHabitation* owned = planet(red);
  objHabitation* unowned = planet(nullptr);
  for (int step = 0; step < 10; ++step)
    unowned->tick(0.05f);
  EXPECT_EQ(global<uint32_t>("ticks"), 0u);
  for (int step = 0; step < 10; ++step) {
    owned->tick(0.05f);
    EXPECT_EQ(global<uint32_t>("ticks"), static_cast<uint32_t>((step + 1) / 2)) << "after step " << step;
  }
  EXPECT_FLOAT_EQ(global<float>("tickSeconds"), 0.5f);
  EXPECT_EQ(owned->getOwner(), red);
}

// A planet whose destruction the hook refused goes on as before: the next
// tick moves it along its orbit, runs its hook, and it is no longer asked
// to go. Without the game rules the hook is not asked at all.
TEST_F(PlanetHooksTest, APlanetKeptByOnDestroyGoesOnTicking) {
  start(kPlanetModule);
  global<int>("answer") = 1;
  auto* orbit = new OrbitMover();
  orbit->setOrbit(20.0f, 1.0f, 10.0f, 0.0f, 0.0f, 0.0f, 1.0f, 1.0f);
  objHabitation* world = planet(red, orbit);
  world->tick(0.0f);
  world->destroy(false);
  world->tick(0.1f);  // the tick that carries the destruction out
  EXPECT_TRUE(world->isValid());
  EXPECT_FALSE(world->hasFlag(FLAG_DESTROY));
  EXPECT_EQ(report(), "destroy;");

  const vector3df before = world->position;
  const uint32_t ticks = global<uint32_t>("ticks");
  world->tick(0.1f);
  world->tick(0.1f);
  EXPECT_GT((world->position - before).getLength(), 0.0f) << "still on its orbit";
  EXPECT_EQ(global<uint32_t>("ticks"), ticks + 2);
  EXPECT_EQ(world->mover, orbit);

  gameRulesActive = false;
  world->destroy(true);
  world->tick(0.1f);
  EXPECT_FALSE(world->isValid());
  EXPECT_EQ(report(), "destroy;");
}

// An owned planet that has lost its people goes to the space empire unless
// "onOwnerChange" keeps it; then nothing is posted, and the next step finds
// the population still short and asks again.
TEST_F(PlanetHooksTest, OnOwnerChangeKeepsAnEmptiedPlanet) {
  start(kPlanetModule);
  global<int>("answer") = 1;
  objHabitation* world = planet(red);
  world->settledPopulation = 0.5f;
  for (int step = 0; step < 5; ++step)
    world->tick(0.05f);  // armed at 0.1 s, 0.125 s to go
  EXPECT_EQ(report(), "owner Red to INVALID;");
  EXPECT_EQ(world->getOwner(), red);
  EXPECT_TRUE(red->messages.empty());
  for (int step = 0; step < 4; ++step)
    world->tick(0.05f);
  EXPECT_EQ(report(), "owner Red to INVALID;owner Red to INVALID;");

  global<int>("answer") = 0;
  for (int step = 0; step < 4; ++step)
    world->tick(0.05f);
  EXPECT_NE(world->getOwner(), red);
  EXPECT_EQ(red->messages.size(), 1u);
}

TEST_F(PlanetHooksTest, WithoutThePlanetModuleEveryHookIsAbsentAndTheDefaultsRun) {
  start("");
  EXPECT_EQ(planetScriptHooks.tick, -15);
  EXPECT_EQ(planetScriptHooks.onRepair, -15);
  EXPECT_EQ(planetScriptHooks.onDamage, -15);
  EXPECT_EQ(planetScriptHooks.onOwnerChange, -15);
  EXPECT_EQ(planetScriptHooks.onDestroy, -15);

  objHabitation* world = planet(red);
  getOrAddObjectState(world, kDamage)->value.max = 100.0f;
  damage(world, 6.0f);
  EXPECT_EQ(damageOf(world), 6.0f);
  world->repair(2.0f);
  EXPECT_EQ(damageOf(world), 4.0f);
  world->tick(0.1f);
  world->setOwner(blue);
  EXPECT_EQ(world->getOwner(), blue);
  EXPECT_EQ(red->messages.size(), 1u);
  world->destroyNow(false);
  EXPECT_FALSE(world->isValid());
}

// A module with some of the hooks: the others are absent, and a function of
// a hook's name with other parameters is not taken for it.
TEST_F(PlanetHooksTest, APlanetModuleWithSomeHooks) {
  start(
      "bool onDamage(Planet@ planet, Event@ event) { return true; }\n"
      "bool onRepair(Planet@ planet, int amount) { return true; }\n");
  EXPECT_GE(planetScriptHooks.onDamage, 0);
  EXPECT_LT(planetScriptHooks.onRepair, 0);
  EXPECT_NE(planetScriptHooks.onRepair, -15);
  EXPECT_LT(planetScriptHooks.tick, 0);
  EXPECT_LT(planetScriptHooks.onOwnerChange, 0);
  EXPECT_LT(planetScriptHooks.onDestroy, 0);
  objHabitation* world = planet(red);
  getOrAddObjectState(world, kDamage)->value.max = 100.0f;
  damage(world, 6.0f);
  EXPECT_EQ(damageOf(world), 0.0f);
  clearPlanetScriptHooks();
  EXPECT_EQ(planetScriptHooks.onDamage, -15);
  damage(world, 6.0f);
  EXPECT_EQ(damageOf(world), 6.0f);
}

}  // namespace

}  // namespace planet_hooks_test
