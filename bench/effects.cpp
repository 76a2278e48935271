// Effect hooks and object states on one thread.
//
//   Hook     one hook call through dispatchEffectHook, as an effect's Tick
//            makes it: the template native AddAmount(Rate, "Fuel") (a "Value
//            Name" and a "State Name" argument: the value read, the state
//            found by name on the event's target, the amount stored), the
//            plain native Skip (sets the event's state), and a server-script
//            function that adds its value to the event's custom value (the
//            thread's cached context, prepared again for every call); beside
//            them a direct C++ call adding the same amount to a state it is
//            handed, and one that first finds the state by name with
//            getOrAddObjectState as AddAmount does
//   State    getOrAddObjectState on objects holding 5 and 50 states, every
//            lookup a hit, the names taken in turn; beside it std::map with
//            std::wstring keys holding the same names
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <angelscript.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "core/threads.h"
#include "design/effects/effect_functions.h"
#include "design/effects/effects.h"
#include "script/script_engine.h"
#include "script/script_string.h"
#include "universe/objects/game_object.h"
#include "universe/objects/object_states.h"
#include "script_build.h"

using namespace AngelScript;

namespace {

// The amount each hook call adds (the effect's value "Rate").
constexpr float kRate = 0.25f;

class BenchObject : public generic_object {
 public:
  BenchObject() : generic_object(nullptr, nullptr, nullptr) {}
};

const char kEffects[] =
    "Name: NativeAdd\n"
    "Value: Rate\n"
    "Tick: AddAmount(Rate, \"Fuel\")\n"
    "Name: NativeSkip\n"
    "Tick: Skip\n"
    "Name: ScriptAdd\n"
    "Value: Rate\n"
    "Tick: bench::add\n";
const char kScript[] = "void add(Event@ e, float rate) { e.custom += rate; }\n";

// The server engine with the one script function the hooks bind to, the
// thread's record, and the three effects loaded from a file. Once.
void setUp() {
  static const bool done = [] {
    registerNativeFunctions();
    createScriptEngines();
    registerScriptString(serverScriptEngine);
    // Only the part of the event the script touches.
    serverScriptEngine->RegisterObjectType("Event", 0, asOBJ_REF | asOBJ_NOCOUNT);
    serverScriptEngine->RegisterObjectProperty("Event", "float custom", asOFFSET(EffectEvent, custom));
    initThreadLocals();
    benchscript::buildModule(serverScriptEngine, "bench", kScript);

    const std::filesystem::path file =
        std::filesystem::temp_directory_path() / ("bench-effects-" + std::to_string(::getpid()) + ".txt");
    std::ofstream(file, std::ios::binary) << kEffects;
    loadEffects(file.string().c_str());
    std::filesystem::remove(file);
    return true;
  }();
  (void)done;
}

const effect_generic* effectNamed(const wchar_t* name) {
  const irr::s32 index = findEffectIndex(name);
  return index < 0 ? nullptr
                   : static_cast<const effect_generic*>(effectRegistry()[static_cast<irr::u32>(index)].value);
}

// Resource names: ten stems, each alone and with four endings (50 names).
std::vector<std::wstring> stateNames(size_t count) {
  const wchar_t* const stems[] = {L"Ore", L"Gas", L"Food", L"Ammo", L"Fuel",
                                  L"Crew", L"Parts", L"Metals", L"Power", L"Water"};
  const wchar_t* const endings[] = {L"", L" Reserve", L" Stock", L" Cargo", L" Quota"};
  std::vector<std::wstring> names;
  for (const wchar_t* ending : endings)
    for (const wchar_t* stem : stems)
      if (names.size() < count)
        names.push_back(std::wstring(stem) + ending);
  return names;
}

// An object holding the states of `names`; "Fuel" (among the first five)
// has room for anything added to it.
generic_object* objectWithStates(const std::vector<std::wstring>& names) {
  generic_object* object = new BenchObject;
  for (const std::wstring& name : names)
    getOrAddObjectState(object, name.c_str());
  getOrAddObjectState(object, L"Fuel")->value.max = 1e30f;
  return object;
}

// ---------------------------------------------------------------------------
// Hooks

// Runs `effectName`'s Tick hook on an event whose object and target hold
// the first five states.
template <typename Check>
void runHook(benchmark::State& state, const wchar_t* effectName, Check check) {
  setUp();
  const effect_generic* effect = effectNamed(effectName);
  if (effect == nullptr || !effect->hooks[EH_Tick].enabled) {
    state.SkipWithError("the effect's Tick hook did not bind");
    return;
  }
  const effectHook& hook = effect->hooks[EH_Tick];
  generic_object* ship = objectWithStates(stateNames(5));
  effect_data values;
  values.effect = effect;
  values.values[0] = kRate;
  {
    EffectEvent event(ship, ship, 0.25f);
    for (auto _ : state)
      dispatchEffectHook(hook, &event, &values);
    if (!check(event, *ship))
      state.SkipWithError("the hook left no trace");
  }
  ship->drop();
}

void BM_Hook_NativeAddAmount(benchmark::State& state) {
  runHook(state, L"NativeAdd",
          [](const EffectEvent&, generic_object& ship) { return findObjectState(&ship, L"Fuel")->value.val > 0.0f; });
}
BENCHMARK(BM_Hook_NativeAddAmount);

void BM_Hook_NativeSkip(benchmark::State& state) {
  runHook(state, L"NativeSkip", [](const EffectEvent& event, generic_object&) { return event.state == ESC_SKIP; });
}
BENCHMARK(BM_Hook_NativeSkip);

void BM_Hook_Script(benchmark::State& state) {
  runHook(state, L"ScriptAdd", [](const EffectEvent& event, generic_object&) { return event.custom > 0.0f; });
}
BENCHMARK(BM_Hook_Script);

// Kept out of line and out of the optimiser's view across the call, as a
// hook's function is.
__attribute__((noipa)) void addToState(storedAmount& stock, float amount) { stock.val += amount; }

__attribute__((noipa)) void addToNamedState(generic_object* object, const irr::core::stringw& name, float amount) {
  getOrAddObjectState(object, name)->value.val += amount;
}

void BM_Hook_DirectAdd(benchmark::State& state) {
  generic_object* ship = objectWithStates(stateNames(5));
  storedAmount& fuel = getOrAddObjectState(ship, L"Fuel")->value;
  for (auto _ : state)
    addToState(fuel, kRate);
  if (!(fuel.val > 0.0f))
    state.SkipWithError("nothing was added");
  ship->drop();
}
BENCHMARK(BM_Hook_DirectAdd);

void BM_Hook_DirectAddByName(benchmark::State& state) {
  generic_object* ship = objectWithStates(stateNames(5));
  const irr::core::stringw fuel(L"Fuel");
  for (auto _ : state)
    addToNamedState(ship, fuel, kRate);
  if (!(findObjectState(ship, L"Fuel")->value.val > 0.0f))
    state.SkipWithError("nothing was added");
  ship->drop();
}
BENCHMARK(BM_Hook_DirectAddByName);

// ---------------------------------------------------------------------------
// State lookup

void BM_State_getOrAddObjectState(benchmark::State& state) {
  const std::vector<std::wstring> names = stateNames(static_cast<size_t>(state.range(0)));
  generic_object* object = objectWithStates(names);
  std::vector<irr::core::stringw> keys;
  for (const std::wstring& name : names)
    keys.push_back(name.c_str());
  size_t next = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(getOrAddObjectState(object, keys[next]));
    if (++next == keys.size())
      next = 0;
  }
  if (object->states.size() != names.size())
    state.SkipWithError("a lookup added a state");
  object->drop();
}
BENCHMARK(BM_State_getOrAddObjectState)->Arg(5)->Arg(50);

void BM_State_StdMap(benchmark::State& state) {
  const std::vector<std::wstring> names = stateNames(static_cast<size_t>(state.range(0)));
  std::map<std::wstring, storedAmount> states;
  for (const std::wstring& name : names)
    states[name] = storedAmount{};
  size_t next = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(&states.find(names[next])->second);
    if (++next == names.size())
      next = 0;
  }
}
BENCHMARK(BM_State_StdMap)->Arg(5)->Arg(50);

}  // namespace
