// Sub-system instances and ticks.
//
//   Instances/N    SubSystemDef::createInstance of a definition with 10
//                  variable formulas (each over the one before and the
//                  object's scale) and N script alter hooks of the mode form
//                  (each hook runs once per evaluation step: 5 calls per
//                  hook and instance), against a context holding an "Object"
//                  set; the instance is freed each time
//   PlainFormulas  the same 10 formulas evaluated against a plain
//                  NamedValues holding their variables
#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "core/formula.h"
#include "core/named_values.h"
#include "core/threads.h"
#include "design/effects/effect_functions.h"
#include "design/effects/effects.h"
#include "design/subsystems/sub_system.h"
#include "script/script_contexts.h"
#include "script/script_engine.h"
#include "script/script_string.h"
#include "universe/objects/game_object.h"
#include "universe/objects/object_states.h"
#include "script_build.h"

using namespace AngelScript;
using irr::core::stringw;

namespace {

constexpr int kFormulas = 10;

// The server engine with the instance type and the mode enum, and a module
// with one empty hook of the mode form; its id.
int emptyHookId() {
  static const int id = [] {
    createScriptEngines();
    initThreadLocals();
    asIScriptEngine* engine = serverScriptEngine;
    engine->RegisterObjectType("subSystem", 0, asOBJ_REF | asOBJ_NOCOUNT);
    engine->RegisterEnum("SubSystemEvalMode");
    const char code[] = "void hook(subSystem@ s, SubSystemEvalMode m, float v) {}";
    asIScriptModule* module = benchscript::buildModule(engine, "bench", code);
    return module->GetFunctionByDecl("void hook(subSystem@, SubSystemEvalMode, float)")->GetId();
  }();
  return id;
}

stringw variableName(int i) { return stringw(L"V") + stringw(i); }

// "V0: Object.Scale * 2", then "Vi: V(i-1) * 1.5 + i".
stringw formulaText(int i) {
  if (i == 0)
    return L"Object.Scale * 2";
  return variableName(i - 1) + L" * 1.5 + " + stringw(i);
}

struct InstanceBench {
  InstanceBench() {
    def.name = L"Bench";
    for (int i = 0; i < kFormulas; ++i) {
      auto* info = new SubSystemDef::ValueInfo(variableName(i), new formula(formulaText(i)),
                                               static_cast<uint32_t>(i), false);
      def.variables.push_back(info);
      findOrInsertPtrNamedVar(def.variableIndex, info->name).value = info;
    }
    finalizeSubSystemDef(&def);
    object.set(L"Scale", 1.0f);
    context.setSpace(&object, L"Object");
  }
  ~InstanceBench() { context.setSpace(nullptr, L"Object"); }

  SubSystemDef def;
  NamedValues object;
  NameSpaces context;
};

void Instances(benchmark::State& state) {
  const int hookId = emptyHookId();
  InstanceBench bench;
  SubSystemAlterHookList hooks(static_cast<size_t>(state.range(0)), SubSystemAlterHook{hookId, -1, {1.0f}});
  for (auto _ : state) {
    std::unique_ptr<subSystem> instance(new subSystem());
    bench.def.createInstance(instance.get(), bench.context, hooks.empty() ? nullptr : &hooks);
    benchmark::DoNotOptimize(instance->values);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(Instances)->Arg(0)->Arg(1)->Arg(5);

void PlainFormulas(benchmark::State& state) {
  InstanceBench bench;
  NamedValues plain;
  plain.set(L"Scale", 1.0f);
  for (int i = 0; i < kFormulas; ++i)
    plain.set(variableName(i), 0.0f);
  std::vector<const formula*> programs;
  for (const SubSystemDef::ValueInfo* info : bench.def.variables)
    programs.push_back(info->value);
  for (auto _ : state) {
    float sum = 0.0f;
    for (const formula* program : programs)
      sum += evaluateFormula(program, &plain);
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(PlainFormulas);

}  // namespace

// --- Ticking a placed sub-system ---
//
//   Tick     tickPlanetSubSystems of a running sub-system with 2
//            requirements ("Crew", "Power"), 3 consumption entries ("Fuel",
//            "Ore", "Water") and 2 provisions whose Tick hooks are the
//            native GenerateNoCargo, refilling "Fuel" and "Ore"; beside the
//            same state arithmetic written inline on the states already
//            looked up. Every 4096 ticks both refill "Water", which only
//            the consumption touches.

namespace {

constexpr float kTickSeconds = 0.1f;
constexpr float kTickWaterStart = 1.0e5f;
constexpr int kTickRefillEvery = 4096;

class TickBenchObject : public generic_object {
 public:
  TickBenchObject() : generic_object(nullptr, nullptr, nullptr) {}
};

// A state of the object with the given amounts.
State* tickState(generic_object* object, const wchar_t* name, float val, float max, float required) {
  State* state = getOrAddObjectState(object, name);
  state->value.val = val;
  state->value.max = max;
  state->value.required = required;
  return state;
}

// An effect whose Tick hook is GenerateNoCargo(resource, rate).
std::unique_ptr<effect_generic> generatingEffect(const wchar_t* resource, float rate) {
  registerNativeFunctions();
  auto effect = std::make_unique<effect_generic>();
  auto& registry = templateFunctionRegistry();
  const irr::s32 index = NamedVar<const TemplateFuncEntry*>::findNoSort(registry, L"GenerateNoCargo");
  if (index < 0)
    return effect;
  effectHook& hook = effect->hooks[EH_Tick];
  hook.function.templateApply = registry[static_cast<irr::u32>(index)].value->apply;
  hook.isInternal = true;
  hook.hasTemplateArgs = true;
  hook.enabled = true;
  templateArg name{};
  name.kind = TAK_StateName;
  name.value.string = new ScriptString(irr::core::stringw(resource));  // released with the effect
  templateArg amount{};
  amount.kind = TAK_Number;
  amount.value.number = rate;
  hook.args.push_back(name);
  hook.args.push_back(amount);
  effect->hookFlags = static_cast<uint16_t>(1u << EH_Tick);
  return effect;
}

// The object with its states, the definition's lists and a running
// instance of it.
struct TickScene {
  TickScene() {
    const wchar_t* const consumed[] = {L"Fuel", L"Ore", L"Water"};
    const wchar_t* const required[] = {L"Crew", L"Power"};
    for (const wchar_t* name : consumed)
      findOrInsertPtrNamedVar(def.consumption, name);
    for (const wchar_t* name : required)
      findOrInsertPtrNamedVar(def.requirements, name);
    def.effectFlags = static_cast<uint16_t>(1u << EH_Tick);
    fuelEffect = generatingEffect(L"Fuel", 2.0f);
    oreEffect = generatingEffect(L"Ore", 2.0f);
    instance.def = &def;
    instance.values = new float[5]{1.0f, 1.0f, 1.0f, 10.0f, 20.0f};  // Fuel, Ore, Water; Crew, Power
    instance.consumption = instance.values;
    instance.requirements = instance.values + 3;
    effect_data provision;
    provision.effect = fuelEffect.get();
    instance.provisions.push_back(provision);
    provision.effect = oreEffect.get();
    instance.provisions.push_back(provision);
    record.system = &instance;

    fuel = tickState(object, L"Fuel", 50.0f, 50.0f, 0.0f);
    ore = tickState(object, L"Ore", 50.0f, 50.0f, 0.0f);
    water = tickState(object, L"Water", kTickWaterStart, kTickWaterStart, 0.0f);
    crew = tickState(object, L"Crew", 40.0f, 40.0f, 10.0f);
    power = tickState(object, L"Power", 40.0f, 40.0f, 20.0f);
  }
  ~TickScene() { object->drop(); }

  generic_object* object = new TickBenchObject;
  SubSystemDef def;
  std::unique_ptr<effect_generic> fuelEffect;
  std::unique_ptr<effect_generic> oreEffect;
  subSystem instance;
  SysRef record;
  State *fuel, *ore, *water, *crew, *power;
};

void BM_TickPlanetSubSystems(benchmark::State& bench) {
  TickScene scene;
  int ticks = 0;
  for (auto _ : bench) {
    EffectEvent event(scene.object, scene.object, kTickSeconds);
    tickPlanetSubSystems(&scene.instance, event, &scene.record);
    if (++ticks == kTickRefillEvery) {
      ticks = 0;
      scene.water->value.val = kTickWaterStart;
    }
  }
  if (scene.record.state != SS_Active)
    bench.SkipWithError("the sub-system was disabled");
}
BENCHMARK(BM_TickPlanetSubSystems);

// The same checks and changes of the same states, written inline.
void BM_TickInline(benchmark::State& bench) {
  TickScene scene;
  State* const required[] = {scene.crew, scene.power};
  State* const consumed[] = {scene.fuel, scene.ore, scene.water};
  State* const generated[] = {scene.fuel, scene.ore};
  int ticks = 0;
  bool running = true;
  for (auto _ : bench) {
    for (State* state : required)
      running = running && getAvailable(*state) >= 0.0f;
    for (irr::u32 i = 0; i < 3; ++i) {
      const float amount = scene.instance.consumption[i] * kTickSeconds;
      running = running && getAvailable(*consumed[i]) >= amount;
      consumed[i]->value.val -= amount;
    }
    for (State* state : generated) {
      const float free = state->value.max - state->value.val;
      if (free > 0.0f)
        state->value.val += std::min(2.0f * kTickSeconds, free);
    }
    benchmark::DoNotOptimize(running);
    if (++ticks == kTickRefillEvery) {
      ticks = 0;
      scene.water->value.val = kTickWaterStart;
    }
  }
  if (!running)
    bench.SkipWithError("the states ran short");
}
BENCHMARK(BM_TickInline);

}  // namespace
