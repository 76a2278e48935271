// The planets' tick over 2,000 owned planets, as a galaxy worker runs it
// once per simulation frame, with and without a script "tick" hook; and the
// hook call alone beside a plain native call in the same loop.
//
//   Tick         objHabitation::tick over every planet, 0.1 s each time, so
//                that every tick runs the planet's structure step (the event,
//                the owner-loss check and, when bound, the hook), then the
//                owner-loss timer, the governor test and the object's own
//                tick (its idle unit AI, empty build queue, no mover):
//                /0 without the "planet" module's hook, /1 with
//                "void tick(Planet@ planet, float seconds) {}"
//   HookOnly     runPlanetTickHook over every planet (the thread's cached
//                context, prepared, the planet handle and the seconds set,
//                executed), beside an out-of-line C++ function that takes the
//                same two arguments and holds the planet for the call as the
//                script handle does
//
// Counters: "ns_per_planet" is one planet's share; "frame_share" is the time
// of the loop over the 2,000 planets over the 13.3 ms frame of 75 frames a
// second.
#include <benchmark/benchmark.h>

#include <angelscript.h>

#include <chrono>
#include <vector>

#include "app/base/config.h"
#include "core/threads.h"
#include "empire/empire.h"
#include "script/script_engine.h"
#include "gui/script_vector.h"
#include "script/script_string.h"
#include "scriptapi/empire_script_type.h"
#include "scriptapi/object_bindings.h"
#include "universe/planets/planet.h"
#include "universe/planets/planet_hooks.h"
#include "script_build.h"

using namespace AngelScript;

namespace {

constexpr int kPlanets = 2000;
constexpr float kStep = 0.1f;  // a structure step on every tick
constexpr double kFrameSeconds = 1.0 / 75.0;

const char kPlanetModule[] = "void tick(Planet@ planet, float seconds) {}\n";

// Both engines with the planet type, the "planet" module, one valid empire
// and 2,000 planets it owns, settled enough never to be lost. Once.
const std::vector<objHabitation*>& planets() {
  static const std::vector<objHabitation*> made = [] {
    singleThreaded = false;
    createScriptEngines();
    initThreadLocals();
    // The object types name "vector", "string" and "Empire", which the
    // session's set-up registers before them.
    for (asIScriptEngine* engine : {serverScriptEngine, clientScriptEngine}) {
      registerScriptString(engine);
      registerScriptVector(engine);
    }
    bindEmpireScriptType();
    registerObjectBindings();
    benchscript::buildModule(serverScriptEngine, "planet", kPlanetModule);

    empire* owner = registerEmpire(new empire);
    std::vector<objHabitation*> list;
    for (int i = 0; i < kPlanets; ++i) {
      auto* planet = new objHabitation(owner, nullptr);
      planet->population = planet->settledPopulation = 5.0f;
      planet->maxPopulation = 10.0f;
      list.push_back(planet);
    }
    return list;
  }();
  return made;
}

// The time spent in the timed loops, for the counters.
class LoopClock {
 public:
  template <class Loop>
  void time(Loop loop) {
    const Clock::time_point began = Clock::now();
    loop();
    spent_ += Clock::now() - began;
  }
  void setCounters(benchmark::State& state) const {
    const double perLoop = std::chrono::duration<double>(spent_).count() / static_cast<double>(state.iterations());
    state.counters["ns_per_planet"] = perLoop / kPlanets * 1e9;
    state.counters["frame_share"] = perLoop / kFrameSeconds;
  }

 private:
  using Clock = std::chrono::steady_clock;
  Clock::duration spent_{};
};

void BM_Tick(benchmark::State& state) {
  const std::vector<objHabitation*>& list = planets();
  if (state.range(0) != 0)
    bindPlanetScriptHooks();
  else
    clearPlanetScriptHooks();
  if ((planetScriptHooks.tick >= 0) != (state.range(0) != 0)) {
    state.SkipWithError("the hook is not as asked");
    return;
  }
  LoopClock clock;
  for (auto _ : state)
    clock.time([&] {
      for (objHabitation* planet : list)
        planet->tick(kStep);
    });
  clock.setCounters(state);
  clearPlanetScriptHooks();
}
BENCHMARK(BM_Tick)->Arg(0)->Arg(1);

void BM_HookOnlyScript(benchmark::State& state) {
  const std::vector<objHabitation*>& list = planets();
  bindPlanetScriptHooks();
  LoopClock clock;
  for (auto _ : state)
    clock.time([&] {
      for (objHabitation* planet : list)
        runPlanetTickHook(planet, kStep);
    });
  clock.setCounters(state);
  clearPlanetScriptHooks();
}
BENCHMARK(BM_HookOnlyScript);

// What a native hook would do with its arguments: hold the planet for the
// call and read the two values.
__attribute__((noinline)) void nativeTick(objHabitation* planet, float seconds) {
  planet->grab();
  benchmark::DoNotOptimize(seconds);
  benchmark::DoNotOptimize(planet->population);
  planet->drop();
}

void BM_HookOnlyNative(benchmark::State& state) {
  const std::vector<objHabitation*>& list = planets();
  LoopClock clock;
  for (auto _ : state)
    clock.time([&] {
      for (objHabitation* planet : list)
        nativeTick(planet, kStep);
    });
  clock.setCounters(state);
}
BENCHMARK(BM_HookOnlyNative);

}  // namespace
