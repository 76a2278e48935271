// Firing effectors and weighing targets, on one thread.
//
//   Fire     fireEffector of an Instant effector from one object at another,
//            whose one caused effect (duration 0) runs its OnActive hook at
//            once: the template native AddAmount(Amount, "Fuel"), or a
//            server-script function that adds its value to a global. Each
//            iteration also deletes the timed effect the firing left on the
//            target (as the target's next tick would), and every 256
//            firings the graphics queue is cleared (as the frame loop does);
//            beside them a direct C++ call adding the same amount to the
//            state it is handed
//   Weight   effectorTargetWeight over an "AutoAttack" list of two natives
//            (an empty "CanAttack" list first), beside a direct call of the
//            same two functions multiplied
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <angelscript.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "core/named_values.h"
#include "core/threads.h"
#include "design/effectors/effect_gfx.h"
#include "design/effectors/effector.h"
#include "design/effects/effect_functions.h"
#include "design/effects/effects.h"
#include "script/script_engine.h"
#include "script/script_string.h"
#include "universe/objects/game_object.h"
#include "universe/objects/object_states.h"
#include "script_build.h"

using namespace AngelScript;

namespace {

// The amount each firing adds (the caused effect's value "Amount").
constexpr float kAmount = 0.25f;

class BenchObject : public generic_object {
 public:
  BenchObject() : generic_object(nullptr, nullptr, nullptr) {}
};

// Kept out of line, as natives called through a pointer are.
__attribute__((noipa)) float weightBySize(const generic_object*, const generic_object* target, const effector*) {
  return target->radius * 0.5f;
}
__attribute__((noipa)) float weightByRange(const generic_object*, const generic_object*, const effector* eff) {
  return eff->range * 0.001f;
}

const char kEffects[] =
    "Name: NativeAdd\n"
    "Value: Amount\n"
    "OnActive: AddAmount(Amount, \"Fuel\")\n"
    "Name: ScriptAdd\n"
    "Value: Amount\n"
    "OnActive: bench::add\n";
const char kEffectors[] =
    "Effector: NativeGun\n"
    "Causes: NativeAdd with Amount[0.25]\n"
    "Effector: ScriptGun\n"
    "Causes: ScriptAdd with Amount[0.25]\n"
    "Effector: Picky\n"
    "Range: 500\n"
    "AutoAttack: BenchBySize, BenchByRange\n";
const char kScript[] = "float total = 0;\nvoid add(Event@ e, float amount) { total += amount; }\n";

std::filesystem::path scratchFile(const char* stem) {
  return std::filesystem::temp_directory_path() / (std::string(stem) + std::to_string(::getpid()) + ".txt");
}

// The natives, the server engine with the script function, the thread's
// record, and the effects and effectors loaded from files. Once.
void setUp() {
  static const bool done = [] {
    registerNativeFunctions();
    registerTargetFunction(L"BenchBySize").value = weightBySize;
    registerTargetFunction(L"BenchByRange").value = weightByRange;
    createScriptEngines();
    registerScriptString(serverScriptEngine);
    serverScriptEngine->RegisterObjectType("Event", 0, asOBJ_REF | asOBJ_NOCOUNT);
    initThreadLocals();
    benchscript::buildModule(serverScriptEngine, "bench", kScript);

    const std::filesystem::path effects = scratchFile("bench-firing-effects-");
    std::ofstream(effects, std::ios::binary) << kEffects;
    loadEffects(effects.string().c_str());
    std::filesystem::remove(effects);
    const std::filesystem::path effectors = scratchFile("bench-firing-effectors-");
    std::ofstream(effectors, std::ios::binary) << kEffectors;
    loadEffectors(effectors.string().c_str());
    std::filesystem::remove(effectors);
    return true;
  }();
  (void)done;
}

// The named effector evaluated without sub-system variables; null `def`
// when it did not load.
effector instanceOf(const wchar_t* name) {
  effector eff;
  const effector_def* def = findEffector(name);
  if (def == nullptr)
    return eff;
  effector_forms forms(def);
  NameSpaces spaces;
  eff.evaluate(forms, spaces);
  return eff;
}

// An object with a "Fuel" state that takes anything added to it.
generic_object* objectWithFuel() {
  generic_object* object = new BenchObject;
  getOrAddObjectState(object, L"Fuel")->value.max = 1e30f;
  return object;
}

// Ends the timed effects the firings left on `object`.
void endTimedEffects(generic_object* object) {
  for (irr::u32 i = 0; i < object->timedEffects.size(); ++i)
    delete object->timedEffects[i];
  object->timedEffects.set_used(0);
}

// ---------------------------------------------------------------------------
// Firing

template <typename Check>
void runFire(benchmark::State& state, const wchar_t* effectorName, Check check) {
  setUp();
  const effector eff = instanceOf(effectorName);
  if (eff.def == nullptr || eff.effects.size() != 1 || eff.effects[0].data.effect == nullptr) {
    state.SkipWithError("the effector did not load");
    return;
  }
  generic_object* ship = objectWithFuel();
  generic_object* enemy = objectWithFuel();
  {
    EffectEvent event(ship, enemy, 0.0f);
    unsigned fired = 0;
    for (auto _ : state) {
      fireEffector(&event, eff.def, &eff);
      endTimedEffects(enemy);
      if (++fired % 256 == 0)
        clearEffGfxQueue();
    }
    clearEffGfxQueue();
    if (!check(*enemy))
      state.SkipWithError("the firing left no trace");
  }
  ship->drop();
  enemy->drop();
}

void BM_Fire_InstantNativeHook(benchmark::State& state) {
  runFire(state, L"NativeGun",
          [](generic_object& enemy) { return findObjectState(&enemy, L"Fuel")->value.val > 0.0f; });
}
BENCHMARK(BM_Fire_InstantNativeHook);

void BM_Fire_InstantScriptHook(benchmark::State& state) {
  runFire(state, L"ScriptGun", [](generic_object&) {
    asIScriptModule* module = serverScriptEngine->GetModule("bench");
    const float* total = static_cast<const float*>(module->GetAddressOfGlobalVar(0));
    return total != nullptr && *total > 0.0f;
  });
}
BENCHMARK(BM_Fire_InstantScriptHook);

__attribute__((noipa)) void addToState(storedAmount& stock, float amount) { stock.val += amount; }

void BM_Fire_DirectAdd(benchmark::State& state) {
  generic_object* enemy = objectWithFuel();
  storedAmount& fuel = getOrAddObjectState(enemy, L"Fuel")->value;
  for (auto _ : state)
    addToState(fuel, kAmount);
  if (!(fuel.val > 0.0f))
    state.SkipWithError("nothing was added");
  enemy->drop();
}
BENCHMARK(BM_Fire_DirectAdd);

// ---------------------------------------------------------------------------
// Target weight

void BM_Weight_effectorTargetWeight(benchmark::State& state) {
  setUp();
  const effector eff = instanceOf(L"Picky");
  if (eff.def == nullptr || eff.def->autoAttack.size() != 2) {
    state.SkipWithError("the effector did not load");
    return;
  }
  generic_object* ship = new BenchObject;
  generic_object* enemy = new BenchObject;
  enemy->radius = 4.0f;
  float weight = 0.0f;
  for (auto _ : state) {
    weight = effectorTargetWeight(eff.def, ship, enemy, &eff, false);
    benchmark::DoNotOptimize(weight);
  }
  if (weight != 1.0f)
    state.SkipWithError("unexpected weight");
  ship->drop();
  enemy->drop();
}
BENCHMARK(BM_Weight_effectorTargetWeight);

void BM_Weight_Direct(benchmark::State& state) {
  generic_object* ship = new BenchObject;
  generic_object* enemy = new BenchObject;
  enemy->radius = 4.0f;
  effector eff;
  eff.range = 500.0f;
  float weight = 0.0f;
  for (auto _ : state) {
    weight = weightBySize(ship, enemy, &eff) * weightByRange(ship, enemy, &eff);
    benchmark::DoNotOptimize(weight);
  }
  if (weight != 1.0f)
    state.SkipWithError("unexpected weight");
  ship->drop();
  enemy->drop();
}
BENCHMARK(BM_Weight_Direct);

}  // namespace
